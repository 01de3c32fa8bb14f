#pragma once
#include <QImage>
#include <QRect>

#include "engine/layers/LayerKinds.h"
#include "engine/render/ResampleFilter.h"

namespace lumo {

// An image layer whose Magnify record is enabled is a magnifying glass: instead of its
// own pixels it shows what lies under its centre, enlarged Rate times (a rate below 1
// shrinks), taken from the background layer alone or from everything drawn below it
// (the Source). An elliptic glass (Style 1) is clear outside the ellipse inscribed in
// the layer. `source` is premultiplied in canvas coordinates and `placed` the layer's
// rectangle on the canvas; the result is the straight picture of `placed`'s size, drawn
// then like any other layer picture (opacity, blend operation, effects).
QImage magnifiedPicture(const ImageLayer& layer, const QImage& source, const QRect& placed, ResampleFilter filter);

}  // namespace lumo
