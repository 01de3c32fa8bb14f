#include "engine/io/AlphaInterleave.h"

#include <cstring>

namespace lumo {

ByteBuffer interleaveAlpha(const Bitmap& image, int alphaBytes) {
  const size_t colourBytes = size_t(bitsPerPixel(image.format()) / 8);
  const size_t pixelBytes = colourBytes + size_t(alphaBytes);
  const size_t w = size_t(image.width());
  ByteBuffer out(pixelBytes * w * size_t(image.height()));
  uint8_t* d = out.data();
  for (int y = 0; y < image.height(); ++y) {
    const uint8_t* s = image.scanline(y);
    const uint8_t* a = image.hasAlpha() ? image.alphaScanline(y) : nullptr;
    for (size_t x = 0; x < w; ++x, d += pixelBytes) {
      std::memcpy(d, s + x * colourBytes, colourBytes);
      const uint8_t v = a ? a[x] : 255;
      if (alphaBytes == 2) {
        const uint16_t wide = uint16_t(v * 257);
        std::memcpy(d + colourBytes, &wide, 2);
      } else {
        d[colourBytes] = v;
      }
    }
  }
  return out;
}

void splitAlpha(const uint8_t* rows, size_t stride, int alphaBytes, Bitmap& image) {
  const size_t colourBytes = size_t(bitsPerPixel(image.format()) / 8);
  const size_t pixelBytes = colourBytes + size_t(alphaBytes);
  for (int y = 0; y < image.height(); ++y) {
    const uint8_t* s = rows + stride * size_t(y);
    uint8_t* d = image.mutableScanline(y);
    uint8_t* a = image.mutableAlphaScanline(y);
    for (int x = 0; x < image.width(); ++x, s += pixelBytes) {
      std::memcpy(d + size_t(x) * colourBytes, s, colourBytes);
      if (alphaBytes == 2) {
        uint16_t wide;
        std::memcpy(&wide, s + colourBytes, 2);
        a[x] = uint8_t(wide >> 8);
      } else {
        a[x] = s[colourBytes];
      }
    }
  }
  image.setAlphaFull(image.isOpaque());
}

}  // namespace lumo
