#include "engine/render/FlattenedCopy.h"

#include <cmath>

#include "engine/render/Compositor.h"

namespace lumo {

Bitmap flattenedCopy(const LayerStack& stack) {
  if (stack.isEmpty()) return {};
  LayerStack copy(stack);
  for (int i = 0; i < copy.count(); ++i)
    if (auto* polyline = layerAs<PolylineLayer>(&copy.at(i)); polyline && polyline->fIsPath) polyline->fVisible = false;
  if (copy.count() > 1 && copy.at(1).fIsMask) {
    const Layer& old = copy.at(0);
    auto under = std::make_unique<ImageLayer>();
    under->setRect(old.rect());
    const auto* oldImage = layerAs<ImageLayer>(&old);
    const PixelFormat format = oldImage && !oldImage->bitmap.isNull() ? oldImage->bitmap.format() : PixelFormat::ie24RGB;
    under->bitmap = Bitmap(std::max(1, int(std::lround(old.Width))), std::max(1, int(std::lround(old.Height))), format);
    under->bitmap.addAlpha(0);
    under->bitmap.setAlphaFull(false);
    copy.insert(0, std::move(under));
    copy.at(1).fLocked = false;
  }
  return mergeLayersToBitmap(copy);
}

}  // namespace lumo
