#include <gtest/gtest.h>

#include <memory>


#include "engine/layers/LayerKinds.h"
#include "engine/render/ShapePaths.h"
#include "engine/render/VectorRaster.h"
#include "support/GuiEnvironment.h"

namespace lumo {
namespace {

constexpr TColor kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000;

bool ink(const QImage& img, int x, int y) { return qAlpha(img.pixel(x, y)) > 128; }

// Number of separate inked runs along a row: 1 for a solid line, more for dashes.
int runsInRow(const QImage& img, int y, int from, int to) {
  int runs = 0;
  bool prev = false;
  for (int x = from; x < to; ++x) {
    const bool on = ink(img, x, y);
    runs += on && !prev;
    prev = on;
  }
  return runs;
}

ShapeLayer filledShape(int shape, int modifier = 0) {
  ShapeLayer l;
  l.Width = l.Height = 100;
  l.fShape = uint8_t(shape);
  l.fShapeModifier = modifier;
  l.fBorderColor = clNone;
  l.fFillColor = kRed;
  return l;
}

enum Centre { In, Out, Edge };
struct ShapeCase {
  int shape;
  const char* name;
  Centre centre;
  const char* corners;  // top-left, top-right, bottom-left, bottom-right: X covered, . empty
};

const ShapeCase kShapes[] = {
    {0, "Ellipse", In, "...."},
    {1, "Half Ellipse", In, "..XX"},
    {2, "Quarter Ellipse", In, "X.XX"},
    {3, "Ellipse Segment", In, "..XX"},
    {4, "Rectangle", In, "XXXX"},
    {5, "Round Rectangle", In, "...."},
    {6, "Triangle", In, "..XX"},
    {7, "Corner", Edge, "..X."},
    {8, "Diamond", In, "...."},
    {9, "Pentagon", In, "...."},
    {10, "Hexagon", In, "...."},
    {11, "Heptagon", In, "...."},
    {12, "Octagon", In, "...."},
    {13, "Custom Shape", In, "...."},
    {14, "5-Point Star", In, "...."},
    {15, "6-Point Star", In, "...."},
    {16, "Custom Star", In, "...."},
    {17, "Arrow Left", In, "...."},
    {18, "Arrow Right", In, "...."},
    {19, "Arrow Up", In, "...."},
    {20, "Arrow Down", In, "...."},
    {21, "Arrow Left and Right", In, "...."},
    {22, "Arrow Up and Down", In, "...."},
    {23, "Arrow NW", In, "...."},
    {24, "Arrow NE", In, "...."},
    {25, "Arrow SW", In, "...."},
    {26, "Arrow SE", In, "...."},
    {27, "Fat Arrow Left", In, "...."},
    {28, "Fat Arrow Right", In, "...."},
    {29, "Fat Arrow Up", In, "...."},
    {30, "Fat Arrow Down", In, "...."},
    {31, "Shooting Arrow NW", In, "X..."},
    {32, "Shooting Arrow NE", In, ".X.."},
    {33, "Shooting Arrow SW", In, "..X."},
    {34, "Shooting Arrow SE", In, "...X"},
    {35, "Lightning Left", In, "...."},
    {36, "Lightning Right", In, "...."},
    {37, "Explosion", In, "...."},
    {38, "Custom Explosion", In, "...."},
    {39, "Cross", In, "...."},
    {40, "Heart", In, "...."},
    {41, "Double Heart", In, "...."},
    {42, "Cloud", In, "...."},
    {43, "Moon", Out, "...."},
    {44, "Left Speech Bubble In", In, "...."},
    {45, "Left Speech Bubble Out", In, "..X."},
    {46, "Right Speech Bubble In", In, "...."},
    {47, "Right Speech Bubble Out", In, "...X"},
    {48, "Left Caption Bubble In", In, "XX.."},
    {49, "Left Caption Bubble Out", In, ".XX."},
    {50, "Right Caption Bubble In", In, "XX.."},
    {51, "Right Caption Bubble Out", In, "X..X"},
    {52, "Left Thought Bubble", In, "..X."},
    {53, "Right Thought Bubble", In, "...X"},
    {54, "Shield", In, "...."},
    {55, "Badge", In, "...."},
    {56, "Name Plate", In, "...."},
    {57, "Frame", Out, "XXXX"},
    {58, "Narrow Frame", Out, "XXXX"},
    {59, "Fat Frame", Out, "XXXX"},
    {60, "Circular Frame", Out, "...."},
    {61, "Pin Left", In, "...."},
    {62, "Pin Right", In, "...."},
    {63, "Marker", In, "...."},
    {64, "Rain Drop", In, "...."},
    {65, "Banner", In, "..XX"},
    {66, "Female", Out, "...."},
    {67, "Male", Out, ".X.."},
    {68, "Music", Out, ".X.."},
    {69, "Power", In, "...."},
    {70, "Smile", In, "...."},
    {71, "Rainbow", In, "..XX"},
    {72, "Candy", In, "...."},
    {73, "Sun", In, "...."},
    {74, "Brooch", In, "...."},
    {75, "Cog", Out, "...."},
    {76, "Cog 2", Out, "...."},
    {77, "Custom Cog", Out, "...."},
    {78, "Asterisk", In, "...."},
    {79, "Custom Asterisk", In, "...."},
    {80, "Clover", In, "...."},
    {81, "Flower", In, "...."},
    {82, "Flower 2", In, "...."},
    {83, "Custom Flower", In, "...."},
    {84, "Radiance", In, "...."},
    {85, "Custom Radiance", In, "...."},
    {86, "Custom Radiance 2", In, "...."},
    {87, "Splat", In, "...."},
    {88, "Crown", In, "...."},
    {89, "Envelope", In, "..XX"},
    {90, "Hand Pointing Left", In, "...."},
    {91, "Hand Pointing Right", In, "...."},
    {92, "Tag Left", In, ".X.X"},
    {93, "Tag Right", In, "X.X."},
    {94, "Tag Up", In, "..XX"},
    {95, "Tag Down", In, "XX.."},
    {96, "Shopping Tag Left", In, "...."},
    {97, "Shopping Tag Right", In, "...."},
    {98, "Shopping Tag Up", In, "...."},
    {99, "Shopping Tag Down", In, "...."},
    {100, "Chevron Left", In, ".X.X"},
    {101, "Chevron Right", In, "X.X."},
    {102, "Chevron Up", In, "..XX"},
    {103, "Chevron Down", In, "XX.."},
    {104, "Simple Arrow Left", In, "...."},
    {105, "Simple Arrow Right", In, "...."},
    {106, "Simple Arrow Up", In, "...."},
    {107, "Simple Arrow Down", In, "...."},
    {108, "Simple Arrow NW", In, "X..."},
    {109, "Simple Arrow NE", In, ".X.."},
    {110, "Simple Arrow SW", In, "..X."},
    {111, "Simple Arrow SE", In, "...X"},
    {112, "Flag", In, "X.X."},
    {113, "Dinosaur", In, "...."},
    {114, "Pine Tree", In, "...."},
    {115, "Palm Tree", In, "...."},
};

TEST(VectorShapes, EachShapeCoversWhatItsNameSays) {
  ASSERT_EQ(std::size(kShapes), size_t(kShapeCount));
  for (const ShapeCase& c : kShapes) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.shape, &c - kShapes);
    const QImage img = rasterizeVectorLayer(filledShape(c.shape));
    ASSERT_EQ(img.size(), QSize(100, 100));
    if (c.centre != Edge) {
      EXPECT_EQ(ink(img, 50, 50), c.centre == In);
    }
    const QPoint corners[] = {{1, 1}, {98, 1}, {1, 98}, {98, 98}};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(ink(img, corners[k].x(), corners[k].y()), c.corners[k] == 'X') << k;
    // Every shape reaches all four sides of its box.
    int top = 100, bottom = -1, left = 100, right = -1;
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 100; ++x)
        if (qAlpha(img.pixel(x, y)) > 0) {
          top = std::min(top, y), bottom = std::max(bottom, y), left = std::min(left, x), right = std::max(right, x);
        }
    EXPECT_EQ(top, 0);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(bottom, 99);
    EXPECT_EQ(right, 99);
  }
}

