#include <gtest/gtest.h>

#include <cmath>

#include "engine/render/Compositor.h"
#include "engine/render/ResampleFilter.h"
#include "engine/render/Resample.h"

namespace lumo {
namespace {

struct Rgba {
  int r, g, b, a;
};

// An image layer of one colour at its bitmap size; alpha < 255 adds an alpha plane.
std::unique_ptr<ImageLayer> solidLayer(int w, int h, Rgba c, double x = 0, double y = 0) {
  auto layer = std::make_unique<ImageLayer>();
  layer->setRect(QRectF(x, y, w, h));
  layer->bitmap = Bitmap(w, h, PixelFormat::ie24RGB);
  for (int row = 0; row < h; ++row) {
    uint8_t* p = layer->bitmap.mutableScanline(row);
    for (int i = 0; i < w; ++i, p += 3) {
      p[0] = uint8_t(c.b);
      p[1] = uint8_t(c.g);
      p[2] = uint8_t(c.r);
    }
  }
  if (c.a < 255) layer->bitmap.addAlpha(uint8_t(c.a));
  return layer;
}

// The premultiplied pixel of a composed picture.
Rgba at(const QImage& image, int x, int y) {
  const QRgb p = image.pixel(x, y);
  return {qRed(p), qGreen(p), qBlue(p), qAlpha(p)};
}

::testing::AssertionResult same(Rgba actual, Rgba expected) {
  if (actual.r == expected.r && actual.g == expected.g && actual.b == expected.b && actual.a == expected.a)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got " << actual.r << "," << actual.g << "," << actual.b << "," << actual.a
                                       << " expected " << expected.r << "," << expected.g << "," << expected.b << ","
                                       << expected.a;
}

// Normal "over" written out the long way: source colour c with alpha a over a
// premultiplied destination d with alpha da.
Rgba over(Rgba c, double a, Rgba d) {
  auto ch = [&](int s, int t) { return int(std::lround((s * a + t * (255 - a)) / 255.0)); };
  return {ch(c.r, d.r), ch(c.g, d.g), ch(c.b, d.b), int(std::lround(a + d.a * (255 - a) / 255.0))};
}

TEST(Compositor, EmptyStackGivesNothing) {
  EXPECT_TRUE(composeLayers(LayerStack()).isNull());
  EXPECT_TRUE(mergeLayersToBitmap(LayerStack()).isNull());
}

TEST(Compositor, BackgroundAloneComesOutAsItIs) {
  LayerStack stack;
  stack.add(solidLayer(3, 2, {200, 100, 50, 255}));
  const QImage out = composeLayers(stack);
  ASSERT_EQ(out.format(), QImage::Format_ARGB32_Premultiplied);
  ASSERT_EQ(out.size(), QSize(3, 2));
  EXPECT_TRUE(same(at(out, 2, 1), {200, 100, 50, 255}));
}

TEST(Compositor, NormalOverWithPartialAlphaOpacityAndTransparency) {
  struct Case {
    int alpha;
    double opacity;
    int transparency;
    int effectiveAlpha;  // pixel alpha × opacity × transparency / 255, rounded
  } cases[] = {
      {255, 1.0, 255, 255}, {128, 1.0, 255, 128}, {255, 0.5, 255, 128},
      {128, 0.5, 200, 50},  {255, 1.0, 100, 100}, {200, 0.0, 255, 0},
  };
  const Rgba bg{10, 20, 30, 255}, fg{250, 128, 4, 0};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "alpha " << c.alpha << " opacity " << c.opacity << " transparency "
                                    << c.transparency);
    LayerStack stack;
    stack.add(solidLayer(2, 2, bg));
    auto top = solidLayer(2, 2, {fg.r, fg.g, fg.b, c.alpha});
    top->fOpacity = c.opacity;
    top->fTransparency = c.transparency;
    stack.add(std::move(top));
    EXPECT_TRUE(same(at(composeLayers(stack), 1, 1), over(fg, c.effectiveAlpha, bg)));
  }
}

