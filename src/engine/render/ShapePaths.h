#pragma once
#include <QPainterPath>
#include <QRectF>

namespace lumo {

constexpr int kShapeCount = 116;

// The outline of shape `shape` (0 ellipse ... 115 palm tree, in the order of the shape
// list) stretched to fill `box`. `modifier` is read only by the shapes that take a
// number:
//   5 Round Rectangle   corner radius in percent of the shorter side (1..50, else 15)
//   13 Custom Shape     number of corners of a regular polygon (3..100, else 5)
//   16 Custom Star      number of points (3..100, else 5)
//   38 Custom Explosion number of spikes (3..100, else 12)
//   77 Custom Cog       number of teeth (3..100, else 10)
//   79 Custom Asterisk  number of arms (2..100, else 6)
//   83 Custom Flower    number of petals (3..100, else 8)
//   85, 86 Custom Radiance, Custom Radiance 2  number of rays (3..100, else 16)
// Each "Custom" shape with the default count is its named sibling (13 with 5 is the
// pentagon, 16 with 5 the 5-point star, ...). Unknown shapes give an empty path.
QPainterPath shapePath(int shape, QRectF box, int modifier = 0);

}  // namespace lumo