TEST(VectorShapes, CustomShapesWithTheDefaultCountAreTheirNamedShape) {
  struct Case {
    int custom, count, named;
  } cases[] = {{13, 5, 9}, {16, 5, 14}, {38, 12, 37}, {77, 10, 75}, {79, 6, 78}, {83, 8, 82}, {85, 16, 84}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.custom);
    const QImage named = rasterizeVectorLayer(filledShape(c.named));
    EXPECT_EQ(rasterizeVectorLayer(filledShape(c.custom, c.count)), named);
    EXPECT_EQ(rasterizeVectorLayer(filledShape(c.custom, 0)), named);  // unset: the default count
    EXPECT_NE(rasterizeVectorLayer(filledShape(c.custom, c.count + 2)), named);
  }
}

TEST(VectorShapes, RoundRectangleModifierIsTheCornerRadius) {
  EXPECT_TRUE(ink(rasterizeVectorLayer(filledShape(5, 5)), 5, 5));
  EXPECT_FALSE(ink(rasterizeVectorLayer(filledShape(5, 50)), 10, 10));
  EXPECT_TRUE(ink(rasterizeVectorLayer(filledShape(5, 50)), 50, 2));
}

TEST(VectorShapes, BorderFillAndOpacity) {
  ShapeLayer l = filledShape(4);
  l.fBorderColor = kBlue;
  l.fBorderWidth = 6;
  l.fFillColor = clNone;
  QImage img = rasterizeVectorLayer(l);
  EXPECT_EQ(img.pixel(2, 50), qRgb(0, 0, 255));  // the border lies inside the layer
  EXPECT_EQ(img.pixel(97, 50), qRgb(0, 0, 255));
  EXPECT_EQ(qAlpha(img.pixel(50, 50)), 0);

  l.fFillColor = kRed;
  l.fFillOpacity = 0.5;
  img = rasterizeVectorLayer(l);
  const QRgb c = img.pixel(50, 50);
  EXPECT_NEAR(qAlpha(c), 128, 1);
  EXPECT_EQ(qRed(c), 255);  // straight, not premultiplied
  EXPECT_EQ(qBlue(c), 0);

  l.fBorderColor = clNone;
  l.fFillOpacity = 1;
  l.fAntiAlias = false;
  img = rasterizeVectorLayer(filledShape(0));
  EXPECT_EQ(img.pixel(50, 50), qRgb(255, 0, 0));
}

