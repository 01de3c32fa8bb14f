#include "engine/render/LayerMerge.h"

#include <cmath>

#include "engine/render/Compositor.h"
#include "engine/render/FlattenedCopy.h"

namespace lumo {

namespace {

bool isPath(const Layer& layer) {
  const auto* polyline = layerAs<PolylineLayer>(&layer);
  return polyline && polyline->fIsPath;
}

// An image layer holding `bitmap` over `rect`, otherwise with the properties of `model`.
std::unique_ptr<ImageLayer> mergedLayer(const Layer& model, const QRectF& rect, Bitmap bitmap) {
  auto out = std::make_unique<ImageLayer>();
  out->fGuid = model.fGuid;
  out->fName = model.fName;
  out->fLocked = model.fLocked;
  out->fSelected = model.fSelected;
  out->fGroupIndex = model.fGroupIndex;
  out->setRect(rect);
  out->bitmap = std::move(bitmap);
  return out;
}

}  // namespace

void mergeAllLayers(LayerStack& stack) {
  if (stack.isEmpty()) return;
  const Layer& background = stack.at(0);
  auto merged = mergedLayer(background, background.rect(), flattenedCopy(stack));
  merged->fSelected = false;
  LayerStack result;
  result.add(std::move(merged));
  stack = std::move(result);
  stack.setCurrentIndex(0);
}

bool mergeSelectedLayers(LayerStack& stack) {
  std::vector<int> chosen;
  for (int i : stack.selectedIndices())
    if (!isPath(stack.at(i))) chosen.push_back(i);
  if (chosen.size() < 2) return false;

  QRectF extent;
  if (chosen.front() == 0) {
    extent = stack.at(0).rect();
  } else {
    for (int i : chosen) extent = extent.isNull() ? stack.at(i).rect() : extent.united(stack.at(i).rect());
  }
  // Drawn over a transparent canvas of that extent, which the compositor crops to.
  const QRect canvas(int(std::floor(extent.left())), int(std::floor(extent.top())),
                     std::max(1, int(std::ceil(extent.right())) - int(std::floor(extent.left()))),
                     std::max(1, int(std::ceil(extent.bottom())) - int(std::floor(extent.top()))));
  LayerStack picture;
  auto ground = std::make_unique<ImageLayer>();
  ground->setRect(canvas);
  ground->bitmap = Bitmap(canvas.width(), canvas.height(), PixelFormat::ie24RGB);
  ground->bitmap.addAlpha(0);
  picture.add(std::move(ground));
  for (int i : chosen) picture.add(stack.at(i).clone());

  const int lowest = chosen.front();
  auto merged = mergedLayer(stack.at(lowest), canvas, mergeLayersToBitmap(picture));
  for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) stack.remove(*it);
  stack.insert(lowest, std::move(merged));
  return true;
}

}  // namespace lumo
