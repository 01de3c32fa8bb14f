#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include <tiffio.h>

#include <QtGlobal>

#include "engine/io/ImageCodecs.h"
#include "engine/pixels/PixelConvert.h"

namespace lumo {

namespace {

// The file in memory: read-only over the caller's bytes, or growing into a QByteArray.
struct MemoryFile {
  const uint8_t* data = nullptr;
  QByteArray* sink = nullptr;
  uint64_t size = 0;
  uint64_t pos = 0;
  QString error;
};

tmsize_t memRead(thandle_t h, void* buf, tmsize_t n) {
  auto* f = static_cast<MemoryFile*>(h);
  const uint8_t* src = f->sink ? reinterpret_cast<const uint8_t*>(f->sink->constData()) : f->data;
  if (n < 0 || f->pos >= f->size) return 0;
  const uint64_t take = std::min<uint64_t>(uint64_t(n), f->size - f->pos);
  std::memcpy(buf, src + f->pos, size_t(take));
  f->pos += take;
  return tmsize_t(take);
}

tmsize_t memWrite(thandle_t h, void* buf, tmsize_t n) {
  auto* f = static_cast<MemoryFile*>(h);
  if (!f->sink || n < 0) return -1;
  const uint64_t end = f->pos + uint64_t(n);
  if (end > uint64_t(f->sink->size())) f->sink->resize(qsizetype(end), '\0');
  std::memcpy(f->sink->data() + f->pos, buf, size_t(n));
  f->pos = end;
  f->size = std::max(f->size, end);
  return n;
}

toff_t memSeek(thandle_t h, toff_t off, int whence) {
  auto* f = static_cast<MemoryFile*>(h);
  uint64_t base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->size : 0;
  const int64_t target = int64_t(base) + int64_t(off);
  if (target < 0) return toff_t(-1);
  f->pos = uint64_t(target);
  return f->pos;
}

int memClose(thandle_t) { return 0; }
toff_t memSize(thandle_t h) { return static_cast<MemoryFile*>(h)->size; }
int memMap(thandle_t, void**, toff_t*) { return 0; }
void memUnmap(thandle_t, void*, toff_t) {}

// libtiff's messages go into the file's error text instead of stderr.
int onError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  auto* f = static_cast<MemoryFile*>(user);
  char text[512];
  std::vsnprintf(text, sizeof text, fmt, ap);
  if (f->error.isEmpty()) f->error = QString("%1: %2").arg(module ? module : "TIFF", text);
  return 1;
}

int onWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

TiffPtr openMemory(MemoryFile& file, const char* mode) {
  TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(opts, onError, &file);
  TIFFOpenOptionsSetWarningHandlerExtR(opts, onWarning, &file);
  TIFFOpenOptionsSetMaxSingleMemAlloc(opts, tmsize_t(kMaxImagePixels) * 4);
  TIFF* t = TIFFClientOpenExt("memory", mode, &file, memRead, memWrite, memSeek, memClose, memSize, memMap, memUnmap,
                              opts);
  TIFFOpenOptionsFree(opts);
  return TiffPtr(t);
}

TiffCompression compressionOf(TIFF* t) {
  uint16_t c = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &c);
  switch (c) {
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTRLEW: return TiffCompression::CCITT1D;
    case COMPRESSION_CCITTFAX3: {
      uint32_t options = 0;
      TIFFGetField(t, TIFFTAG_GROUP3OPTIONS, &options);
      return (options & GROUP3OPT_2DENCODING) ? TiffCompression::G3FAX2D : TiffCompression::G3FAX1D;
    }
    case COMPRESSION_CCITTFAX4: return TiffCompression::G4FAX;
    case COMPRESSION_LZW: return TiffCompression::LZW;
    case COMPRESSION_OJPEG: return TiffCompression::OldJPEG;
    case COMPRESSION_JPEG: return TiffCompression::JPEG;
    case COMPRESSION_PACKBITS: return TiffCompression::Packbits;
    case COMPRESSION_ADOBE_DEFLATE: return TiffCompression::ZIP;
    case COMPRESSION_DEFLATE: return TiffCompression::Deflate;
    default: return TiffCompression::Uncompressed;
  }
}

bool isFax(TiffCompression c) {
  return c == TiffCompression::CCITT1D || c == TiffCompression::G3FAX1D || c == TiffCompression::G3FAX2D ||
         c == TiffCompression::G4FAX;
}

