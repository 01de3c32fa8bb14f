#pragma once
#include <cstdint>

#include "engine/layers/LayerTypes.h"

namespace lumo {

// How the source bytes of a row are laid out: blue, green, red every 3 or 4 bytes, with
// the alpha in a separate plane, none (opaque), or in the fourth byte (straight ARGB32).
enum class SourceLayout { Bgr24, Bgr24Alpha, Bgrx32, Bgrx32Alpha, Argb32 };

// Draws `count` straight source pixels into the premultiplied ARGB32 row `dst` with one
// blend operation: the blend result B(backdrop, source) composited with the source alpha
// ("source-over with blend"). `alpha` is the separate alpha plane when the layout has
// one; `factor` (1/65536) scales the alpha; `canvasY` is the row of the canvas, which
// the line-interleaving operations look at.
using BlendRow = void (*)(uint32_t* dst, const uint8_t* bgr, const uint8_t* alpha, int count, uint32_t factor,
                          int canvasY);

// The row function of an operation; chosen once per layer, never per pixel. Unknown
// ordinals (a damaged file) draw as Normal.
BlendRow blendRowFor(RenderOperation operation, SourceLayout layout);

// Whether rows of `operation` from `layout` at `factor` cover the destination with
// opaque source pixels, whatever was there (Normal without alpha at full strength).
bool blendRowCovers(RenderOperation operation, SourceLayout layout, uint32_t factor);

// The operation's name in the code ("Normal", "Add", ... "Luminosity2"), for messages
// and benchmarks.
const char* blendOperationName(RenderOperation operation);

}  // namespace lumo
