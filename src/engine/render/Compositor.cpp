#include "engine/render/Compositor.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <cmath>
#include <numbers>
#include <vector>

#include <QtGlobal>

#include "engine/pixels/PixelConvert.h"
#include "engine/render/BlendOps.h"
#include "engine/render/LayerEffects.h"
#include "engine/render/Magnifier.h"
#include "engine/render/Resample.h"
#include "engine/render/ResampleFilter.h"
#include "engine/render/VectorRaster.h"
#include "platform/ParallelFor.h"
#include "platform/PixelMemory.h"

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

// Rows composed together by one thread: a band of a wide picture stays in the cache.
constexpr int kBandRows = 8;

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

// The blend entry point: the row function of a layer is chosen here, once per layer,
// from its operation and the layout of its pixels.
using RowFunction = BlendRow;

RowFunction rowFunctionFor(RenderOperation operation, SourceLayout layout) { return blendRowFor(operation, layout); }

// One drawing into the canvas rectangle `area`: a layer or its shadow.
struct PreparedLayer {
  QRect area;  // in canvas coordinates
  RowFunction draw = nullptr;
  uint32_t factor = kFullFactor;
  bool covers = false;  // draws every pixel of `area` opaque, whatever lies below
  // Pixels at the layer's own size: a bitmap of 24 or 32 bits with its offset into `area`.
  Bitmap pixels;
  int pixelStep = 3;
  QPoint offset;  // the pixel drawn at area.topLeft()
  // Or a straight ARGB32 picture (resized, turned, masked or with effects).
  QImage picture;

  // The source pixel drawn at canvas pixel (x, y), and its alpha.
  const uint8_t* bgr(int x, int y) const {
    const int px = x - area.left() + offset.x(), py = y - area.top() + offset.y();
    if (!picture.isNull()) return picture.constScanLine(py) + size_t(px) * 4;
    return pixels.scanline(py) + size_t(px) * size_t(pixelStep);
  }
  const uint8_t* alpha(int x, int y) const {
    if (!picture.isNull()) return bgr(x, y) + 3;
    if (!pixels.hasAlpha()) return nullptr;
    return pixels.alphaScanline(y - area.top() + offset.y()) + (x - area.left() + offset.x());
  }
  // Asks for the pixels of canvas row y ahead of their drawing.
  void prefetch(int y) const {
    auto ask = [](const uint8_t* p, size_t bytes) {
      for (size_t i = 0; i < bytes; i += 64) __builtin_prefetch(p + i);
    };
    const size_t width = size_t(area.width());
    ask(bgr(area.left(), y), width * (picture.isNull() ? size_t(pixelStep) : 4));
    if (picture.isNull() && pixels.hasAlpha()) ask(alpha(area.left(), y), width);
  }
};

// Drawings narrower than this are prefetched a row ahead: a part of a wide picture is
// read in short pieces one row apart, which the processor does not see coming. Whole
// rows of a wide picture stream well without.
constexpr int kPrefetchWidth = 4096;

// A premultiplied picture in the engine's pixel memory: a large canvas then takes a few
// huge pages instead of thousands of page faults on first touch. The block's size is
// kept in front of the pixels for freeing it.
constexpr size_t kCanvasHeader = 64;

void freeCanvas(void* block) {
  size_t bytes;
  std::memcpy(&bytes, block, sizeof bytes);
  freePixelMemory(block, bytes);
}

QImage newCanvas(QSize size) {
  const qsizetype stride = qsizetype(size.width()) * 4;
  const size_t bytes = kCanvasHeader + size_t(stride) * size_t(size.height());
  void* block = nullptr;
  try {
    block = allocatePixelMemory(bytes);
  } catch (const std::bad_alloc&) {
    return {};
  }
  std::memcpy(block, &bytes, sizeof bytes);
  return QImage(static_cast<uchar*>(block) + kCanvasHeader, size.width(), size.height(), stride,
                QImage::Format_ARGB32_Premultiplied, freeCanvas, block);
}

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

// Where a layer lies on the canvas, unturned.
QRect placedRect(const Layer& layer, const QPoint& origin) {
  return QRect(truncated(layer.PosX) - origin.x(), truncated(layer.PosY) - origin.y(), rounded(layer.Width),
               rounded(layer.Height));
}

