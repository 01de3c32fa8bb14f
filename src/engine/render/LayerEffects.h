#pragma once
#include <QImage>
#include <QPoint>

#include "engine/layers/LayerTypes.h"

namespace lumo {

// The effects a layer carries, worked on its own straight (not premultiplied) ARGB32
// picture before it is placed and blended.

// The alpha fades linearly towards the edge of the opaque part over `distance` pixels:
// a pixel at distance d (in pixels, to the centre of the nearest transparent pixel or
// the nearest pixel outside the picture) keeps min(1, (d - 1/2) / distance) of its alpha.
void featherAlphaEdges(QImage& picture, int distance);

// The glow colour laid over the picture inside its alpha edge: the blurred transparency
// (outside the picture counts as transparent) times the pixel's own alpha decides how
// much of the colour covers it. The alpha itself stays.
void applyInnerGlow(QImage& picture, double radius, RGB24 color);

// The soft shadow of a picture: its alpha blurred over `radius`, times intensity / 100
// (values over 100 darken it further, up to opaque), in `color`. The result is larger than
// the picture by the blur's reach on every side; `topLeft` receives where its corner
// lies relative to the picture's, the offset not included.
QImage softShadow(const QImage& picture, double radius, int intensityPercent, RGB24 color, QPoint& topLeft);

}  // namespace lumo