TEST(Compositor, TranslucentLayersOverATransparentBackground) {
  LayerStack stack;
  stack.add(solidLayer(1, 1, {0, 0, 0, 0}));
  stack.add(solidLayer(1, 1, {255, 0, 0, 128}));
  stack.add(solidLayer(1, 1, {0, 0, 255, 64}));
  Rgba expected = over({255, 0, 0, 0}, 128, {0, 0, 0, 0});
  expected = over({0, 0, 255, 0}, 64, expected);
  EXPECT_TRUE(same(at(composeLayers(stack), 0, 0), expected));
}

TEST(Compositor, HiddenLayersAndMasksAreNotDrawn) {
  LayerStack stack;
  stack.add(solidLayer(2, 2, {10, 20, 30, 255}));
  stack.add(solidLayer(2, 2, {255, 255, 255, 255}));
  stack.at(1).fVisible = false;
  stack.add(solidLayer(2, 2, {255, 255, 255, 255}));
  stack.at(2).fIsMask = true;
  const QImage out = composeLayers(stack);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_TRUE(same(at(out, x, y), {10, 20, 30, 255}));
}

TEST(Compositor, LayersArePlacedRelativeToTheBackgroundAndCroppedToIt) {
  LayerStack stack;
  stack.add(solidLayer(8, 6, {0, 0, 0, 255}, 10, 20));
  // Covers background columns 4 to 9 and rows -2 to 1: cropped at the right and top.
  stack.add(solidLayer(6, 4, {255, 0, 0, 255}, 14.9, 18));
  // Entirely outside.
  stack.add(solidLayer(3, 3, {0, 255, 0, 255}, 30, 20));
  const QImage out = composeLayers(stack);
  ASSERT_EQ(out.size(), QSize(8, 6));
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool red = x >= 4 && y <= 1;
      EXPECT_TRUE(same(at(out, x, y), red ? Rgba{255, 0, 0, 255} : Rgba{0, 0, 0, 255})) << x << "," << y;
    }
}

TEST(Compositor, OnlyTheVisiblePartOfACroppedLayerComesFromItsBitmap) {
  // A gradient layer half outside the canvas on the left: the canvas shows its right half.
  LayerStack stack;
  stack.add(solidLayer(2, 1, {0, 0, 0, 255}));
  auto ramp = solidLayer(4, 1, {0, 0, 0, 255}, -2, 0);
  for (int x = 0; x < 4; ++x) ramp->bitmap.mutableScanline(0)[x * 3 + 2] = uint8_t(x * 10);
  stack.add(std::move(ramp));
  const QImage out = composeLayers(stack);
  EXPECT_EQ(at(out, 0, 0).r, 20);
  EXPECT_EQ(at(out, 1, 0).r, 30);
}

TEST(Compositor, ResizedLayersAreDrawnThroughTheResampler) {
  LayerStack stack;
  stack.add(solidLayer(4, 2, {0, 0, 0, 255}));
  // Black and white, 2 × 1, drawn 4 × 1: bilinear between the outer pixel centres.
  auto enlarged = solidLayer(2, 1, {0, 0, 0, 255});
  uint8_t* p = enlarged->bitmap.mutableScanline(0);
  p[3] = p[4] = p[5] = 255;
  enlarged->Width = 4;
  // The area filter: a tent when enlarging, an area average when reducing.
  enlarged->fUseResampleFilter = true;
  enlarged->fResampleFilter = uint8_t(ResampleFilter::rfWICFant);
  stack.add(std::move(enlarged));
  // 8 × 2 of columns alternating 0 and 200 drawn 4 × 1: pairs average to 100.
  auto reduced = solidLayer(8, 2, {0, 0, 0, 255}, 0, 1);
  for (int y = 0; y < 2; ++y)
    for (int x = 1; x < 8; x += 2) reduced->bitmap.mutableScanline(y)[x * 3 + 1] = 200;
  reduced->Width = 4;
  reduced->Height = 1;
  reduced->fUseResampleFilter = true;
  reduced->fResampleFilter = uint8_t(ResampleFilter::rfWICFant);
  stack.add(std::move(reduced));

  const QImage out = composeLayers(stack);
  const int expectedRow0[] = {0, 64, 191, 255};
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(at(out, x, 0).r, expectedRow0[x]) << x;
    EXPECT_TRUE(same(at(out, x, 1), {0, 100, 0, 255})) << x;
  }

  // The layer's own filter is used only when it asks for it.
  auto& layer = static_cast<ImageLayer&>(stack.at(1));
  layer.fResampleFilter = uint8_t(ResampleFilter::rfNearest);
  const int nearest[] = {0, 0, 255, 255};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(at(composeLayers(stack), x, 0).r, nearest[x]) << x;
  layer.fUseResampleFilter = false;  // the default filter, a cubic, rises more steeply than the tent
  EXPECT_LT(at(composeLayers(stack), 1, 0).r, 64);
}

