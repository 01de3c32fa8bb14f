#include <gtest/gtest.h>

#include "engine/render/Compositor.h"
#include "support/GuiEnvironment.h"

namespace lumo {
namespace {

QRgb argb(int r, int g, int b, int a = 255) { return qRgba(r, g, b, a); }

// An image layer of w × h pixels painted by `colour(x, y)` (straight ARGB), with an
// alpha plane.
template <class F>
std::unique_ptr<ImageLayer> paintedLayer(int w, int h, double x, double y, F colour) {
  auto layer = std::make_unique<ImageLayer>();
  layer->setRect(QRectF(x, y, w, h));
  layer->bitmap = Bitmap(w, h, PixelFormat::ie24RGB);
  layer->bitmap.addAlpha(255);
  for (int row = 0; row < h; ++row) {
    uint8_t* p = layer->bitmap.mutableScanline(row);
    uint8_t* a = layer->bitmap.mutableAlphaScanline(row);
    for (int i = 0; i < w; ++i, p += 3) {
      const QRgb c = colour(i, row);
      p[0] = uint8_t(qBlue(c)), p[1] = uint8_t(qGreen(c)), p[2] = uint8_t(qRed(c)), a[i] = uint8_t(qAlpha(c));
    }
  }
  return layer;
}
std::unique_ptr<ImageLayer> solid(int w, int h, QRgb c, double x = 0, double y = 0) {
  return paintedLayer(w, h, x, y, [c](int, int) { return c; });
}
// A grey mask image (no alpha plane), as an added mask is made.
std::unique_ptr<ImageLayer> greyMask(int w, int h, double x, double y, uint8_t (*level)(int x, int y)) {
  auto mask = std::make_unique<ImageLayer>();
  mask->setRect(QRectF(x, y, w, h));
  mask->bitmap = Bitmap(w, h, PixelFormat::ie8g);
  for (int row = 0; row < h; ++row)
    for (int i = 0; i < w; ++i) mask->bitmap.mutableScanline(row)[i] = level(i, row);
  mask->fIsMask = true;
  mask->fVisible = false;
  return mask;
}

// The composed pixel with premultiplication undone, as a straight QRgb.
QRgb pixelAt(const QImage& image, int x, int y) { return image.convertToFormat(QImage::Format_ARGB32).pixel(x, y); }

TEST(Masks, GreyLevelsOfAnImageMaskScaleTheLayerBelow) {
  struct Case {
    uint8_t (*level)(int, int);
    bool inverted;
    int expectedAlphaLeft, expectedAlphaRight;
  } cases[] = {
      // An empty mask (all white) shows everything, painted black hides; an image mask is
      // read as it is, inverted or not.
      {[](int, int) -> uint8_t { return 255; }, true, 255, 255},
      {[](int x, int) -> uint8_t { return x < 2 ? 0 : 255; }, true, 0, 255},
      {[](int x, int) -> uint8_t { return x < 2 ? 0 : 128; }, false, 0, 128},
  };
  for (const Case& c : cases) {
    LayerStack stack;
    stack.add(solid(4, 2, argb(0, 0, 0, 0)));
    stack.add(solid(4, 2, argb(255, 255, 255)));
    auto mask = greyMask(4, 2, 0, 0, c.level);
    mask->fMaskInverted = c.inverted;
    stack.add(std::move(mask));
    const QImage out = composeLayers(stack);
    EXPECT_EQ(qAlpha(out.pixel(0, 1)), c.expectedAlphaLeft);
    EXPECT_EQ(qAlpha(out.pixel(3, 0)), c.expectedAlphaRight);
  }
}

TEST(Masks, TheMaskIsPlacedByItsOwnRectangleAndOnlyActsOnTheLayerBelow) {
  LayerStack stack;
  stack.add(solid(6, 2, argb(0, 0, 0, 0)));
  stack.add(solid(6, 2, argb(255, 0, 0)));
  // Black over columns 2 and 3 only; outside its rectangle the mask counts as white.
  stack.add(greyMask(2, 2, 2, 0, [](int, int) -> uint8_t { return 0; }));
  stack.add(solid(1, 1, argb(0, 255, 0), 5, 1));
  const QImage out = composeLayers(stack);
  EXPECT_EQ(pixelAt(out, 1, 0), argb(255, 0, 0));
  EXPECT_EQ(qAlpha(out.pixel(2, 0)), 0);
  EXPECT_EQ(qAlpha(out.pixel(3, 1)), 0);
  EXPECT_EQ(pixelAt(out, 4, 0), argb(255, 0, 0));
  EXPECT_EQ(pixelAt(out, 5, 1), argb(0, 255, 0));  // the layer above the mask is not masked
}

TEST(Masks, AVectorMaskShowsTheLayerThroughItsShapeWhenInverted) {
  for (bool inverted : {true, false}) {
    LayerStack stack;
    stack.add(solid(8, 4, argb(0, 0, 0, 0)));
    stack.add(solid(8, 4, argb(255, 255, 255)));
    // A black rectangle over the left half, on a clear ground.
    auto shape = std::make_unique<ShapeLayer>();
    shape->setRect(QRectF(0, 0, 4, 4));
    shape->fShape = 4;  // rectangle
    shape->fFillColor = clBlack;
    shape->fFillColor2 = clNone;
    shape->fBorderWidth = 0;
    shape->fAntiAlias = false;
    shape->fIsMask = true;
    shape->fMaskInverted = inverted;
    shape->fVisible = false;
    stack.add(std::move(shape));
    const QImage out = composeLayers(stack);
    SCOPED_TRACE(inverted ? "inverted" : "not inverted");
    EXPECT_EQ(qAlpha(out.pixel(1, 1)), inverted ? 255 : 0);
    EXPECT_EQ(qAlpha(out.pixel(6, 2)), inverted ? 0 : 255);
  }
}

// The five masks the Layer menu adds, each built as the menu builds it, over a white
// layer on a clear background: the one compositing rule must make every kind behave as
// its user expects.
struct MaskedAlpha {
  QImage out;
  int alpha(int x, int y) const { return qAlpha(out.pixel(x, y)); }
  double visibleShare() const {
    int64_t sum = 0;
    for (int y = 0; y < out.height(); ++y)
      for (int x = 0; x < out.width(); ++x) sum += qAlpha(out.pixel(x, y));
    return double(sum) / (255.0 * out.width() * out.height());
  }
};
MaskedAlpha composeWithMask(int w, int h, std::unique_ptr<Layer> mask) {
  LayerStack stack;
  stack.add(solid(w, h, argb(0, 0, 0, 0)));
  stack.add(solid(w, h, argb(255, 255, 255)));
  mask->setRect(QRectF(0, 0, w, h));  // aligned to the masked layer
  mask->fIsMask = true;
  mask->fVisible = false;
  stack.add(std::move(mask));
  return {composeLayers(stack)};
}

TEST(Masks, TheFiveKindsTheMenuAddsBehaveAsTheirNamesSay) {
  {
    SCOPED_TRACE("empty mask: all visible when added; painting black then hides");
    auto mask = greyMask(8, 4, 0, 0, [](int, int) -> uint8_t { return 255; });
    mask->fMaskInverted = true;
    auto painted = std::unique_ptr<ImageLayer>(static_cast<ImageLayer*>(mask->clone().release()));
    EXPECT_DOUBLE_EQ(composeWithMask(8, 4, std::move(mask)).visibleShare(), 1.0);
    painted->bitmap.mutableScanline(1)[2] = 0;
    const MaskedAlpha after = composeWithMask(8, 4, std::move(painted));
    EXPECT_EQ(after.alpha(2, 1), 0);
    EXPECT_EQ(after.alpha(3, 1), 255);
  }
  {
    SCOPED_TRACE("gradient mask: black to white, top to bottom, fades the layer out downwards");
    auto shape = std::make_unique<ShapeLayer>();
    shape->fShape = 4;  // rectangle
    shape->fFillColor = clBlack;
    shape->fFillColor2 = clWhite;
    shape->fFillGradient = 2;  // vertical
    shape->fBorderWidth = 0;
    shape->fBorderColor = clBlack;
    shape->fMaskInverted = true;
    const MaskedAlpha m = composeWithMask(16, 64, std::move(shape));
    EXPECT_GT(m.alpha(8, 1), 230);
    EXPECT_NEAR(m.alpha(8, 32), 128, 24);
    EXPECT_LT(m.alpha(8, 62), 25);
  }
  {
    SCOPED_TRACE("shape mask: the layer shows through the heart only");
    auto shape = std::make_unique<ShapeLayer>();
    shape->fShape = 40;  // heart
    shape->fFillColor = shape->fFillColor2 = clBlack;
    shape->fFillGradient = 0;
    shape->fBorderWidth = 0;
    shape->fBorderColor = clWhite;
    shape->fMaskInverted = true;
    const MaskedAlpha m = composeWithMask(64, 64, std::move(shape));
    EXPECT_EQ(m.alpha(32, 36), 255);
    for (const QPoint corner : {QPoint(0, 0), QPoint(63, 0), QPoint(0, 63), QPoint(63, 63)})
      EXPECT_EQ(m.alpha(corner.x(), corner.y()), 0) << corner.x() << "," << corner.y();
    EXPECT_GT(m.visibleShare(), 0.3);
    EXPECT_LT(m.visibleShare(), 0.8);
  }
  {
    SCOPED_TRACE("text mask: the layer shows through the glyphs only");
    auto text = std::make_unique<TextLayer>();
    text->fText = "This is Mask";
    text->fFont.Name = "Arial Black";
    text->fFont.Height = fontHeightFromSize(144);
    text->fFont.Color = clBlack;
    text->fFont.Style = 0;
    text->fAlignment = 2;  // centre
    text->fLayout = 2;     // centre
    text->fFillColor = clNone;
    text->fBorderWidth = 0;
    text->fMaskInverted = true;
    const MaskedAlpha m = composeWithMask(1400, 300, std::move(text));
    EXPECT_EQ(m.alpha(2, 2), 0);
    EXPECT_EQ(m.alpha(1397, 297), 0);
    EXPECT_GT(m.visibleShare(), 0.05);
    EXPECT_LT(m.visibleShare(), 0.6);
  }
  {
    SCOPED_TRACE("mask from an image file: read as it is, white shows and black hides");
    auto picture = paintedLayer(8, 4, 0, 0, [](int x, int) { return x < 4 ? argb(0, 0, 0) : argb(255, 255, 255); });
    const MaskedAlpha m = composeWithMask(8, 4, std::move(picture));
    EXPECT_EQ(m.alpha(1, 1), 0);
    EXPECT_EQ(m.alpha(6, 2), 255);
  }
}

TEST(LayerEffects, SoftShadowFallsAtItsOffsetInItsColour) {
  LayerStack stack;
  stack.add(solid(20, 12, argb(255, 255, 255)));
  stack.add(solid(4, 4, argb(255, 0, 0), 4, 4));
  Layer& layer = stack.at(1);
  layer.SoftShadow = {true, 0, 6, 1, 100, RGB24{255, 0, 0}};  // hard, blue, 6 right and 1 down
  QImage out = composeLayers(stack);
  EXPECT_EQ(pixelAt(out, 5, 5), argb(255, 0, 0));   // the layer covers its own shadow
  EXPECT_EQ(pixelAt(out, 12, 6), argb(0, 0, 255));  // the shadow
  EXPECT_EQ(pixelAt(out, 12, 4), argb(255, 255, 255));
  EXPECT_EQ(pixelAt(out, 14, 6), argb(255, 255, 255));

  // Half intensity, blurred: softer inside, some colour beyond the hard edge.
  layer.SoftShadow.Intensity = 50;
  layer.SoftShadow.Radius = 6;
  out = composeLayers(stack);
  const int inside = 255 - qRed(pixelAt(out, 12, 6)), beyond = 255 - qRed(pixelAt(out, 15, 6));
  EXPECT_GT(inside, 0);
  EXPECT_LT(inside, 128);
  EXPECT_GT(beyond, 0);
  EXPECT_LT(beyond, inside);
  EXPECT_EQ(qBlue(pixelAt(out, 12, 6)), 255);

  layer.SoftShadow.Enabled = false;
  EXPECT_EQ(pixelAt(composeLayers(stack), 12, 6), argb(255, 255, 255));
}

TEST(LayerEffects, InnerGlowLightensTheEdgeOnly) {
  LayerStack stack;
  stack.add(solid(11, 11, argb(0, 0, 0, 0)));
  stack.add(solid(11, 11, argb(0, 0, 0)));
  stack.at(1).InnerGlow = {true, 3, 0, 0, 0, RGB24{255, 255, 255}};
  const QImage out = composeLayers(stack);
  const QRgb edge = pixelAt(out, 0, 5), near = pixelAt(out, 2, 5), centre = pixelAt(out, 5, 5);
  EXPECT_GT(qRed(edge), qRed(near));
  EXPECT_GT(qRed(near), 0);
  EXPECT_EQ(centre, argb(0, 0, 0));
  EXPECT_EQ(qAlpha(edge), 255);  // the glow keeps the layer's alpha
}

TEST(LayerEffects, FeatheringFadesTheAlphaTowardsTheEdge) {
  LayerStack stack;
  stack.add(solid(9, 9, argb(0, 0, 0, 0)));
  stack.add(solid(9, 9, argb(0, 0, 255)));
  stack.at(1).fAlphaEdgeFeathering = 3;
  const QImage out = composeLayers(stack);
  // Distances 1, 2, 3 from the edge keep 1/6, 1/2 and 5/6 of the alpha.
  EXPECT_NEAR(qAlpha(out.pixel(0, 4)), 255 / 6.0, 1);
  EXPECT_NEAR(qAlpha(out.pixel(1, 4)), 255 / 2.0, 1);
  EXPECT_NEAR(qAlpha(out.pixel(2, 4)), 255 * 5 / 6.0, 1);
  EXPECT_EQ(qAlpha(out.pixel(4, 4)), 255);
  EXPECT_EQ(qBlue(pixelAt(out, 0, 4)), 255);
}

// A 4 × 2 green layer at (3, 4) whose top-right pixel is red.
std::unique_ptr<ImageLayer> markedLayer() {
  return paintedLayer(4, 2, 3, 4, [](int x, int y) { return x == 3 && y == 0 ? argb(255, 0, 0) : argb(0, 255, 0); });
}

TEST(LayerGeometry, RotationAndFlipMoveAKnownPixel) {
  struct Case {
    double degrees;
    uint8_t flip;
    QPoint red;       // where the marked pixel lands
    QRect covered;    // the pixels the layer covers
  } cases[] = {
      {0, 1, {3, 4}, {3, 4, 4, 2}},    // horizontal flip: top-left
      {0, 2, {6, 5}, {3, 4, 4, 2}},    // vertical flip: bottom-right
      {0, 3, {3, 5}, {3, 4, 4, 2}},
      {90, 0, {4, 3}, {4, 3, 2, 4}},   // counter-clockwise about the centre (5, 5)
      {-90, 0, {5, 6}, {4, 3, 2, 4}},
      {180, 0, {3, 5}, {3, 4, 4, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.degrees << " degrees, flip " << int(c.flip));
    LayerStack stack;
    stack.add(solid(10, 10, argb(0, 0, 0, 0)));
    stack.add(markedLayer());
    stack.at(1).fRotate = c.degrees;
    stack.at(1).fFlip = c.flip;
    const QImage out = composeLayers(stack);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10; ++x) {
        const QRgb expected = QPoint(x, y) == c.red          ? argb(255, 0, 0)
                              : c.covered.contains(x, y) ? argb(0, 255, 0)
                                                          : argb(0, 0, 0, 0);
        EXPECT_EQ(pixelAt(out, x, y), expected) << x << "," << y;
      }
  }
}

TEST(LayerGeometry, TheCentreOfRotationIsAFractionOfTheLayer) {
  LayerStack stack;
  stack.add(solid(10, 10, argb(0, 0, 0, 0)));
  stack.add(markedLayer());
  stack.at(1).fRotate = 90;
  stack.at(1).fRotateCenterX = 0;  // about the top-left corner (3, 4)
  stack.at(1).fRotateCenterY = 0;
  const QImage out = composeLayers(stack);
  // The layer now covers x 3 ... 4, y 0 ... 3; its top-right pixel lands at the top left.
  EXPECT_EQ(pixelAt(out, 3, 0), argb(255, 0, 0));
  EXPECT_EQ(pixelAt(out, 4, 3), argb(0, 255, 0));
  EXPECT_EQ(qAlpha(out.pixel(5, 1)), 0);
}

}  // namespace
}  // namespace lumo
