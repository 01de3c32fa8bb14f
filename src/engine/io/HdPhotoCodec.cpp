#include <algorithm>
#include <chrono>
#include <cmath>
#include <cerrno>
#include <cstring>
#include <memory>

#include <QByteArray>
#include <QtGlobal>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "engine/io/AlphaInterleave.h"
#include "engine/io/ImageCodecs.h"
#include "engine/pixels/PixelConvert.h"

// The library's headers define min and max as macros; they come last and lose them.
#include <JXRGlue.h>
#undef min
#undef max

namespace lumo {

namespace {

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The library's stream interface over our memory: reads from the file's bytes (past the
// end they give zeros, as the library's own memory stream leaves them), writes into a
// buffer that grows as needed.
struct MemoryStream {
  WMPStream ws{};
  const uint8_t* data = nullptr;
  size_t size = 0;
  QByteArray* out = nullptr;
  size_t pos = 0;

  static MemoryStream* of(WMPStream* s) { return static_cast<MemoryStream*>(s->state.pvObj); }
  static ERR close(WMPStream** s) {
    *s = nullptr;  // owned by its creator
    return WMP_errSuccess;
  }
  static Bool atEnd(WMPStream* s) { return of(s)->pos >= of(s)->size; }
  static ERR read(WMPStream* s, void* pv, size_t cb) {
    MemoryStream* m = of(s);
    const size_t have = m->pos < m->size ? std::min(cb, m->size - m->pos) : 0;
    if (have) std::memcpy(pv, m->data + m->pos, have);
    std::memset(static_cast<uint8_t*>(pv) + have, 0, cb - have);
    m->pos += cb;
    return WMP_errSuccess;
  }
  static ERR write(WMPStream* s, const void* pv, size_t cb) {
    MemoryStream* m = of(s);
    if (!m->out) return WMP_errFileIO;
    if (m->pos + cb > size_t(m->out->size())) m->out->resize(qsizetype(m->pos + cb), '\0');
    std::memcpy(m->out->data() + m->pos, pv, cb);
    m->pos += cb;
    m->data = reinterpret_cast<const uint8_t*>(m->out->constData());  // what was written reads back
    m->size = size_t(m->out->size());
    return WMP_errSuccess;
  }
  static ERR setPos(WMPStream* s, size_t at) {
    of(s)->pos = at;
    return WMP_errSuccess;
  }
  static ERR getPos(WMPStream* s, size_t* at) {
    *at = of(s)->pos;
    return WMP_errSuccess;
  }

  MemoryStream() {
    ws.state.pvObj = this;
    ws.fMem = TRUE;
    ws.Close = close;
    ws.EOS = atEnd;
    ws.Read = read;
    ws.Write = write;
    ws.SetPos = setPos;
    ws.GetPos = getPos;
  }
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;
};

// A pixel layout of the library and how it maps onto a bitmap.
struct Layout {
  const PKPixelFormatGUID* guid;
  PixelFormat format;
  int pixelBytes;  // as the library delivers or takes them
  int alphaBytes;  // 0, or the alpha sample's size at the end of each pixel
  bool rgbOrder;   // red first, where the bitmap has blue first
  bool padding;    // a fourth byte that carries nothing
};

const Layout kLayouts[] = {
    {&GUID_PKPixelFormat8bppGray, PixelFormat::ie8g, 1, 0, false, false},
    {&GUID_PKPixelFormat16bppGray, PixelFormat::ie16g, 2, 0, false, false},
    {&GUID_PKPixelFormat24bppBGR, PixelFormat::ie24RGB, 3, 0, false, false},
    {&GUID_PKPixelFormat24bppRGB, PixelFormat::ie24RGB, 3, 0, true, false},
    {&GUID_PKPixelFormat32bppBGR, PixelFormat::ie24RGB, 4, 0, false, true},
    {&GUID_PKPixelFormat32bppBGRA, PixelFormat::ie24RGB, 4, 1, false, false},
    {&GUID_PKPixelFormat32bppRGBA, PixelFormat::ie24RGB, 4, 1, true, false},
    {&GUID_PKPixelFormat48bppRGB, PixelFormat::ie48RGB, 6, 0, false, false},
    {&GUID_PKPixelFormat64bppRGBA, PixelFormat::ie48RGB, 8, 2, false, false},
};

const Layout* layoutOf(const PKPixelFormatGUID& guid) {
  for (const Layout& l : kLayouts)
    if (std::memcmp(l.guid, &guid, sizeof guid) == 0) return &l;
  return nullptr;
}

// Checks that the container's image data lies inside the file and starts with the
// code stream's signature, before the library reads anything from it. Reads past the
// end give zeros, so a truncated file would otherwise decode as noise.
bool checkContainer(const uint8_t* d, size_t n, QString& error) {
  error = "Invalid HD Photo data";
  if (n < 8 || d[0] != 'I' || d[1] != 'I' || d[2] != 0xBC || d[3] > 1) return false;
  const uint32_t ifd = le32(d + 4);
  if (ifd > n || n - ifd < 2) return false;
  const uint32_t entries = le16(d + ifd);
  if (entries == 0 || (n - ifd - 2) / 12 < entries) return false;
  uint64_t offset = 0, count = 0;
  for (uint32_t i = 0; i < entries; ++i) {
    const uint8_t* e = d + ifd + 2 + 12 * i;
    const uint16_t tag = le16(e), type = le16(e + 2);
    const uint32_t value = type == 3 ? le16(e + 8) : le32(e + 8);
    if (tag == 0xBCC0) offset = value;
    if (tag == 0xBCC1) count = value;
  }
  if (offset == 0 || count < 16) return false;
  if (offset > n || count > n - offset) {
    error = "The HD Photo file is truncated";
    return false;
  }
  if (std::memcmp(d + offset, "WMPHOTO\0", 8) != 0) return false;
  error.clear();
  return true;
}

// Longest a decode may take before it counts as hanging.
constexpr int kDecodeSeconds = 60;

// Fills `out` with `bytes` bytes by `decode`. Where the system can, the decoding runs in a
// child process over shared memory: the library stops on failed assertions in its
// container parser and reads out of bounds in its entropy decoder on some damaged files
// (no header check can see those), and then only the child dies. A child that crashes,
// fails or runs too long makes a failed decode.
template <class Decode>
bool decodeIsolated(size_t bytes, ByteBuffer& out, Decode&& decode) {
#if defined(Q_OS_UNIX)
  void* shared = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED) return false;
  const pid_t child = fork();
  if (child == 0) {
    // A crash here is a damaged file: it ends the child plainly, with no core dump and
    // none of the handlers the program may have installed.
    for (const int sig : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL}) signal(sig, SIG_DFL);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    // The library prints its complaints; they are no business of the program's output.
    const int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) {
      dup2(quiet, STDOUT_FILENO);
      dup2(quiet, STDERR_FILENO);
    }
    _exit(decode(static_cast<uint8_t*>(shared)) ? 0 : 1);
  }
  bool ok = false;
  if (child > 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kDecodeSeconds);
    int status = 0;
    for (;;) {
      const pid_t done = waitpid(child, &status, WNOHANG);
      if (done == -1 && errno == EINTR) continue;
      if (done == child) {
        ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        break;
      }
      if (done != 0) break;
      if (std::chrono::steady_clock::now() > deadline) {
        kill(child, SIGKILL);
        while (waitpid(child, &status, 0) == -1 && errno == EINTR) {
        }
        break;
      }
      usleep(500);
    }
  }
  if (ok) {
    out.resize(bytes);
    std::memcpy(out.data(), shared, bytes);
  }
  munmap(shared, bytes);
  return ok;