TEST(Compositor, ResizedLayerCroppedAtTheCanvasEdge) {
  // A 2 × 2 picture drawn 40 × 40 from (-5, -5) on a 10 × 10 canvas: the canvas sees
  // layer pixels 5 to 14 of the enlarged top-left cell and the start of its blend.
  LayerStack stack;
  stack.add(solidLayer(10, 10, {0, 0, 0, 255}));
  auto checker = solidLayer(2, 2, {255, 255, 255, 255});
  checker->bitmap.mutableScanline(0)[0] = 0;  // top-left is yellow
  checker->setRect(QRectF(-5, -5, 40, 40));
  checker->fUseResampleFilter = true;
  checker->fResampleFilter = uint8_t(ResampleFilter::rfBilinear);
  stack.add(std::move(checker));
  const QImage out = composeLayers(stack);
  // Up to layer pixel 9 the centre lies before the first source centre.
  EXPECT_TRUE(same(at(out, 0, 0), {255, 255, 0, 255}));
  EXPECT_TRUE(same(at(out, 4, 4), {255, 255, 0, 255}));
  // Layer pixel 14 lies 0.225 of the way to the next source centre on both axes.
  const double blue = 255 * (1 - 0.775 * 0.775);
  EXPECT_NEAR(at(out, 9, 9).b, blue, 1);
  EXPECT_NEAR(at(out, 9, 0).b, 255 * 0.225, 1);
}

// A stack with something of every drawing path: a gradient background, an offset
// translucent layer with a blend operation, a resized layer, a row-interleaving layer
// and a turned one.
LayerStack mixedStack() {
  LayerStack stack;
  auto background = solidLayer(37, 29, {0, 0, 0, 255});
  for (int y = 0; y < 29; ++y)
    for (int x = 0; x < 37; ++x) {
      uint8_t* p = background->bitmap.mutableScanline(y) + x * 3;
      p[0] = uint8_t(x * 7), p[1] = uint8_t(y * 9), p[2] = uint8_t(x * y);
    }
  stack.add(std::move(background));
  auto screen = solidLayer(20, 15, {40, 200, 90, 150}, 5, 3);
  screen->fOperation = RenderOperation::ielScreen;
  stack.add(std::move(screen));
  auto resized = solidLayer(4, 3, {250, 10, 10, 200}, 12, 9);
  resized->bitmap.mutableScanline(1)[4] = 255;
  resized->setRect(QRectF(12, 9, 21, 17));
  stack.add(std::move(resized));
  auto even = solidLayer(9, 12, {0, 0, 255, 255}, 25, 1);
  even->fOperation = RenderOperation::ielStereoEven;
  stack.add(std::move(even));
  auto turned = solidLayer(6, 4, {255, 255, 0, 255}, 2, 20);
  turned->fRotate = 30;
  stack.add(std::move(turned));
  return stack;
}

TEST(Compositor, ARegionIsThatPartOfTheWholePicture) {
  const LayerStack stack = mixedStack();
  const QImage whole = composeLayers(stack);
  ASSERT_EQ(whole.size(), QSize(37, 29));
  // Inside, across layer edges, on odd rows (the interleaving counts canvas rows), and
  // reaching beyond the canvas (clipped to it).
  for (const QRect region : {QRect(3, 4, 10, 7), QRect(11, 1, 20, 20), QRect(0, 0, 37, 29), QRect(30, 25, 20, 20),
                             QRect(-4, 5, 9, 3)}) {
    SCOPED_TRACE(testing::Message() << region.x() << "," << region.y() << " " << region.width() << "x"
                                    << region.height());
    const QRect clipped = region.intersected(whole.rect());
    const QImage part = composeLayers(stack, region);
    ASSERT_EQ(part.size(), clipped.size());
    EXPECT_EQ(part, whole.copy(clipped));
  }
  EXPECT_TRUE(composeLayers(stack, QRect(40, 0, 5, 5)).isNull());
}