// Strips of 8- or 16-bit grey or RGB, with at most one unassociated alpha sample, are
// read sample by sample: the RGBA interface would premultiply alpha and cut 16 bits to 8.
bool readRowsDirectly(TIFF* t, uint32_t w, uint32_t h, uint16_t bps, uint16_t spp, bool colour, bool alpha,
                      Bitmap& image, MemoryFile& file, QString& error) {
  const PixelFormat format = colour ? (bps == 16 ? PixelFormat::ie48RGB : PixelFormat::ie24RGB)
                                    : (bps == 16 ? PixelFormat::ie16g : PixelFormat::ie8g);
  const size_t sampleBytes = bps / 8;
  const size_t pixelBytes = sampleBytes * spp;
  const size_t colourBytes = sampleBytes * (colour ? 3 : 1);
  const tmsize_t lineSize = TIFFScanlineSize(t);
  if (lineSize <= 0 || size_t(lineSize) < pixelBytes * w) {
    error = "Invalid TIFF data: inconsistent row size";
    return false;
  }
  image = Bitmap(int(w), int(h), format);
  if (alpha) image.addAlpha();
  ByteBuffer line(static_cast<size_t>(lineSize));
  for (uint32_t y = 0; y < h; ++y) {
    if (TIFFReadScanline(t, line.data(), y, 0) < 0) {
      error = "Invalid TIFF data: " + (file.error.isEmpty() ? QString("cannot decode row %1").arg(y) : file.error);
      return false;
    }
    const uint8_t* s = line.data();
    uint8_t* d = image.mutableScanline(int(y));
    uint8_t* a = alpha ? image.mutableAlphaScanline(int(y)) : nullptr;
    for (uint32_t x = 0; x < w; ++x, s += pixelBytes) {
      if (format == PixelFormat::ie24RGB) {  // red-green-blue to blue-green-red
        d[x * 3] = s[2];
        d[x * 3 + 1] = s[1];
        d[x * 3 + 2] = s[0];
      } else {
        std::memcpy(d + x * colourBytes, s, colourBytes);
      }
      if (a) {
        if (sampleBytes == 2) {
          uint16_t v;
          std::memcpy(&v, s + colourBytes, 2);
          a[x] = uint8_t(v >> 8);
        } else {
          a[x] = s[colourBytes];
        }
      }
    }
  }
  if (!file.error.isEmpty()) {
    error = "Invalid TIFF data: " + file.error;
    return false;
  }
  return true;
}

bool readThroughRgba(TIFF* t, uint32_t w, uint32_t h, uint16_t bps, bool grey, bool alpha, Bitmap& image,
                     MemoryFile& file, QString& error) {
  char message[1024] = {0};
  if (!TIFFRGBAImageOK(t, message)) {
    error = QString("Unsupported TIFF image: %1").arg(message);
    return false;
  }
  auto raster = std::make_unique<ByteBuffer>(size_t(w) * h * 4);
  if (!TIFFReadRGBAImageOriented(t, w, h, reinterpret_cast<uint32_t*>(raster->data()), ORIENTATION_TOPLEFT, 1) ||
      !file.error.isEmpty()) {
    error = "Invalid TIFF data: " + (file.error.isEmpty() ? QString("cannot decode the image") : file.error);
    return false;
  }
  // The raster holds red, green, blue, alpha bytes per pixel, in that order in memory.
  const PixelFormat format = grey ? (bps == 1 ? PixelFormat::ie1g : PixelFormat::ie8g) : PixelFormat::ie24RGB;
  image = Bitmap(int(w), int(h), format);
  if (alpha) image.addAlpha();
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* s = raster->data() + size_t(y) * w * 4;
    uint8_t* d = image.mutableScanline(int(y));
    uint8_t* a = alpha ? image.mutableAlphaScanline(int(y)) : nullptr;
    for (uint32_t x = 0; x < w; ++x, s += 4) {
      if (format == PixelFormat::ie1g) {
        if (s[0] >= 128) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
      } else if (format == PixelFormat::ie8g) {
        d[x] = s[0];
      } else {
        d[x * 3] = s[2];
        d[x * 3 + 1] = s[1];
        d[x * 3 + 2] = s[0];
      }
      if (a) a[x] = s[3];
    }
  }
  return true;
}

}  // namespace

