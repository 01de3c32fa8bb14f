#include <gtest/gtest.h>

#include <cmath>

#include "engine/render/Compositor.h"
#include "engine/render/ConvertToImage.h"
#include "support/GuiEnvironment.h"

namespace lumo {
namespace {

constexpr TColor kRed = 0x0000FF, kBlue = 0xFF0000;

std::unique_ptr<ImageLayer> clearBackground(int w, int h) {
  auto layer = std::make_unique<ImageLayer>();
  layer->setRect(QRectF(0, 0, w, h));
  layer->bitmap = Bitmap(w, h, PixelFormat::ie24RGB);
  layer->bitmap.addAlpha(0);
  layer->bitmap.setAlphaFull(false);
  return layer;
}

struct Comparison {
  double meanDifference = 0;  // per premultiplied channel, in levels
  double centroidShift = 0;   // of the alpha, in pixels
};

Comparison compare(const QImage& a, const QImage& b) {
  double sum = 0, ax = 0, ay = 0, aw = 0, bx = 0, by = 0, bw = 0;
  for (int y = 0; y < a.height(); ++y) {
    const auto* p = reinterpret_cast<const uint32_t*>(a.constScanLine(y));
    const auto* q = reinterpret_cast<const uint32_t*>(b.constScanLine(y));
    for (int x = 0; x < a.width(); ++x) {
      for (int c = 0; c < 4; ++c) sum += std::abs(int(p[x] >> (8 * c) & 0xFF) - int(q[x] >> (8 * c) & 0xFF));
      const double wa = p[x] >> 24, wb = q[x] >> 24;
      ax += wa * x, ay += wa * y, aw += wa;
      bx += wb * x, by += wb * y, bw += wb;
    }
  }
  Comparison out;
  out.meanDifference = sum / (4.0 * a.width() * a.height());
  out.centroidShift = aw > 0 && bw > 0 ? std::hypot(ax / aw - bx / bw, ay / aw - by / bw) : 1e9;
  return out;
}

// The layer drawn itself and drawn after conversion, on a clear 200 × 140 canvas.
Comparison lookBeforeAndAfter(const Layer& layer, std::unique_ptr<ImageLayer>* converted = nullptr) {
  LayerStack before, after;
  before.add(clearBackground(200, 140));
  after.add(clearBackground(200, 140));
  before.add(layer.clone());
  auto image = convertToImageLayer(layer);
  after.add(image->clone());
  if (converted) *converted = std::move(image);
  return compare(composeLayers(before), composeLayers(after));
}

std::unique_ptr<ShapeLayer> ellipse() {
  auto shape = std::make_unique<ShapeLayer>();
  shape->setRect(QRectF(30, 20, 120, 90));
  shape->fShape = 0;
  shape->fFillColor = kRed;
  shape->fBorderColor = kBlue;
  shape->fBorderWidth = 3;
  return shape;
}

TEST(ConvertToImage, KeepsTheLookOfEveryKindAndCropsTheClearBorder) {
  auto line = std::make_unique<LineLayer>();
  line->setRect(QRectF(20, 30, 150, 70));
  line->fLineWidth = 4;
  line->fLineColor = kBlue;
  line->fPoints = {DPoint{10, 10}, DPoint{140, 60}};
  line->fEndShape = 1;
  auto text = std::make_unique<TextLayer>();
  text->setRect(QRectF(10, 10, 180, 100));
  text->fText = "Lumora";
  text->fFont.Height = fontHeightFromSize(24);
  text->fFont.Color = kRed;
  text->fBorderWidth = 0;
  text->fFillColor = clNone;
  auto turned = ellipse();
  turned->fShape = 40;  // heart: not symmetric top to bottom
  turned->fRotate = 30;
  turned->fRotateCenterX = 0.2;
  turned->fFlip = 2;
  auto faded = ellipse();
  faded->fOpacity = 0.5;
  faded->fFillOpacity = 0.4;
  faded->fOperation = RenderOperation::ielNormal;

  const auto plain = ellipse();
  const std::pair<const char*, const Layer*> cases[] = {
      {"ellipse", plain.get()},       {"line", line.get()},   {"text", text.get()},
      {"turned heart", turned.get()}, {"faded", faded.get()},
  };
  for (const auto& [name, layer] : cases) {
    SCOPED_TRACE(name);
    std::unique_ptr<ImageLayer> image;
    const Comparison c = lookBeforeAndAfter(*layer, &image);
    EXPECT_LE(c.meanDifference, 1.0);
    EXPECT_LE(c.centroidShift, 0.25);
    // Drawn at twice the size, and no larger than the drawing needs.
    EXPECT_NEAR(image->bitmap.width(), 2 * image->Width, 1);
    EXPECT_NEAR(image->bitmap.height(), 2 * image->Height, 1);
    EXPECT_LE(image->Width * image->Height, layer->Width * layer->Height);
    EXPECT_EQ(image->fOpacity, layer->fOpacity);
    EXPECT_EQ(image->fName, layer->fName);
  }

  // The text's ink is much smaller than its box, so the border crop shows.
  std::unique_ptr<ImageLayer> image;
  lookBeforeAndAfter(*text, &image);
  EXPECT_LT(image->Width, text->Width * 0.9);
  EXPECT_LT(image->Height, text->Height * 0.8);
}

TEST(ConvertToImage, AConvertedMaskHidesAndShowsTheSamePixels) {
  auto masked = [](std::unique_ptr<Layer> mask) {
    LayerStack stack;
    stack.add(clearBackground(120, 100));
    auto white = std::make_unique<ShapeLayer>();
    white->setRect(QRectF(0, 0, 120, 100));
    white->fShape = 4;
    white->fFillColor = 0xFFFFFF;
    white->fBorderWidth = 0;
    stack.add(std::move(white));
    stack.add(std::move(mask));
    return composeLayers(stack);
  };
  auto heart = std::make_unique<ShapeLayer>();
  heart->setRect(QRectF(0, 0, 120, 100));
  heart->fShape = 40;
  heart->fFillColor = heart->fFillColor2 = clBlack;
  heart->fBorderWidth = 0;
  heart->fIsMask = true;
  heart->fMaskInverted = true;
  heart->fVisible = false;
  const QImage before = masked(heart->clone());
  auto image = convertToImageLayer(*heart);
  EXPECT_EQ(image->bitmap.format(), PixelFormat::ie8g);
  EXPECT_TRUE(image->fIsMask);
  EXPECT_EQ(image->Width, 120);  // a mask keeps its rectangle
  const QImage after = masked(std::move(image));
  EXPECT_LE(compare(before, after).meanDifference, 1.0);
}

TEST(ConvertToImage, ReplacesTheLayerInTheStack) {
  LayerStack stack;
  stack.add(clearBackground(200, 140));
  stack.add(ellipse());
  EXPECT_FALSE(convertLayerToImage(stack, 0));
  EXPECT_TRUE(convertLayerToImage(stack, 1));
  EXPECT_EQ(stack.count(), 2);
  EXPECT_TRUE(stack.at(1).isImage());
}

}  // namespace
}  // namespace lumo
