#pragma once
#include "engine/pixels/Bitmap.h"

namespace lumo {

// An ie8p bitmap of the same size and alignment as the ie24RGB `rgb24`. When the image
// has at most `maxColours` distinct colours the palette holds exactly those, in order of
// first appearance, and the result is lossless. Otherwise the palette comes from a
// median cut of the colours and every pixel takes its nearest palette entry. The palette
// has as many entries as are used; alpha and info are left to the caller.
Bitmap quantizeToPalette(const Bitmap& rgb24, int maxColours = 256);

}  // namespace lumo
