#pragma once
#include <QImage>

#include "engine/layers/Layer.h"

namespace lumo {

// Draws a shape, line, polyline, text or angle layer into a straight (not
// premultiplied) ARGB32 image of the layer's own size (Width × Height rounded) times
// `scale`, unrotated and unflipped: the compositor places, turns and blends it like an
// image layer. Antialiased when the layer's fAntiAlias is set. Null for an image layer
// or a layer without area.
QImage rasterizeVectorLayer(const Layer& layer, double scale = 1.0);

}  // namespace lumo
