#pragma once
#include "engine/pixels/Bitmap.h"

namespace lumo {

// Every format converts to and from 24-bit RGB; a conversion between two other formats
// passes through it. The alpha plane is carried over unchanged. Converting to ie8p
// keeps the exact colours when there are at most 256 of them and otherwise builds a
// median-cut palette; converting to ie1g thresholds luminance at 50 %.
//
// The result has the source's size and bit alignment; its alpha plane is the source's,
// shared copy-on-write, and its BitmapInfo is the source's (paletteUsed set for ie8p,
// 0 otherwise). Float grey maps info().blackValue ... whiteValue to black ... white.
// Converting to the format a bitmap already has returns a copy sharing its planes.
// A null bitmap converts to a null bitmap. Throws std::invalid_argument for ieNull as
// target, and convertFromRGB24 for a source that is not ie24RGB.
Bitmap convertToRGB24(const Bitmap& source);
Bitmap convertFromRGB24(const Bitmap& rgb24, PixelFormat target);
Bitmap convertPixelFormat(const Bitmap& source, PixelFormat target);

// Luminance of a blue-green-red pixel, Rec. 601 weights, rounded.
uint8_t luminance(uint8_t b, uint8_t g, uint8_t r);

}  // namespace lumo