TEST(Compositor, ComposingIntoAPictureReusesItWhenItFits) {
  const LayerStack stack = mixedStack();
  const QRect region(4, 6, 16, 9);
  QImage canvas(region.size(), QImage::Format_ARGB32_Premultiplied);
  canvas.fill(0xFF123456u);  // stale pixels of an earlier drawing
  const uchar* memory = canvas.constBits();
  composeLayers(stack, region, canvas);
  EXPECT_EQ(canvas.constBits(), memory);
  EXPECT_EQ(canvas, composeLayers(stack).copy(region));
  // Another size or format gets a new picture; nothing to draw leaves none.
  QImage other(3, 3, QImage::Format_RGB32);
  composeLayers(stack, region, other);
  EXPECT_EQ(other, composeLayers(stack).copy(region));
  composeLayers(LayerStack(), region, other);
  EXPECT_TRUE(other.isNull());
}

TEST(Compositor, OtherPixelFormatsAreDrawnAsRgb) {
  LayerStack stack;
  stack.add(solidLayer(2, 1, {0, 0, 0, 255}));
  auto grey = std::make_unique<ImageLayer>();
  grey->setRect(QRectF(0, 0, 2, 1));
  grey->bitmap = Bitmap(2, 1, PixelFormat::ie8g);
  grey->bitmap.mutableScanline(0)[0] = 100;
  grey->bitmap.mutableScanline(0)[1] = 200;
  stack.add(std::move(grey));
  auto rgb32 = std::make_unique<ImageLayer>();
  rgb32->setRect(QRectF(1, 0, 1, 1));
  rgb32->bitmap = Bitmap(1, 1, PixelFormat::ie32RGB);
  uint8_t* p = rgb32->bitmap.mutableScanline(0);
  p[0] = 3, p[1] = 2, p[2] = 1, p[3] = 99;
  rgb32->bitmap.addAlpha(255);
  stack.add(std::move(rgb32));
  const QImage out = composeLayers(stack);
  EXPECT_TRUE(same(at(out, 0, 0), {100, 100, 100, 255}));
  EXPECT_TRUE(same(at(out, 1, 0), {1, 2, 3, 255}));
}

TEST(Compositor, MergeGivesRgb24AndKeepsAlphaOnlyWhereNeeded) {
  LayerStack opaque;
  opaque.add(solidLayer(2, 2, {10, 20, 30, 255}));
  opaque.add(solidLayer(1, 1, {250, 128, 4, 128}, 1, 1));
  const Bitmap flat = mergeLayersToBitmap(opaque);
  EXPECT_EQ(flat.format(), PixelFormat::ie24RGB);
  EXPECT_EQ(flat.width(), 2);
  EXPECT_FALSE(flat.hasAlpha());
  const Rgba mixed = over({250, 128, 4, 0}, 128, {10, 20, 30, 255});
  const uint8_t* p = flat.scanline(1) + 3;
  EXPECT_EQ(p[0], mixed.b);
  EXPECT_EQ(p[1], mixed.g);
  EXPECT_EQ(p[2], mixed.r);

  LayerStack clear;
  clear.add(solidLayer(2, 1, {0, 0, 0, 0}));
  clear.add(solidLayer(1, 1, {200, 100, 50, 128}, 1, 0));
  const Bitmap translucent = mergeLayersToBitmap(clear);
  ASSERT_TRUE(translucent.hasAlpha());
  EXPECT_FALSE(translucent.alphaFull());
  EXPECT_EQ(translucent.alphaScanline(0)[0], 0);
  EXPECT_EQ(translucent.alphaScanline(0)[1], 128);
  // Colours come back unpremultiplied, to within the rounding of the premultiplied picture.
  const uint8_t* q = translucent.scanline(0) + 3;
  EXPECT_NEAR(q[2], 200, 1);
  EXPECT_NEAR(q[1], 100, 1);
  EXPECT_NEAR(q[0], 50, 1);
}

// A straight ARGB32 picture from rows of pixels.
QImage picture(int w, int h, const std::vector<QRgb>& pixels, QImage::Format format = QImage::Format_ARGB32) {
  QImage image(w, h, format);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) reinterpret_cast<QRgb*>(image.scanLine(y))[x] = pixels[size_t(y * w + x)];
  return image;
}

