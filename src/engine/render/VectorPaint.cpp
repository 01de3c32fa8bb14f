#include "engine/render/VectorPaint.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

namespace lumo::vector {

QColor toQColor(TColor c, double opacity) {
  if (c == clNone) return {};
  QColor q(colorRed(c), colorGreen(c), colorBlue(c));
  q.setAlphaF(float(std::clamp(opacity, 0.0, 1.0)));
  return q;
}

QPen stylePen(const QColor& color, double width, uint8_t style) {
  QPen pen(color, width);
  pen.setJoinStyle(Qt::MiterJoin);
  pen.setCapStyle(Qt::FlatCap);
  switch (style) {
    case 1: pen.setStyle(Qt::DashLine); break;
    case 2: pen.setStyle(Qt::DotLine); break;
    case 3: pen.setStyle(Qt::DashDotLine); break;
    case 4: pen.setStyle(Qt::DashDotDotLine); break;
    case 5: pen.setDashPattern({2, 2}); break;   // short dashes, close together
    case 6: pen.setDashPattern({8, 4}); break;   // long dashes, wide gaps
    default: pen.setCapStyle(Qt::SquareCap); break;
  }
  return pen;
}

namespace {

// The gradient directions, in stored order. Linear ones run from colour 1 at `from` to
// colour 2 at `to` (fractions of the box); "centre" ones have colour 2 in the middle and
// colour 1 at both ends; the side and corner ones spread from that side or corner.
enum class Kind { Linear, Centre, Radial };
struct Direction {
  const char* caption;
  Kind kind;
  QPointF from, to;
};
constexpr Direction kDirections[] = {
    {"None", Kind::Linear, {0, 0}, {0, 0}},
    {"Horizontal", Kind::Linear, {0, 0.5}, {1, 0.5}},
    {"Vertical", Kind::Linear, {0.5, 0}, {0.5, 1}},
    {"Horz. Center", Kind::Centre, {0, 0.5}, {1, 0.5}},
    {"Vert. Center", Kind::Centre, {0.5, 0}, {0.5, 1}},
    {"Diagonal", Kind::Linear, {0, 0}, {1, 1}},
    {"Diagonal 2", Kind::Linear, {1, 0}, {0, 1}},
    {"Diag. Center", Kind::Centre, {0, 0}, {1, 1}},
    {"Diag. Center 2", Kind::Centre, {1, 0}, {0, 1}},
    {"Left", Kind::Radial, {0, 0.5}, {1, 0.5}},
    {"Right", Kind::Radial, {1, 0.5}, {0, 0.5}},
    {"Top", Kind::Radial, {0.5, 0}, {0.5, 1}},
    {"Bottom", Kind::Radial, {0.5, 1}, {0.5, 0}},
    {"Top Left", Kind::Radial, {0, 0}, {1, 1}},
    {"Top Right", Kind::Radial, {1, 0}, {0, 1}},
    {"Bottom Left", Kind::Radial, {0, 1}, {1, 0}},
    {"Bottom Right", Kind::Radial, {1, 1}, {0, 0}},
};

QPointF at(const QRectF& box, QPointF f) { return {box.left() + f.x() * box.width(), box.top() + f.y() * box.height()}; }

}  // namespace

QBrush gradientBrush(uint8_t direction, const QColor& c1, const QColor& c2, const QRectF& box) {
  if (direction == 0 || direction >= std::size(kDirections) || !c2.isValid() || box.isEmpty()) return QBrush(c1);
  const Direction& d = kDirections[direction];
  const QPointF a = at(box, d.from), b = at(box, d.to);
  switch (d.kind) {
    case Kind::Linear: {
      QLinearGradient g(a, b);
      g.setColorAt(0, c1);
      g.setColorAt(1, c2);
      return g;
    }
    case Kind::Centre: {
      QLinearGradient g(a, b);
      g.setColorAt(0, c1);
      g.setColorAt(0.5, c2);
      g.setColorAt(1, c1);
      return g;
    }
    case Kind::Radial: {
      QRadialGradient g(a, std::hypot(b.x() - a.x(), b.y() - a.y()));
      g.setColorAt(0, c1);
      g.setColorAt(1, c2);
      return g;
    }
  }
  return QBrush(c1);
}

QFont toQFont(const FontRecord& font) {
  // The common proprietary faces are drawn with their metric-compatible free
  // counterparts, so text takes the same room as where the project was made.
  QString family = font.Name;
  bool bold = font.Style & fsBold;
  if (family.compare(QLatin1String("Arial"), Qt::CaseInsensitive) == 0) family = QStringLiteral("Liberation Sans");
  else if (family.compare(QLatin1String("Arial Black"), Qt::CaseInsensitive) == 0) {
    family = QStringLiteral("DejaVu Sans");
    bold = true;
  } else if (family.compare(QLatin1String("Times New Roman"), Qt::CaseInsensitive) == 0)
    family = QStringLiteral("Liberation Serif");
  else if (family.compare(QLatin1String("Courier New"), Qt::CaseInsensitive) == 0)
    family = QStringLiteral("Liberation Mono");
  QFont q(family);
  q.setBold(bold);
  q.setItalic(font.Style & fsItalic);
  q.setUnderline(font.Style & fsUnderline);
  q.setStrikeOut(font.Style & fsStrikeOut);
  q.setStyleStrategy(QFont::PreferOutline);
  // A negative height is the character height (the em size); a positive one the cell
  // height, ascent plus descent.
  if (font.Height < 0) {
    q.setPixelSize(std::max(1, -font.Height));
  } else if (font.Height > 0) {
    q.setPixelSize(100);
    const double cell = QFontMetricsF(q).height();
    q.setPixelSize(std::max(1, int(std::lround(font.Height * 100 / (cell > 0 ? cell : 100)))));
  } else {
    q.setPixelSize(16);
  }
  return q;
}

}  // namespace lumo::vector
