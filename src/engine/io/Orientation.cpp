#include <cstring>

#include "engine/io/ImageCodecs.h"

namespace lumo {

namespace {

// Where source pixel (x, y) of a w × h image lands for each orientation.
void target(int orientation, int x, int y, int w, int h, int& tx, int& ty) {
  switch (orientation) {
    case 2: tx = w - 1 - x; ty = y; break;
    case 3: tx = w - 1 - x; ty = h - 1 - y; break;
    case 4: tx = x; ty = h - 1 - y; break;
    case 5: tx = y; ty = x; break;
    case 6: tx = h - 1 - y; ty = x; break;
    case 7: tx = h - 1 - y; ty = w - 1 - x; break;
    case 8: tx = y; ty = w - 1 - x; break;
    default: tx = x; ty = y; break;
  }
}

}  // namespace

Bitmap applyOrientation(const Bitmap& image, int orientation) {
  const int bpp = bitsPerPixel(image.format());
  if (orientation < 2 || orientation > 8 || image.isNull() || bpp % 8 != 0) return image;
  const int w = image.width(), h = image.height();
  const bool swap = orientation >= 5;
  Bitmap out(swap ? h : w, swap ? w : h, image.format(), image.bitAlignment());
  out.setPalette(image.palette());
  out.info() = image.info();
  const size_t px = size_t(bpp / 8);
  if (image.hasAlpha()) out.addAlpha();
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = image.scanline(y);
    const uint8_t* srcA = image.hasAlpha() ? image.alphaScanline(y) : nullptr;
    for (int x = 0; x < w; ++x) {
      int tx, ty;
      target(orientation, x, y, w, h, tx, ty);
      std::memcpy(out.mutableScanline(ty) + size_t(tx) * px, src + size_t(x) * px, px);
      if (srcA) out.mutableAlphaScanline(ty)[tx] = srcA[x];
    }
  }
  if (image.hasAlpha()) out.setAlphaFull(image.alphaFull());
  return out;
}

}  // namespace lumo