bool readTiff(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  MemoryFile file;
  file.data = data;
  file.size = size;
  TiffPtr tif = openMemory(file, "rm");
  if (!tif) {
    error = "Invalid TIFF data: " + (file.error.isEmpty() ? QString("no image directory") : file.error);
    return false;
  }
  TIFF* t = tif.get();
  uint32_t w = 0, h = 0;
  uint16_t bps = 1, spp = 1, photometric = PHOTOMETRIC_MINISWHITE, orientation = ORIENTATION_TOPLEFT;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bps);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation);
  const TiffCompression compression = compressionOf(t);
  // Fax codes can spend a single bit on a whole row, so only the row count is bounded by
  // the file there; for the other codes the general expansion limit holds.
  if (isFax(compression)) {
    if (!checkDeclaredSize(w, h, 0.0, size, error)) return false;
    if (uint64_t(h) > uint64_t(size) * 8) {
      error = "The file is too short for its declared height";
      return false;
    }
  } else if (!checkDeclaredSize(w, h, std::max(1.0, double(bps) * spp / 8.0), size, error)) {
    return false;
  }
  uint16_t extraCount = 0;
  uint16_t* extra = nullptr;
  TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
  const bool alpha = extraCount > 0 && (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA);
  const bool grey = (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) && spp == 1;
  uint16_t planar = PLANARCONFIG_CONTIG;
  TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
  const int colourSamples = photometric == PHOTOMETRIC_RGB ? 3 : photometric == PHOTOMETRIC_MINISBLACK ? 1 : 0;
  const bool direct = !TIFFIsTiled(t) && planar == PLANARCONFIG_CONTIG && (bps == 8 || bps == 16) && colourSamples &&
                      extraCount <= 1 && spp == colourSamples + extraCount &&
                      (extraCount == 0 || extra[0] == EXTRASAMPLE_UNASSALPHA) && compression != TiffCompression::JPEG &&
                      compression != TiffCompression::OldJPEG;
  float xres = 0, yres = 0;
  uint16_t unit = RESUNIT_INCH;
  const bool hasRes = TIFFGetField(t, TIFFTAG_XRESOLUTION, &xres) && TIFFGetField(t, TIFFTAG_YRESOLUTION, &yres);
  TIFFGetFieldDefaulted(t, TIFFTAG_RESOLUTIONUNIT, &unit);

  Bitmap image;
  if (direct) {
    if (!readRowsDirectly(t, w, h, bps, spp, colourSamples == 3, extraCount == 1, image, file, error)) return false;
    image = applyOrientation(image, orientation);
  } else if (!readThroughRgba(t, w, h, bps, grey, alpha, image, file, error)) {
    return false;
  }
  if (image.hasAlpha()) image.setAlphaFull(image.isOpaque());

  params.BitsPerSample = bps;
  params.SamplesPerPixel = spp;
  params.TIFF_Compression = compression;
  // Both paths deliver the image upright.
  params.Orientation = orientation;
  if (hasRes && xres > 0 && yres > 0 && unit != RESUNIT_NONE) {
    const double f = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
    params.DpiX = int(xres * f + 0.5);
    params.DpiY = int(yres * f + 0.5);
  }
  out = std::move(image);
  return true;
}

