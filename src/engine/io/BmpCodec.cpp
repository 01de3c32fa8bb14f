#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_set>
#include <vector>

#include <QBuffer>
#include <QImageReader>

#include "engine/io/ImageCodecs.h"
#include "engine/pixels/PixelConvert.h"
#include "engine/pixels/QImageBridge.h"
#include "engine/pixels/Quantize.h"

namespace lumo {

namespace {

uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// True when run-length data from `at` on reaches its end marker, or the end of its last
// row, before the file ends.
bool runLengthDataComplete(const uint8_t* d, size_t size, size_t at, int64_t width, int64_t height, bool fourBits) {
  int64_t x = 0, y = 0;
  while (at + 2 <= size) {
    const uint8_t count = d[at], code = d[at + 1];
    at += 2;
    if (count > 0) {
      x += count;
    } else if (code == 0) {  // end of line
      x = 0;
      if (++y >= height) return true;
    } else if (code == 1) {  // end of bitmap
      return true;
    } else if (code == 2) {  // move right and up
      if (at + 2 > size) return false;
      x += d[at];
      y += d[at + 1];
      at += 2;
    } else {  // literal pixels, padded to an even byte count
      const size_t bytes = fourBits ? (size_t(code) + 1) / 2 : code;
      at += (bytes + 1) & ~size_t(1);
      x += code;
    }
  }
  return y == height - 1 && x >= width && at <= size;
}

// Qt fills the missing rows of a short file silently; the length of uncompressed data is
// known and run-length data must reach its end, so a file that ends inside either is
// refused here.
bool pixelDataComplete(const uint8_t* d, size_t size) {
  if (size < 34) return false;
  const uint32_t header = le32(d + 14);
  if (header < 40) return true;  // the old core header: Qt's own checks suffice
  const uint32_t offset = le32(d + 10);
  const int64_t width = int32_t(le32(d + 18));
  const int64_t height = std::abs(int64_t(int32_t(le32(d + 22))));
  const int bits = d[28] | d[29] << 8;
  const uint32_t compression = le32(d + 30);
  if (compression == 1 || compression == 2)
    return offset < size && runLengthDataComplete(d, size, offset, width, height, compression == 2);
  if (compression != 0 && compression != 3) return true;
  const uint64_t stride = (uint64_t(std::max<int64_t>(width, 0)) * uint64_t(bits) + 31) / 32 * 4;
  return uint64_t(offset) + stride * uint64_t(height) <= size;
}

// Palette files keep their indices: a grey ramp becomes grey, two entries black and
// white become 1-bit, any other palette stays a palette.
Bitmap bitmapOf(const QImage& read) {
  if (read.depth() > 8) return fromQImage(read);
  const QImage image = read.format() == QImage::Format_Indexed8 ? read : read.convertToFormat(QImage::Format_Indexed8);
  const QList<QRgb> table = image.colorTable();
  if (table.isEmpty() || table.size() > 256) return fromQImage(read);
  bool grey = true;
  for (qsizetype i = 0; i < table.size(); ++i)
    grey = grey && qRed(table[i]) == i && qGreen(table[i]) == i && qBlue(table[i]) == i && qAlpha(table[i]) == 255;
  const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
  const bool blackWhite = table.size() == 2 && ((table[0] == black && table[1] == white) ||
                                                (table[0] == white && table[1] == black));
  const int w = image.width(), h = image.height();
  if (blackWhite) {
    Bitmap out(w, h, PixelFormat::ie1g);
    for (int y = 0; y < h; ++y) {
      const uchar* s = image.constScanLine(y);
      uint8_t* d = out.mutableScanline(y);
      for (int x = 0; x < w; ++x)
        if (table[s[x] & 1] == white) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
    return out;
  }
  Bitmap out(w, h, grey ? PixelFormat::ie8g : PixelFormat::ie8p);
  for (int y = 0; y < h; ++y) std::memcpy(out.mutableScanline(y), image.constScanLine(y), size_t(w));
  if (!grey) {
    std::vector<PaletteEntry> palette(256);
    for (qsizetype i = 0; i < table.size(); ++i)
      palette[size_t(i)] = {uint8_t(qBlue(table[i])), uint8_t(qGreen(table[i])), uint8_t(qRed(table[i]))};
    out.setPalette(std::move(palette));
    out.info().paletteUsed = int32_t(table.size());
  }
  return out;
}

}  // namespace

bool readBmp(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "bmp");
  const QSize declared = reader.size();
  if (!declared.isValid()) {
    error = "Invalid BMP data: " + reader.errorString();
    return false;
  }
  // RLE data expands at most 255:1, uncompressed data not at all; the general bound is enough.
  if (!checkDeclaredSize(declared.width(), declared.height(), 1.0, size, error)) return false;
  if (!pixelDataComplete(data, size)) {
    error = "The file ends inside its pixel data";
    return false;
  }
  reader.setAllocationLimit(int(std::min<int64_t>(kMaxImagePixels * 4 / (1 << 20), 1 << 30)));
  QImage image;
  if (!reader.read(&image)) {
    error = "Invalid BMP data: " + reader.errorString();
    return false;
  }
  params.BitsPerSample = image.depth() >= 24 ? 8 : image.depth();
  params.SamplesPerPixel = image.depth() >= 24 ? (image.hasAlphaChannel() ? 4 : 3) : 1;
  if (image.dotsPerMeterX() > 0 && image.dotsPerMeterY() > 0) {
    params.DpiX = int(image.dotsPerMeterX() * 0.0254 + 0.5);
    params.DpiY = int(image.dotsPerMeterY() * 0.0254 + 0.5);
  }
  const uint32_t compression = size >= 34 ? le32(data + 30) : 0;
  params.BMP_Compression = compression == 1 || compression == 2 ? BmpCompression::RLE : BmpCompression::Uncompressed;
  out = bitmapOf(image);
  return true;
}


namespace {

void put16(QByteArray& b, uint32_t v) {
  b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}
void put32(QByteArray& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3;

// One row of 8-bit indices in RLE8: runs of equal pixels as (count, index), other stretches of
// three or more pixels as (0, count, indices..., padding to an even length).
void rle8Row(const uint8_t* row, int w, QByteArray& out) {
  int x = 0;
  while (x < w) {
    int run = 1;
    while (x + run < w && run < 255 && row[x + run] == row[x]) ++run;
    if (run >= 2) {
      out.append(char(run)).append(char(row[x]));
      x += run;
      continue;
    }
    // A literal stretch ends where a run of at least two begins.
    int n = 1;
    while (x + n < w && n < 255 && !(x + n + 1 < w && row[x + n] == row[x + n + 1])) ++n;
    if (n < 3) {
      for (int i = 0; i < n; ++i) out.append(char(1)).append(char(row[x + i]));
    } else {
      out.append(char(0)).append(char(n)).append(reinterpret_cast<const char*>(row + x), n);
      if (n & 1) out.append(char(0));
    }
    x += n;
  }
}

// The same for RLE4 with one index (below 16) per byte of `row`: a run repeats one nibble, a
// literal stretch packs two pixels per byte and pads to an even byte count.
void rle4Row(const uint8_t* row, int w, QByteArray& out) {
  int x = 0;
  while (x < w) {
    int run = 1;
    while (x + run < w && run < 255 && row[x + run] == row[x]) ++run;
    if (run >= 3 || x + run == w) {
      out.append(char(run)).append(char(row[x] << 4 | row[x]));
      x += run;
      continue;
    }
    int n = 1;
    auto runOfThreeAt = [&](int i) { return i + 2 < w && row[i] == row[i + 1] && row[i] == row[i + 2]; };
    while (x + n < w && n < 255 && !runOfThreeAt(x + n)) ++n;
    if (n < 3) {
      out.append(char(n)).append(char(row[x] << 4 | (n > 1 ? row[x + 1] : 0)));
    } else {
      const int bytes = (n + 1) / 2;
      out.append(char(0)).append(char(n));
      for (int i = 0; i < bytes; ++i)
        out.append(char(row[x + 2 * i] << 4 | (2 * i + 1 < n ? row[x + 2 * i + 1] : 0)));
      if (bytes & 1) out.append(char(0));
    }
    x += n;
  }
}

// What goes into the file: bits per pixel, the palette (empty above 8 bits) and the
// bitmap whose rows are written.
struct Layout {
  Bitmap pixels;
  int bits = 24;
  std::vector<PaletteEntry> palette;
  bool alpha = false;
};

std::vector<PaletteEntry> greyRamp() {
  std::vector<PaletteEntry> p(256);
  for (int i = 0; i < 256; ++i) p[size_t(i)] = {uint8_t(i), uint8_t(i), uint8_t(i)};
  return p;
}

// The palette of an ie8p bitmap: the entries it says are in use, and at least as many as
// its pixels index (missing entries black).
std::vector<PaletteEntry> usedPalette(const Bitmap& b) {
  size_t used = b.info().paletteUsed > 0 ? size_t(b.info().paletteUsed) : b.palette().size();
  for (int y = 0; y < b.height(); ++y) {
    const uint8_t* s = b.scanline(y);
    for (int x = 0; x < b.width(); ++x) used = std::max<size_t>(used, size_t(s[x]) + 1);
  }
  std::vector<PaletteEntry> palette(std::min<size_t>(used, 256));
  std::copy_n(b.palette().begin(), std::min(palette.size(), b.palette().size()), palette.begin());
  return palette;
}

bool atMost256Colours(const Bitmap& rgb) {
  std::unordered_set<uint32_t> seen;
  for (int y = 0; y < rgb.height(); ++y) {
    const uint8_t* s = rgb.scanline(y);
    for (int x = 0; x < rgb.width(); ++x, s += 3)
      if (seen.insert(uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16).second && seen.size() > 256)
        return false;
  }
  return true;
}

Layout layoutOf(const Bitmap& image, bool rle) {
  const bool alpha = image.hasAlpha() && !image.isOpaque();
  switch (alpha ? PixelFormat::ie24RGB : image.format()) {
    case PixelFormat::ie1g:
      return {image, 1, {{0, 0, 0}, {255, 255, 255}}};
    case PixelFormat::ie8p:
      return {image, 8, usedPalette(image)};
    case PixelFormat::ie8g:
      return {image, 8, greyRamp()};
    case PixelFormat::ie16g:
      return {convertPixelFormat(image, PixelFormat::ie8g), 8, greyRamp()};
    default:
      break;
  }
  const Bitmap rgb = convertToRGB24(image);
  if (rle && !alpha && atMost256Colours(rgb)) {
    const Bitmap indexed = quantizeToPalette(rgb, 256);  // exact: the palette holds every colour
    return {indexed, 8, indexed.palette()};
  }
  return {rgb, alpha ? 32 : 24, {}, alpha};
}

}  // namespace

// BMP_Compression RLE writes RLE8, or RLE4 when the palette has at most 16 entries.
// Run-length BMPs are palette images: a true-colour image of at most 256 colours is stored
// with exactly those colours; one with more colours, or with transparency, cannot be
// stored run-length without losing something, so the save is refused with the reason
// rather than written uncompressed or with fewer colours behind the user's back.
// Uncompressed files keep 1-bit, palette and grey images as 1 or 8 bits, everything else
// as 24 bits, and images with transparency as 32 bits with an alpha mask. 16-bit grey is
// stored as 8-bit grey and 48-bit colour as 24-bit: BMP has no deeper samples.
bool writeBmp(const Bitmap& image, const IOParams& params, const QString& /*extension*/, QByteArray& out,
              QString& error) {
  const bool rle = params.BMP_Compression == BmpCompression::RLE;
  Layout l = layoutOf(image, rle);
  if (rle && l.alpha) {
    error = "A run-length compressed BMP cannot hold transparency; save it uncompressed";
    return false;
  }
  if (rle && l.bits > 8) {
    error = "A run-length compressed BMP holds at most 256 colours and this image has more; save it uncompressed "
            "or reduce it to 256 colours first";
    return false;
  }
  const int w = l.pixels.width(), h = l.pixels.height();
  // There is no 1-bit run-length mode: RLE4 holds the two colours.
  uint32_t compression = l.alpha ? kBitfields : kRgb;
  if (rle) {
    compression = l.palette.size() <= 16 ? kRle4 : kRle8;
    l.bits = compression == kRle4 ? 4 : 8;
  }

  QByteArray pixels;
  // One index per byte of each row, for the palette modes.
  std::vector<uint8_t> indices(static_cast<size_t>(w));
  auto indexRow = [&](int y) {
    const uint8_t* s = l.pixels.scanline(y);
    if (l.pixels.format() == PixelFormat::ie1g)
      for (int x = 0; x < w; ++x) indices[size_t(x)] = uint8_t(s[x >> 3] >> (7 - (x & 7)) & 1);
    else
      std::memcpy(indices.data(), s, size_t(w));
  };
  const size_t stride = (size_t(w) * size_t(l.bits) + 31) / 32 * 4;
  for (int y = h - 1; y >= 0; --y) {  // bottom row first
    if (compression == kRle8 || compression == kRle4) {
      indexRow(y);
      (compression == kRle8 ? rle8Row : rle4Row)(indices.data(), w, pixels);
      pixels.append(char(0)).append(char(y == 0 ? 1 : 0));  // end of line, or of the bitmap
      continue;
    }
    QByteArray row(qsizetype(stride), '\0');
    auto* d = reinterpret_cast<uint8_t*>(row.data());
    const uint8_t* s = l.pixels.scanline(y);
    if (l.bits == 32) {
      const uint8_t* a = l.pixels.alphaScanline(y);
      for (int x = 0; x < w; ++x) {
        std::memcpy(d + 4 * x, s + 3 * x, 3);
        d[4 * x + 3] = a[x];
      }
    } else {
      std::memcpy(d, s, Bitmap::rowLength(w, l.pixels.format(), 8));
    }
    pixels.append(row);
  }

  const uint32_t infoSize = l.alpha ? 108 : 40;
  const uint32_t offset = 14 + infoSize + uint32_t(l.palette.size()) * 4;
  out.clear();
  out.append("BM");
  put32(out, offset + uint32_t(pixels.size()));
  put32(out, 0);
  put32(out, offset);
  put32(out, infoSize);
  put32(out, uint32_t(w));
  put32(out, uint32_t(h));
  put16(out, 1);
  put16(out, uint32_t(l.bits));
  put32(out, compression);
  put32(out, uint32_t(pixels.size()));
  put32(out, params.DpiX > 0 ? uint32_t(params.DpiX / 0.0254 + 0.5) : 0);
  put32(out, params.DpiY > 0 ? uint32_t(params.DpiY / 0.0254 + 0.5) : 0);
  put32(out, uint32_t(l.palette.size()));
  put32(out, 0);
  if (l.alpha) {
    for (uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) put32(out, mask);
    put32(out, 0x73524742);  // "sRGB"
    out.append(QByteArray(48, '\0'));  // end points and gamma, unused for sRGB
  }
  for (const PaletteEntry& e : l.palette) out.append(char(e.b)).append(char(e.g)).append(char(e.r)).append(char(0));
  out.append(pixels);
  return true;
}

}  // namespace lumo
