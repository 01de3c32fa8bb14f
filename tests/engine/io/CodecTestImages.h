#pragma once
// Small pictures and comparisons shared by the codec tests.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#include <QByteArray>
#include <QString>

#include "engine/io/CodecTable.h"
#include "engine/pixels/Bitmap.h"
#include "engine/pixels/PixelConvert.h"

namespace lumo::testimages {

// Random samples (and a random palette for ie8p, random alpha when asked).
inline Bitmap noise(int w, int h, PixelFormat format, bool alpha, unsigned seed = 7) {
  Bitmap b(w, h, format);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.mutableScanline(y);
    for (size_t i = 0; i < Bitmap::rowLength(w, format, 8); ++i) row[i] = uint8_t(rng());
  }
  if (format == PixelFormat::ie8p) {
    std::vector<PaletteEntry> pal(256);
    for (auto& e : pal) e = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
    b.setPalette(pal);
    b.info().paletteUsed = 256;
  }
  if (alpha) {
    b.addAlpha();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) b.mutableAlphaScanline(y)[x] = uint8_t(rng());
    b.setAlphaFull(false);
  }
  return b;
}

// A smooth colour picture, the kind lossy coders are made for.
inline Bitmap gradient(int w, int h) {
  Bitmap b(w, h, PixelFormat::ie24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b.mutableScanline(y) + x * 3;
      p[0] = uint8_t(x * 255 / w);
      p[1] = uint8_t(y * 255 / h);
      p[2] = uint8_t(128 + 100 * std::sin(x * 0.1) * std::cos(y * 0.07));
    }
  return b;
}

// Peak signal-to-noise ratio of the RGB pixels of two bitmaps of the same size.
inline double psnr(const Bitmap& a, const Bitmap& b) {
  const Bitmap x = convertToRGB24(a), y = convertToRGB24(b);
  double sum = 0;
  size_t n = 0;
  for (int r = 0; r < x.height(); ++r)
    for (int i = 0; i < x.width() * 3; ++i, ++n) {
      const double d = double(x.scanline(r)[i]) - double(y.scanline(r)[i]);
      sum += d * d;
    }
  return sum == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / (sum / double(n)));
}

// Peak signal-to-noise ratio of the stored samples of two bitmaps of the same format
// and size (row padding included).
inline double psnrOfSamples(const Bitmap& a, const Bitmap& b) {
  double sum = 0;
  size_t n = 0;
  const size_t bytes = Bitmap::rowLength(a.width(), a.format(), 8);
  for (int y = 0; y < a.height(); ++y)
    for (size_t i = 0; i < bytes; ++i, ++n) {
      const double d = double(a.scanline(y)[i]) - double(b.scanline(y)[i]);
      sum += d * d;
    }
  return sum == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / (sum / double(n)));
}

// Largest difference of two alpha planes of the same size.
inline int alphaDiff(const Bitmap& a, const Bitmap& b) {
  int worst = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      worst = std::max(worst, std::abs(int(a.alphaScanline(y)[x]) - int(b.alphaScanline(y)[x])));
  return worst;
}

inline bool encode(int32_t code, const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out,
                   QString* error = nullptr) {
  const Codec* c = codecOf(code);
  QString e;
  const bool ok = c && c->write && c->write(image, params, extension, out, e);
  if (error) *error = e;
  return ok;
}

inline bool decode(int32_t code, const QByteArray& bytes, Bitmap& out, IOParams& params, QString* error = nullptr) {
  const Codec* c = codecOf(code);
  QString e;
  const bool ok = c && c->read &&
                  c->read(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), out, params, e);
  if (error) *error = e;
  return ok;
}

inline uint32_t le32At(const QByteArray& b, qsizetype at) {
  const auto* p = reinterpret_cast<const uint8_t*>(b.constData() + at);
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace lumo::testimages