TEST(VectorShapes, GradientDirections) {
  struct Case {
    int gradient;
    QPoint colour1, colour2;
  } cases[] = {
      {1, {1, 50}, {98, 50}},  {2, {50, 1}, {50, 98}}, {3, {1, 50}, {50, 50}},   {4, {50, 1}, {50, 50}},
      {5, {1, 1}, {98, 98}},   {6, {98, 1}, {1, 98}},  {7, {1, 1}, {50, 50}},    {8, {98, 1}, {50, 50}},
      {9, {1, 50}, {98, 50}},  {10, {98, 50}, {1, 50}}, {11, {50, 1}, {50, 98}}, {12, {50, 98}, {50, 1}},
      {13, {1, 1}, {98, 98}},  {14, {98, 1}, {1, 98}}, {15, {1, 98}, {98, 1}},   {16, {98, 98}, {1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gradient);
    ShapeLayer l = filledShape(4);
    l.fFillColor2 = kGreen;
    l.fFillGradient = uint8_t(c.gradient);
    const QImage img = rasterizeVectorLayer(l);
    const QRgb a = img.pixel(c.colour1), b = img.pixel(c.colour2);
    EXPECT_GT(qRed(a), 220);
    EXPECT_LT(qGreen(a), 35);
    EXPECT_GT(qGreen(b), 220);
    EXPECT_LT(qRed(b), 35);
  }
  // No second colour: a plain fill.
  ShapeLayer l = filledShape(4);
  l.fFillGradient = 1;
  EXPECT_EQ(rasterizeVectorLayer(l).pixel(98, 50), qRgb(255, 0, 0));
}

LineLayer line(int style, int width = 4) {
  LineLayer l;
  l.Width = 200;
  l.Height = 60;
  l.fPoints = {DPoint{10, 30}, DPoint{190, 30}};
  l.fLineColor = kRed;
  l.fLineWidth = width;
  l.fLineStyle = uint8_t(style);
  l.fLineFillColor = kBlue;
  return l;
}

TEST(VectorLines, PenStylesDrawDifferentPatterns) {
  std::vector<QImage> drawn;
  for (int style = 0; style < 7; ++style) {
    SCOPED_TRACE(style);
    const QImage img = rasterizeVectorLayer(line(style));
    const int runs = runsInRow(img, 30, 0, 200);
    if (style == 0) {
      EXPECT_EQ(runs, 1);
    } else {
      EXPECT_GE(runs, 3);
    }
    for (const QImage& other : drawn) EXPECT_NE(img, other);
    drawn.push_back(img);
  }
  // The narrow dash repeats more often than the wide one.
  EXPECT_GT(runsInRow(drawn[5], 30, 0, 200), runsInRow(drawn[6], 30, 0, 200));
}

TEST(VectorLines, EndShapes) {
  const QImage plain = rasterizeVectorLayer(line(0));
  std::vector<QImage> drawn{plain};
  for (int shape = 1; shape < 8; ++shape) {
    SCOPED_TRACE(shape);
    LineLayer l = line(0);
    l.fEndShape = uint8_t(shape);
    l.fShapeSize = 20;
    const QImage img = rasterizeVectorLayer(l);
    // Every end shape stands out above the line near its end, and only there.
    bool above = false;
    for (int x = 170; x < 200; ++x) above = above || ink(img, x, 26);
    EXPECT_TRUE(above);
    EXPECT_FALSE(ink(img, 20, 26));
    for (const QImage& other : drawn) EXPECT_NE(img, other);
    drawn.push_back(img);
  }
  // The arrow is filled with the end-shape fill colour; the start shape goes to the start.
  LineLayer l = line(0, 2);
  l.fStartShape = 1;
  l.fShapeSize = 24;
  const QImage img = rasterizeVectorLayer(l);
  EXPECT_EQ(img.pixel(22, 27), qRgb(0, 0, 255));
  EXPECT_FALSE(ink(img, 180, 24));
}

TEST(VectorLines, CurveBendsToTheLeftOfTheDirection) {
  LineLayer l = line(0);
  l.Height = 200;
  l.fPoints = {DPoint{10, 150}, DPoint{190, 150}};
  l.fCurve = 0.25;  // control point 45 px above the middle: the curve's middle 22.5 px up
  QImage img = rasterizeVectorLayer(l);
  EXPECT_FALSE(ink(img, 100, 150));
  EXPECT_TRUE(ink(img, 100, 127) || ink(img, 100, 128));
  l.fCurve = -0.25;
  img = rasterizeVectorLayer(l);
  EXPECT_TRUE(ink(img, 100, 172) || ink(img, 100, 173));
}

TEST(VectorLines, LabelIsDrawnWhereAsked) {
  LineLayer l = line(0, 2);
  l.Height = 100;
  l.fPoints = {DPoint{10, 50}, DPoint{190, 50}};
  l.fLabelText = QStringLiteral("HHHH");
  l.fFont.Color = kGreen;
  l.fFont.Height = -16;
  auto greenAbove = [](const QImage& img, bool above) {
    for (int y = above ? 0 : 52; y < (above ? 48 : 100); ++y)
      for (int x = 0; x < 200; ++x)
        if (qGreen(img.pixel(x, y)) > 200 && ink(img, x, y)) return true;
    return false;
  };
  l.fLabelPosition = 3;
  EXPECT_TRUE(greenAbove(rasterizeVectorLayer(l), true));
  EXPECT_FALSE(greenAbove(rasterizeVectorLayer(l), false));
  l.fLabelPosition = 4;
  EXPECT_TRUE(greenAbove(rasterizeVectorLayer(l), false));
  l.fLabelPosition = 0;
  EXPECT_FALSE(greenAbove(rasterizeVectorLayer(l), true));
}

PolylineLayer triangle(bool closed) {
  PolylineLayer l;
  l.Width = l.Height = 100;
  l.Points = {{0, 1000}, {500, 0}, {1000, 1000}};
  l.fPolylineClosed = closed;
  l.fBorderColor = kBlue;
  l.fBorderWidth = 2;
  l.fFillColor = kRed;
  return l;
}

TEST(VectorPolylines, OnlyClosedPolylinesAreFilled) {
  EXPECT_EQ(rasterizeVectorLayer(triangle(true)).pixel(50, 70), qRgb(255, 0, 0));
  const QImage open = rasterizeVectorLayer(triangle(false));
  EXPECT_FALSE(ink(open, 50, 70));
  EXPECT_FALSE(ink(open, 50, 98));      // no closing edge
  EXPECT_TRUE(ink(open, 25, 50) || ink(open, 26, 50));  // the first edge
  EXPECT_TRUE(ink(rasterizeVectorLayer(triangle(true)), 50, 98));
}

TEST(VectorPolylines, PathsAreDashed) {
  PolylineLayer l = triangle(true);
  l.fFillColor = clNone;
  l.fBorderWidth = 1;
  EXPECT_EQ(runsInRow(rasterizeVectorLayer(l), 99, 5, 95), 1);
  l.fIsPath = true;
  EXPECT_GT(runsInRow(rasterizeVectorLayer(l), 99, 5, 95), 4);
}

TextLayer text(const QString& s) {
  TextLayer l;
  l.Width = 300;
  l.Height = 80;
  l.fText = s;
  l.fFont.Name = QStringLiteral("Arial");
  l.fFont.Height = -40;
  l.fFont.Color = kRed;
  l.fFillColor = clNone;
  l.fBorderColor = clNone;
  l.fTextStyling.BorderWidth = 0;
  return l;
}

struct Counts {
  int red = 0, black = 0, green = 0;
  int left = 10000, right = -1, top = 10000, bottom = -1;
};
Counts count(const QImage& img) {
  Counts c;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const QRgb p = img.pixel(x, y);
      if (qAlpha(p) < 200) continue;
      c.left = std::min(c.left, x), c.right = std::max(c.right, x), c.top = std::min(c.top, y), c.bottom = std::max(c.bottom, y);
      if (qRed(p) > 200 && qGreen(p) < 60) ++c.red;
      else if (qGreen(p) > 200 && qRed(p) < 60) ++c.green;
      else if (qRed(p) < 40 && qGreen(p) < 40 && qBlue(p) < 40) ++c.black;
    }
  return c;
}

