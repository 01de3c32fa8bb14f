#pragma once
#include <memory>
#include <vector>

#include <QRectF>

#include "engine/layers/LayerKinds.h"

namespace lumo {

// The layers of one version, background (index 0) first. Copying a stack copies
// every layer; image pixels stay shared until written.
class LayerStack {
 public:
  LayerStack() = default;
  LayerStack(const LayerStack& other);
  LayerStack& operator=(const LayerStack& other);
  LayerStack(LayerStack&&) noexcept = default;
  LayerStack& operator=(LayerStack&&) noexcept = default;

  int count() const { return int(layers_.size()); }
  bool isEmpty() const { return layers_.empty(); }
  Layer& at(int index) { return *layers_.at(size_t(index)); }
  const Layer& at(int index) const { return *layers_.at(size_t(index)); }
  Layer* current() { return currentIndex_ >= 0 && currentIndex_ < count() ? layers_[size_t(currentIndex_)].get() : nullptr; }
  const Layer* current() const { return const_cast<LayerStack*>(this)->current(); }
  ImageLayer* background() { return isEmpty() ? nullptr : layerAs<ImageLayer>(layers_[0].get()); }
  const ImageLayer* background() const { return isEmpty() ? nullptr : layerAs<ImageLayer>(layers_[0].get()); }

  int currentIndex() const { return currentIndex_; }
  void setCurrentIndex(int index);

  // Adds on top; the new layer becomes current. Returns its index.
  int add(std::unique_ptr<Layer> layer);
  // Inserts at `index` (0 ... count); the new layer becomes current.
  int insert(int index, std::unique_ptr<Layer> layer);
  std::unique_ptr<Layer> take(int index);
  void remove(int index) { take(index); }
  // Keeps only layer 0.
  void removeAllButBackground();
  void move(int from, int to);
  // Adds a copy of layer `index` on top, with its own identifier. Returns its index.
  int duplicate(int index);

  std::vector<int> selectedIndices() const;
  // Selects layer `index` alone and makes it the current layer.
  void selectOnly(int index);
  void deselectAll();

  // The union of every layer's rectangle (the extent of the version).
  QRectF boundingRect() const;

 private:
  std::vector<std::unique_ptr<Layer>> layers_;
  int currentIndex_ = -1;
};

}  // namespace lumo
