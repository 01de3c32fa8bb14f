#include <gtest/gtest.h>

#include "engine/render/Compositor.h"

namespace lumo {
namespace {

// A 100 × 40 background whose red channel equals x, with a green 10 × 10 square layer
// at (45, 15), and a 20 × 20 magnifying glass at (40, 10) on top.
LayerStack stackWithGlass(uint8_t source, uint8_t style) {
  LayerStack stack;
  auto background = std::make_unique<ImageLayer>();
  background->setRect(QRectF(0, 0, 100, 40));
  background->bitmap = Bitmap(100, 40, PixelFormat::ie24RGB);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 100; ++x) {
      uint8_t* p = background->bitmap.mutableScanline(y) + 3 * x;
      p[0] = 0, p[1] = 0, p[2] = uint8_t(x);
    }
  stack.add(std::move(background));
  auto square = std::make_unique<ImageLayer>();
  square->setRect(QRectF(45, 15, 10, 10));
  square->bitmap = Bitmap(10, 10, PixelFormat::ie24RGB);
  square->bitmap.fill(0);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) square->bitmap.mutableScanline(y)[3 * x + 1] = 255;
  stack.add(std::move(square));
  auto glass = std::make_unique<ImageLayer>();
  glass->setRect(QRectF(40, 10, 20, 20));
  glass->bitmap = Bitmap(20, 20, PixelFormat::ie24RGB);
  glass->bitmap.fill(255);  // its own pixels are not shown
  glass->Magnify.Enabled = true;
  glass->Magnify.Rate = 2;
  glass->Magnify.Source = source;
  glass->Magnify.Style = style;
  stack.add(std::move(glass));
  return stack;
}

TEST(Magnifier, EnlargesWhatLiesUnderItsCentre) {
  const QImage out = composeLayers(stackWithGlass(0, 0));
  // Seen from the background only: the red ramp, twice as slow, about x = 50.
  EXPECT_NEAR(qRed(out.pixel(40, 12)), 45, 1.5);
  EXPECT_NEAR(qRed(out.pixel(59, 12)), 55, 1.5);
  EXPECT_EQ(qGreen(out.pixel(50, 20)), 0);  // the square is not the background
  EXPECT_EQ(qRed(out.pixel(39, 12)), 39);   // outside the glass nothing changes
  EXPECT_EQ(qRed(out.pixel(60, 12)), 60);
}

TEST(Magnifier, TheCanvasSourceShowsTheLayersBelowAndTheEllipseClearsTheCorners) {
  const QImage out = composeLayers(stackWithGlass(1, 1));
  // The square covers 45 ... 54 and fills 40 ... 59 of the glass when enlarged twice.
  EXPECT_EQ(qGreen(out.pixel(50, 20)), 255);
  EXPECT_GT(qGreen(out.pixel(42, 20)), 200);
  // At the glass's corner the ellipse leaves the canvas as it was.
  EXPECT_EQ(qRed(out.pixel(40, 10)), 40);
  EXPECT_EQ(qGreen(out.pixel(40, 10)), 0);
}

}  // namespace
}  // namespace lumo