TEST(VectorText, OutlineSurroundsTheGlyphs) {
  TextLayer l = text(QStringLiteral("HI"));
  const Counts plain = count(rasterizeVectorLayer(l));
  EXPECT_GT(plain.red, 200);
  EXPECT_EQ(plain.black, 0);
  l.fTextStyling.BorderWidth = 3;
  l.fTextStyling.BorderColor = clBlack;
  const QImage img = rasterizeVectorLayer(l);
  const Counts outlined = count(img);
  EXPECT_GT(outlined.black, 100);
  EXPECT_GT(outlined.red, 100);
  // Left of the first stem of "H" the outline comes first.
  EXPECT_LT(outlined.left, plain.left);
  const int y = (plain.top + plain.bottom) / 2;
  int x = 0;
  while (x < img.width() && !ink(img, x, y)) ++x;
  ASSERT_LT(x, img.width());
  EXPECT_LT(qRed(img.pixel(x + 1, y)), 60);
}

TEST(VectorText, GradientFillUsesBothColours) {
  TextLayer l = text(QStringLiteral("MMMMMM"));
  l.fTextStyling.FillColor2 = kGreen;
  l.fTextStyling.FillGradient = 1;
  const Counts c = count(rasterizeVectorLayer(l));
  EXPECT_GT(c.red, 20);
  EXPECT_GT(c.green, 20);
  l.fTextStyling.FillTransparency1 = l.fTextStyling.FillTransparency2 = 0;  // "Fill with:" off
  EXPECT_EQ(count(rasterizeVectorLayer(l)).right, -1);
}

