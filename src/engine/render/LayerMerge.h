#pragma once
#include "engine/layers/LayerStack.h"

namespace lumo {

// Merges every layer into one background layer through the compositor, as the
// flattened copy does (paths are not merged). Layer 0 keeps its place, name and lock.
void mergeAllLayers(LayerStack& stack);

// Merges the selected layers (at least two) into one image layer at the place of the
// lowest of them, covering their united rectangle (the background's when it is among
// them). Paths are not merged and stay as they are. Returns false when fewer than two
// layers are selected.
bool mergeSelectedLayers(LayerStack& stack);

}  // namespace lumo
