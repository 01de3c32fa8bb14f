#include "document/EncodedPixels.h"

#include <cstring>

#include <QByteArrayView>
#include <QImage>

#include "document/ProjectError.h"
#include "document/RawBitmapBlock.h"
#include "engine/pixels/PixelConvert.h"

namespace lumo {

// Qt's image plugins recognise the format and decode; their allocation limit keeps a
// forged header from asking for gigabytes.
Bitmap decodeEncodedPixels(const uint8_t* data, size_t size, bool asGrey) {
  QImage image = QImage::fromData(QByteArrayView(data, qsizetype(size)));
  if (image.isNull() || int64_t(image.width()) * image.height() > kMaxStoredPixels)
    throw ProjectError(ProjectErrorText::kCorrupt);
  const int w = image.width(), h = image.height();

  if (asGrey) {
    // The engine's own luminance, so that a mask reads as the same grey as any other
    // conversion of the program would give (Qt's grey conversion works in linear light).
    image.convertTo(QImage::Format_BGR888);
    Bitmap bitmap(w, h, PixelFormat::ie8g);
    for (int y = 0; y < h; ++y) {
      const uchar* src = image.constScanLine(y);
      uint8_t* dst = bitmap.mutableScanline(y);
      for (int x = 0; x < w; ++x, src += 3) dst[x] = luminance(src[0], src[1], src[2]);
    }
    return bitmap;
  }

  const bool alpha = image.hasAlphaChannel();
  Bitmap bitmap(w, h, PixelFormat::ie24RGB);
  if (alpha) bitmap.addAlpha();
  image.convertTo(alpha ? QImage::Format_ARGB32 : QImage::Format_BGR888);
  for (int y = 0; y < h; ++y) {
    const uchar* src = image.constScanLine(y);
    uint8_t* dst = bitmap.mutableScanline(y);
    if (!alpha) {
      std::memcpy(dst, src, size_t(w) * 3);
      continue;
    }
    // ARGB32 lies in memory as blue, green, red, alpha on a little-endian host.
    uint8_t* a = bitmap.mutableAlphaScanline(y);
    for (int x = 0; x < w; ++x, src += 4, dst += 3) {
      dst[0] = src[0];
      dst[1] = src[1];
      dst[2] = src[2];
      a[x] = src[3];
    }
  }
  if (alpha) bitmap.setAlphaFull(bitmap.isOpaque());
  return bitmap;
}

}  // namespace lumo
