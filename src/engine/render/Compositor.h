#pragma once
#include <QImage>

#include "engine/layers/LayerStack.h"

namespace lumo {

// The one compositor of the program: every merge, thumbnail, export and view draws
// through it. The result covers the background layer's rectangle (layers are cropped
// to it) in premultiplied ARGB32.
QImage composeLayers(const LayerStack& stack);

// The same picture reduced by a whole factor, made from layers reduced first: much
// quicker than reducing the full-size picture, for previews such as thumbnails.
QImage composeLayersReduced(const LayerStack& stack, int factor);

// The same picture as a bitmap: ie24RGB with an alpha plane (dropped when opaque).
Bitmap mergeLayersToBitmap(const LayerStack& stack);

}  // namespace lumo