#else
  out.resize(bytes);
  return decode(out.data());
#endif
}

struct DecoderDeleter {
  void operator()(PKImageDecode* d) const { d->Release(&d); }
};

// What the first pass learns from the headers.
struct Header {
  PKPixelFormatGUID guid;
  I32 width, height;
  Float resX, resY;
};

// A decoder over a file's bytes.
class Decoder {
 public:
  Decoder(const uint8_t* data, size_t size) {
    stream_.data = data;
    stream_.size = size;
    PKImageDecode* raw = nullptr;
    if (!Failed(PKImageDecode_Create_WMP(&raw)) && raw) decoder_.reset(raw);
  }
  // False when the library refuses the headers.
  bool open() { return decoder_ && !Failed(decoder_->Initialize(decoder_.get(), &stream_.ws)); }
  PKImageDecode* operator->() const { return decoder_.get(); }
  PKImageDecode* get() const { return decoder_.get(); }

 private:
  MemoryStream stream_;
  std::unique_ptr<PKImageDecode, DecoderDeleter> decoder_;
};

}  // namespace

// The library asserts and crashes on some damaged containers and code streams, so every
// call that reads the file runs isolated: once for the headers, once for the pixels.
bool readHdPhoto(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  if (!checkContainer(data, size, error)) return false;
  ByteBuffer headerBytes;
  const bool parsed = decodeIsolated(sizeof(Header), headerBytes, [&](uint8_t* buffer) {
    Decoder decoder(data, size);
    if (!decoder.open()) return false;
    Header header{};
    decoder->GetPixelFormat(decoder.get(), &header.guid);
    decoder->GetSize(decoder.get(), &header.width, &header.height);
    decoder->GetResolution(decoder.get(), &header.resX, &header.resY);
    std::memcpy(buffer, &header, sizeof header);
    return true;
  });
  if (!parsed) {
    error = "Invalid HD Photo data";
    return false;
  }
  Header header;
  std::memcpy(&header, headerBytes.data(), sizeof header);
  const I32 w = header.width, h = header.height;
  const Layout* layout = layoutOf(header.guid);
  if (!layout) {
    error = "This HD Photo pixel format is not supported";
    return false;
  }
  if (!checkDeclaredSize(w, h, layout->pixelBytes, size, error)) return false;

  // Whole macroblocks of 16 × 16 pixels, so that nothing the decoder writes can fall
  // outside the buffer.
  const size_t stride = size_t((w + 15) / 16 * 16) * size_t(layout->pixelBytes);
  ByteBuffer pixels;
  const bool decoded = decodeIsolated(stride * size_t((h + 15) / 16 * 16), pixels, [&](uint8_t* buffer) {
    Decoder decoder(data, size);
    if (!decoder.open()) return false;
    if (layout->alphaBytes) decoder->WMP.wmiSCP.uAlphaMode = 2;
    const PKRect rect{0, 0, w, h};
    return !Failed(decoder->Copy(decoder.get(), &rect, buffer, U32(stride)));
  });
  if (!decoded) {
    error = "Invalid HD Photo data: the image cannot be decoded";
    return false;
  }
  Bitmap image(w, h, layout->format);
  const int colourBytes = bitsPerPixel(layout->format) / 8;
  if (layout->alphaBytes || layout->padding) {
    image.addAlpha();
    splitAlpha(pixels.data(), stride, layout->pixelBytes - colourBytes, image);
    if (layout->padding || image.isOpaque()) image.removeAlpha();
  } else {
    for (int y = 0; y < h; ++y)
      std::memcpy(image.mutableScanline(y), pixels.data() + stride * size_t(y), size_t(w) * size_t(colourBytes));
  }
  if (layout->rgbOrder)
    for (int y = 0; y < h; ++y) {
      uint8_t* p = image.mutableScanline(y);
      for (int x = 0; x < w; ++x) std::swap(p[x * 3], p[x * 3 + 2]);
    }
  if (header.resX > 0 && header.resY > 0 && header.resX < 1e6f && header.resY < 1e6f) {
    params.DpiX = int(std::lround(header.resX));
    params.DpiY = int(std::lround(header.resY));
  }
  params.BitsPerSample = layout->format == PixelFormat::ie16g || layout->format == PixelFormat::ie48RGB ? 16 : 8;
  params.SamplesPerPixel = layout->pixelBytes / (params.BitsPerSample / 8);
  out = std::move(image);
  return true;
}

