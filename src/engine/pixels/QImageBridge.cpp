#include "engine/pixels/QImageBridge.h"

#include <bit>
#include <memory>

#include "engine/pixels/PixelConvert.h"

namespace lumo {
namespace {

using PlaneRef = std::shared_ptr<const ByteBuffer>;

void releasePlane(void* plane) { delete static_cast<PlaneRef*>(plane); }

// The Qt format that reads the plane as it is stored, or Format_Invalid.
QImage::Format viewFormat(PixelFormat format) {
  // Qt reads 16- and 32-bit pixels as host-order words; the stored ones are little-endian.
  constexpr bool littleEndian = std::endian::native == std::endian::little;
  switch (format) {
    case PixelFormat::ie1g: return QImage::Format_Mono;  // most significant bit first, like ours
    case PixelFormat::ie8p: return QImage::Format_Indexed8;
    case PixelFormat::ie8g: return QImage::Format_Grayscale8;
    case PixelFormat::ie16g: return littleEndian ? QImage::Format_Grayscale16 : QImage::Format_Invalid;
    case PixelFormat::ie24RGB: return QImage::Format_BGR888;
    case PixelFormat::ie32RGB: return littleEndian ? QImage::Format_RGB32 : QImage::Format_Invalid;
    default: return QImage::Format_Invalid;
  }
}

// The view, alpha not looked at.
QImage viewOf(const Bitmap& bitmap) {
  const QImage::Format format = viewFormat(bitmap.format());
  if (bitmap.isNull() || format == QImage::Format_Invalid) return {};
  // Qt wants 32-bit aligned rows only from the constructors without a stride; given the
  // stride it takes any row of at least width x depth bits, which every alignment gives.
  auto* plane = new PlaneRef(bitmap.sharedPixels());
  QImage image(bitmap.bits(), bitmap.width(), bitmap.height(), qsizetype(bitmap.rowBytes()), format, releasePlane, plane);
  if (image.isNull()) {  // Qt refused the size and will not call the cleanup
    delete plane;
    return {};
  }
  if (format == QImage::Format_Mono) {
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});  // bit 1 is white
  } else if (format == QImage::Format_Indexed8) {
    // Every index gets an entry; those past the palette are black, as in convertToRGB24.
    QList<QRgb> table(256, qRgb(0, 0, 0));
    const auto& palette = bitmap.palette();
    for (size_t i = 0; i < palette.size() && i < 256; ++i) table[qsizetype(i)] = qRgb(palette[i].r, palette[i].g, palette[i].b);
    image.setColorTable(table);
  }
  return image;
}

}  // namespace

QImage sharedQImage(const Bitmap& bitmap) { return bitmap.isOpaque() ? viewOf(bitmap) : QImage(); }

QImage toQImage(const Bitmap& bitmap) {
  if (bitmap.isNull()) return {};
  const bool opaque = bitmap.isOpaque();
  if (opaque) {
    QImage view = viewOf(bitmap);
    if (!view.isNull()) return view;
  }
  const Bitmap rgb = convertToRGB24(bitmap);
  if (opaque) return viewOf(rgb);  // the converted plane lives on in the view

  QImage image(rgb.width(), rgb.height(), QImage::Format_ARGB32);
  if (image.isNull()) return {};
  for (int y = 0; y < rgb.height(); ++y) {
    const uint8_t* s = rgb.scanline(y);
    const uint8_t* a = rgb.alphaScanline(y);
    auto* d = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < rgb.width(); ++x, s += 3) d[x] = qRgba(s[2], s[1], s[0], a[x]);
  }
  return image;
}

Bitmap fromQImage(const QImage& image) {
  if (image.isNull()) return {};
  const bool hasAlpha = image.hasAlphaChannel();
  const QImage src = image.convertToFormat(hasAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  if (src.isNull()) return {};

  Bitmap out(src.width(), src.height(), PixelFormat::ie24RGB);
  if (hasAlpha) out.addAlpha();
  uint8_t* bits = out.mutableBits();
  uint8_t* alphaBits = hasAlpha ? out.mutableAlphaBits() : nullptr;
  bool opaque = true;
  for (int y = 0; y < src.height(); ++y) {
    const auto* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
    uint8_t* d = bits + out.rowBytes() * size_t(y);
    for (int x = 0; x < src.width(); ++x, d += 3) {
      d[0] = uint8_t(qBlue(s[x]));
      d[1] = uint8_t(qGreen(s[x]));
      d[2] = uint8_t(qRed(s[x]));
    }
    if (alphaBits) {
      uint8_t* a = alphaBits + out.alphaRowBytes() * size_t(y);
      for (int x = 0; x < src.width(); ++x) {
        a[x] = uint8_t(qAlpha(s[x]));
        opaque = opaque && a[x] == 255;
      }
    }
  }
  if (hasAlpha) {
    out.setAlphaFull(opaque);
    out.info().full = opaque;
  }
  return out;
}

}  // namespace lumo
