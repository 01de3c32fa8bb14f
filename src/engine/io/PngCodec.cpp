#include <utility>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <png.h>

#include <QtGlobal>

#include "engine/io/ImageCodecs.h"
#include "engine/pixels/PixelConvert.h"

namespace lumo {

namespace {

struct ReadSource {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

struct ErrorState {
  char message[256];
};

void onError(png_structp png, png_const_charp msg) {
  auto* e = static_cast<ErrorState*>(png_get_error_ptr(png));
  std::snprintf(e->message, sizeof e->message, "%s", msg);
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void readBytes(png_structp png, png_bytep out, png_size_t length) {
  auto* s = static_cast<ReadSource*>(png_get_io_ptr(png));
  if (length > s->size - s->pos) png_error(png, "the file ends early");
  std::memcpy(out, s->data + s->pos, length);
  s->pos += length;
}

void writeBytes(png_structp png, png_bytep in, png_size_t length) {
  static_cast<QByteArray*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(in), qsizetype(length));
}

void flushBytes(png_structp) {}

// Everything that must survive a longjmp lives here, on the heap side of the jump.
struct Decoded {
  Bitmap image;
  ByteBuffer rows;
  std::vector<png_bytep> rowPointers;
};

}  // namespace

bool readPng(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  ErrorState err{};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &err, onError, onWarning);
  if (!png) {
    error = "Out of memory";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  ReadSource src{data, size, 0};
  auto decoded = std::make_unique<Decoded>();
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    error = QString("Invalid PNG data: %1").arg(err.message);
    return false;
  }
  png_set_read_fn(png, &src, readBytes);
  png_set_user_limits(png, png_uint_32(kMaxImageSide), png_uint_32(kMaxImageSide));
  png_set_chunk_malloc_max(png, 64u << 20);
  png_read_info(png, info);

  const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  const int depth = png_get_bit_depth(png, info);
  const int colour = png_get_color_type(png, info);
  const bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  params.BitsPerSample = depth;
  params.SamplesPerPixel = png_get_channels(png, info);

  // Choose what the rows become.
  PixelFormat format;
  bool alpha = (colour & PNG_COLOR_MASK_ALPHA) != 0 || trns;
  if (trns) png_set_tRNS_to_alpha(png);
  if (colour == PNG_COLOR_TYPE_PALETTE && !trns) {
    format = PixelFormat::ie8p;
    if (depth < 8) png_set_packing(png);
  } else if (colour == PNG_COLOR_TYPE_PALETTE) {
    png_set_palette_to_rgb(png);
    format = PixelFormat::ie24RGB;
  } else if ((colour & PNG_COLOR_MASK_COLOR) == 0) {
    if (depth == 1 && !alpha) {
      format = PixelFormat::ie1g;  // same bit order and sense as the bitmap
    } else {
      if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
      format = depth == 16 ? PixelFormat::ie16g : PixelFormat::ie8g;
    }
  } else {
    format = depth == 16 ? PixelFormat::ie48RGB : PixelFormat::ie24RGB;
    if (depth != 16) png_set_bgr(png);
  }
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
  if (depth == 16) png_set_swap(png);  // 16-bit samples in the machine's order
#endif
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  if (!checkDeclaredSize(w, h, double(rowBytes) / double(w), size, error)) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }

  Bitmap& image = decoded->image;
  image = Bitmap(int(w), int(h), format);
  std::vector<png_bytep>& rows = decoded->rowPointers;
  rows.resize(h);
  if (alpha) {
    decoded->rows.resize(rowBytes * h);
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = decoded->rows.data() + rowBytes * y;
  } else {
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = image.mutableScanline(int(y));
  }
  for (int pass = 0; pass < passes; ++pass) png_read_rows(png, rows.data(), nullptr, h);
  png_read_end(png, nullptr);

  if (format == PixelFormat::ie8p) {
    png_colorp palette = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &palette, &count);
    std::vector<PaletteEntry> pal(256);
    for (int i = 0; i < count && i < 256; ++i) pal[size_t(i)] = {palette[i].blue, palette[i].green, palette[i].red};
    image.setPalette(std::move(pal));
    image.info().paletteUsed = count;
  }
  png_uint_32 resX = 0, resY = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &resX, &resY, &unit) && unit == PNG_RESOLUTION_METER && resX && resY) {
    params.DpiX = int(resX * 0.0254 + 0.5);
    params.DpiY = int(resY * 0.0254 + 0.5);
  }
  png_destroy_read_struct(&png, &info, nullptr);

  if (alpha) {
    // Split the interleaved alpha off; 16-bit alpha keeps its high byte.
    image.addAlpha();
    const size_t sampleBytes = depth == 16 ? 2 : 1;
    const size_t channels = rowBytes / (w * sampleBytes);
    const size_t colourBytes = (channels - 1) * sampleBytes;
    for (png_uint_32 y = 0; y < h; ++y) {
      const uint8_t* s = rows[y];
      uint8_t* d = image.mutableScanline(int(y));
      uint8_t* a = image.mutableAlphaScanline(int(y));
      for (png_uint_32 x = 0; x < w; ++x, s += colourBytes + sampleBytes) {
        std::memcpy(d + x * colourBytes, s, colourBytes);
        a[x] = sampleBytes == 2 ? s[colourBytes + 1] : s[colourBytes];
      }
    }
    image.setAlphaFull(image.isOpaque());
  }
  out = std::move(image);
  return true;
}