// Any layer as a straight ARGB32 picture of its own size: image layers from their bitmap
// (resampled to the layer's size), the other kinds drawn by the vector rasteriser.
// A resized image layer is drawn with its own filter when it asks for one, else with
// the program's default filter; vector layers are drawn at their size and need none.
ResampleFilter drawFilter(const Layer& layer) {
  const auto* image = layerAs<ImageLayer>(&layer);
  return image && image->fUseResampleFilter && image->fResampleFilter < kResampleFilterCount
             ? ResampleFilter(image->fResampleFilter)
             : kDefaultResampleFilter;
}

QImage layerPicture(const Layer& layer) {
  const int w = rounded(layer.Width), h = rounded(layer.Height);
  if (w <= 0 || h <= 0) return {};
  QImage picture;
  if (const auto* image = layerAs<ImageLayer>(&layer)) {
    if (image->bitmap.isNull()) return {};
    picture = straightArgb(convertToRGB24(image->bitmap));
  } else {
    picture = rasterizeVectorLayer(layer, 1.0).convertToFormat(QImage::Format_ARGB32);
  }
  if (picture.isNull() || picture.size() == QSize(w, h)) return picture;
  return resampleWithFilter(picture, w, h, drawFilter(layer));
}

double normalizedDegrees(double degrees) {
  if (!std::isfinite(degrees)) return 0;
  const double d = std::fmod(degrees, 360.0);
  return d < 0 ? d + 360.0 : d;
}

bool isTurned(const Layer& layer) { return normalizedDegrees(layer.fRotate) != 0 || (layer.fFlip & 3) != 0; }

