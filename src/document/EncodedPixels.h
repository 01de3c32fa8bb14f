#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/pixels/Bitmap.h"

namespace lumo {

// Decodes the pixels of an image layer that another writer stored as an encoded image
// (JPEG, PNG, ...). The format is recognised from the bytes themselves, whatever code
// the record carries. A mask is decoded as 8-bit grey. Throws ProjectError when the
// bytes are not an image.
Bitmap decodeEncodedPixels(const uint8_t* data, size_t size, bool asGrey);

}  // namespace lumo
