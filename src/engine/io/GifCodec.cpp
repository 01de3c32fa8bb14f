#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <gif_lib.h>

#include "engine/io/ImageCodecs.h"
#include "engine/pixels/PixelConvert.h"
#include "engine/pixels/Quantize.h"

namespace lumo {

namespace {

// Alpha below this becomes the transparent index when writing.
constexpr uint8_t kTransparentBelow = 128;

struct ReadSource {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

int readBytes(GifFileType* gif, GifByteType* out, int length) {
  auto* s = static_cast<ReadSource*>(gif->UserData);
  const size_t n = std::min(size_t(std::max(length, 0)), s->size - s->pos);
  std::memcpy(out, s->data + s->pos, n);
  s->pos += n;
  return int(n);
}

int writeBytes(GifFileType* gif, const GifByteType* in, int length) {
  static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(in), length);
  return length;
}

QString gifError(int code) {
  const char* text = GifErrorString(code);
  return text ? QString::fromLatin1(text) : QString("error %1").arg(code);
}

struct DecoderCloser {
  void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};

// The rows of the first image, in the order an interlaced image stores them.
std::vector<int> storedRowOrder(int height, bool interlaced) {
  std::vector<int> rows;
  rows.reserve(size_t(height));
  if (!interlaced) {
    for (int y = 0; y < height; ++y) rows.push_back(y);
    return rows;
  }
  static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int y = start[pass]; y < height; y += step[pass]) rows.push_back(y);
  return rows;
}

}  // namespace

// Reads the first image only; the frames after it are never decoded. A logical screen
// larger than the frame gives a canvas whose uncovered part is transparent; a screen the
// file cannot justify is ignored and the frame alone is the image.
bool readGif(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  ReadSource src{data, size, 0};
  int code = 0;
  std::unique_ptr<GifFileType, DecoderCloser> gif(DGifOpen(&src, readBytes, &code));
  if (!gif) {
    error = QString("Invalid GIF data: %1").arg(gifError(code));
    return false;
  }
  GraphicsControlBlock gcb{};
  gcb.TransparentColor = NO_TRANSPARENT_COLOR;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) {
      error = QString("Invalid GIF data: %1").arg(gifError(gif->Error));
      return false;
    }
    if (record == TERMINATE_RECORD_TYPE) {
      error = "The GIF file holds no image";
      return false;
    }
    if (record == EXTENSION_RECORD_TYPE) {
      int extCode = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif.get(), &extCode, &block) == GIF_ERROR) {
        error = QString("Invalid GIF data: %1").arg(gifError(gif->Error));
        return false;
      }
      if (extCode == GRAPHICS_EXT_FUNC_CODE && block && block[0] == 4)
        DGifExtensionToGCB(block[0], block + 1, &gcb);
      while (block) {
        if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) {
          error = QString("Invalid GIF data: %1").arg(gifError(gif->Error));
          return false;
        }
      }
      continue;
    }
    if (record == IMAGE_DESC_RECORD_TYPE) break;
  }
  if (DGifGetImageDesc(gif.get()) == GIF_ERROR) {
    error = QString("Invalid GIF data: %1").arg(gifError(gif->Error));
    return false;
  }
  const GifImageDesc& desc = gif->Image;
  if (!checkDeclaredSize(desc.Width, desc.Height, 1, size, error)) return false;
  int left = desc.Left, top = desc.Top;
  int width = std::max<int>(gif->SWidth, left + desc.Width);
  int height = std::max<int>(gif->SHeight, top + desc.Height);
  QString ignored;
  if (!checkDeclaredSize(width, height, 1, size, ignored)) {
    left = top = 0;
    width = desc.Width;
    height = desc.Height;
  }

  const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
  std::vector<PaletteEntry> palette(256);
  int used = 256;
  if (map) {
    used = std::min(map->ColorCount, 256);
    for (int i = 0; i < used; ++i) palette[size_t(i)] = {map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red};
  } else {  // no colour map at all: show the indexes as grey levels
    for (int i = 0; i < 256; ++i) palette[size_t(i)] = {uint8_t(i), uint8_t(i), uint8_t(i)};
  }

  const int background = map && gif->SBackGroundColor < used ? gif->SBackGroundColor : 0;
  Bitmap image(width, height, PixelFormat::ie8p);
  image.fill(uint8_t(background));
  std::vector<GifPixelType> line(size_t(desc.Width));
  for (const int y : storedRowOrder(desc.Height, desc.Interlace)) {
    if (DGifGetLine(gif.get(), line.data(), desc.Width) == GIF_ERROR) {
      error = QString("Invalid GIF data: %1").arg(gifError(gif->Error));
      return false;
    }
    std::memcpy(image.mutableScanline(top + y) + left, line.data(), line.size());
  }

  const int transparent = gcb.TransparentColor;
  const bool covered = left == 0 && top == 0 && width == desc.Width && height == desc.Height;
  if (transparent != NO_TRANSPARENT_COLOR || !covered) {
    image.addAlpha(0);
    for (int y = 0; y < desc.Height; ++y) {
      const uint8_t* p = image.scanline(top + y) + left;
      uint8_t* a = image.mutableAlphaScanline(top + y) + left;
      for (int x = 0; x < desc.Width; ++x) a[x] = p[x] == transparent ? 0 : 255;
    }
    if (image.isOpaque()) image.removeAlpha();
    else image.setAlphaFull(false);
  }
  image.setPalette(std::move(palette));
  image.info().paletteUsed = used;
  params.BitsPerSample = map ? map->BitsPerPixel : 8;
  params.SamplesPerPixel = 1;
  out = std::move(image);
  return true;
}

