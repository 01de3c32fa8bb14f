#pragma once
// Libraries that take or give alpha inside each pixel, next to the bitmap's separate plane.
#include <cstddef>
#include <cstdint>

#include "engine/pixels/Bitmap.h"

namespace lumo {

// The rows of `image` with its alpha appended to every pixel, packed without padding.
// `alphaBytes` is 1, or 2 for a 16-bit sample in the machine's order (alpha × 257).
ByteBuffer interleaveAlpha(const Bitmap& image, int alphaBytes);
// The reverse into `image` (already sized, with an alpha plane): each pixel of `rows`
// holds the colour bytes of the image's format followed by `alphaBytes` of alpha, of
// which the alpha plane keeps the high byte.
void splitAlpha(const uint8_t* rows, size_t stride, int alphaBytes, Bitmap& image);

}  // namespace lumo
