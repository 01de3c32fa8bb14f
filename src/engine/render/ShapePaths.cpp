#include "engine/render/ShapePaths.h"

#include <cmath>
#include <initializer_list>
#include <numbers>

#include <QPainterPathStroker>
#include <QTransform>

namespace lumo {

namespace {

// Shapes are built in a unit square (y down) and stretched to the layer's box at the end.
constexpr double kPi = std::numbers::pi;

QPainterPath poly(std::initializer_list<QPointF> pts) {
  QPainterPath p;
  p.addPolygon(QPolygonF(QList<QPointF>(pts)));
  p.closeSubpath();
  return p;
}

// Boolean operations flatten curves coarsely at unit scale, so curved parts are
// turned into fine polygons before they are combined.
QPainterPath flat(const QPainterPath& path) {
  constexpr double k = 1000;
  QPainterPath out;
  for (const QPolygonF& pg : QTransform::fromScale(k, k).map(path).toSubpathPolygons()) {
    out.addPolygon(QTransform::fromScale(1 / k, 1 / k).map(pg));
    out.closeSubpath();
  }
  out.setFillRule(path.fillRule());
  return out;
}

QPainterPath ellipse(double cx, double cy, double rx, double ry) {
  QPainterPath p;
  p.addEllipse(QPointF(cx, cy), rx, ry);
  return flat(p);
}

QPainterPath rect(double l, double t, double r, double b) {
  QPainterPath p;
  p.addRect(QRectF(QPointF(l, t), QPointF(r, b)));
  return p;
}

QPainterPath roundRect(double l, double t, double r, double b, double radius) {
  QPainterPath p;
  p.addRoundedRect(QRectF(QPointF(l, t), QPointF(r, b)), radius, radius);
  return flat(p);
}

QPointF polar(double radius, double deg, double rx = 1, double ry = 1) {
  const double a = deg * kPi / 180;
  return {0.5 + radius * rx * std::sin(a), 0.5 - radius * ry * std::cos(a)};  // 0 deg = up
}

// Alternating outer and inner radii around the centre, first point up.
QPainterPath radial(int points, double outer, double inner, double phase = 0) {
  QPolygonF pg;
  for (int i = 0; i < points * 2; ++i) pg << polar(i % 2 ? inner : outer, phase + i * 180.0 / points);
  QPainterPath p;
  p.addPolygon(pg);
  p.closeSubpath();
  return p;
}

QPainterPath regular(int corners) { return radial(corners, 0.5, 0.5); }

QPainterPath stroked(const QPainterPath& path, double width, Qt::PenCapStyle cap = Qt::RoundCap,
                     Qt::PenJoinStyle join = Qt::RoundJoin) {
  QPainterPathStroker s;
  s.setWidth(width);
  s.setCapStyle(cap);
  s.setJoinStyle(join);
  return flat(s.createStroke(path)).simplified();
}

QPainterPath line(std::initializer_list<QPointF> pts) {
  QPainterPath p;
  p.addPolygon(QPolygonF(QList<QPointF>(pts)));
  return p;
}

QPainterPath rotated(const QPainterPath& p, double deg) {
  return QTransform().translate(0.5, 0.5).rotate(deg).translate(-0.5, -0.5).map(p);
}

QPainterPath mirrored(const QPainterPath& p) { return QTransform(-1, 0, 0, 1, 1, 0).map(p); }

QPainterPath unite(std::initializer_list<QPainterPath> parts) {
  QPainterPath r;
  for (const QPainterPath& p : parts) r = r.united(p);
  return r;
}

int count(int modifier, int low, int fallback) { return modifier >= low && modifier <= 100 ? modifier : fallback; }

// Directions as rotations of a shape that points right (y down: positive turns clockwise).
constexpr double kLeft = 180, kRight = 0, kUp = -90, kDown = 90, kNW = -135, kNE = -45, kSW = 135, kSE = 45;
constexpr double kDirs4[] = {kLeft, kRight, kUp, kDown};
constexpr double kDiag[] = {kNW, kNE, kSW, kSE};

QPainterPath blockArrow(double shaft, double head) {
  const double a = 0.5 - shaft, b = 0.5 + shaft, h = 1 - head;
  return poly({{0, a}, {h, a}, {h, 0}, {1, 0.5}, {h, 1}, {h, b}, {0, b}});
}

QPainterPath doubleArrow() {
  const double a = 0.3, b = 0.7, h = 0.35;
  return poly({{0, 0.5}, {h, 0}, {h, a}, {1 - h, a}, {1 - h, 0}, {1, 0.5}, {1 - h, 1}, {1 - h, b}, {h, b}, {h, 1}});
}

QPainterPath shootingArrow() {
  return poly({{0, 0.3}, {0.12, 0.3}, {0.25, 0.44}, {0.72, 0.44}, {0.72, 0.28}, {1, 0.5}, {0.72, 0.72},
               {0.72, 0.56}, {0.25, 0.56}, {0.12, 0.7}, {0, 0.7}, {0.12, 0.5}});
}

QPainterPath simpleArrow() {
  return stroked(line({{0.05, 0.5}, {0.85, 0.5}}), 0.12, Qt::SquareCap)
      .united(stroked(line({{0.62, 0.18}, {0.94, 0.5}, {0.62, 0.82}}), 0.12, Qt::SquareCap, Qt::MiterJoin));
}

QPainterPath heart(double x, double y, double s) {
  QPainterPath p;
  auto P = [&](double u, double v) { return QPointF(x + u * s, y + v * s); };
  p.moveTo(P(0.5, 0.22));
  p.cubicTo(P(0.45, 0.05), P(0.3, 0), P(0.22, 0));
  p.cubicTo(P(0.05, 0), P(0, 0.15), P(0, 0.3));
  p.cubicTo(P(0, 0.55), P(0.25, 0.75), P(0.5, 1));
  p.cubicTo(P(0.75, 0.75), P(1, 0.55), P(1, 0.3));
  p.cubicTo(P(1, 0.15), P(0.95, 0), P(0.78, 0));
  p.cubicTo(P(0.7, 0), P(0.55, 0.05), P(0.5, 0.22));
  p.closeSubpath();
  return flat(p);
}

QPainterPath bubble(bool rounded, bool outward) {
  const double left = outward ? 0.15 : 0;
  QPainterPath body = rounded ? roundRect(left, 0, 1, 0.75, 0.18) : rect(left, 0, 1, 0.75);
  QPainterPath tail = outward ? poly({{0.28, 0.7}, {0, 1}, {0.48, 0.7}}) : poly({{0.18, 0.7}, {0.12, 1}, {0.42, 0.7}});
  return body.united(tail);
}

QPainterPath thoughtBubble() {
  QPainterPath p = ellipse(0.56, 0.36, 0.44, 0.36);
  p.addPath(ellipse(0.2, 0.82, 0.08, 0.07));
  p.addPath(ellipse(0.07, 0.95, 0.05, 0.045));
  return p;
}

QPainterPath frame(double t) { return rect(0, 0, 1, 1).subtracted(rect(t, t, 1 - t, 1 - t)); }

QPainterPath pushPin() {
  return unite({ellipse(0.5, 0.12, 0.3, 0.12), poly({{0.38, 0.18}, {0.62, 0.18}, {0.58, 0.46}, {0.42, 0.46}}),
                ellipse(0.5, 0.5, 0.32, 0.08), poly({{0.47, 0.55}, {0.53, 0.55}, {0.5, 1}})});
}

QPainterPath tag() { return poly({{0, 0}, {0.7, 0}, {1, 0.5}, {0.7, 1}, {0, 1}}).subtracted(ellipse(0.74, 0.5, 0.07, 0.07)); }

QPainterPath shoppingTag() {
  QPainterPath body = roundRect(0, 0.1, 0.7, 0.9, 0.1).united(poly({{0.6, 0.1}, {0.86, 0.28}, {0.86, 0.72}, {0.6, 0.9}}));
  body = body.subtracted(ellipse(0.74, 0.5, 0.06, 0.06));
  QPainterPath string;
  string.moveTo(0.78, 0.47);
  string.cubicTo(0.86, 0.36, 0.9, 0.3, 1, 0.22);
  return body.united(stroked(string, 0.02));
}

QPainterPath chevron() { return poly({{0, 0}, {0.6, 0}, {1, 0.5}, {0.6, 1}, {0, 1}, {0.4, 0.5}}); }

QPainterPath cog(int teeth, double hole) {
  QPolygonF pg;
  const double step = 360.0 / teeth;
  for (int i = 0; i < teeth; ++i) {
    const double a = i * step;
    pg << polar(0.37, a - step * 0.3) << polar(0.5, a - step * 0.18) << polar(0.5, a + step * 0.18)
       << polar(0.37, a + step * 0.3);
  }
  QPainterPath p;
  p.addPolygon(pg);
  p.closeSubpath();
  return p.subtracted(ellipse(0.5, 0.5, hole, hole));
}

QPainterPath asterisk(int arms) {
  QPainterPath r;
  for (int i = 0; i < arms; ++i) r = r.united(stroked(line({{0.5, 0.5}, polar(0.42, i * 360.0 / arms)}), 0.16));
  return r;
}

QPainterPath petal(double deg, double length, double width) {
  QPainterPath p = ellipse(0.5, 0.5 - length / 2, width / 2, length / 2);
  return rotated(p, deg);
}

QPainterPath flower(int petals, bool round) {
  QPainterPath r = ellipse(0.5, 0.5, 0.18, 0.18);
  for (int i = 0; i < petals; ++i)
    r = r.united(round ? ellipse(polar(0.28, i * 360.0 / petals).x(), polar(0.28, i * 360.0 / petals).y(), 0.2, 0.2)
                       : petal(i * 360.0 / petals, 0.5, 0.2));
  return r;
}

QPainterPath radiance(int rays, double disc) {
  QPainterPath r;
  const double half = 180.0 / rays / 2;
  for (int i = 0; i < rays; ++i) {
    const double a = i * 360.0 / rays;
    r.addPath(poly({{0.5, 0.5}, polar(0.5, a - half), polar(0.5, a + half)}));
  }
  r = r.simplified();
  return disc > 0 ? r.united(ellipse(0.5, 0.5, disc, disc)) : r;
}

QPainterPath splat() {
  static constexpr double radii[] = {0.48, 0.3, 0.42, 0.33, 0.5, 0.28, 0.4, 0.34, 0.47, 0.3, 0.38, 0.32, 0.45, 0.29};
  constexpr int n = std::size(radii);
  QPolygonF pts;
  for (int i = 0; i < n; ++i) pts << polar(radii[i], i * 360.0 / n);
  QPainterPath p;
  p.moveTo((pts[n - 1] + pts[0]) / 2);
  for (int i = 0; i < n; ++i) p.quadTo(pts[i], (pts[i] + pts[(i + 1) % n]) / 2);
  p.closeSubpath();
  p.addPath(ellipse(0.92, 0.85, 0.06, 0.06));
  p.addPath(ellipse(0.1, 0.12, 0.05, 0.05));
  p.addPath(ellipse(0.08, 0.8, 0.04, 0.04));
  return p;
}

QPainterPath hand() {
  return unite({roundRect(0.45, 0.25, 0.92, 0.85, 0.1), roundRect(0, 0.25, 0.62, 0.42, 0.08),
                roundRect(0.3, 0.5, 0.6, 0.64, 0.06), roundRect(0.34, 0.64, 0.6, 0.78, 0.06), rect(0.9, 0.3, 1, 0.8)});
}

QPainterPath leaf(QPointF from, QPointF to, double width) {
  const QPointF d = to - from, n(-d.y(), d.x()), mid = (from + to) / 2;
  QPainterPath p;
  p.moveTo(from);
  p.quadTo(mid + n * width, to);
  p.quadTo(mid - n * width * 0.2, from);
  p.closeSubpath();
  return flat(p);
}

QPainterPath build(int shape, int modifier) {
  QPainterPath p;
  switch (shape) {
    case 0: return ellipse(0.5, 0.5, 0.5, 0.5);
    case 1: p.moveTo(0, 1); p.arcTo(QRectF(0, 0, 1, 2), 180, -180); p.closeSubpath(); return p;
    case 2: p.moveTo(0, 1); p.lineTo(0, 0); p.arcTo(QRectF(-1, 0, 2, 2), 90, -90); p.closeSubpath(); return p;
    case 3: {  // the part of an ellipse above a chord
      p.arcMoveTo(QRectF(0, 0, 1, 1.6), -15);
      p.arcTo(QRectF(0, 0, 1, 1.6), -15, 210);
      p.closeSubpath();
      return p;
    }
    case 4: return rect(0, 0, 1, 1);
    case 5: {
      const int pct = count(modifier, 1, 15) > 50 ? 15 : count(modifier, 1, 15);
      return roundRect(0, 0, 1, 1, pct / 100.0);
    }
    case 6: return poly({{0.5, 0}, {1, 1}, {0, 1}});
    case 7: return poly({{0, 0}, {1, 1}, {0, 1}});
    case 8: return poly({{0.5, 0}, {1, 0.5}, {0.5, 1}, {0, 0.5}});
    case 9: case 10: case 11: case 12: return regular(shape - 4);
    case 13: return regular(count(modifier, 3, 5));
    case 14: return radial(5, 0.5, 0.2);
    case 15: return radial(6, 0.5, 0.27);
    case 16: return radial(count(modifier, 3, 5), 0.5, 0.2);
    case 17: case 18: case 19: case 20: return rotated(blockArrow(0.18, 0.45), kDirs4[shape - 17]);
    case 21: return doubleArrow();
    case 22: return rotated(doubleArrow(), 90);
    case 23: case 24: case 25: case 26: return rotated(blockArrow(0.18, 0.45), kDiag[shape - 23]);
    case 27: case 28: case 29: case 30: return rotated(blockArrow(0.32, 0.4), kDirs4[shape - 27]);
    case 31: case 32: case 33: case 34: return rotated(shootingArrow(), kDiag[shape - 31]);
    case 35: case 36: {
      QPainterPath bolt = poly({{0.3, 0}, {0.72, 0}, {0.52, 0.36}, {0.82, 0.36}, {0.2, 1}, {0.38, 0.55}, {0.12, 0.55}});
      return shape == 35 ? mirrored(bolt) : bolt;
    }
    case 37: return radial(12, 0.5, 0.28, 7);
    case 38: return radial(count(modifier, 3, 12), 0.5, 0.28, 7);
    case 39: return rect(1 / 3.0, 0, 2 / 3.0, 1).united(rect(0, 1 / 3.0, 1, 2 / 3.0));
    case 40: return heart(0, 0, 1);
    case 41: return heart(0, 0, 0.68).united(heart(0.32, 0.32, 0.68));
    case 42:
      return unite({ellipse(0.25, 0.6, 0.22, 0.22), ellipse(0.45, 0.38, 0.27, 0.27), ellipse(0.72, 0.45, 0.24, 0.24),
                    ellipse(0.8, 0.66, 0.18, 0.18), ellipse(0.5, 0.7, 0.24, 0.24)});
    case 43: return ellipse(0.5, 0.5, 0.5, 0.5).subtracted(ellipse(0.82, 0.42, 0.46, 0.46));
    case 44: return bubble(true, false);
    case 45: return bubble(true, true);
    case 46: return mirrored(bubble(true, false));
    case 47: return mirrored(bubble(true, true));
    case 48: return bubble(false, false);
    case 49: return bubble(false, true);
    case 50: return mirrored(bubble(false, false));
    case 51: return mirrored(bubble(false, true));
    case 52: return thoughtBubble();
    case 53: return mirrored(thoughtBubble());
    case 54:
      p.moveTo(0, 0.08); p.quadTo(0.25, 0.08, 0.5, 0); p.quadTo(0.75, 0.08, 1, 0.08); p.lineTo(1, 0.45);
      p.cubicTo(1, 0.75, 0.75, 0.9, 0.5, 1); p.cubicTo(0.25, 0.9, 0, 0.75, 0, 0.45); p.closeSubpath();
      return flat(p);
    case 55: return radial(16, 0.5, 0.42).united(ellipse(0.5, 0.5, 0.44, 0.44));
    case 56:
      return rect(0, 0, 1, 1).subtracted(unite({ellipse(0, 0, 0.12, 0.12), ellipse(1, 0, 0.12, 0.12),
                                                ellipse(0, 1, 0.12, 0.12), ellipse(1, 1, 0.12, 0.12)}));
    case 57: return frame(0.15);
    case 58: return frame(0.07);
    case 59: return frame(0.28);
    case 60: return ellipse(0.5, 0.5, 0.5, 0.5).subtracted(ellipse(0.5, 0.5, 0.32, 0.32));
    case 61: return rotated(pushPin(), 30);
    case 62: return rotated(pushPin(), -30);
    case 63:
      p.moveTo(0.5, 1); p.cubicTo(0.35, 0.75, 0, 0.62, 0, 0.38); p.arcTo(QRectF(0, 0, 1, 0.76), 180, -180);
      p.cubicTo(1, 0.62, 0.65, 0.75, 0.5, 1); p.closeSubpath();
      return flat(p).subtracted(ellipse(0.5, 0.36, 0.12, 0.1));
    case 64:
      p.moveTo(0.5, 0); p.cubicTo(0.6, 0.25, 1, 0.45, 1, 0.68); p.arcTo(QRectF(0, 0.36, 1, 0.64), 0, -180);
      p.cubicTo(0, 0.45, 0.4, 0.25, 0.5, 0); p.closeSubpath();
      return p;
    case 65:
      return unite({rect(0.15, 0.1, 0.85, 0.7), poly({{0, 0.3}, {0.2, 0.3}, {0.2, 0.9}, {0, 0.9}, {0.08, 0.6}}),
                    poly({{1, 0.3}, {0.8, 0.3}, {0.8, 0.9}, {1, 0.9}, {0.92, 0.6}})});
    case 66:
      return unite({ellipse(0.5, 0.33, 0.33, 0.33).subtracted(ellipse(0.5, 0.33, 0.22, 0.22)), rect(0.44, 0.64, 0.56, 1),
                    rect(0.3, 0.8, 0.7, 0.9)});
    case 67:
      return unite({ellipse(0.37, 0.63, 0.37, 0.37).subtracted(ellipse(0.37, 0.63, 0.25, 0.25)),
                    stroked(line({{0.6, 0.4}, {0.9, 0.1}}), 0.11, Qt::FlatCap), poly({{0.58, 0}, {1, 0}, {1, 0.42}})});
    case 68:
      return unite({ellipse(0.18, 0.86, 0.17, 0.12), ellipse(0.8, 0.76, 0.17, 0.12), rect(0.28, 0.12, 0.35, 0.85),
                    rect(0.9, 0.02, 0.97, 0.75), poly({{0.28, 0.12}, {0.97, 0.02}, {0.97, 0.18}, {0.28, 0.28}})});
    case 69: {
      QPainterPath arc;
      arc.arcMoveTo(QRectF(0.08, 0.12, 0.84, 0.84), 60);
      arc.arcTo(QRectF(0.08, 0.12, 0.84, 0.84), 60, -300);  // the ring is open at the top
      return stroked(arc, 0.13).united(stroked(line({{0.5, 0.06}, {0.5, 0.52}}), 0.13));
    }
    case 70: {
      QPainterPath mouth;
      mouth.arcMoveTo(QRectF(0.25, 0.25, 0.5, 0.5), 200);
      mouth.arcTo(QRectF(0.25, 0.25, 0.5, 0.5), 200, 140);
      return ellipse(0.5, 0.5, 0.5, 0.5)
          .subtracted(unite({ellipse(0.35, 0.36, 0.06, 0.09), ellipse(0.65, 0.36, 0.06, 0.09), stroked(mouth, 0.07)}));
    }
    case 71: {
      QPainterPath outer, inner;
      outer.moveTo(0, 1); outer.arcTo(QRectF(0, 0, 1, 2), 180, -180); outer.closeSubpath();
      inner.moveTo(0.3, 1); inner.arcTo(QRectF(0.3, 0.6, 0.4, 0.8), 180, -180); inner.closeSubpath();
      QPainterPath gaps;
      gaps.addEllipse(QRectF(0.1, 0.2, 0.8, 1.6));
      gaps.addEllipse(QRectF(0.2, 0.4, 0.6, 1.2));
      return flat(outer).subtracted(flat(inner)).subtracted(stroked(gaps, 0.025));
    }
    case 72:
      return unite({ellipse(0.5, 0.5, 0.22, 0.2), poly({{0, 0.2}, {0.36, 0.5}, {0, 0.8}}), poly({{1, 0.2}, {0.64, 0.5}, {1, 0.8}})});
    case 73: {
      p = ellipse(0.5, 0.5, 0.28, 0.28);
      for (int i = 0; i < 12; ++i) p.addPath(poly({polar(0.34, i * 30 - 8), polar(0.5, i * 30), polar(0.34, i * 30 + 8)}));
      return p;
    }
    case 74: {
      p = ellipse(0.5, 0.5, 0.34, 0.44);
      for (int i = 0; i < 18; ++i) {
        const QPointF c = polar(0.5 - 0.06, i * 20.0, 0.8, 1.0);
        p = p.united(ellipse(c.x(), c.y(), 0.06, 0.06));
      }
      return p.subtracted(stroked(ellipse(0.5, 0.5, 0.22, 0.3), 0.03));
    }
    case 75: return cog(10, 0.15);
    case 76: return cog(16, 0.24);
    case 77: return cog(count(modifier, 3, 10), 0.15);
    case 78: return asterisk(6);
    case 79: return asterisk(count(modifier, 2, 6));
    case 80:
      return unite({ellipse(0.5, 0.27, 0.24, 0.24), ellipse(0.26, 0.58, 0.24, 0.24), ellipse(0.74, 0.58, 0.24, 0.24),
                    ellipse(0.5, 0.5, 0.14, 0.14), poly({{0.5, 0.5}, {0.64, 1}, {0.36, 1}})});
    case 81: return flower(5, true);
    case 82: return flower(8, false);
    case 83: return flower(count(modifier, 3, 8), false);
    case 84: return radiance(16, 0);
    case 85: return radiance(count(modifier, 3, 16), 0);
    case 86: return radiance(count(modifier, 3, 16), 0.18);
    case 87: return splat();
    case 88:
      return unite({poly({{0, 0.28}, {0.27, 0.55}, {0.5, 0.08}, {0.73, 0.55}, {1, 0.28}, {0.9, 0.84}, {0.1, 0.84}}),
                    rect(0.1, 0.88, 0.9, 1), ellipse(0.5, 0.06, 0.06, 0.06), ellipse(0.04, 0.25, 0.04, 0.04),
                    ellipse(0.96, 0.25, 0.04, 0.04)});
    case 89: return rect(0, 0.15, 1, 0.85).subtracted(stroked(line({{0, 0.15}, {0.5, 0.55}, {1, 0.15}}), 0.035));
    case 90: return hand();
    case 91: return mirrored(hand());
    case 92: case 93: case 94: case 95: return rotated(tag(), kDirs4[shape - 92]);
    case 96: case 97: case 98: case 99: return rotated(shoppingTag(), kDirs4[shape - 96]);
    case 100: case 101: case 102: case 103: return rotated(chevron(), kDirs4[shape - 100]);
    case 104: case 105: case 106: case 107: return rotated(simpleArrow(), kDirs4[shape - 104]);
    case 108: case 109: case 110: case 111: return rotated(simpleArrow(), kDiag[shape - 108]);
    case 112:
      p.moveTo(0.06, 0.05); p.cubicTo(0.35, -0.05, 0.6, 0.2, 1, 0.05); p.lineTo(1, 0.6);
      p.cubicTo(0.6, 0.75, 0.35, 0.5, 0.06, 0.6); p.closeSubpath();
      return flat(p).united(rect(0, 0, 0.06, 1));
    case 113:
      return poly({{0, 0.72}, {0.25, 0.55}, {0.45, 0.45}, {0.62, 0.45}, {0.72, 0.3}, {0.78, 0.08}, {0.88, 0}, {1, 0.04},
                   {0.98, 0.1}, {0.88, 0.12}, {0.84, 0.35}, {0.8, 0.55}, {0.76, 0.7}, {0.76, 1}, {0.68, 1}, {0.66, 0.75},
                   {0.5, 0.75}, {0.48, 1}, {0.4, 1}, {0.38, 0.72}, {0.25, 0.7}});
    case 114:
      return poly({{0.5, 0}, {0.72, 0.3}, {0.62, 0.3}, {0.85, 0.58}, {0.72, 0.58}, {1, 0.85}, {0.58, 0.85}, {0.58, 1},
                   {0.42, 1}, {0.42, 0.85}, {0, 0.85}, {0.28, 0.58}, {0.15, 0.58}, {0.38, 0.3}, {0.28, 0.3}});
    case 115: {
      QPainterPath r = poly({{0.42, 1}, {0.62, 1}, {0.58, 0.6}, {0.54, 0.3}, {0.46, 0.3}, {0.46, 0.6}});
      const QPointF crown(0.5, 0.3);
      for (QPointF tip : {QPointF(0, 0.5), QPointF(0.12, 0.08), QPointF(0.55, 0), QPointF(0.92, 0.1), QPointF(1, 0.52)})
        r = r.united(leaf(crown, tip, 0.45));
      return r;
    }
    default: return {};
  }
}

}  // namespace

QPainterPath shapePath(int shape, QRectF box, int modifier) {
  const QPainterPath unit = build(shape, modifier);
  const QRectF b = unit.boundingRect();
  if (unit.isEmpty() || b.width() <= 0 || b.height() <= 0 || box.isEmpty()) return {};
  // Stretch the drawn extent (not the unit square) to the box, so rotated and
  // stroke-built shapes fill it like the others.
  QTransform t;
  t.translate(box.left(), box.top());
  t.scale(box.width() / b.width(), box.height() / b.height());
  t.translate(-b.left(), -b.top());
  return t.map(unit);
}

}  // namespace lumo