TEST(Resample, ReducingAveragesTheCoveredArea) {
  // 4 × 4 grey values, reduced to 2 × 2: each output is the mean of a 2 × 2 block.
  const int v[16] = {0, 40, 100, 100, 80, 120, 100, 100, 255, 255, 0, 10, 255, 251, 20, 30};
  std::vector<QRgb> pixels;
  for (int g : v) pixels.push_back(qRgb(g, g, g));
  const QImage out = resampleImage(picture(4, 4, pixels), 2, 2);
  ASSERT_EQ(out.format(), QImage::Format_ARGB32);
  EXPECT_EQ(qRed(out.pixel(0, 0)), 60);
  EXPECT_EQ(qRed(out.pixel(1, 0)), 100);
  EXPECT_EQ(qRed(out.pixel(0, 1)), 254);
  EXPECT_EQ(qRed(out.pixel(1, 1)), 15);
  EXPECT_EQ(qAlpha(out.pixel(1, 1)), 255);

  // 3 → 2: each output covers one and a half source pixels.
  const QImage thirds = resampleImage(picture(3, 1, {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(90, 90, 90)}), 2, 1);
  EXPECT_EQ(qRed(thirds.pixel(0, 0)), 85);   // (2·0 + 1·255) / 3
  EXPECT_EQ(qRed(thirds.pixel(1, 0)), 145);  // (1·255 + 2·90) / 3
}

TEST(Resample, TransparentPixelsLendNoColour) {
  const QImage straight = resampleImage(picture(2, 1, {qRgba(255, 0, 0, 255), qRgba(0, 255, 0, 0)}), 1, 1);
  EXPECT_EQ(straight.pixel(0, 0), qRgba(255, 0, 0, 128));

  const QImage pre = picture(2, 1, {qRgba(200, 0, 0, 200), qRgba(0, 0, 0, 0)}, QImage::Format_ARGB32_Premultiplied);
  const QImage out = resampleImage(pre, 1, 1);
  ASSERT_EQ(out.format(), QImage::Format_ARGB32_Premultiplied);
  EXPECT_EQ(reinterpret_cast<const QRgb*>(out.constScanLine(0))[0], qRgba(100, 0, 0, 100));
}

TEST(Resample, EnlargingInterpolatesBetweenPixelCentres) {
  const QImage out = resampleImage(picture(2, 2, {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(255, 0, 255)}), 4, 4);
  ASSERT_EQ(out.size(), QSize(4, 4));
  EXPECT_EQ(out.pixel(0, 0), qRgb(0, 0, 0));
  EXPECT_EQ(out.pixel(3, 3), qRgb(255, 0, 255));
  EXPECT_EQ(out.pixel(1, 2), qRgb(64, 0, 191));
}

TEST(Resample, APartIsTheSameAsTheCropOfTheWhole) {
  std::vector<QRgb> pixels;
  for (int i = 0; i < 7 * 5; ++i) pixels.push_back(qRgba(i * 7 % 256, i * 13 % 256, i * 29 % 256, 55 + i * 5));
  const QImage source = picture(7, 5, pixels);
  for (QSize size : {QSize(3, 2), QSize(16, 11), QSize(4, 9)}) {
    const QImage whole = resampleImage(source, size.width(), size.height());
    const QRect part(1, 1, size.width() - 2, size.height() - 1);
    EXPECT_EQ(resampleImage(source, size.width(), size.height(), part), whole.copy(part)) << size.width();
    // A part reaching outside the result is clipped to it.
    EXPECT_EQ(resampleImage(source, size.width(), size.height(), QRect(-5, -5, 100, 100)), whole);
  }
}

TEST(Resample, SameSizeKeepsThePixelsAndBadSizesGiveNothing) {
  const QImage source = picture(2, 1, {qRgba(1, 2, 3, 4), qRgba(5, 6, 7, 8)});
  EXPECT_EQ(resampleImage(source, 2, 1), source);
  EXPECT_TRUE(resampleImage(source, 0, 1).isNull());
  EXPECT_TRUE(resampleImage(QImage(), 2, 2).isNull());
  EXPECT_TRUE(resampleImage(source, 2, 2, QRect(5, 5, 1, 1)).isNull());
}

}  // namespace
}  // namespace lumo
