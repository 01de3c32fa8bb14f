// The formats served by Magick++: PSD, PCX, DCX, DPX, Cineon, PICT, JNG, Targa and icons.
//
// Every reader first checks the format's own header here, so that bytes of another type
// never reach the library and garbage is turned away at once. The library is always told
// the type (it never picks a coder by content), reads the header alone first (ping), and
// decodes only when the size is within our limits and the library's.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include <Magick++.h>

#include "engine/io/ImageCodecs.h"
#include "engine/pixels/PixelConvert.h"
#include "engine/pixels/QImageBridge.h"
#include "engine/render/Resample.h"

namespace lumo {

namespace {

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint16_t be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
uint32_t be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// What a header declares.
struct Size {
  int64_t width = 0, height = 0;
};

// The library's limits only ever go down from what the system policy allows; these are
// set once for the whole program. There is no time limit on purpose: the library counts
// it from its first use in the process and ends the whole program when it runs out.
void setUpMagick() {
  Magick::InitializeMagick(nullptr);
  using Magick::ResourceLimits;
  ResourceLimits::memory(MagickCore::MagickSizeType(256) << 20);
  ResourceLimits::map(MagickCore::MagickSizeType(512) << 20);
  ResourceLimits::disk(MagickCore::MagickSizeType(1) << 30);
  ResourceLimits::area(128000000);
  ResourceLimits::width(16000);
  ResourceLimits::height(16000);
  ResourceLimits::listLength(1024);
  ResourceLimits::thread(2);
}

void ensureMagick() {
  static std::once_flag once;
  std::call_once(once, setUpMagick);
}

// "prog: improper image header `name' @ error/psd.c/..." -> "improper image header".
QString reasonOf(const std::exception& e) {
  QString text = QString::fromLocal8Bit(e.what());
  const qsizetype colon = text.indexOf(": ");
  if (colon >= 0) text = text.mid(colon + 2);
  for (const char* cut : {" `", " @ "}) {
    const qsizetype at = text.indexOf(cut);
    if (at > 0) text.truncate(at);
  }
  text = text.trimmed();
  if (!text.isEmpty()) text[0] = text[0].toUpper();
  return text.isEmpty() ? QString("The data cannot be decoded") : text;
}

// The declared size against the library's own limits, with the limit named.
bool withinDecoderLimits(int64_t width, int64_t height, QString& error) {
  const auto maxWidth = int64_t(Magick::ResourceLimits::width());
  const auto maxHeight = int64_t(Magick::ResourceLimits::height());
  const auto maxArea = int64_t(Magick::ResourceLimits::area());
  if (width > maxWidth) {
    error = QString("The image is %1 pixels wide, more than the %2-pixel side this format's decoder allows")
                .arg(width)
                .arg(maxWidth);
    return false;
  }
  if (height > maxHeight) {
    error = QString("The image is %1 pixels high, more than the %2-pixel side this format's decoder allows")
                .arg(height)
                .arg(maxHeight);
    return false;
  }
  if (width * height > maxArea) {
    error = QString("The image has %1 million pixels, more than the %2 million this format's decoder allows")
                .arg(double(width) * double(height) / 1e6, 0, 'f', 1)
                .arg(double(maxArea) / 1e6, 0, 'f', 0);
    return false;
  }
  return true;
}

// Photoshop stores the composite of a picture with transparency blended over white. These
// undo and redo that blend on a bitmap with an alpha plane (8 or 16 bits per sample); where
// alpha is 0 the colour is gone and stays white.
template <class T>
void blendRow(T* px, const uint8_t* alpha, int w, int samples, bool over) {
  constexpr uint64_t top = sizeof(T) == 1 ? 255 : 65535;
  for (int x = 0; x < w; ++x) {
    const uint64_t a = uint64_t(alpha[x]) * (top / 255);
    for (int c = 0; c < samples; ++c) {
      T& v = px[size_t(x) * size_t(samples) + size_t(c)];
      if (over) {
        v = T((uint64_t(v) * a + top * (top - a) + top / 2) / top);
      } else if (a > 0) {
        const int64_t lifted = (int64_t(v) - int64_t(top - a)) * int64_t(top) + int64_t(a / 2);
        v = T(std::clamp<int64_t>(lifted / int64_t(a), 0, int64_t(top)));
      }
    }
  }
}

void blendWithWhite(Bitmap& b, bool over) {
  const bool deep = b.format() == PixelFormat::ie16g || b.format() == PixelFormat::ie48RGB;
  const int samples = b.format() == PixelFormat::ie8g || b.format() == PixelFormat::ie16g ? 1 : 3;
  for (int y = 0; y < b.height(); ++y) {
    if (deep)
      blendRow(reinterpret_cast<uint16_t*>(b.mutableScanline(y)), b.alphaScanline(y), b.width(), samples, over);
    else
      blendRow(b.mutableScanline(y), b.alphaScanline(y), b.width(), samples, over);
  }
}

// What differs between the formats when reading.
struct ReadOptions {
  bool eightBit = false;    // the coder reports 16 bits for what the file keeps in 8
  bool whiteMatte = false;  // the colour is blended over white where alpha is below 255
};

// The image's pixels as a bitmap: grey stays grey, more than 8 bits per sample become
// 16-bit words, other colour models are turned into RGB, alpha goes to the alpha plane.
Bitmap bitmapOf(Magick::Image& image, const ReadOptions& options, IOParams& params) {
  using namespace MagickCore;
  const ColorspaceType space = image.colorSpace();
  if (space != sRGBColorspace && space != RGBColorspace && space != GRAYColorspace && space != TransparentColorspace &&
      space != UndefinedColorspace)
    image.colorSpace(sRGBColorspace);
  ExceptionInfo* exception = AcquireExceptionInfo();
  const bool grey = IdentifyImageGray(image.constImage(), exception) != UndefinedType;
  DestroyExceptionInfo(exception);
  const bool deep = image.depth() > 8 && !options.eightBit;
  const bool alpha = image.matte();
  const int w = int(image.columns()), h = int(image.rows());
  const PixelFormat format =
      grey ? (deep ? PixelFormat::ie16g : PixelFormat::ie8g) : (deep ? PixelFormat::ie48RGB : PixelFormat::ie24RGB);
  const char* map = grey ? "I" : (deep ? "RGB" : "BGR");
  const StorageType storage = deep ? ShortPixel : CharPixel;
  Bitmap out(w, h, format);
  if (alpha) out.addAlpha();
  for (int y = 0; y < h; ++y) {
    image.write(0, y, size_t(w), 1, map, storage, out.mutableScanline(y));
    if (alpha) image.write(0, y, size_t(w), 1, "A", CharPixel, out.mutableAlphaScanline(y));
  }
  if (alpha) {
    out.setAlphaFull(out.isOpaque());
    if (options.whiteMatte) blendWithWhite(out, false);
  }
  params.BitsPerSample = deep ? 16 : int32_t(std::clamp<size_t>(image.depth(), 1, 8));
  params.SamplesPerPixel = (grey ? 1 : 3) + (alpha ? 1 : 0);
  double dpiX = image.xResolution(), dpiY = image.yResolution();
  if (image.resolutionUnits() == PixelsPerCentimeterResolution) {
    dpiX *= 2.54;
    dpiY *= 2.54;
  }
  if (dpiX >= 1 && dpiY >= 1 && image.resolutionUnits() != UndefinedResolution) {
    params.DpiX = int32_t(dpiX + 0.5);
    params.DpiY = int32_t(dpiY + 0.5);
  }
  return out;
}

// Decodes the first image of `data` with the coder `magick`, size-checked before decoding.
bool decodeWithMagick(const char* magick, const uint8_t* data, size_t size, Size declared, Bitmap& out,
                      IOParams& params, QString& error, const ReadOptions& options = {}) {
  ensureMagick();
  if (!withinDecoderLimits(declared.width, declared.height, error) ||
      !checkDeclaredSize(declared.width, declared.height, 1.0 / 8.0, size, error))
    return false;
  try {
    const Magick::Blob blob(data, size);
    auto prepared = [&] {
      Magick::Image image;
      image.quiet(true);  // warnings about odd but readable files do not fail the read
      image.subImage(0);
      image.subRange(1);
      image.magick(magick);
      if (options.whiteMatte) image.defineValue("psd", "alpha-unblend", "off");  // done below, correctly
      return image;
    };
    Magick::Image header = prepared();
    header.ping(blob);
    const auto width = int64_t(header.columns()), height = int64_t(header.rows());
    if (!withinDecoderLimits(width, height, error)) return false;
    // One bit per pixel is the smallest any of these formats stores.
    if (!checkDeclaredSize(width, height, 1.0 / 8.0, size, error)) return false;
    Magick::Image image = prepared();
    image.read(blob);
    if (int64_t(image.columns()) != width || int64_t(image.rows()) != height) {
      error = "The image data does not match its header";
      return false;
    }
    IOParams found = params;
    Bitmap bitmap = bitmapOf(image, options, found);
    out = std::move(bitmap);
    params = found;
    return true;
  } catch (const std::exception& e) {
    error = QString("Invalid %1 data: %2").arg(magick, reasonOf(e));
    return false;
  }
}

// How a bitmap goes to the library: as grey or RGB, 8 or 16 bits per sample.
struct Source {
  Bitmap pixels;
  bool grey = false;
  bool deep = false;
};

Source sourceOf(const Bitmap& image) {
  switch (image.format()) {
    case PixelFormat::ie1g:
      return {convertPixelFormat(image, PixelFormat::ie8g), true, false};
    case PixelFormat::ie8g:
      return {image, true, false};
    case PixelFormat::ie16g:
      return {image, true, true};
    case PixelFormat::ie48RGB:
      return {image, false, true};
    case PixelFormat::ie24RGB:
      return {image, false, false};
    default:
      return {convertToRGB24(image), false, false};
  }
}

struct WriteOptions {
  MagickCore::CompressionType compression = MagickCore::UndefinedCompression;
  int quality = 0;          // 0: the coder's default
  bool whiteMatte = false;  // blend the colour over white where alpha is below 255
};

bool encodeWithMagick(const char* magick, const Bitmap& bitmap, const IOParams& params, const WriteOptions& options,
                      QByteArray& out, QString& error) {
  using namespace MagickCore;
  ensureMagick();
  Source src = sourceOf(bitmap);
  const bool alpha = src.pixels.hasAlpha() && !src.pixels.isOpaque();
  if (alpha && options.whiteMatte) blendWithWhite(src.pixels, true);
  const Bitmap& px = src.pixels;
  const int w = px.width(), h = px.height();
  try {
    Magick::Image image(Magick::Geometry(size_t(w), size_t(h)), Magick::Color(0, 0, 0));
    image.modifyImage();
    image.depth(src.deep ? 16 : 8);
    if (alpha) image.matte(true);
    const char* map = src.grey ? "I" : (src.deep ? "RGB" : "BGR");
    const StorageType storage = src.deep ? ShortPixel : CharPixel;
    bool ok = true;
    for (int y = 0; y < h && ok; ++y) {
      ok = ImportImagePixels(image.image(), 0, y, size_t(w), 1, map, storage, px.scanline(y)) != MagickFalse;
      if (ok && alpha)
        ok = ImportImagePixels(image.image(), 0, y, size_t(w), 1, "A", CharPixel, px.alphaScanline(y)) != MagickFalse;
    }
    if (!ok) {
      error = "Cannot hand the pixels to the encoder";
      return false;
    }
    if (src.grey) image.colorspaceType(GRAYColorspace);
    image.magick(magick);
    if (params.DpiX > 0 && params.DpiY > 0) {
      image.resolutionUnits(PixelsPerInchResolution);
      image.density(Magick::Geometry(size_t(params.DpiX), size_t(params.DpiY)));
    }
    if (options.compression != UndefinedCompression) image.compressType(options.compression);
    if (options.quality > 0) image.quality(size_t(options.quality));
    Magick::Blob blob;
    image.write(&blob);
    out = QByteArray(static_cast<const char*>(blob.data()), qsizetype(blob.length()));
    return true;
  } catch (const std::exception& e) {
    error = QString("Cannot encode the %1 image: %2").arg(magick, reasonOf(e));
    return false;
  }
}

bool refuse(QString& error, const char* what) {
  error = QString("Not a valid %1 file").arg(what);
  return false;
}

bool sizeOk(int64_t w, int64_t h, Size& size, QString& error) {
  if (w <= 0 || h <= 0) {
    error = "The header declares an image without pixels";
    return false;
  }
  size = {w, h};
  return true;
}

// --- Header checks: true when the bytes plausibly are the format, with the declared size.

bool psdHeader(const uint8_t* d, size_t n, Size& size, QString& error) {
  if (n < 26 || std::memcmp(d, "8BPS", 4) != 0) return refuse(error, "PSD");
  const int version = be16(d + 4), channels = be16(d + 12), depth = be16(d + 22), mode = be16(d + 24);
  if ((version != 1 && version != 2) || channels < 1 || channels > 56) return refuse(error, "PSD");
  if (depth != 1 && depth != 8 && depth != 16 && depth != 32) return refuse(error, "PSD");
  if (mode > 9 || mode == 5 || mode == 6) return refuse(error, "PSD");
  return sizeOk(be32(d + 18), be32(d + 14), size, error);
}

bool pcxHeader(const uint8_t* d, size_t n, Size& size, QString& error) {
  if (n < 128 || d[0] != 0x0A || d[1] > 5 || d[1] == 1 || d[2] > 1) return refuse(error, "PCX");
  const int bits = d[3], planes = d[65];
  if ((bits != 1 && bits != 2 && bits != 4 && bits != 8) || planes < 1 || planes > 4) return refuse(error, "PCX");
  return sizeOk(int64_t(le16(d + 8)) - le16(d + 4) + 1, int64_t(le16(d + 10)) - le16(d + 6) + 1, size, error);
}

bool dcxHeader(const uint8_t* d, size_t n, Size& size, QString& error) {
  if (n < 8 || le32(d) != 987654321u) return refuse(error, "DCX");
  const uint32_t first = le32(d + 4);
  if (first < 8 || first >= n) return refuse(error, "DCX");
  return pcxHeader(d + first, n - first, size, error);
}

bool dpxHeader(const uint8_t* d, size_t n, Size& size, QString& error) {
  if (n < 1664) return refuse(error, "DPX");
  const bool big = std::memcmp(d, "SDPX", 4) == 0;
  if (!big && std::memcmp(d, "XPDS", 4) != 0) return refuse(error, "DPX");
  auto u16 = [&](size_t at) { return big ? be16(d + at) : le16(d + at); };
  auto u32 = [&](size_t at) { return big ? be32(d + at) : le32(d + at); };
  if (u16(770) < 1 || u16(770) > 8) return refuse(error, "DPX");
  return sizeOk(u32(772), u32(776), size, error);
}

bool cinHeader(const uint8_t* d, size_t n, Size& size, QString& error) {
  if (n < 712) return refuse(error, "Cineon");
  const bool big = std::memcmp(d, "\x80\x2A\x5F\xD7", 4) == 0;
  if (!big && std::memcmp(d, "\xD7\x5F\x2A\x80", 4) != 0) return refuse(error, "Cineon");
  auto u32 = [&](size_t at) { return big ? be32(d + at) : le32(d + at); };
  if (d[193] < 1 || d[193] > 8) return refuse(error, "Cineon");
  return sizeOk(u32(200), u32(204), size, error);
}

// A picture file: 512 bytes of application header, the picture size, the frame, then
// the version opcode (0x11 followed by 1, or by 2 and 0xFF).
bool pictHeader(const uint8_t* d, size_t n, Size& size, QString& error) {
  if (n < 526) return refuse(error, "PICT");
  const int top = int16_t(be16(d + 514)), left = int16_t(be16(d + 516));
  const int bottom = int16_t(be16(d + 518)), right = int16_t(be16(d + 520));
  size_t at = 522;
  while (at < n && d[at] == 0) ++at;
  if (at + 2 >= n || d[at] != 0x11 || (d[at + 1] != 1 && (d[at + 1] != 2 || d[at + 2] != 0xFF)))
    return refuse(error, "PICT");
  return sizeOk(right - left, bottom - top, size, error);
}

bool jngHeader(const uint8_t* d, size_t n, Size& size, QString& error) {
  if (n < 48 || std::memcmp(d, "\x8BJNG\r\n\x1A\n", 8) != 0 || std::memcmp(d + 12, "JHDR", 4) != 0)
    return refuse(error, "JNG");
  return sizeOk(be32(d + 16), be32(d + 20), size, error);
}

bool tgaHeader(const uint8_t* d, size_t n, Size& size, QString& error) {
  if (n < 18) return refuse(error, "Targa");
  const int mapType = d[1], type = d[2], depth = d[16];
  const bool mapped = type == 1 || type == 9;
  if (mapType > 1 || (mapped && mapType != 1)) return refuse(error, "Targa");
  if (type != 1 && type != 2 && type != 3 && type != 9 && type != 10 && type != 11) return refuse(error, "Targa");
  if (depth != 8 && depth != 15 && depth != 16 && depth != 24 && depth != 32) return refuse(error, "Targa");
  return sizeOk(le16(d + 12), le16(d + 14), size, error);
}

const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// One image of an icon: where its data is and how large it says it is.
struct IconEntry {
  int width, height, bits;
  uint32_t size, offset;
  const uint8_t* directory;  // its 16 bytes in the icon's directory
};

// The largest image of the icon (most pixels, then most bits per pixel); the first such
// entry when several tie.
bool largestIcon(const uint8_t* d, size_t n, IconEntry& best, QString& error) {
  if (n < 6 || le16(d) != 0 || le16(d + 2) != 1 || le16(d + 4) == 0) return refuse(error, "icon");
  const size_t count = le16(d + 4);
  if (6 + 16 * count > n) return refuse(error, "icon");
  bool found = false;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = d + 6 + 16 * i;
    const IconEntry entry{e[0] ? e[0] : 256, e[1] ? e[1] : 256, le16(e + 6), le32(e + 8), le32(e + 12), e};
    if (entry.size < 16 || entry.offset < 6 + 16 * count || entry.offset > n || entry.size > n - entry.offset)
      continue;  // an entry that points outside the file is passed over
    const int64_t pixels = int64_t(entry.width) * entry.height, bestPixels = int64_t(best.width) * best.height;
    if (!found || pixels > bestPixels || (pixels == bestPixels && entry.bits > best.bits)) best = entry;
    found = true;
  }
  if (!found) error = "The icon holds no readable image";
  return found;
}

}  // namespace

