#pragma once
#include <memory>

#include "engine/layers/LayerKinds.h"
#include "engine/layers/LayerStack.h"

namespace lumo {

// The image layer that replaces a shape, line, polyline, text or angle layer ("Convert
// to Image"). Its pixels are drawn at `qualityFactor` times the layer's size, so that
// the layer keeps its sharpness when it is later enlarged, and it is shown at the
// layer's size as before. With `cropTransparentBorder` the fully transparent rows and
// columns around the drawing are cut off and the layer's rectangle shrinks with them,
// so the picture stays where it was. Every property the kinds share is kept (name,
// visibility, opacity, blend operation, rotation and its centre, flip, effects, mask
// flags). An image layer comes back as a copy.
std::unique_ptr<ImageLayer> convertToImageLayer(const Layer& layer, double qualityFactor = 2.0,
                                                bool cropTransparentBorder = true);

// Replaces layer `index` of the stack by its conversion. False for an image layer.
bool convertLayerToImage(LayerStack& stack, int index, double qualityFactor = 2.0, bool cropTransparentBorder = true);

}  // namespace lumo
