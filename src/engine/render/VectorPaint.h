#pragma once
#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPen>
#include <QRectF>

#include "engine/layers/LayerKinds.h"

class QPainter;

// Pieces shared by the drawing of the vector layer kinds.
namespace lumo::vector {

// The colour, or an invalid QColor for clNone.
QColor toQColor(TColor c, double opacity = 1.0);

// A pen of the given line style (0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot,
// 5 narrow dash, 6 wide dash); styles beyond the list draw solid.
QPen stylePen(const QColor& color, double width, uint8_t style);

// A fill from colour 1 to colour 2 in one of the gradient directions over `box`; a
// solid brush of colour 1 for direction 0, an unknown direction or no colour 2.
QBrush gradientBrush(uint8_t direction, const QColor& c1, const QColor& c2, const QRectF& box);

// The stored font as an installed one, sized in pixels.
QFont toQFont(const FontRecord& font);

// The kinds drawn in their own files, in layer pixels on a painter set up for the layer.
void drawLineLayer(QPainter& p, const LineLayer& layer);
void drawTextLayer(QPainter& p, const TextLayer& layer, const QSizeF& size);

}  // namespace lumo::vector