TEST(VectorText, AlignmentLayoutAndMargins) {
  TextLayer l = text(QStringLiteral("Hi"));
  l.Height = 120;
  const Counts leftTop = count(rasterizeVectorLayer(l));
  EXPECT_LT(leftTop.left, 10);
  EXPECT_LT(leftTop.top, 20);
  l.fAlignment = 1;
  l.fLayout = 1;
  const Counts rightBottom = count(rasterizeVectorLayer(l));
  EXPECT_GT(rightBottom.right, 290);
  EXPECT_GT(rightBottom.bottom, 100);
  l.fAlignment = 2;
  l.fLayout = 2;
  const Counts centred = count(rasterizeVectorLayer(l));
  EXPECT_NEAR((centred.left + centred.right) / 2.0, 150, 4);
  EXPECT_NEAR((centred.top + centred.bottom) / 2.0, 60, 12);
  l.fAlignment = 0;
  l.fLayout = 0;
  l.fHorzMargin = 40;
  l.fVertMargin = 30;
  const Counts margins = count(rasterizeVectorLayer(l));
  EXPECT_GE(margins.left, 40);
  EXPECT_GE(margins.top, 30);
}

TEST(VectorText, WordWrapAndOverflow) {
  TextLayer l = text(QStringLiteral("one two three four five six seven"));
  l.Width = 120;
  l.Height = 400;
  const Counts wrapped = count(rasterizeVectorLayer(l));
  EXPECT_GT(wrapped.bottom, 100);  // several lines
  l.fWordWrap = false;
  EXPECT_LT(count(rasterizeVectorLayer(l)).bottom, 60);

  l.fWordWrap = true;
  l.Height = 60;  // room for one line of the wrapped text
  l.fTextOverflow = 0;  // truncate: what fits is drawn
  EXPECT_GT(count(rasterizeVectorLayer(l)).red, 100);
  l.Height = 30;  // less than one line
  l.fTextOverflow = 2;  // hide lines that do not fit
  EXPECT_EQ(count(rasterizeVectorLayer(l)).right, -1);
  l.fTextOverflow = 1;  // shrink until everything fits
  const Counts shrunk = count(rasterizeVectorLayer(l));
  EXPECT_GT(shrunk.red, 20);
  EXPECT_LE(shrunk.bottom, 29);
}