// HDP_Quality 1 ... 99 encodes lossy, its quantiser growing as the quality falls; 100
// encodes without loss. Alpha is always kept without loss, as its own plane. Grey of 8
// and 16 bits and RGB of 16 bits are written as they are, 16-bit RGB with a 16-bit
// alpha; every other image (also 16-bit grey with alpha) as 24-bit colour with an
// 8-bit alpha when it has a plane.
bool writeHdPhoto(const Bitmap& source, const IOParams& params, const QString& /*extension*/, QByteArray& out,
                  QString& error) {
  const bool alpha = source.hasAlpha();
  Bitmap image;
  const PKPixelFormatGUID* guid;
  switch (source.format()) {
    case PixelFormat::ie8g:
    case PixelFormat::ie16g:
      if (!alpha) {
        image = source;
        guid = source.format() == PixelFormat::ie8g ? &GUID_PKPixelFormat8bppGray : &GUID_PKPixelFormat16bppGray;
        break;
      }
      [[fallthrough]];
    default:
      image = convertToRGB24(source);
      guid = alpha ? &GUID_PKPixelFormat32bppBGRA : &GUID_PKPixelFormat24bppBGR;
      break;
    case PixelFormat::ie48RGB:
      image = source;
      guid = alpha ? &GUID_PKPixelFormat64bppRGBA : &GUID_PKPixelFormat48bppRGB;
      break;
  }
  const Layout* layout = layoutOf(*guid);
  const int w = image.width(), h = image.height();
  ByteBuffer interleaved;
  const uint8_t* rows = image.bits();
  size_t stride = image.rowBytes();
  if (alpha) {
    interleaved = interleaveAlpha(image, layout->alphaBytes);
    rows = interleaved.data();
    stride = size_t(w) * size_t(layout->pixelBytes);
  }

  const int quality = std::clamp(params.HDP_Quality, 1, 100);
  CWMIStrCodecParam scp;
  std::memset(&scp, 0, sizeof scp);
  scp.cfColorFormat = layout->format == PixelFormat::ie8g || layout->format == PixelFormat::ie16g ? Y_ONLY : YUV_444;
  scp.bdBitDepth = BD_LONG;
  scp.bfBitstreamFormat = SPATIAL;
  scp.olOverlap = quality == 100 ? OL_NONE : OL_ONE;
  scp.sbSubband = SB_ALL;
  scp.uAlphaMode = alpha ? 2 : 0;
  scp.uiDefaultQPIndex = U8(quality == 100 ? 1 : 1 + std::lround((100 - quality) * 1.6));
  scp.uiDefaultQPIndexAlpha = 1;

  QByteArray bytes;
  MemoryStream stream;
  stream.out = &bytes;
  PKImageEncode* encoder = nullptr;
  if (Failed(PKImageEncode_Create_WMP(&encoder)) || !encoder) {
    error = "Out of memory";
    return false;
  }
  encoder->pStream = &stream.ws;  // released with the encoder, also when set-up fails
  ERR err = encoder->Initialize(encoder, &stream.ws, &scp, sizeof scp);
  if (!Failed(err)) {
    encoder->WMP.wmiSCP_Alpha.uiDefaultQPIndex = 1;
    err = encoder->SetPixelFormat(encoder, *guid);
  }
  if (!Failed(err)) err = encoder->SetSize(encoder, w, h);
  if (!Failed(err))
    err = encoder->SetResolution(encoder, Float(std::max(params.DpiX, 1)), Float(std::max(params.DpiY, 1)));
  if (!Failed(err)) err = encoder->WritePixels(encoder, U32(h), const_cast<U8*>(rows), U32(stride));
  encoder->Release(&encoder);
  if (Failed(err)) {
    error = QString("Cannot encode the HD Photo image (encoder error %1)").arg(err);
    return false;
  }
  out = std::move(bytes);
  return true;
}

}  // namespace lumo