bool readPsd(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  // The first image is the composite the file stores beside its layers.
  Size declared;
  ReadOptions options;
  options.whiteMatte = true;
  return psdHeader(data, size, declared, error) &&
         decodeWithMagick("PSD", data, size, declared, out, params, error, options);
}

// A flat file: the composite only, grey or RGB, 8 or 16 bits, alpha as its extra channel
// with the colour blended over white as Photoshop keeps it. Colours of pixels with little
// alpha therefore come back less precisely, and those of fully transparent pixels as white.
bool writePsd(const Bitmap& image, const IOParams& params, const QString&, QByteArray& out, QString& error) {
  WriteOptions options;
  options.whiteMatte = true;
  return encodeWithMagick("PSD", image, params, options, out, error);
}

bool readPcx(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  Size declared;
  if (!pcxHeader(data, size, declared, error) || !decodeWithMagick("PCX", data, size, declared, out, params, error))
    return false;
  params.PCX_Compression = data[2] ? PcxCompression::RLE : PcxCompression::Uncompressed;
  return true;
}

// PCX_Compression chooses run-length or plain rows; the encoding byte of the header
// says which the file holds. PCX has 8 bits per sample: deeper images are rounded.
bool writePcx(const Bitmap& image, const IOParams& params, const QString&, QByteArray& out, QString& error) {
  WriteOptions options;
  options.compression =
      params.PCX_Compression == PcxCompression::Uncompressed ? MagickCore::NoCompression : MagickCore::RLECompression;
  return encodeWithMagick("PCX", image, params, options, out, error);
}

