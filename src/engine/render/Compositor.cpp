#include "engine/render/Compositor.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <QtGlobal>

#include "engine/pixels/PixelConvert.h"
#include "engine/render/Resample.h"

namespace lumo {

namespace {

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "ARGB32 rows are read as blue, green, red, alpha bytes");

// A layer's opacity and transparency together, in 1/65536.
constexpr uint32_t kFullFactor = 1u << 16;

// Exact rounding of x / 255 for 0 <= x <= 255 * 255.
inline uint32_t div255(uint32_t x) {
  x += 128;
  return (x + (x >> 8)) >> 8;
}

// Geometry is kept far inside int so that sums of positions and sizes cannot overflow.
constexpr double kCoordinateLimit = double(1 << 29);

int truncated(double v) { return std::isnan(v) ? 0 : int(std::clamp(v, -kCoordinateLimit, kCoordinateLimit)); }
// Sizes round as the stored record rounds them, halves to even.
int rounded(double v) { return std::isnan(v) ? 0 : int(std::nearbyint(std::clamp(v, 0.0, kCoordinateLimit))); }

uint32_t layerFactor(const Layer& layer) {
  const double opacity = layer.fOpacity > 0 ? std::min(layer.fOpacity, 1.0) : 0.0;  // NaN counts as 0
  const int32_t transparency = std::clamp<int32_t>(layer.fTransparency, 0, 255);
  return uint32_t(std::lround(opacity * transparency / 255.0 * kFullFactor));
}

// Draws `count` source pixels over premultiplied `dst`. The source gives blue, green and
// red bytes every PixelStep bytes and, unless AlphaStep is 0, an alpha byte every
// AlphaStep bytes; `factor` scales the alpha.
using RowFunction = void (*)(uint32_t* dst, const uint8_t* bgr, const uint8_t* alpha, int count, uint32_t factor);

template <int PixelStep, int AlphaStep>
void normalRow(uint32_t* dst, const uint8_t* bgr, const uint8_t* alpha, int count, uint32_t factor) {
  for (int i = 0; i < count; ++i, bgr += PixelStep) {
    uint32_t a = AlphaStep ? alpha[i * AlphaStep] : 255;
    if (factor != kFullFactor) a = (a * factor + kFullFactor / 2) >> 16;
    if (a == 0) continue;
    if (a == 255) {
      dst[i] = 0xFF000000u | uint32_t(bgr[2]) << 16 | uint32_t(bgr[1]) << 8 | bgr[0];
      continue;
    }
    const uint32_t d = dst[i], rest = 255 - a;
    const uint32_t b = div255(bgr[0] * a + (d & 0xFF) * rest);
    const uint32_t g = div255(bgr[1] * a + (d >> 8 & 0xFF) * rest);
    const uint32_t r = div255(bgr[2] * a + (d >> 16 & 0xFF) * rest);
    const uint32_t outA = a + div255((d >> 24) * rest);
    dst[i] = outA << 24 | r << 16 | g << 8 | b;
  }
}

// The blend entry point: the row function of a layer is chosen here, once per layer,
// from its operation. Normal is the only operation drawn so far; every other operation
// is composed as Normal until its blend function is added here.
template <int PixelStep, int AlphaStep>
RowFunction rowFunctionFor(RenderOperation /*operation*/) {
  return &normalRow<PixelStep, AlphaStep>;
}

// One layer, ready to draw into the canvas rectangle `area`.
struct PreparedLayer {
  QRect area;  // in canvas coordinates
  RowFunction draw = nullptr;
  uint32_t factor = kFullFactor;
  // Pixels at the layer's own size: a bitmap of 24 or 32 bits with its offset into `area`.
  Bitmap pixels;
  int pixelStep = 3;
  QPoint offset;  // the bitmap pixel drawn at area.topLeft()
  // Or, for a layer drawn resized, the straight ARGB32 picture of exactly `area`.
  QImage resized;

  const uint8_t* bgr(int canvasY) const {
    if (!resized.isNull()) return resized.constScanLine(canvasY - area.top());
    return pixels.scanline(canvasY - area.top() + offset.y()) + size_t(offset.x()) * size_t(pixelStep);
  }
  const uint8_t* alpha(int canvasY) const {
    if (!resized.isNull()) return resized.constScanLine(canvasY - area.top()) + 3;
    if (!pixels.hasAlpha()) return nullptr;
    return pixels.alphaScanline(canvasY - area.top() + offset.y()) + offset.x();
  }
};

// A 24-bit bitmap as a straight ARGB32 picture, for the resampler.
QImage straightArgb(const Bitmap& rgb) {
  QImage out(rgb.width(), rgb.height(), QImage::Format_ARGB32);
  if (out.isNull()) return out;
  for (int y = 0; y < rgb.height(); ++y) {
    const uint8_t* s = rgb.scanline(y);
    const uint8_t* a = rgb.hasAlpha() ? rgb.alphaScanline(y) : nullptr;
    auto* d = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < rgb.width(); ++x, s += 3) d[x] = qRgba(s[2], s[1], s[0], a ? a[x] : 255);
  }
  return out;
}

