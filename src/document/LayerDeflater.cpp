#include "document/LayerDeflater.h"

#include "document/PixelDeflate.h"
#include "document/RawBitmapBlock.h"
#include "platform/ParallelFor.h"

namespace lumo {

LayerDeflater::LayerDeflater(const std::vector<const LayerStack*>& stacks) {
  for (const LayerStack* stack : stacks)
    for (int i = 0; i < stack->count(); ++i)
      if (const auto* image = layerAs<ImageLayer>(&stack->at(i)); image && image->bitmap.width() > 1) {
        index_.emplace(image, layers_.size());
        layers_.push_back(image);
      }
  streams_.resize(layers_.size());
  done_.resize(layers_.size());
  for (auto& d : done_) ready_.push_back(d.get_future().share());
  if (layers_.empty()) return;
  runner_ = std::thread([this] {
    // One raw block buffer per thread, reused from layer to layer: its pages are
    // mapped once, not once a layer.
    std::vector<std::vector<uint8_t>> raw(parallelWorkers(layers_.size()));
    parallelFor(layers_.size(), [&](size_t i, size_t worker) {
      try {
        if (!cancel_) {
          encodeRawBitmap(layers_[i]->bitmap, raw[worker]);
          streams_[i] = deflateZlib(raw[worker].data(), raw[worker].size());
        }
        done_[i].set_value();
      } catch (...) {
        done_[i].set_exception(std::current_exception());
      }
    });
  });
}

LayerDeflater::~LayerDeflater() {
  cancel_ = true;
  if (runner_.joinable()) runner_.join();
}

const ByteBuffer* LayerDeflater::wait(const Layer* layer) const {
  const auto it = index_.find(layer);
  if (it == index_.end()) return nullptr;
  ready_[it->second].get();
  return &streams_[it->second];
}

}  // namespace lumo
