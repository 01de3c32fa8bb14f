#pragma once
#include <QImage>

#include "engine/pixels/Bitmap.h"

namespace lumo {

// The area filter of the one resampler (the rfWICFant entry of resampleWithFilter),
// also called directly where that filter is wanted. Reduces or enlarges an ARGB32 (premultiplied or not) image to
// the given size: area averaging when reducing, bilinear when enlarging.
QImage resampleImage(const QImage& source, int width, int height);

// Only the part of that width-by-height result that lies inside `part` (clipped to the
// result), at the size of that part: what a zoomed view or a cropped layer draws.
QImage resampleImage(const QImage& source, int width, int height, const QRect& part);

// A bitmap reduced by a whole factor: each factor × factor block (smaller at the right
// and bottom edges) becomes the alpha-weighted average of its pixels. Result ie24RGB,
// with an alpha plane when the source has one. Reads each source row once, so it is the
// quick first step of a large reduction (thumbnails).
Bitmap reduceBitmap(const Bitmap& source, int factor);

}  // namespace lumo
