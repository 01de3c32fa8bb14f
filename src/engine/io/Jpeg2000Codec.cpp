#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include <openjpeg.h>

#include "engine/io/ImageCodecs.h"
#include "engine/io/OpenJpegStreams.h"
#include "engine/pixels/PixelConvert.h"

namespace lumo {

namespace {

// More components than this are no picture we can show; files with them are refused
// before the decoder allocates a plane for each.
constexpr uint32_t kMaxComponents = 16;
// Every tile needs at least one tile-part: a start-of-tile segment and a start-of-data
// marker.
constexpr uint64_t kMinBytesPerTile = 14;

uint16_t be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
uint32_t be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

bool isJp2(const uint8_t* d, size_t n) { return n >= 12 && std::memcmp(d, "\0\0\0\x0CjP  \r\n\x87\n", 12) == 0; }
bool isCodestream(const uint8_t* d, size_t n) { return n >= 4 && std::memcmp(d, "\xFF\x4F\xFF\x51", 4) == 0; }

// Where the code stream starts: at 0 for a bare code stream, else in the first
// "jp2c" box of the top level. Returns false when there is none.
bool findCodestream(const uint8_t* d, size_t n, size_t& at) {
  if (isCodestream(d, n)) {
    at = 0;
    return true;
  }
  size_t pos = 0;
  while (n - pos >= 8) {
    uint64_t length = be32(d + pos);
    size_t header = 8;
    if (length == 1) {
      if (n - pos < 16) return false;
      length = uint64_t(be32(d + pos + 8)) << 32 | be32(d + pos + 12);
      header = 16;
    } else if (length == 0) {
      length = n - pos;
    }
    if (std::memcmp(d + pos + 4, "jp2c", 4) == 0) {
      at = pos + header;
      return true;
    }
    if (length < header || length > n - pos) return false;
    pos += size_t(length);
  }
  return false;
}

// Checks the image and tile size marker against what the file can hold, before the
// decoder allocates its tile and component structures from it.
bool checkCodestreamHeader(const uint8_t* data, size_t size, QString& error) {
  size_t at = 0;
  if (!findCodestream(data, size, at)) {
    error = "The JPEG 2000 file holds no code stream";
    return false;
  }
  const uint8_t* d = data + at;
  const size_t n = size - at;
  if (n < 42 || !isCodestream(d, n)) {
    error = "Invalid JPEG 2000 code stream";
    return false;
  }
  const uint32_t xsiz = be32(d + 8), ysiz = be32(d + 12), xo = be32(d + 16), yo = be32(d + 20);
  const uint32_t xt = be32(d + 24), yt = be32(d + 28), xto = be32(d + 32), yto = be32(d + 36);
  const uint32_t comps = be16(d + 40);
  if (xsiz <= xo || ysiz <= yo || xt == 0 || yt == 0 || xto > xo || yto > yo) {
    error = "Invalid JPEG 2000 image or tile size";
    return false;
  }
  if (comps == 0 || comps > kMaxComponents) {
    error = QString("JPEG 2000 images with %1 components are not supported").arg(comps);
    return false;
  }
  if (n < 42 + 3 * size_t(comps)) {
    error = "Invalid JPEG 2000 code stream";
    return false;
  }
  double bytesPerPixel = 0;
  for (uint32_t i = 0; i < comps; ++i) {
    const uint8_t* c = d + 42 + 3 * i;
    if (c[1] != 1 || c[2] != 1) {
      error = "JPEG 2000 images with sub-sampled components are not supported";
      return false;
    }
    bytesPerPixel += (c[0] & 0x7F) + 1 > 8 ? 2 : 1;
  }
  const uint64_t tiles = ((uint64_t(xsiz) - xto + xt - 1) / xt) * ((uint64_t(ysiz) - yto + yt - 1) / yt);
  if (tiles > n / kMinBytesPerTile) {
    error = QString("The JPEG 2000 file is too short for its %1 tiles").arg(tiles);
    return false;
  }
  return checkDeclaredSize(int64_t(xsiz) - xo, int64_t(ysiz) - yo, bytesPerPixel, size, error);
}

// Sample `i` of `c` as an unsigned value of its precision.
int64_t sampleOf(const opj_image_comp_t& c, size_t i) {
  int64_t v = c.data[i];
  if (c.sgnd) v += int64_t(1) << (c.prec - 1);
  return std::clamp<int64_t>(v, 0, (int64_t(1) << c.prec) - 1);
}

// `v` of precision `prec` rescaled to `bits` bits.
uint32_t rescale(int64_t v, uint32_t prec, int bits) {
  if (prec >= uint32_t(bits)) return uint32_t(v >> (prec - uint32_t(bits)));
  const int64_t from = (int64_t(1) << prec) - 1, to = (int64_t(1) << bits) - 1;
  return uint32_t((v * to + from / 2) / from);
}

// sYCC to RGB in place, on the three components' own precision.
void syccToRgb(opj_image_t* img) {
  opj_image_comp_t* c = img->comps;
  const uint32_t prec = c[0].prec;
  if (prec > 30 || c[1].prec != prec || c[2].prec != prec) return;
  const double half = double(int64_t(1) << (prec - 1)), top = double((int64_t(1) << prec) - 1);
  const size_t n = size_t(c[0].w) * c[0].h;
  for (size_t i = 0; i < n; ++i) {
    const double y = double(sampleOf(c[0], i)), cb = double(sampleOf(c[1], i)) - half,
                 cr = double(sampleOf(c[2], i)) - half;
    const double rgb[3] = {y + 1.402 * cr, y - 0.344136 * cb - 0.714136 * cr, y + 1.772 * cb};
    for (int k = 0; k < 3; ++k) c[k].data[i] = OPJ_INT32(std::lround(std::clamp(rgb[k], 0.0, top)));
  }
  for (int k = 0; k < 3; ++k) c[k].sgnd = 0;
}

// The bitmap of a decoded image: grey, RGB or CMYK of 8 or 16 bits and an optional
// alpha component. Components beyond those are dropped.
bool toBitmap(opj_image_t* img, Bitmap& out, IOParams& params, QString& error) {
  const uint32_t nc = img->numcomps;
  if (nc == 0 || nc > kMaxComponents) {
    error = QString("JPEG 2000 images with %1 components are not supported").arg(nc);
    return false;
  }
  const opj_image_comp_t* c = img->comps;
  const uint32_t w = c[0].w, h = c[0].h;
  for (uint32_t i = 0; i < nc; ++i)
    if (c[i].dx != 1 || c[i].dy != 1 || c[i].w != w || c[i].h != h || !c[i].data || c[i].prec < 1 || c[i].prec > 38) {
      error = "JPEG 2000 images with sub-sampled or malformed components are not supported";
      return false;
    }
  if (w == 0 || h == 0 || w > kMaxImageSide || h > kMaxImageSide) {
    error = "Invalid JPEG 2000 image size";
    return false;
  }
  int alpha = -1;
  for (uint32_t i = 0; i < nc && alpha < 0; ++i)
    if (c[i].alpha) alpha = int(i);
  std::vector<uint32_t> colour;
  for (uint32_t i = 0; i < nc; ++i)
    if (int(i) != alpha) colour.push_back(i);
  const bool cmyk = img->color_space == OPJ_CLRSPC_CMYK && colour.size() >= 4;
  // Without a channel definition, a second or fourth component is taken as alpha.
  if (alpha < 0 && !cmyk && (nc == 2 || nc == 4)) {
    alpha = int(nc - 1);
    colour.pop_back();
  }
  colour.resize(cmyk ? 4 : colour.size() >= 3 ? 3 : 1);
  if (colour.size() == 3 && img->color_space == OPJ_CLRSPC_SYCC && colour[0] == 0 && colour[2] == 2) syccToRgb(img);

  uint32_t precision = 0;
  for (uint32_t i : colour) precision = std::max(precision, c[i].prec);
  const bool deep = precision > 8 && !cmyk;
  PixelFormat format = cmyk ? PixelFormat::ieCMYK
                       : colour.size() == 1 ? (deep ? PixelFormat::ie16g : PixelFormat::ie8g)
                                            : (deep ? PixelFormat::ie48RGB : PixelFormat::ie24RGB);
  Bitmap image(int(w), int(h), format);
  const int bits = deep ? 16 : 8;
  // Byte order of the bitmap: blue, green, red for 24-bit; the component order otherwise.
  std::vector<uint32_t> order = colour;
  if (format == PixelFormat::ie24RGB) std::swap(order[0], order[2]);
  const size_t samples = order.size();
  for (uint32_t y = 0; y < h; ++y) {
    uint8_t* row = image.mutableScanline(int(y));
    const size_t base = size_t(y) * w;
    for (uint32_t x = 0; x < w; ++x)
      for (size_t k = 0; k < samples; ++k) {
        const opj_image_comp_t& comp = c[order[k]];
        const uint32_t v = rescale(sampleOf(comp, base + x), comp.prec, bits);
        if (deep) {
          const uint16_t word = uint16_t(v);
          std::memcpy(row + (size_t(x) * samples + k) * 2, &word, 2);
        } else {
          row[size_t(x) * samples + k] = uint8_t(v);
        }
      }
  }
  if (alpha >= 0) {
    image.addAlpha();
    const opj_image_comp_t& a = c[alpha];
    for (uint32_t y = 0; y < h; ++y) {
      uint8_t* row = image.mutableAlphaScanline(int(y));
      for (uint32_t x = 0; x < w; ++x) row[x] = uint8_t(rescale(sampleOf(a, size_t(y) * w + x), a.prec, 8));
    }
    if (image.isOpaque()) image.removeAlpha();
    else image.setAlphaFull(false);
  }
  params.BitsPerSample = int32_t(precision);
  params.SamplesPerPixel = int32_t(nc);
  out = std::move(image);
  return true;
}

}  // namespace

// Reads JP2 files and bare code streams alike; the signature tells them apart.
bool readJpeg2000(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  const bool jp2 = isJp2(data, size);
  if (!jp2 && !isCodestream(data, size)) {
    error = "Not a JPEG 2000 file";
    return false;
  }
  if (!checkCodestreamHeader(data, size, error)) return false;

  OpjCodec codec(opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
  OpjStream stream = openJpegInput(data, size);
  if (!codec || !stream) {
    error = "Out of memory";
    return false;
  }
  QString message;
  quietOpenJpeg(codec.get(), message);
  opj_dparameters_t parameters;
  opj_set_default_decoder_parameters(&parameters);
  // A code stream cut short is an error rather than a blurred picture.
  if (!opj_setup_decoder(codec.get(), &parameters) || !opj_decoder_set_strict_mode(codec.get(), OPJ_TRUE)) {
    error = "The JPEG 2000 decoder cannot be set up";
    return false;
  }
  opj_image_t* raw = nullptr;
  const bool header = opj_read_header(stream.get(), codec.get(), &raw);
  OpjImage img(raw);
  if (!header || !img || !opj_decode(codec.get(), stream.get(), img.get()) ||
      !opj_end_decompress(codec.get(), stream.get())) {
    error = message.isEmpty() ? QString("Invalid JPEG 2000 data") : QString("Invalid JPEG 2000 data: %1").arg(message);
    return false;
  }
  return toBitmap(img.get(), out, params, error);
}

// J2000_Rate caps the size of the compressed image as a fraction of its raw size: 0.1
// allows a tenth (a picture that needs less stays smaller). Rates of 1 and above write
// the reversible wavelet without loss; rates below 1 the irreversible one, so even 0.99
// loses a little. The extension
// chooses the boxed JP2 file ("jp2") or the bare code stream (any other). Grey and RGB
// of 8 and 16 bits are written as they are, with alpha as an extra component that the
// rate compresses like the colours; other formats are written as 8-bit grey (1-bit,
// float) or 24-bit RGB.
bool writeJpeg2000(const Bitmap& source, const IOParams& params, const QString& extension, QByteArray& out,
                   QString& error) {
  const double rate = params.J2000_Rate;
  if (!(rate > 0)) {
    error = "The JPEG 2000 rate must be greater than 0";
    return false;
  }
  Bitmap image;
  switch (source.format()) {
    case PixelFormat::ie8g:
    case PixelFormat::ie16g:
    case PixelFormat::ie24RGB:
    case PixelFormat::ie48RGB: image = source; break;
    case PixelFormat::ie1g:
    case PixelFormat::ie32f: image = convertPixelFormat(source, PixelFormat::ie8g); break;
    default: image = convertToRGB24(source);
  }
  const PixelFormat f = image.format();
  const bool grey = f == PixelFormat::ie8g || f == PixelFormat::ie16g;
  const bool deep = f == PixelFormat::ie16g || f == PixelFormat::ie48RGB;
  const uint32_t colours = grey ? 1 : 3;
  const bool alpha = image.hasAlpha();
  const uint32_t nc = colours + (alpha ? 1 : 0);
  const uint32_t w = uint32_t(image.width()), h = uint32_t(image.height());

  opj_image_cmptparm_t parms[4];
  std::memset(parms, 0, sizeof parms);
  for (uint32_t i = 0; i < nc; ++i) {
    parms[i].dx = parms[i].dy = 1;
    parms[i].w = w;
    parms[i].h = h;
    parms[i].prec = deep ? 16 : 8;
  }
  OpjImage img(opj_image_create(nc, parms, grey ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB));
  if (!img) {
    error = "Out of memory";
    return false;
  }
  img->x0 = img->y0 = 0;
  img->x1 = w;
  img->y1 = h;
  if (alpha) img->comps[colours].alpha = 1;
  // Component k of the bitmap's pixel: red is the third byte of a 24-bit pixel.
  const uint32_t byteOf[3] = {f == PixelFormat::ie24RGB ? 2u : 0u, 1u, f == PixelFormat::ie24RGB ? 0u : 2u};
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* row = image.scanline(int(y));
    for (uint32_t k = 0; k < colours; ++k) {
      OPJ_INT32* d = img->comps[k].data + size_t(y) * w;
      const uint32_t at = grey ? 0 : byteOf[k];
      for (uint32_t x = 0; x < w; ++x) {
        if (deep) {
          uint16_t word;
          std::memcpy(&word, row + (size_t(x) * colours + at) * 2, 2);
          d[x] = word;
        } else {
          d[x] = row[size_t(x) * colours + at];
        }
      }
    }
    if (alpha) {
      const uint8_t* a = image.alphaScanline(int(y));
      OPJ_INT32* d = img->comps[colours].data + size_t(y) * w;
      for (uint32_t x = 0; x < w; ++x) d[x] = deep ? a[x] * 257 : a[x];
    }
  }

  opj_cparameters_t parameters;
  opj_set_default_encoder_parameters(&parameters);
  parameters.tcp_numlayers = 1;
  parameters.cp_disto_alloc = 1;
  if (rate >= 1) {
    parameters.irreversible = 0;
    parameters.tcp_rates[0] = 0;  // no target: every bit is kept
  } else {
    parameters.irreversible = 1;
    parameters.tcp_rates[0] = float(1.0 / rate);  // the library takes the compression ratio
  }
  parameters.tcp_mct = colours == 3 ? 1 : 0;
  // The smallest resolution level must keep at least one pixel.
  int levels = 1;
  while (levels < 6 && (std::min(w, h) >> levels) > 0) ++levels;
  parameters.numresolution = levels;

  const bool boxed = extension == "jp2";
  OpjCodec codec(opj_create_compress(boxed ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
  QByteArray bytes;
  OpjStream stream = openJpegOutput(bytes);
  if (!codec || !stream) {
    error = "Out of memory";
    return false;
  }
  QString message;
  quietOpenJpeg(codec.get(), message);
  if (!opj_setup_encoder(codec.get(), &parameters, img.get()) ||
      !opj_start_compress(codec.get(), img.get(), stream.get()) || !opj_encode(codec.get(), stream.get()) ||
      !opj_end_compress(codec.get(), stream.get())) {
    error = message.isEmpty() ? QString("Cannot encode the JPEG 2000 image")
                              : QString("Cannot encode the JPEG 2000 image: %1").arg(message);
    return false;
  }
  out = std::move(bytes);
  return true;
}

}  // namespace lumo