// The first page of the multi-page file.
bool readDcx(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  Size declared;
  return dcxHeader(data, size, declared, error) && decodeWithMagick("DCX", data, size, declared, out, params, error);
}

// One page, compressed as PCX_Compression says.
bool writeDcx(const Bitmap& image, const IOParams& params, const QString&, QByteArray& out, QString& error) {
  WriteOptions options;
  options.compression =
      params.PCX_Compression == PcxCompression::Uncompressed ? MagickCore::NoCompression : MagickCore::RLECompression;
  return encodeWithMagick("DCX", image, params, options, out, error);
}

bool readDpx(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  Size declared;
  return dpxHeader(data, size, declared, error) && decodeWithMagick("DPX", data, size, declared, out, params, error);
}

// 8 or 16 bits per sample as the image has them.
bool writeDpx(const Bitmap& image, const IOParams& params, const QString&, QByteArray& out, QString& error) {
  return encodeWithMagick("DPX", image, params, {}, out, error);
}

bool readCin(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  Size declared;
  return cinHeader(data, size, declared, error) && decodeWithMagick("CIN", data, size, declared, out, params, error);
}

// Cineon stores 10-bit logarithmic film density; the picture goes through that curve and
// comes back close but not bit-exact. The format has no alpha.
bool writeCin(const Bitmap& image, const IOParams& params, const QString&, QByteArray& out, QString& error) {
  return encodeWithMagick("CIN", image, params, {}, out, error);
}

