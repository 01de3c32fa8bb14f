#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/pixels/Bitmap.h"

namespace lumo {

// zlib streams (RFC 1950) of raw bitmap blocks, compressed and inflated with
// libdeflate. The level is chosen so that the stream is about as small as zlib's
// default level makes it.
ByteBuffer deflateZlib(const uint8_t* data, size_t size);

// Inflates a zlib stream of a raw bitmap block: the block's header is inflated first
// with streaming zlib, which tells the largest size the block can have; that size is
// checked against the stream (deflate expands at most about 1032:1) and the pixel cap
// before anything is allocated. Throws ProjectError("File stream is corrupt").
ByteBuffer inflateRawBitmapStream(const uint8_t* data, size_t size);

// Largest expansion of deflate: no stream of N bytes inflates to more than this.
constexpr size_t kDeflateMaxRatio = 1032;

}  // namespace lumo