// Palette images are written with their own palette. Every other image is reduced to 256
// colours by the engine's palette conversion (exact when it has no more than 256 colours,
// median cut otherwise). Alpha becomes one transparent index: pixels with alpha below
// 128 take it, all others are opaque. A palette image with a transparent pixel and all
// 256 entries in use is reduced to 255 colours to free that index.
bool writeGif(const Bitmap& source, const IOParams& /*params*/, const QString& /*extension*/, QByteArray& out,
              QString& error) {
  if (source.width() > 65535 || source.height() > 65535) {
    error = "GIF images are limited to 65535 x 65535 pixels";
    return false;
  }
  bool transparency = false;
  if (source.hasAlpha() && !source.alphaFull())
    for (int y = 0; y < source.height() && !transparency; ++y) {
      const uint8_t* a = source.alphaScanline(y);
      transparency = std::any_of(a, a + source.width(), [](uint8_t v) { return v < kTransparentBelow; });
    }

  Bitmap image;
  int colours = 0;
  const int sourceUsed = source.info().paletteUsed > 0 ? std::min(source.info().paletteUsed, 256) : 256;
  if (source.format() == PixelFormat::ie8p && (!transparency || sourceUsed < 256)) {
    image = source;
    colours = sourceUsed;
  } else if (!transparency) {
    image = convertPixelFormat(source, PixelFormat::ie8p);
    colours = std::max(image.info().paletteUsed, 1);
  } else {
    // Hidden pixels take the colour of a visible one so that they cost no palette entry.
    Bitmap rgb = convertToRGB24(source);
    const uint8_t* fill = nullptr;
    for (int y = 0; y < rgb.height() && !fill; ++y)
      for (int x = 0; x < rgb.width(); ++x)
        if (source.alphaScanline(y)[x] >= kTransparentBelow) {
          fill = rgb.scanline(y) + x * 3;
          break;
        }
    if (fill) {
      const uint8_t keep[3] = {fill[0], fill[1], fill[2]};
      for (int y = 0; y < rgb.height(); ++y) {
        uint8_t* p = rgb.mutableScanline(y);
        const uint8_t* a = source.alphaScanline(y);
        for (int x = 0; x < rgb.width(); ++x)
          if (a[x] < kTransparentBelow) std::memcpy(p + x * 3, keep, 3);
      }
    }
    image = quantizeToPalette(rgb, 255);
    colours = int(image.palette().size());
  }
  const int transparentIndex = transparency ? colours : NO_TRANSPARENT_COLOR;
  const int entries = colours + (transparency ? 1 : 0);
  int bits = 1;
  while ((1 << bits) < entries) ++bits;

  std::vector<GifColorType> colourMap(size_t(1) << bits, GifColorType{0, 0, 0});
  for (int i = 0; i < colours && size_t(i) < image.palette().size(); ++i) {
    const PaletteEntry& e = image.palette()[size_t(i)];
    colourMap[size_t(i)] = {e.r, e.g, e.b};
  }
  ColorMapObject* map = GifMakeMapObject(1 << bits, colourMap.data());
  if (!map) {
    error = "Out of memory";
    return false;
  }

  QByteArray bytes;
  int code = 0;
  GifFileType* gif = EGifOpen(&bytes, writeBytes, &code);
  if (!gif) {
    GifFreeMapObject(map);
    error = QString("Cannot encode the GIF image: %1").arg(gifError(code));
    return false;
  }
  auto fail = [&]() {
    error = QString("Cannot encode the GIF image: %1").arg(gifError(gif->Error));
    EGifCloseFile(gif, nullptr);
    GifFreeMapObject(map);
    return false;
  };
  EGifSetGifVersion(gif, transparency);
  if (EGifPutScreenDesc(gif, image.width(), image.height(), bits, 0, map) == GIF_ERROR) return fail();
  if (transparency) {
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
    gcb.TransparentColor = transparentIndex;
    GifByteType ext[4];
    const size_t len = EGifGCBToExtension(&gcb, ext);
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(len), ext) == GIF_ERROR) return fail();
  }
  if (EGifPutImageDesc(gif, 0, 0, image.width(), image.height(), false, nullptr) == GIF_ERROR) return fail();
  std::vector<GifPixelType> line(size_t(image.width()));
  for (int y = 0; y < image.height(); ++y) {
    std::memcpy(line.data(), image.scanline(y), line.size());
    if (transparency) {
      const uint8_t* a = source.alphaScanline(y);
      for (size_t x = 0; x < line.size(); ++x)
        if (a[x] < kTransparentBelow) line[x] = GifPixelType(transparentIndex);
    }
    if (EGifPutLine(gif, line.data(), image.width()) == GIF_ERROR) return fail();
  }
  if (EGifCloseFile(gif, &code) == GIF_ERROR) {
    GifFreeMapObject(map);
    error = QString("Cannot encode the GIF image: %1").arg(gifError(code));
    return false;
  }
  GifFreeMapObject(map);
  out = std::move(bytes);
  return true;
}

}  // namespace lumo
