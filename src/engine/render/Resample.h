#pragma once
#include <QImage>

namespace lumo {

// The one resampler. Reduces or enlarges an ARGB32 (premultiplied or not) image to
// the given size: area averaging when reducing, bilinear when enlarging.
QImage resampleImage(const QImage& source, int width, int height);

// Only the part of that width-by-height result that lies inside `part` (clipped to the
// result), at the size of that part: what a zoomed view or a cropped layer draws.
QImage resampleImage(const QImage& source, int width, int height, const QRect& part);

}  // namespace lumo