bool prepareLayer(const Layer& layer, const QRect& canvas, const QPoint& origin, PreparedLayer& out) {
  // Masks are not drawn themselves; they act on the layer below them.
  if (!layer.fVisible || layer.fIsMask) return false;
  // Vector layers are not drawn yet.
  const auto* image = layerAs<ImageLayer>(&layer);
  if (!image || image->bitmap.isNull()) return false;
  out.factor = layerFactor(layer);
  if (out.factor == 0) return false;
  const int w = rounded(layer.Width), h = rounded(layer.Height);
  const QRect placed(truncated(layer.PosX) - origin.x(), truncated(layer.PosY) - origin.y(), w, h);
  out.area = placed.intersected(canvas);
  if (out.area.isEmpty()) return false;

  const Bitmap& bitmap = image->bitmap;
  const bool direct = bitmap.format() == PixelFormat::ie24RGB || bitmap.format() == PixelFormat::ie32RGB;
  out.pixels = direct ? bitmap : convertToRGB24(bitmap);
  if (out.pixels.isNull()) return false;
  out.pixelStep = out.pixels.format() == PixelFormat::ie32RGB ? 4 : 3;
  const bool hasAlpha = out.pixels.hasAlpha();

  if (w == out.pixels.width() && h == out.pixels.height()) {
    out.offset = out.area.topLeft() - placed.topLeft();
    if (out.pixelStep == 4) out.draw = hasAlpha ? rowFunctionFor<4, 1>(layer.fOperation) : rowFunctionFor<4, 0>(layer.fOperation);
    else out.draw = hasAlpha ? rowFunctionFor<3, 1>(layer.fOperation) : rowFunctionFor<3, 0>(layer.fOperation);
    return true;
  }
  // Drawn at another size: only the part inside the canvas is resampled.
  const Bitmap rgb = out.pixelStep == 4 ? convertToRGB24(out.pixels) : out.pixels;
  out.pixels = Bitmap();
  out.resized = resampleImage(straightArgb(rgb), w, h, out.area.translated(-placed.topLeft()));
  if (out.resized.isNull()) return false;
  out.draw = rowFunctionFor<4, 4>(layer.fOperation);
  return true;
}

}  // namespace

QImage composeLayers(const LayerStack& stack) {
  if (stack.isEmpty()) return {};
  // The background layer, where it lies, is the canvas.
  const Layer& background = stack.at(0);
  const QPoint origin(truncated(background.PosX), truncated(background.PosY));
  const QRect canvas(0, 0, rounded(background.Width), rounded(background.Height));
  if (canvas.isEmpty()) return {};
  QImage out(canvas.size(), QImage::Format_ARGB32_Premultiplied);
  if (out.isNull()) return {};
  out.fill(0);

  for (int i = 0; i < stack.count(); ++i) {
    PreparedLayer layer;
    if (!prepareLayer(stack.at(i), canvas, origin, layer)) continue;
    const int left = layer.area.left(), width = layer.area.width();
    for (int y = layer.area.top(); y <= layer.area.bottom(); ++y)
      layer.draw(reinterpret_cast<uint32_t*>(out.scanLine(y)) + left, layer.bgr(y), layer.alpha(y), width, layer.factor);
  }
  return out;
}

QImage composeLayersReduced(const LayerStack& stack, int factor) {
  if (factor <= 1) return composeLayers(stack);
  LayerStack reduced(stack);
  for (int i = 0; i < reduced.count(); ++i) {
    Layer& layer = reduced.at(i);
    if (auto* image = layerAs<ImageLayer>(&layer); image && image->fVisible)
      image->bitmap = reduceBitmap(image->bitmap, factor);
    layer.setRect(QRectF(layer.PosX / factor, layer.PosY / factor, layer.Width / factor, layer.Height / factor));
  }
  return composeLayers(reduced);
}

Bitmap mergeLayersToBitmap(const LayerStack& stack) {
  const QImage composed = composeLayers(stack);
  if (composed.isNull()) return {};
  const int w = composed.width(), h = composed.height();
  Bitmap out(w, h, PixelFormat::ie24RGB);
  bool opaque = true;
  for (int y = 0; y < h && opaque; ++y) {
    const auto* s = reinterpret_cast<const uint32_t*>(composed.constScanLine(y));
    opaque = std::all_of(s, s + w, [](uint32_t p) { return p >> 24 == 255; });
  }
  if (!opaque) {
    out.addAlpha(0);
    out.setAlphaFull(false);
  }
  for (int y = 0; y < h; ++y) {
    const auto* s = reinterpret_cast<const uint32_t*>(composed.constScanLine(y));
    uint8_t* d = out.mutableScanline(y);
    uint8_t* da = opaque ? nullptr : out.mutableAlphaScanline(y);
    for (int x = 0; x < w; ++x, d += 3) {
      const uint32_t p = s[x], a = p >> 24;
      const uint32_t c[3] = {p & 0xFF, p >> 8 & 0xFF, p >> 16 & 0xFF};
      for (int k = 0; k < 3; ++k) d[k] = uint8_t(a == 255 ? c[k] : a ? std::min<uint32_t>(255, (c[k] * 255 + a / 2) / a) : 0);
      if (da) da[x] = uint8_t(a);
    }
  }
  return out;
}

}  // namespace lumo
