#include <gtest/gtest.h>

#include "engine/render/Compositor.h"
#include "engine/render/FlattenedCopy.h"
#include "engine/render/LayerMerge.h"

namespace lumo {
namespace {

std::unique_ptr<ImageLayer> solid(int w, int h, uint8_t b, uint8_t g, uint8_t r, double x = 0, double y = 0) {
  auto l = std::make_unique<ImageLayer>();
  l->bitmap = Bitmap(w, h, PixelFormat::ie24RGB);
  for (int row = 0; row < h; ++row)
    for (int col = 0; col < w; ++col) {
      uint8_t* p = l->bitmap.mutableScanline(row) + 3 * col;
      p[0] = b, p[1] = g, p[2] = r;
    }
  l->setRect(QRectF(x, y, w, h));
  return l;
}

std::unique_ptr<PolylineLayer> path(double w, double h) {
  auto p = std::make_unique<PolylineLayer>();
  p->fIsPath = true;
  p->Points = {{0, 0}, {1000, 1000}, {0, 1000}};
  p->fPolylineClosed = true;
  p->fFillColor = clBlack;
  p->fBorderColor = clBlack;
  p->fBorderWidth = 3;
  p->setRect(QRectF(0, 0, w, h));
  return p;
}

const uint8_t* pixel(const Bitmap& b, int x, int y) { return b.scanline(y) + 3 * x; }

TEST(LayerMerge, MergeAllLeavesOneBackgroundAndNoPath) {
  LayerStack stack;
  stack.add(solid(8, 6, 0, 0, 255));  // red
  stack.at(0).fLocked = true;
  stack.at(0).fName = QStringLiteral("Background");
  stack.add(solid(4, 2, 255, 0, 0, 2, 2));  // blue
  stack.at(1).fOpacity = 0.5;
  stack.add(path(8, 6));
  const QImage expected = composeLayers([&] {
    LayerStack withoutPath(stack);
    withoutPath.remove(2);
    return withoutPath;
  }());
  mergeAllLayers(stack);
  ASSERT_EQ(stack.count(), 1);
  EXPECT_TRUE(stack.at(0).fLocked);
  EXPECT_EQ(stack.at(0).fName, QStringLiteral("Background"));
  EXPECT_EQ(stack.currentIndex(), 0);
  const Bitmap& merged = layerAs<ImageLayer>(&stack.at(0))->bitmap;
  ASSERT_EQ(merged.width(), 8);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      const QRgb e = expected.pixel(x, y);
      EXPECT_EQ(pixel(merged, x, y)[2], qRed(e)) << x << "," << y;
      EXPECT_EQ(pixel(merged, x, y)[0], qBlue(e)) << x << "," << y;
    }
}

TEST(LayerMerge, MergeSelectedCoversTheirRectangleAndKeepsTheRest) {
  LayerStack stack;
  stack.add(solid(10, 10, 0, 0, 0));
  stack.add(solid(2, 2, 0, 255, 0, 1, 1));   // green at (1,1)
  stack.add(solid(3, 3, 255, 255, 255));     // white, not selected
  stack.add(solid(2, 2, 255, 0, 0, 5, 4));   // blue at (5,4)
  stack.add(path(10, 10));
  for (int i : {1, 3, 4}) stack.at(i).fSelected = true;
  ASSERT_TRUE(mergeSelectedLayers(stack));
  ASSERT_EQ(stack.count(), 4);  // background, merged, white, path
  const auto* merged = layerAs<ImageLayer>(&stack.at(1));
  ASSERT_NE(merged, nullptr);
  EXPECT_EQ(merged->rect(), QRectF(1, 1, 6, 5));
  EXPECT_EQ(pixel(merged->bitmap, 0, 0)[1], 255);      // green
  EXPECT_EQ(pixel(merged->bitmap, 4, 3)[0], 255);      // blue
  ASSERT_TRUE(merged->bitmap.hasAlpha());
  EXPECT_EQ(merged->bitmap.alphaScanline(4)[0], 0);    // between them: transparent
  EXPECT_NE(layerAs<PolylineLayer>(&stack.at(3)), nullptr);

  LayerStack one;
  one.add(solid(2, 2, 0, 0, 0));
  one.at(0).fSelected = true;
  EXPECT_FALSE(mergeSelectedLayers(one));
}

TEST(FlattenedCopy, AMaskOnLayerOneShapesTheFormerBackground) {
  LayerStack stack;
  stack.add(solid(4, 4, 0, 0, 255));  // red background
  auto mask = solid(4, 4, 255, 255, 255);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 2; ++x) std::fill_n(mask->bitmap.mutableScanline(y) + 3 * x, 3, 0);  // left half black
  mask->fIsMask = true;
  stack.add(std::move(mask));
  const Bitmap flat = flattenedCopy(stack);
  ASSERT_TRUE(flat.hasAlpha());
  EXPECT_EQ(flat.alphaScanline(1)[0], 0);    // hidden by the black half
  EXPECT_EQ(flat.alphaScanline(1)[3], 255);  // shown by the white half
  EXPECT_EQ(pixel(flat, 3, 1)[2], 255);
  EXPECT_EQ(stack.count(), 2);  // the document itself is untouched
}

TEST(FlattenedCopy, PathsNeverAppear) {
  LayerStack stack;
  stack.add(solid(6, 6, 255, 255, 255));
  stack.add(path(6, 6));
  // Drawn, the path does mark the picture...
  const QImage drawn = composeLayers(stack);
  bool marked = false;
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) marked |= qBlue(drawn.pixel(x, y)) != 255;
  ASSERT_TRUE(marked);
  // ...but not the flattened copy.
  const Bitmap flat = flattenedCopy(stack);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(pixel(flat, x, y)[0], 255) << x << "," << y;
  EXPECT_TRUE(stack.at(1).fVisible);
}

}  // namespace
}  // namespace lumo
