#pragma once
#include "engine/layers/LayerStack.h"

namespace lumo {

// The picture an export writes: every layer merged, paths left out, and a mask on
// layer 1 kept from acting on nothing (a transparent layer goes under everything, so
// the mask shapes the former background). The stack itself is not changed.
Bitmap flattenedCopy(const LayerStack& stack);

}  // namespace lumo
