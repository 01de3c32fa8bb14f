#pragma once
#include <QImage>

namespace lumo {

// The one resampler. Reduces or enlarges an ARGB32 (premultiplied or not) image to
// the given size: area averaging when reducing, bilinear when enlarging.
QImage resampleImage(const QImage& source, int width, int height);

}  // namespace lumo