// Rotation and flip by inverse mapping. fRotate turns the layer counter-clockwise on
// screen by that many degrees about the point (fRotateCenterX, fRotateCenterY) given in
// fractions of the layer's size; the flips mirror the layer's own picture first. Every
// canvas pixel centre is mapped back into the picture and sampled bilinearly from the
// premultiplied colours, so transparent pixels lend no colour. Returns the straight
// picture of the turned layer's bounding box, whose corner goes to `topLeft`.
QImage turnedPicture(const QImage& picture, const Layer& layer, const QRect& placed, QPoint& topLeft) {
  const double theta = normalizedDegrees(layer.fRotate) * std::numbers::pi / 180.0, c = std::cos(theta), s = std::sin(theta);
  const double rcx = std::isfinite(layer.fRotateCenterX) ? layer.fRotateCenterX : 0.5;
  const double rcy = std::isfinite(layer.fRotateCenterY) ? layer.fRotateCenterY : 0.5;
  const double cx = placed.x() + rcx * placed.width(), cy = placed.y() + rcy * placed.height();
  // Forward: x' = cx + dx cos + dy sin, y' = cy - dx sin + dy cos (y grows downwards).
  double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
  for (const QPointF p : {QPointF(placed.left(), placed.top()), QPointF(placed.left() + placed.width(), placed.top()),
                          QPointF(placed.left(), placed.top() + placed.height()),
                          QPointF(placed.left() + placed.width(), placed.top() + placed.height())}) {
    const double dx = p.x() - cx, dy = p.y() - cy;
    const double x = cx + dx * c + dy * s, y = cy - dx * s + dy * c;
    minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
  }
  // Snap away the rounding error of sines and cosines of whole quarter turns.
  auto snapFloor = [](double v) { return int(std::floor(std::clamp(v + 1e-6, -kCoordinateLimit, kCoordinateLimit))); };
  auto snapCeil = [](double v) { return int(std::ceil(std::clamp(v - 1e-6, -kCoordinateLimit, kCoordinateLimit))); };
  const QRect box(QPoint(snapFloor(minX), snapFloor(minY)), QPoint(snapCeil(maxX) - 1, snapCeil(maxY) - 1));
  QImage out(box.size(), QImage::Format_ARGB32);
  if (out.isNull()) return out;
  out.fill(0);
  const QImage premultiplied = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const int w = picture.width(), h = picture.height();
  const bool flipH = layer.fFlip & 1, flipV = layer.fFlip & 2;
  auto texel = [&](int x, int y) -> uint32_t {
    return x < 0 || y < 0 || x >= w || y >= h ? 0u : reinterpret_cast<const uint32_t*>(premultiplied.constScanLine(y))[x];
  };
  for (int y = 0; y < box.height(); ++y) {
    auto* d = reinterpret_cast<uint32_t*>(out.scanLine(y));
    for (int x = 0; x < box.width(); ++x) {
      const double X = box.x() + x + 0.5 - cx, Y = box.y() + y + 0.5 - cy;
      double lx = X * c - Y * s + cx - placed.x(), ly = X * s + Y * c + cy - placed.y();
      if (flipH) lx = w - lx;
      if (flipV) ly = h - ly;
      lx -= 0.5, ly -= 0.5;
      if (lx <= -1 || ly <= -1 || lx >= w || ly >= h) continue;
      const int x0 = int(std::floor(lx)), y0 = int(std::floor(ly));
      const double fx = lx - x0, fy = ly - y0;
      const uint32_t p[4] = {texel(x0, y0), texel(x0 + 1, y0), texel(x0, y0 + 1), texel(x0 + 1, y0 + 1)};
      const double wt[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
      double ch[4] = {0, 0, 0, 0};
      for (int k = 0; k < 4; ++k)
        for (int b = 0; b < 4; ++b) ch[b] += wt[k] * double(p[k] >> (8 * b) & 0xFF);
      const double a = ch[3];
      if (a < 0.5) continue;
      uint32_t px = uint32_t(std::lround(a)) << 24;
      for (int b = 0; b < 3; ++b) px |= uint32_t(std::min(255L, std::lround(ch[b] * 255.0 / a))) << (8 * b);
      d[x] = px;
    }
  }
  topLeft = box.topLeft();
  return out;
}

// Masks. A layer whose fIsMask is set is not drawn; it controls the layer directly below
// it. The mask's level at a canvas pixel is the luminance of its own pixel composed over
// white by the mask's alpha: a transparent mask pixel counts as white, and so does every
// canvas pixel outside the mask's rectangle. The masked layer's alpha is multiplied by
// level / 255, so white shows the layer and black hides it.
// Inversion (255 - level) applies to masks drawn from vector layers: shapes and text are
// drawn dark on a clear ground, and inverted they show the layer through the shape and
// hide it around it. An image mask is a grey map read as it is (white shows), so that an
// empty mask (all white) starts fully visible and painting black hides, whatever its flag.
// The mask is placed by its own position and size and is not turned.
void applyMask(QImage& picture, const QPoint& topLeft, const Layer& mask, const QPoint& origin) {
  const QRect placed = placedRect(mask, origin);
  const QImage maskPicture = layerPicture(mask);
  const bool invert = mask.fMaskInverted && !mask.isImage();
  uint8_t levels[256];  // of a composed mask level, after the inversion
  for (int v = 0; v < 256; ++v) levels[v] = uint8_t(invert ? 255 - v : v);
  for (int y = 0; y < picture.height(); ++y) {
    uint8_t* p = picture.scanLine(y);
    const int my = topLeft.y() + y - placed.y();
    const bool rowInside = !maskPicture.isNull() && my >= 0 && my < maskPicture.height();
    const uint8_t* m = rowInside ? maskPicture.constScanLine(my) : nullptr;
    for (int x = 0; x < picture.width(); ++x, p += 4) {
      const int mx = topLeft.x() + x - placed.x();
      uint32_t level = 255;
      if (m && mx >= 0 && mx < maskPicture.width()) {
        const uint8_t* q = m + size_t(mx) * 4;
        level = div255(luminance(q[0], q[1], q[2]) * q[3] + 255 * (255 - q[3]));
      }
      p[3] = uint8_t(div255(p[3] * uint32_t(levels[level])));
    }
  }
}

// A straight picture placed on the canvas, cropped to it.
bool preparePicture(QImage picture, const QPoint& topLeft, const QRect& canvas, RenderOperation operation,
                    uint32_t factor, PreparedLayer& out) {
  out.area = QRect(topLeft, picture.size()).intersected(canvas);
  if (out.area.isEmpty()) return false;
  out.offset = out.area.topLeft() - topLeft;
  out.picture = std::move(picture);
  out.factor = factor;
  out.draw = rowFunctionFor(operation, SourceLayout::Argb32);
  return true;
}

// Opacity. A layer's pixels are drawn with alpha × fOpacity × fTransparency / 255 (the
// factor above). fFillOpacity belongs to the fill of vector layers only and is already
// in the alpha of their rasterised fill, so all three multiply for a vector fill and
// the first two for everything else. The soft shadow takes the same factor.
//
// Layers needing more than a straight copy (vector kinds, masks, effects, rotation, flip)
// go through a straight ARGB32 picture: effects on the layer's own picture, then turned,
// then masked, then the shadow from what is left visible.
// fDrawOuter only matters to the view (whether a layer's parts beyond the background are
// shown): the compositor's result is the background's rectangle either way.
// Drawings are cropped to `clip`, the part of the canvas being composed; a resized
// layer is resampled only there.
// What a magnifying glass at `index` shows: the background layer, or everything below
// the glass, enlarged. The background itself cannot look at itself and shows its pixels.
QImage lensPicture(const LayerStack& stack, int index, const QRect& placed) {
  const auto& glass = static_cast<const ImageLayer&>(stack.at(index));
  LayerStack below;
  for (int i = 0; i < (glass.Magnify.Source == 1 ? index : 1); ++i) below.add(stack.at(i).clone());
  return magnifiedPicture(glass, composeLayers(below), placed, drawFilter(glass));
}

std::vector<PreparedLayer> prepareLayer(const LayerStack& stack, int index, const QRect& clip, const QPoint& origin) {
  std::vector<PreparedLayer> drawings;
  const Layer& layer = stack.at(index);
  // Masks are not drawn themselves; they act on the layer below them.
  if (!layer.fVisible || layer.fIsMask) return drawings;
  const uint32_t factor = layerFactor(layer);
  if (factor == 0) return drawings;
  const Layer* mask = index + 1 < stack.count() && stack.at(index + 1).fIsMask ? &stack.at(index + 1) : nullptr;
  const bool shadow = layer.SoftShadow.Enabled && layer.SoftShadow.Intensity > 0;
  const bool glow = layer.InnerGlow.Enabled && layer.InnerGlow.Radius > 0;
  const int feather = std::clamp(layer.fAlphaEdgeFeathering, 0, 255);
  const QRect placed = placedRect(layer, origin);
  const auto* image = layerAs<ImageLayer>(&layer);
  const bool lens = image && image->Magnify.Enabled && index > 0;

  if (!image || lens || mask || shadow || glow || feather > 0 || isTurned(layer)) {
    QImage picture = lens ? lensPicture(stack, index, placed) : layerPicture(layer);
    if (picture.isNull()) return drawings;
    featherAlphaEdges(picture, feather);
    if (glow) applyInnerGlow(picture, layer.InnerGlow.Radius, layer.InnerGlow.ShadowColor);
    QPoint topLeft = placed.topLeft();
    if (isTurned(layer)) picture = turnedPicture(picture, layer, placed, topLeft);
    if (picture.isNull()) return drawings;
    if (mask) applyMask(picture, topLeft, *mask, origin);
    if (shadow) {
      const ShadowRecord& record = layer.SoftShadow;
      QPoint corner;
      QImage cast = softShadow(picture, record.Radius, record.Intensity, record.ShadowColor, corner);
      const QPoint offset(truncated(record.OffsetX), truncated(record.OffsetY));
      PreparedLayer drawing;
      if (!cast.isNull() &&
          preparePicture(std::move(cast), topLeft + corner + offset, clip, RenderOperation::ielNormal, factor, drawing))
        drawings.push_back(std::move(drawing));
    }
    PreparedLayer drawing;
    if (preparePicture(std::move(picture), topLeft, clip, layer.fOperation, factor, drawing))
      drawings.push_back(std::move(drawing));
    return drawings;
  }

  if (image->bitmap.isNull()) return drawings;
  PreparedLayer out;
  out.factor = factor;
  out.area = placed.intersected(clip);
  if (out.area.isEmpty()) return drawings;
  const Bitmap& bitmap = image->bitmap;
  const bool direct = bitmap.format() == PixelFormat::ie24RGB || bitmap.format() == PixelFormat::ie32RGB;
  out.pixels = direct ? bitmap : convertToRGB24(bitmap);
  if (out.pixels.isNull()) return drawings;
  out.pixelStep = out.pixels.format() == PixelFormat::ie32RGB ? 4 : 3;
  const bool hasAlpha = out.pixels.hasAlpha();

  if (placed.width() == out.pixels.width() && placed.height() == out.pixels.height()) {
    out.offset = out.area.topLeft() - placed.topLeft();
    const SourceLayout layout = out.pixelStep == 4 ? (hasAlpha ? SourceLayout::Bgrx32Alpha : SourceLayout::Bgrx32)
                                                   : (hasAlpha ? SourceLayout::Bgr24Alpha : SourceLayout::Bgr24);
    out.draw = rowFunctionFor(layer.fOperation, layout);
    out.covers = blendRowCovers(layer.fOperation, layout, factor);
    drawings.push_back(std::move(out));
    return drawings;
  }
  // Drawn at another size: only the part inside the clip is resampled.
  const Bitmap rgb = out.pixelStep == 4 ? convertToRGB24(out.pixels) : out.pixels;
  out.pixels = Bitmap();
  out.picture = resampleWithFilter(straightArgb(rgb), placed.width(), placed.height(), drawFilter(layer),
                                   out.area.translated(-placed.topLeft()));
  if (out.picture.isNull()) return drawings;
  out.offset = QPoint();
  out.draw = rowFunctionFor(layer.fOperation, SourceLayout::Argb32);
  drawings.push_back(std::move(out));
  return drawings;
}

}  // namespace

