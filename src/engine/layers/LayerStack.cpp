#include "engine/layers/LayerStack.h"

#include <algorithm>
#include <stdexcept>

namespace lumo {

LayerStack::LayerStack(const LayerStack& other) : currentIndex_(other.currentIndex_) {
  layers_.reserve(other.layers_.size());
  for (const auto& layer : other.layers_) layers_.push_back(layer->clone());
}

LayerStack& LayerStack::operator=(const LayerStack& other) {
  if (this != &other) {
    LayerStack copy(other);
    *this = std::move(copy);
  }
  return *this;
}

void LayerStack::setCurrentIndex(int index) {
  if (index < -1 || index >= count()) throw std::out_of_range("no layer at this index");
  currentIndex_ = index;
}

int LayerStack::add(std::unique_ptr<Layer> layer) { return insert(count(), std::move(layer)); }

int LayerStack::insert(int index, std::unique_ptr<Layer> layer) {
  if (!layer) throw std::invalid_argument("no layer to insert");
  if (index < 0 || index > count()) throw std::out_of_range("no place for a layer at this index");
  layers_.insert(layers_.begin() + index, std::move(layer));
  currentIndex_ = index;
  return index;
}

std::unique_ptr<Layer> LayerStack::take(int index) {
  if (index < 0 || index >= count()) throw std::out_of_range("no layer at this index");
  std::unique_ptr<Layer> layer = std::move(layers_[size_t(index)]);
  layers_.erase(layers_.begin() + index);
  // The layers above move down one place and stay current; when the current layer
  // itself goes, the one below it takes over (the new background when it was layer 0).
  if (currentIndex_ > index || (currentIndex_ == index && index > 0)) --currentIndex_;
  if (currentIndex_ >= count()) currentIndex_ = count() - 1;
  return layer;
}

void LayerStack::removeAllButBackground() {
  if (layers_.size() > 1) layers_.resize(1);
  currentIndex_ = isEmpty() ? -1 : 0;
}

void LayerStack::move(int from, int to) {
  if (from < 0 || from >= count() || to < 0 || to >= count()) throw std::out_of_range("no layer at this index");
  if (from == to) return;
  const Layer* current = this->current();
  auto first = layers_.begin();
  if (from < to) std::rotate(first + from, first + from + 1, first + to + 1);
  else std::rotate(first + to, first + from, first + from + 1);
  if (current) {
    const auto it = std::find_if(layers_.begin(), layers_.end(), [&](const auto& l) { return l.get() == current; });
    currentIndex_ = int(it - layers_.begin());
  }
}

int LayerStack::duplicate(int index) {
  std::unique_ptr<Layer> copy = at(index).clone();
  copy->newGuid();
  return add(std::move(copy));
}

std::vector<int> LayerStack::selectedIndices() const {
  std::vector<int> selected;
  for (int i = 0; i < count(); ++i)
    if (layers_[size_t(i)]->fSelected) selected.push_back(i);
  return selected;
}

void LayerStack::selectOnly(int index) {
  if (index < 0 || index >= count()) throw std::out_of_range("no layer at this index");
  for (int i = 0; i < count(); ++i) layers_[size_t(i)]->fSelected = i == index;
  currentIndex_ = index;
}

void LayerStack::deselectAll() {
  for (auto& layer : layers_) layer->fSelected = false;
}

QRectF LayerStack::boundingRect() const {
  if (isEmpty()) return {};
  // Computed by hand: QRectF::united() passes over rectangles of no size, yet such a
  // layer still has a place that the extent must hold.
  double left = 0, top = 0, right = 0, bottom = 0;
  for (size_t i = 0; i < layers_.size(); ++i) {
    const QRectF r = layers_[i]->rect().normalized();
    if (i == 0 || r.left() < left) left = r.left();
    if (i == 0 || r.top() < top) top = r.top();
    if (i == 0 || r.right() > right) right = r.right();
    if (i == 0 || r.bottom() > bottom) bottom = r.bottom();
  }
  return QRectF(QPointF(left, top), QPointF(right, bottom));
}

}  // namespace lumo