bool writePng(const Bitmap& source, const IOParams& params, const QString& /*extension*/,
               QByteArray& out, QString& error) {
  Bitmap image = source;
  switch (source.format()) {
    case PixelFormat::ie1g:
    case PixelFormat::ie8p:
      if (source.hasAlpha()) image = convertToRGB24(source);
      break;
    case PixelFormat::ie8g:
    case PixelFormat::ie16g:
    case PixelFormat::ie24RGB:
    case PixelFormat::ie48RGB:
      break;
    default:
      image = convertToRGB24(source);
  }
  const PixelFormat f = image.format();
  const bool alpha = image.hasAlpha();
  // Set once before setjmp, so that a longjmp cannot leave them half-assigned.
  const auto [colour, depth] = [&]() -> std::pair<int, int> {
    switch (f) {
      case PixelFormat::ie1g: return {PNG_COLOR_TYPE_GRAY, 1};
      case PixelFormat::ie8p: return {PNG_COLOR_TYPE_PALETTE, 8};
      case PixelFormat::ie8g: return {alpha ? PNG_COLOR_TYPE_GRAY_ALPHA : PNG_COLOR_TYPE_GRAY, 8};
      case PixelFormat::ie16g: return {alpha ? PNG_COLOR_TYPE_GRAY_ALPHA : PNG_COLOR_TYPE_GRAY, 16};
      case PixelFormat::ie48RGB: return {alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, 16};
      default: return {alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, 8};
    }
  }();

  ErrorState err{};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &err, onError, onWarning);
  if (!png) {
    error = "Out of memory";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  auto rowBuffer = std::make_unique<ByteBuffer>();
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    error = QString("Cannot encode the PNG image: %1").arg(err.message);
    return false;
  }
  out.clear();
  png_set_write_fn(png, &out, writeBytes, flushBytes);
  png_set_compression_level(png, std::clamp(params.PNG_Compression, 0, 9));
  png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), depth, colour, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (f == PixelFormat::ie8p) {
    const int used = image.info().paletteUsed > 0 ? std::min(image.info().paletteUsed, 256) : 256;
    std::vector<png_color> pal(static_cast<size_t>(used));
    for (int i = 0; i < used; ++i) {
      const PaletteEntry& e = image.palette()[size_t(i)];
      pal[size_t(i)] = {e.r, e.g, e.b};
    }
    png_set_PLTE(png, info, pal.data(), used);
  }
  if (params.DpiX > 0 && params.DpiY > 0)
    png_set_pHYs(png, info, png_uint_32(params.DpiX / 0.0254 + 0.5), png_uint_32(params.DpiY / 0.0254 + 0.5),
                 PNG_RESOLUTION_METER);
  png_write_info(png, info);
  if (depth == 8 && (colour & PNG_COLOR_MASK_COLOR) && colour != PNG_COLOR_TYPE_PALETTE) png_set_bgr(png);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
  if (depth == 16) png_set_swap(png);
#endif

  const int w = image.width();
  const size_t sampleBytes = depth == 16 ? 2 : 1;
  const size_t colourBytes = size_t(bitsPerPixel(f) / 8);
  if (alpha) rowBuffer->resize(size_t(w) * (colourBytes + sampleBytes));
  for (int y = 0; y < image.height(); ++y) {
    if (!alpha) {
      png_write_row(png, image.scanline(y));
      continue;
    }
    const uint8_t* s = image.scanline(y);
    const uint8_t* a = image.alphaScanline(y);
    uint8_t* d = rowBuffer->data();
    for (int x = 0; x < w; ++x) {
      std::memcpy(d, s + size_t(x) * colourBytes, colourBytes);
      d += colourBytes;
      if (sampleBytes == 2) {  // native order, swapped by libpng like the colour words
        const uint16_t v = uint16_t(a[x] * 257);
        std::memcpy(d, &v, 2);
      } else {
        *d = a[x];
      }
      d += sampleBytes;
    }
    png_write_row(png, rowBuffer->data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace lumo