QImage composeLayers(const LayerStack& stack) { return composeLayers(stack, QRect(0, 0, INT_MAX, INT_MAX)); }

QImage composeLayers(const LayerStack& stack, const QRect& region) {
  QImage out;
  composeLayers(stack, region, out);
  return out;
}

void composeLayers(const LayerStack& stack, const QRect& region, QImage& canvas) {
  // The background layer, where it lies, is the canvas.
  const Layer* background = stack.isEmpty() ? nullptr : &stack.at(0);
  const QRect clip = background ? QRect(0, 0, rounded(background->Width), rounded(background->Height)).intersected(region)
                                : QRect();
  if (clip.isEmpty()) {
    canvas = QImage();
    return;
  }
  if (canvas.size() != clip.size() || canvas.format() != QImage::Format_ARGB32_Premultiplied) canvas = newCanvas(clip.size());
  if (canvas.isNull()) return;

  const QPoint origin(truncated(background->PosX), truncated(background->PosY));
  std::vector<PreparedLayer> drawings;
  for (int i = 0; i < stack.count(); ++i)
    for (PreparedLayer& drawing : prepareLayer(stack, i, clip, origin)) drawings.push_back(std::move(drawing));
  // Rows that the first drawing covers opaquely from edge to edge need no clearing.
  const bool firstCovers = !drawings.empty() && drawings[0].covers && drawings[0].area.left() == clip.left() &&
                           drawings[0].area.width() == clip.width();

  // Band by band, every layer in turn on each row while the row is still in the cache.
  uchar* const bits = canvas.bits();
  const qsizetype stride = canvas.bytesPerLine();
  const int bands = (clip.height() + kBandRows - 1) / kBandRows;
  parallelFor(size_t(bands), [&](size_t band) {
    const int top = clip.top() + int(band) * kBandRows, bottom = std::min(clip.bottom() + 1, top + kBandRows);
    for (int y = top; y < bottom; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(bits + (y - clip.top()) * stride);
      if (!firstCovers || y < drawings[0].area.top() || y > drawings[0].area.bottom())
        std::fill(row, row + clip.width(), 0u);
      for (const PreparedLayer& layer : drawings) {
        if (y < layer.area.top() || y > layer.area.bottom()) continue;
        const int left = layer.area.left();
        if (y < layer.area.bottom() && layer.area.width() < kPrefetchWidth) layer.prefetch(y + 1);
        layer.draw(row + (left - clip.left()), layer.bgr(left, y), layer.alpha(left, y), layer.area.width(),
                   layer.factor, y);
      }
    }
  });
}

QImage composeLayersReduced(const LayerStack& stack, int factor) {
  if (factor <= 1) return composeLayers(stack);
  LayerStack reduced(stack);
  for (int i = 0; i < reduced.count(); ++i) {
    Layer& layer = reduced.at(i);
    if (auto* image = layerAs<ImageLayer>(&layer); image && (image->fVisible || image->fIsMask))
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