bool readPict(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  Size declared;
  return pictHeader(data, size, declared, error) && decodeWithMagick("PICT", data, size, declared, out, params, error);
}

bool writePict(const Bitmap& image, const IOParams& params, const QString&, QByteArray& out, QString& error) {
  return encodeWithMagick("PICT", image, params, {}, out, error);
}

bool readJng(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  Size declared;
  ReadOptions options;
  options.eightBit = true;  // JPEG samples; the alpha channel is 8-bit as well
  return jngHeader(data, size, declared, error) &&
         decodeWithMagick("JNG", data, size, declared, out, params, error, options);
}

// The colour is JPEG-compressed at JPEG_Quality; the alpha channel is stored losslessly.
bool writeJng(const Bitmap& image, const IOParams& params, const QString&, QByteArray& out, QString& error) {
  WriteOptions options;
  options.quality = std::clamp(params.JPEG_Quality, 1, 100);
  return encodeWithMagick("JNG", image, params, options, out, error);
}

bool readTga(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  Size declared;
  return tgaHeader(data, size, declared, error) && decodeWithMagick("TGA", data, size, declared, out, params, error);
}

// Uncompressed, 8 bits per sample; grey images as grey, alpha as the fourth channel.
bool writeTga(const Bitmap& image, const IOParams& params, const QString&, QByteArray& out, QString& error) {
  return encodeWithMagick("TGA", image, params, {}, out, error);
}

