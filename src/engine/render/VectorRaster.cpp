#include "engine/render/VectorRaster.h"

#include <cmath>
#include <numbers>

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include "engine/layers/LayerKinds.h"
#include "engine/render/ShapePaths.h"
#include "engine/render/VectorPaint.h"

namespace lumo {

using namespace vector;

namespace {

// The border is drawn inside the layer: the outline runs half a border width in.
QRectF innerBox(const QSizeF& size, double border) {
  const double inset = std::min(border / 2, std::min(size.width(), size.height()) / 2);
  return QRectF(QPointF(0, 0), size).adjusted(inset, inset, -inset, -inset);
}

double borderWidth(const Layer& l) { return l.fBorderColor == clNone ? 0.0 : std::max(0, l.fBorderWidth); }

void fillAndStroke(QPainter& p, const QPainterPath& path, const Layer& l, const QRectF& box, uint8_t lineStyle) {
  const QColor fill = toQColor(l.fFillColor, l.fFillOpacity);
  if (fill.isValid() && l.fFillOpacity > 0)
    p.fillPath(path, gradientBrush(l.fFillGradient, fill, toQColor(l.fFillColor2, l.fFillOpacity), box));
  const double bw = borderWidth(l);
  if (bw > 0) p.strokePath(path, stylePen(toQColor(l.fBorderColor), bw, lineStyle));
}

void drawShape(QPainter& p, const ShapeLayer& l, const QSizeF& size) {
  const QRectF box = innerBox(size, borderWidth(l));
  fillAndStroke(p, shapePath(l.fShape, box, l.fShapeModifier), l, box, 0);
}

// Points are kept in layer space (0 … 1000 across the layer); the outline's own width
// stays inside the layer.
void drawPolyline(QPainter& p, const PolylineLayer& l, const QSizeF& size) {
  if (l.Points.empty()) return;
  const double bw = borderWidth(l);
  const QRectF box = innerBox(size, bw);
  QPolygonF pts;
  for (const DPoint& d : l.Points)
    pts << QPointF(box.left() + d.x / 1000.0 * box.width(), box.top() + d.y / 1000.0 * box.height());
  QPainterPath path;
  path.addPolygon(pts);
  if (l.fPolylineClosed) path.closeSubpath();
  const QColor fill = toQColor(l.fFillColor, l.fFillOpacity);
  if (l.fPolylineClosed && fill.isValid() && l.fFillOpacity > 0)
    p.fillPath(path, gradientBrush(l.fFillGradient, fill, toQColor(l.fFillColor2, l.fFillOpacity), box));
  if (bw > 0) {
    // A path is construction geometry: always dashed, whatever style it carries.
    const uint8_t style = l.fIsPath && l.fLineStyle == 0 ? 6 : l.fLineStyle;
    QPen pen = stylePen(toQColor(l.fBorderColor), bw, style);
    pen.setJoinStyle(Qt::RoundJoin);
    if (style == 0) pen.setCapStyle(Qt::RoundCap);
    p.strokePath(path, pen);
  }
}

// Three points: the end of the first ray, the vertex, the end of the second ray. The
// arc spans the angle the mode asks for (normal: counter-clockwise on screen from the
// first ray to the second; inverted: the other side; or always the smaller or larger).
void drawAngle(QPainter& p, const AngleLayer& l) {
  const QPointF a(l.fPoints[0].x, l.fPoints[0].y), v(l.fPoints[1].x, l.fPoints[1].y), b(l.fPoints[2].x, l.fPoints[2].y);
  const double la = std::hypot(a.x() - v.x(), a.y() - v.y()), lb = std::hypot(b.x() - v.x(), b.y() - v.y());
  const QColor color = toQColor(l.fBorderColor == clNone ? l.fFont.Color : l.fBorderColor);
  const double width = std::max(1, l.fBorderWidth);
  QPen pen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(QPolygonF({a, v, b}));
  if (la <= 0 || lb <= 0) return;
  // Screen y runs down; angles here run counter-clockwise as seen.
  const double startA = std::atan2(v.y() - a.y(), a.x() - v.x()) * 180 / std::numbers::pi;
  const double startB = std::atan2(v.y() - b.y(), b.x() - v.x()) * 180 / std::numbers::pi;
  double sweep = std::fmod(startB - startA + 720, 360);
  switch (l.fAngleMode) {
    case 1: sweep -= 360; break;
    case 2: if (sweep > 180) sweep -= 360; break;
    case 3: if (sweep < 180) sweep -= 360; break;
    default: break;
  }
  const double r = std::min(std::min(la, lb) / 3, 40.0);
  const QRectF arcBox(v.x() - r, v.y() - r, 2 * r, 2 * r);
  QPainterPath arc;
  arc.arcMoveTo(arcBox, startA);
  arc.arcTo(arcBox, startA, sweep);
  p.drawPath(arc);

  const QString label = !l.fLabelText.isEmpty()
                            ? l.fLabelText
                            : QString::number(std::abs(sweep), 'f', std::clamp(l.fLabelDecimalPlaces, 0, 10)) + QChar(0xB0);
  if (!qGuiApp) return;  // fonts need the GUI application
  const double mid = (startA + sweep / 2) * std::numbers::pi / 180;
  const QPointF at(v.x() + (r + 6) * std::cos(mid), v.y() - (r + 6) * std::sin(mid));
  p.setFont(toQFont(l.fFont));
  p.setPen(toQColor(l.fFont.Color));
  const QRectF textBox(at.x() - 200, at.y() - 100, 400, 200);
  const QRectF need = p.boundingRect(textBox, Qt::AlignCenter, label);
  // Put the label beside the arc's midpoint, on the side away from the vertex.
  const QPointF shift((std::cos(mid)) * need.width() / 2, -(std::sin(mid)) * need.height() / 2);
  p.drawText(need.translated(shift), Qt::AlignCenter, label);
}

}  // namespace

QImage rasterizeVectorLayer(const Layer& layer, double scale) {
  if (layer.isImage() || !(scale > 0) || !std::isfinite(scale)) return {};
  const double w = std::round(layer.Width), h = std::round(layer.Height);
  if (!(w >= 1) || !(h >= 1)) return {};
  constexpr double kMaxSide = 1 << 20;  // beyond any picture QImage can hold; keeps the sizes in int
  if (w * scale > kMaxSide || h * scale > kMaxSide) return {};
  const int iw = int(std::lround(w * scale)), ih = int(std::lround(h * scale));
  if (iw < 1 || ih < 1) return {};
  QImage img(iw, ih, QImage::Format_ARGB32_Premultiplied);
  if (img.isNull()) return {};  // too large to allocate
  img.fill(Qt::transparent);
  {
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, layer.fAntiAlias);
    p.setRenderHint(QPainter::TextAntialiasing, layer.fAntiAlias);
    p.scale(iw / w, ih / h);
    const QSizeF size(w, h);
    if (auto* s = layerAs<ShapeLayer>(&layer)) drawShape(p, *s, size);
    else if (auto* ln = layerAs<LineLayer>(&layer)) drawLineLayer(p, *ln);
    else if (auto* pl = layerAs<PolylineLayer>(&layer)) drawPolyline(p, *pl, size);
    else if (auto* t = layerAs<TextLayer>(&layer)) drawTextLayer(p, *t, size);
    else if (auto* a = layerAs<AngleLayer>(&layer)) drawAngle(p, *a);
  }
  return img.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace lumo
