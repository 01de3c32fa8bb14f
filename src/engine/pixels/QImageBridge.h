#pragma once
#include <QImage>

#include "engine/pixels/Bitmap.h"

namespace lumo {

// A QImage over the bitmap's own pixel plane, without copying, when Qt has a matching
// format (ie1g, ie8g, ie16g, ie8p, ie24RGB, ie32RGB without alpha). The image keeps the
// plane alive and must be treated as read-only. Returns a null image otherwise.
// A bitmap whose alpha plane is not fully opaque has no view: Qt keeps alpha inside the
// pixel, so the view would show the image opaque.
QImage sharedQImage(const Bitmap& bitmap);

// A QImage of any bitmap: the shared view where possible, otherwise a converted copy
// (ARGB32 when the bitmap has alpha).
QImage toQImage(const Bitmap& bitmap);

// A bitmap from any QImage: ie24RGB, with an alpha plane when the image has alpha.
Bitmap fromQImage(const QImage& image);

}  // namespace lumo