// An icon holds several sizes of one picture; the largest is the one opened. Only that
// image is decoded: a PNG image by the PNG reader, any other as a one-image icon.
bool readIco(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  IconEntry entry{};
  if (!largestIcon(data, size, entry, error)) return false;
  const uint8_t* image = data + entry.offset;
  if (entry.size >= 8 && std::memcmp(image, kPngSignature, 8) == 0)
    return readPng(image, entry.size, out, params, error);
  // Header, the chosen directory entry pointing just past it, and its image.
  std::vector<uint8_t> single(22 + entry.size, 0);
  single[2] = 1;
  single[4] = 1;
  std::memcpy(single.data() + 6, entry.directory, 12);
  single[18] = 22;
  std::memcpy(single.data() + 22, image, entry.size);
  return decodeWithMagick("ICO", single.data(), single.size(), {entry.width, entry.height}, out, params, error);
}

// An icon directory cannot describe an image larger than 256 pixels a side, and the
// system does not show larger icons: such an image is scaled down to fit 256 × 256,
// keeping its proportions. 256 × 256 images are stored PNG-compressed, smaller ones as
// 32-bit bitmaps with alpha.
bool writeIco(const Bitmap& image, const IOParams& params, const QString&, QByteArray& out, QString& error) {
  constexpr int kMaxSide = 256;
  if (image.width() <= kMaxSide && image.height() <= kMaxSide)
    return encodeWithMagick("ICO", image, params, {}, out, error);
  const double scale = double(kMaxSide) / double(std::max(image.width(), image.height()));
  const int w = std::clamp(int(image.width() * scale + 0.5), 1, kMaxSide);
  const int h = std::clamp(int(image.height() * scale + 0.5), 1, kMaxSide);
  const QImage source = toQImage(image).convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const Bitmap scaled = fromQImage(resampleImage(source, w, h).convertToFormat(QImage::Format_ARGB32));
  return encodeWithMagick("ICO", scaled, params, {}, out, error);
}

}  // namespace lumo
