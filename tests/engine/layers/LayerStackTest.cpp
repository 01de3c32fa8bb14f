#include <gtest/gtest.h>

#include "engine/layers/LayerStack.h"

namespace lumo {
namespace {

// A stack of `n` layers named "0", "1", ...; the background is an image layer with pixels.
LayerStack namedStack(int n) {
  LayerStack stack;
  for (int i = 0; i < n; ++i) {
    auto layer = createLayer(i == 0 ? LayerKind::ielkImage : LayerKind::ielkShape);
    layer->fName = QString::number(i);
    stack.add(std::move(layer));
  }
  return stack;
}

QString names(const LayerStack& stack) {
  QString s;
  for (int i = 0; i < stack.count(); ++i) s += stack.at(i).fName;
  return s;
}

TEST(LayerStack, AddAndInsertMakeTheNewLayerCurrent) {
  LayerStack stack;
  EXPECT_EQ(stack.currentIndex(), -1);
  EXPECT_EQ(stack.current(), nullptr);
  EXPECT_EQ(stack.background(), nullptr);
  EXPECT_EQ(stack.add(createLayer(LayerKind::ielkImage)), 0);
  EXPECT_EQ(stack.add(createLayer(LayerKind::ielkText)), 1);
  EXPECT_EQ(stack.currentIndex(), 1);
  auto shape = createLayer(LayerKind::ielkShape);
  const Layer* inserted = shape.get();
  EXPECT_EQ(stack.insert(1, std::move(shape)), 1);
  EXPECT_EQ(stack.current(), inserted);
  EXPECT_EQ(stack.count(), 3);
  EXPECT_EQ(stack.at(2).kind(), LayerKind::ielkText);
  EXPECT_NE(stack.background(), nullptr);

  EXPECT_THROW(stack.insert(4, createLayer(LayerKind::ielkLine)), std::out_of_range);
  EXPECT_THROW(stack.insert(-1, createLayer(LayerKind::ielkLine)), std::out_of_range);
  EXPECT_THROW(stack.add(nullptr), std::invalid_argument);
  EXPECT_EQ(stack.count(), 3);
}

TEST(LayerStack, TakingALayerKeepsASensibleCurrentLayer) {
  struct Case {
    int current, taken, expected;
  } cases[] = {
      {3, 1, 2},    // a layer below the current one: the current layer moves down with its index
      {1, 3, 1},    // a layer above: nothing moves
      {2, 2, 1},    // the current layer itself: the one below takes over
      {3, 3, 2},    // the top and current layer
      {0, 0, 0},    // the background: the new background
      {-1, 2, -1},  // no current layer stays none
  };
  for (const Case& c : cases) {
    LayerStack stack = namedStack(4);
    stack.setCurrentIndex(c.current);
    const auto taken = stack.take(c.taken);
    EXPECT_EQ(taken->fName, QString::number(c.taken));
    EXPECT_EQ(stack.currentIndex(), c.expected) << "current " << c.current << ", taken " << c.taken;
  }
  LayerStack one = namedStack(1);
  one.remove(0);
  EXPECT_TRUE(one.isEmpty());
  EXPECT_EQ(one.currentIndex(), -1);
  EXPECT_THROW(one.take(0), std::out_of_range);
}

TEST(LayerStack, MoveReordersAndTheSameLayerStaysCurrent) {
  struct Case {
    int from, to;
    const char* order;
  } cases[] = {{1, 3, "0231"}, {3, 1, "0312"}, {0, 2, "1203"}, {2, 2, "0123"}};
  for (const Case& c : cases) {
    for (int current = 0; current < 4; ++current) {
      LayerStack stack = namedStack(4);
      stack.setCurrentIndex(current);
      stack.move(c.from, c.to);
      EXPECT_EQ(names(stack), c.order);
      EXPECT_EQ(stack.current()->fName, QString::number(current)) << c.from << " to " << c.to;
    }
  }
  LayerStack stack = namedStack(2);
  EXPECT_THROW(stack.move(0, 2), std::out_of_range);
}

TEST(LayerStack, CopiesAreDeepAndSharePixelsUntilWritten) {
  LayerStack stack = namedStack(3);
  stack.background()->bitmap = Bitmap(4, 4, PixelFormat::ie24RGB);
  stack.setCurrentIndex(1);

  LayerStack copy(stack);
  EXPECT_EQ(copy.count(), 3);
  EXPECT_EQ(copy.currentIndex(), 1);
  EXPECT_NE(&copy.at(1), &stack.at(1));
  EXPECT_EQ(copy.at(1).kind(), LayerKind::ielkShape);
  EXPECT_EQ(copy.at(2).fGuid, stack.at(2).fGuid);
  EXPECT_TRUE(copy.background()->bitmap.sharesPixelsWith(stack.background()->bitmap));

  copy.at(2).fName = "changed";
  copy.background()->bitmap.mutableScanline(0)[0] = 7;
  EXPECT_EQ(stack.at(2).fName, "2");
  EXPECT_EQ(stack.background()->bitmap.scanline(0)[0], 0);

  LayerStack assigned = namedStack(1);
  assigned = stack;
  EXPECT_EQ(names(assigned), "012");
  assigned = assigned;  // self-assignment keeps everything
  EXPECT_EQ(names(assigned), "012");
}

TEST(LayerStack, DuplicateAddsACopyOnTopWithItsOwnIdentifier) {
  LayerStack stack = namedStack(3);
  stack.at(1).PosX = 42;
  stack.at(1).fSelected = true;
  EXPECT_EQ(stack.duplicate(1), 3);
  EXPECT_EQ(stack.currentIndex(), 3);
  const Layer& copy = stack.at(3);
  EXPECT_EQ(copy.kind(), LayerKind::ielkShape);
  EXPECT_EQ(copy.fName, "1");
  EXPECT_EQ(copy.PosX, 42);
  EXPECT_TRUE(copy.fSelected);
  EXPECT_NE(copy.fGuid, stack.at(1).fGuid);
  EXPECT_THROW(stack.duplicate(9), std::out_of_range);
}

TEST(LayerStack, RemoveAllButBackground) {
  LayerStack stack = namedStack(4);
  stack.removeAllButBackground();
  EXPECT_EQ(names(stack), "0");
  EXPECT_EQ(stack.currentIndex(), 0);
  LayerStack empty;
  empty.removeAllButBackground();
  EXPECT_EQ(empty.currentIndex(), -1);
}

TEST(LayerStack, SelectionHelpers) {
  LayerStack stack = namedStack(4);
  stack.at(1).fSelected = stack.at(3).fSelected = true;
  EXPECT_EQ(stack.selectedIndices(), (std::vector<int>{1, 3}));
  stack.selectOnly(2);
  EXPECT_EQ(stack.selectedIndices(), (std::vector<int>{2}));
  EXPECT_EQ(stack.currentIndex(), 2);
  stack.deselectAll();
  EXPECT_TRUE(stack.selectedIndices().empty());
  EXPECT_EQ(stack.currentIndex(), 2);
  EXPECT_THROW(stack.selectOnly(4), std::out_of_range);
  EXPECT_THROW(stack.setCurrentIndex(4), std::out_of_range);
  stack.setCurrentIndex(-1);
  EXPECT_EQ(stack.current(), nullptr);
}

TEST(LayerStack, BoundingRectIsTheUnionOfEveryLayer) {
  EXPECT_TRUE(LayerStack().boundingRect().isNull());
  LayerStack stack = namedStack(3);
  stack.at(0).setRect(QRectF(0, 0, 100, 50));
  stack.at(1).setRect(QRectF(-20, 10, 30, 30));
  // A layer of no size still counts with its place.
  stack.at(2).setRect(QRectF(150, 70, 0, 0));
  EXPECT_EQ(stack.boundingRect(), QRectF(-20, 0, 170, 70));
  stack.remove(2);
  stack.remove(1);
  EXPECT_EQ(stack.boundingRect(), QRectF(0, 0, 100, 50));
}

}  // namespace
}  // namespace lumo
