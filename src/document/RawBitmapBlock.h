#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/pixels/Bitmap.h"

namespace lumo {

// The raw bitmap block: a bitmap's header, pixel rows and optional alpha rows exactly
// as they lie in memory.
std::vector<uint8_t> encodeRawBitmap(const Bitmap& bitmap);
// The same into `buffer`, replacing its contents; a buffer kept for the next bitmap
// keeps its memory.
void encodeRawBitmap(const Bitmap& bitmap, std::vector<uint8_t>& buffer);

// The largest a raw block can be, known from its header alone (alpha rows counted in
// case the block has them). `head` holds the first bytes of the block; nullopt when
// they are too few to tell. Throws ProjectError("File stream is corrupt") when the
// header is impossible (negative or oversized dimensions, unknown pixel format, ...).
std::optional<size_t> rawBitmapMaxSize(const uint8_t* head, size_t headSize);

// Restores a bitmap from a raw block. Returns false, leaving `out` untouched, when the
// magic differs or the version field is negative; throws ProjectError("File stream is
// corrupt") when the block is cut short or inconsistent.
bool decodeRawBitmap(const uint8_t* data, size_t size, Bitmap& out);
// The same for a block in a buffer of its own, which becomes the bitmap's pixel plane.
bool decodeRawBitmap(ByteBuffer&& block, Bitmap& out);

// Inflates a deflated raw block (a zlib stream) and decodes it, as above.
bool inflateRawBitmap(const uint8_t* data, size_t size, Bitmap& out);

// Upper bound on the pixels of one stored bitmap, whatever a file declares.
constexpr int64_t kMaxStoredPixels = int64_t(1) << 30;

}  // namespace lumo