TEST(VectorText, BoxFillAndBorderShape) {
  TextLayer l = text(QString());
  l.fFillColor = kGreen;
  l.fBorderShape = 0;  // ellipse
  const QImage img = rasterizeVectorLayer(l);
  EXPECT_EQ(img.pixel(150, 40), qRgb(0, 255, 0));
  EXPECT_EQ(qAlpha(img.pixel(1, 1)), 0);
}

TEST(VectorAngle, DrawsBothRaysAndTheLabel) {
  AngleLayer l;
  l.Width = l.Height = 200;
  l.fPoints = {IPoint{190, 150}, IPoint{20, 150}, IPoint{20, 10}};
  l.fBorderColor = kBlue;
  l.fBorderWidth = 2;
  l.fFont.Color = kRed;
  const QImage img = rasterizeVectorLayer(l);
  EXPECT_TRUE(ink(img, 120, 150));
  EXPECT_TRUE(ink(img, 20, 60));
  EXPECT_FALSE(ink(img, 120, 60));
  EXPECT_GT(count(img).red, 20);  // the "90°" label
}

TEST(VectorRaster, SizeScaleAndKindsWithoutPicture) {
  ImageLayer image;
  image.Width = image.Height = 10;
  EXPECT_TRUE(rasterizeVectorLayer(image).isNull());
  ShapeLayer s = filledShape(4);
  EXPECT_EQ(rasterizeVectorLayer(s, 2.0).size(), QSize(200, 200));
  EXPECT_EQ(rasterizeVectorLayer(s).format(), QImage::Format_ARGB32);
  s.Width = 0.4;
  EXPECT_TRUE(rasterizeVectorLayer(s).isNull());
  s.Width = 1e12;  // no picture can be that large
  EXPECT_TRUE(rasterizeVectorLayer(s).isNull());
  s.Width = 100;
  EXPECT_TRUE(rasterizeVectorLayer(s, 0).isNull());
}

}  // namespace
}  // namespace lumo
