#include <cmath>

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include "engine/render/ShapePaths.h"
#include "engine/render/VectorPaint.h"

namespace lumo::vector {

namespace {

// An end shape at `tip`, pointing along `dir` (a unit vector out of the line), `s` wide.
// Returns how far the line must stop short of the tip so it does not show through.
double drawEnd(QPainter& p, uint8_t shape, QPointF tip, QPointF dir, double s, const QColor& line,
               const QColor& fill, double lineWidth) {
  const QPointF n(-dir.y(), dir.x());
  auto at = [&](double along, double across) { return tip + dir * along + n * across; };
  QPainterPath path;
  double cut = 0;
  switch (shape) {
    case 1:  // arrow
      path.addPolygon(QPolygonF({at(0, 0), at(-s, s / 2), at(-s, -s / 2)}));
      cut = s;
      break;
    case 2:  // circle centred on the end
      path.addEllipse(tip, s / 2, s / 2);
      cut = s / 2;
      break;
    case 3:  // diamond centred on the end
      path.addPolygon(QPolygonF({at(s / 2, 0), at(0, s / 2), at(-s / 2, 0), at(0, -s / 2)}));
      cut = s / 2;
      break;
    case 4:  // arrow with swept-back barbs
      path.addPolygon(QPolygonF({at(0, 0), at(-s, s / 2), at(-s * 0.7, 0), at(-s, -s / 2)}));
      cut = s * 0.7;
      break;
    case 5:  // reverse arrow: the point faces back into the line
      path.addPolygon(QPolygonF({at(-s, 0), at(0, s / 2), at(0, -s / 2)}));
      cut = 0;
      break;
    case 6: {  // bar across the end
      p.setPen(QPen(line, std::max(lineWidth, 1.0), Qt::SolidLine, Qt::FlatCap));
      p.drawLine(at(0, s / 2), at(0, -s / 2));
      return 0;
    }
    case 7:  // dot in the line colour
      p.setPen(Qt::NoPen);
      p.setBrush(line);
      p.drawEllipse(tip, s / 4, s / 4);
      return 0;
    default: return 0;
  }
  path.closeSubpath();
  if (fill.isValid()) p.fillPath(path, fill);
  p.strokePath(path, QPen(line, std::max(1.0, lineWidth / 2), Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin));
  return std::max(0.0, cut - lineWidth / 2);
}

QPointF unit(QPointF v) {
  const double len = std::hypot(v.x(), v.y());
  return len > 0 ? v / len : QPointF(1, 0);
}

}  // namespace

// The two points are pixels inside the layer, from its top-left corner. A curve bends
// the line into a quadratic arc whose control point sits off the middle of the line,
// perpendicular to it, by curve × the line's length: positive bends to the left of the
// direction from start to end as seen on screen (upwards for a line drawn rightwards).
void drawLineLayer(QPainter& p, const LineLayer& l) {
  QPointF a(l.fPoints[0].x, l.fPoints[0].y), b(l.fPoints[1].x, l.fPoints[1].y);
  const QPointF d = b - a;
  const double len = std::hypot(d.x(), d.y());
  const QColor color = toQColor(l.fLineColor), fill = toQColor(l.fLineFillColor);
  const double width = std::max(0, l.fLineWidth);
  const QPointF normal = len > 0 ? QPointF(d.y(), -d.x()) / len : QPointF(0, -1);
  const QPointF control = (a + b) / 2 + normal * (l.fCurve * len);
  const bool curved = l.fCurve != 0 && len > 0 && std::isfinite(l.fCurve);

  if (color.isValid() && width > 0) {
    const double s = std::max(0, l.fShapeSize);
    // Ends point away from the line, along its tangent at each end.
    const QPointF outA = unit(a - (curved ? control : b)), outB = unit(b - (curved ? control : a));
    const double cutA = drawEnd(p, l.fStartShape, a, outA, s, color, fill, width);
    const double cutB = drawEnd(p, l.fEndShape, b, outB, s, color, fill, width);
    const QPointF a2 = a - outA * cutA, b2 = b - outB * cutB;
    QPainterPath path(a2);
    if (curved) path.quadTo(control, b2);
    else path.lineTo(b2);
    p.strokePath(path, stylePen(color, width, l.fLineStyle));
  }

  if (l.fLabelPosition == 0 || l.fLabelText.isEmpty() || !qGuiApp) return;
  const QPointF mid = curved ? (a + b) / 4 + control / 2 : (a + b) / 2;  // the curve's own middle
  const double gap = width / 2 + 2;
  // The label box: the text with its margins, in the label shape, filled with the
  // layer's fill colour and outlined with its border. An ellipse is made larger so
  // that the text's rectangle fits inside it.
  const double border = l.fBorderColor == clNone ? 0.0 : std::max(0, l.fBorderWidth);
  auto labelBox = [&](const QFont& font) {
    p.setFont(font);
    QSizeF need = p.boundingRect(QRectF(0, 0, 4000, 4000), Qt::AlignLeft | Qt::AlignTop, l.fLabelText).size();
    need += QSizeF(2 * (l.fLabelHorzMargin + border), 2 * (l.fLabelVertMargin + border));
    if (l.fLabelShape == 0) need *= std::sqrt(2.0);
    QPointF centre;
    switch (l.fLabelPosition) {
      case 1: centre = a - unit(d) * (need.width() / 2 + gap); break;
      case 2: centre = b + unit(d) * (need.width() / 2 + gap); break;
      case 3: centre = mid - QPointF(0, need.height() / 2 + gap); break;
      case 4: centre = mid + QPointF(0, need.height() / 2 + gap); break;
      default: {  // automatic: on the upper (5) or lower (6) side of the line, off its middle
        QPointF up = normal.y() <= 0 ? normal : -normal;
        if (l.fLabelPosition == 6) up = -up;
        centre = mid + up * (gap + std::abs(up.x()) * need.width() / 2 + std::abs(up.y()) * need.height() / 2);
        break;
      }
    }
    QRectF box(QPointF(0, 0), need);
    box.moveCenter(centre);
    return box;
  };
  // Overflow is about the layer's own area, beyond which nothing shows: truncate cuts
  // the label at the layer's edge, shrink makes the font smaller until the label fits
  // inside, hide leaves out a label that does not fit whole.
  const QRectF room(0, 0, std::round(l.Width), std::round(l.Height));
  auto inside = [&](const QRectF& r) { return room.adjusted(-0.5, -0.5, 0.5, 0.5).contains(r); };
  QFont font = toQFont(l.fFont);
  QRectF box = labelBox(font);
  if (l.fTextOverflow == 1)
    while (!inside(box) && font.pixelSize() > 1) {
      font.setPixelSize(std::max(1, int(font.pixelSize() * 0.9)));
      box = labelBox(font);
    }
  if (l.fTextOverflow == 2 && !inside(box)) return;

  const QColor labelFill = toQColor(l.fFillColor, l.fFillOpacity);
  const QRectF frame = box.adjusted(border / 2, border / 2, -border / 2, -border / 2);
  const QPainterPath shape = shapePath(l.fLabelShape, frame, 0);
  if (labelFill.isValid() && l.fFillOpacity > 0) p.fillPath(shape, labelFill);
  if (border > 0) p.strokePath(shape, stylePen(toQColor(l.fBorderColor), border, 0));
  // The lines of a label of several lines line up as its alignment says (0 left,
  // 1 right, 2 centre, 3 justified, which a label's short lines show as left).
  const Qt::Alignment horz[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter, Qt::AlignLeft};
  const QSizeF textSize = p.boundingRect(QRectF(0, 0, 4000, 4000), Qt::AlignLeft | Qt::AlignTop, l.fLabelText).size();
  QRectF textBox(QPointF(0, 0), textSize);
  textBox.moveCenter(box.center());
  p.setPen(toQColor(l.fFont.Color));
  p.drawText(textBox, (l.fLabelAlignment < 4 ? horz[l.fLabelAlignment] : Qt::AlignLeft) | Qt::AlignVCenter, l.fLabelText);
}

}  // namespace lumo::vector
