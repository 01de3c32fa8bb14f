#pragma once
// Colour management of embedded ICC profiles.
#include <QByteArray>

#include "engine/pixels/Bitmap.h"

namespace lumo {

// The image as 24-bit sRGB for drawing: its colours are taken from `icc`, the profile
// the file embedded, to sRGB (perceptual intent). RGB, grey and CMYK pixels and
// palettes are converted; alpha is carried over. Without a profile, with one that
// cannot be read, or with one of another colour space than the pixels, the pixels are
// taken as sRGB already. Transforms are kept for the last few profiles; safe to call
// from several threads.
Bitmap toDisplayRgb(const Bitmap& image, const QByteArray& icc);

}  // namespace lumo