bool writeTiff(const Bitmap& source, const IOParams& params, const QString& /*extension*/,
               QByteArray& out, QString& error) {
  const TiffCompression compression = params.TIFF_Compression;
  if (compression == TiffCompression::OldJPEG) {
    error = "Legacy JPEG compression cannot be written; choose JPEG instead";
    return false;
  }
  if (isFax(compression) && source.format() != PixelFormat::ie1g) {
    error = "CCITT fax compression needs a black-and-white image";
    return false;
  }
  Bitmap image = source;
  switch (source.format()) {
    case PixelFormat::ie1g:
    case PixelFormat::ie8p:
      if (source.hasAlpha() || compression == TiffCompression::JPEG) image = convertToRGB24(source);
      break;
    case PixelFormat::ie8g:
    case PixelFormat::ie24RGB:
      break;
    case PixelFormat::ie16g:
      if (compression == TiffCompression::JPEG) image = convertPixelFormat(source, PixelFormat::ie8g);
      break;
    case PixelFormat::ie48RGB:
      if (compression == TiffCompression::JPEG) image = convertToRGB24(source);
      break;
    default:
      image = convertToRGB24(source);
  }
  const PixelFormat f = image.format();
  const bool alpha = image.hasAlpha();
  const bool colour = f == PixelFormat::ie24RGB || f == PixelFormat::ie48RGB;
  const uint16_t bps = f == PixelFormat::ie1g ? 1 : (f == PixelFormat::ie16g || f == PixelFormat::ie48RGB) ? 16 : 8;
  const uint16_t spp = uint16_t((colour ? 3 : 1) + (alpha ? 1 : 0));

  uint16_t code = COMPRESSION_NONE;
  switch (compression) {
    case TiffCompression::CCITT1D: code = COMPRESSION_CCITTRLE; break;
    case TiffCompression::G3FAX1D:
    case TiffCompression::G3FAX2D: code = COMPRESSION_CCITTFAX3; break;
    case TiffCompression::G4FAX: code = COMPRESSION_CCITTFAX4; break;
    case TiffCompression::LZW: code = COMPRESSION_LZW; break;
    case TiffCompression::JPEG: code = COMPRESSION_JPEG; break;
    case TiffCompression::Packbits: code = COMPRESSION_PACKBITS; break;
    case TiffCompression::ZIP: code = COMPRESSION_ADOBE_DEFLATE; break;
    case TiffCompression::Deflate: code = COMPRESSION_DEFLATE; break;
    default: break;
  }

  QByteArray bytes;
  MemoryFile file;
  file.sink = &bytes;
  {
    TiffPtr tif = openMemory(file, "w");
    if (!tif) {
      error = "Cannot encode the TIFF image: " + file.error;
      return false;
    }
    TIFF* t = tif.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(image.width()));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(image.height()));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bps);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    // ie1g stores 1 = white, which is min-is-black.
    const uint16_t photometric = colour ? PHOTOMETRIC_RGB : f == PixelFormat::ie8p ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_MINISBLACK;
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    if (!TIFFSetField(t, TIFFTAG_COMPRESSION, code)) {
      error = "This build's TIFF library cannot write the chosen compression";
      return false;
    }
    if (compression == TiffCompression::G3FAX2D) TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, uint32_t(GROUP3OPT_2DENCODING));
    if (code == COMPRESSION_JPEG) TIFFSetField(t, TIFFTAG_JPEGQUALITY, std::clamp(params.JPEG_Quality, 1, 100));
    if (code == COMPRESSION_ADOBE_DEFLATE || code == COMPRESSION_DEFLATE) TIFFSetField(t, TIFFTAG_ZIPQUALITY, 6);
    if (alpha) {
      const uint16_t kind = EXTRASAMPLE_UNASSALPHA;
      TIFFSetField(t, TIFFTAG_EXTRASAMPLES, uint16_t(1), &kind);
    }
    if (params.DpiX > 0 && params.DpiY > 0) {
      TIFFSetField(t, TIFFTAG_XRESOLUTION, float(params.DpiX));
      TIFFSetField(t, TIFFTAG_YRESOLUTION, float(params.DpiY));
      TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, uint16_t(RESUNIT_INCH));
    }
    std::vector<uint16_t> map;
    if (f == PixelFormat::ie8p) {
      map.assign(768, 0);
      for (size_t i = 0; i < 256 && i < image.palette().size(); ++i) {
        map[i] = uint16_t(image.palette()[i].r * 257);
        map[256 + i] = uint16_t(image.palette()[i].g * 257);
        map[512 + i] = uint16_t(image.palette()[i].b * 257);
      }
      TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data() + 256, map.data() + 512);
    }
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));

    const size_t sampleBytes = bps == 16 ? 2 : 1;
    const size_t colourBytes = size_t(bitsPerPixel(f) / 8);
    ByteBuffer row(std::max<size_t>(image.rowBytes(), size_t(image.width()) * spp * sampleBytes));
    for (int y = 0; y < image.height(); ++y) {
      const uint8_t* s = image.scanline(y);
      uint8_t* d = row.data();
      if (f == PixelFormat::ie24RGB) {  // blue-green-red to red-green-blue
        const uint8_t* a = alpha ? image.alphaScanline(y) : nullptr;
        for (int x = 0; x < image.width(); ++x, s += 3) {
          *d++ = s[2];
          *d++ = s[1];
          *d++ = s[0];
          if (a) *d++ = a[x];
        }
      } else if (alpha) {  // 8g, 16g or 48RGB with alpha, widened to the sample size
        const uint8_t* a = image.alphaScanline(y);
        for (int x = 0; x < image.width(); ++x) {
          std::memcpy(d, s + size_t(x) * colourBytes, colourBytes);
          d += colourBytes;
          if (sampleBytes == 2) {
            const uint16_t v = uint16_t(a[x] * 257);
            std::memcpy(d, &v, 2);
          } else {
            *d = a[x];
          }
          d += sampleBytes;
        }
      } else {
        std::memcpy(d, s, image.rowBytes());
      }
      if (TIFFWriteScanline(t, row.data(), uint32_t(y), 0) < 0) {
        error = "Cannot encode the TIFF image: " + file.error;
        return false;
      }
    }
    if (!TIFFWriteDirectory(t) || !file.error.isEmpty()) {
      error = "Cannot encode the TIFF image: " + file.error;
      return false;
    }
  }  // closing flushes the last strip and the directory
  if (!file.error.isEmpty()) {
    error = "Cannot encode the TIFF image: " + file.error;
    return false;
  }
  out = std::move(bytes);
  return true;
}

}  // namespace lumo
