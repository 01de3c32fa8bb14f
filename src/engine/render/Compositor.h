#pragma once
#include <QImage>

#include "engine/layers/LayerStack.h"

namespace lumo {

// The one compositor of the program: every merge, thumbnail, export and view draws
// through it. The result covers the background layer's rectangle (layers are cropped
// to it) in premultiplied ARGB32.
QImage composeLayers(const LayerStack& stack);

// Only the part `region` of that picture (clipped to it), at the size of that part: what
// a view redraws. Costs in proportion to the part, except for layers that need their
// whole picture first (turned, masked, with effects).
QImage composeLayers(const LayerStack& stack, const QRect& region);

// The same into `canvas`, whose memory is reused when it already is premultiplied
// ARGB32 of the part's size (a view redrawing into its own picture); otherwise it is
// replaced. It becomes null when there is nothing to draw.
void composeLayers(const LayerStack& stack, const QRect& region, QImage& canvas);

// The same picture reduced by a whole factor, made from layers reduced first: much
// quicker than reducing the full-size picture, for previews such as thumbnails.
QImage composeLayersReduced(const LayerStack& stack, int factor);

// The same picture as a bitmap: ie24RGB with an alpha plane (dropped when opaque).
Bitmap mergeLayersToBitmap(const LayerStack& stack);

}  // namespace lumo
