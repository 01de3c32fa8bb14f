#pragma once
#include <atomic>
#include <future>
#include <thread>
#include <unordered_map>
#include <vector>

#include "engine/layers/LayerStack.h"

namespace lumo {

// Deflates the pixels of every image layer of some stacks in the background, on all
// cores, in stack and layer order, while the caller writes the blocks that are ready:
// a save's compression and its writing overlap.
class LayerDeflater {
 public:
  explicit LayerDeflater(const std::vector<const LayerStack*>& stacks);  // starts at once
  ~LayerDeflater();  // skips what has not started, and waits for the rest
  LayerDeflater(const LayerDeflater&) = delete;
  LayerDeflater& operator=(const LayerDeflater&) = delete;

  // The zlib stream of the layer's raw bitmap block, once it is ready; nullptr for a
  // layer that has none (not an image, or at most 1 pixel wide). Rethrows a failure.
  const ByteBuffer* wait(const Layer* layer) const;

 private:
  std::vector<const ImageLayer*> layers_;
  std::unordered_map<const Layer*, size_t> index_;
  std::vector<ByteBuffer> streams_;
  std::vector<std::promise<void>> done_;
  std::vector<std::shared_future<void>> ready_;
  std::atomic<bool> cancel_{false};
  std::thread runner_;
};

}  // namespace lumo
