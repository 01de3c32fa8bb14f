// Formatted text, the text box options and line labels, as drawn. The GUI application
// that text needs is set up by the vector tests of the same program.
#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "engine/layers/LayerKinds.h"
#include "engine/render/VectorRaster.h"

namespace lumo {
namespace {

constexpr TColor kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000;

bool isInk(QRgb p) { return qAlpha(p) > 128; }
bool isRed(QRgb p) { return qAlpha(p) > 200 && qRed(p) > 200 && qGreen(p) < 80 && qBlue(p) < 80; }
bool isGreen(QRgb p) { return qAlpha(p) > 200 && qGreen(p) > 200 && qRed(p) < 80 && qBlue(p) < 80; }
bool isBlue(QRgb p) { return qAlpha(p) > 200 && qBlue(p) > 200 && qRed(p) < 80 && qGreen(p) < 80; }
bool isBlack(QRgb p) { return qAlpha(p) > 200 && qRed(p) < 60 && qGreen(p) < 60 && qBlue(p) < 60; }

struct Ink {
  int count = 0;
  int left = INT_MAX, right = -1, top = INT_MAX, bottom = -1;
  double centreX() const { return (left + right) / 2.0; }
};

// The pixels that `pick` accepts, within `rows` (all rows when empty).
Ink inkOf(const QImage& img, const std::function<bool(QRgb)>& pick = isInk, int fromRow = 0, int toRow = INT_MAX) {
  Ink ink;
  for (int y = std::max(0, fromRow); y < std::min(img.height(), toRow); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (pick(img.pixel(x, y))) {
        ++ink.count;
        ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
      }
  return ink;
}

TextLayer formatted(const char* rtf) {
  TextLayer l;
  l.Width = 300;
  l.Height = 100;
  l.fEnableFormatting = true;
  l.fRichText = QString::fromUtf8(rtf);
  l.fText = QStringLiteral("PLAIN");
  l.fFont.Name = QStringLiteral("Arial");
  l.fFont.Height = -40;
  l.fFont.Color = clBlack;
  l.fFillColor = clNone;
  l.fBorderColor = clNone;
  return l;
}

TEST(RichText, RunsKeepTheirColours) {
  const QImage img = rasterizeVectorLayer(
      formatted(R"({\rtf1{\colortbl;\red255\green0\blue0;\red0\green0\blue255;}\fs48 \cf1 RRR\cf2 BBB})"));
  const Ink red = inkOf(img, isRed), blue = inkOf(img, isBlue);
  EXPECT_GT(red.count, 150);
  EXPECT_GT(blue.count, 150);
  EXPECT_LT(red.right, blue.left);
  EXPECT_EQ(inkOf(img, isBlack).count, 0);
}

TEST(RichText, WhatTheRtfLeavesOpenComesFromTheLayerFont) {
  TextLayer l = formatted(R"({\rtf1 ace})");
  l.fFont.Color = kRed;
  const QImage img = rasterizeVectorLayer(l);
  EXPECT_GT(inkOf(img, isRed).count, 150);
  // The layer's 40-pixel font: a lower-case letter is about half that high.
  EXPECT_NEAR(inkOf(img).bottom - inkOf(img).top, 21, 4);
}

TEST(RichText, ParagraphAlignmentPlacesTheInk) {
  const struct {
    const char* rtf;
    double centre;
  } cases[] = {{R"({\rtf1\fs36\ql HI})", -1}, {R"({\rtf1\fs36\qc HI})", 150}, {R"({\rtf1\fs36\qr HI})", -2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rtf);
    const Ink ink = inkOf(rasterizeVectorLayer(formatted(c.rtf)));
    ASSERT_GT(ink.count, 50);
    if (c.centre == -1) EXPECT_LT(ink.left, 8);
    else if (c.centre == -2) EXPECT_GT(ink.right, 290);
    else EXPECT_NEAR(ink.centreX(), c.centre, 3);
  }
}

TEST(RichText, BoldRunsAreHeavierAndFontsAreTheInstalledOnes) {
  const int regular = inkOf(rasterizeVectorLayer(formatted(R"({\rtf1\fs48 MMMM})"))).count;
  const int bold = inkOf(rasterizeVectorLayer(formatted(R"({\rtf1\fs48{\b MMMM}})"))).count;
  EXPECT_GT(bold, regular * 1.15);

  // 30 points of a proprietary face are 40 pixels of its free counterpart, as for a
  // layer of plain text in that font.
  TextLayer plain = formatted("");
  plain.fEnableFormatting = false;
  plain.fText = QStringLiteral("Mg");
  plain.fFont.Name = QStringLiteral("Courier New");
  const Ink expected = inkOf(rasterizeVectorLayer(plain));
  const Ink rich = inkOf(rasterizeVectorLayer(formatted(R"({\rtf1{\fonttbl{\f0 Courier New;}}\f0\fs60 Mg})")));
  EXPECT_NEAR(rich.left, expected.left, 2);
  EXPECT_NEAR(rich.right, expected.right, 2);
  EXPECT_NEAR(rich.top, expected.top, 2);
  EXPECT_NEAR(rich.bottom, expected.bottom, 2);
}

TEST(RichText, ListItemsShowTheirMarkersAndIndent) {
  const Ink plain = inkOf(rasterizeVectorLayer(formatted(R"({\rtf1\fs36 item})")));
  for (const char* rtf : {R"({\rtf1{\*\pn\pnlvlblt}\fs36 item})", R"({\rtf1{\*\pn\pnlvlbody\pndec}\fs36 item})"}) {
    SCOPED_TRACE(rtf);
    const Ink listed = inkOf(rasterizeVectorLayer(formatted(rtf)));
    EXPECT_GT(listed.right, plain.right + 20);  // the text moved right
    EXPECT_GT(listed.count, plain.count + 10);  // and a marker came in front of it
  }
}

TEST(RichText, OverflowAndVerticalLayout) {
  TextLayer l = formatted(R"({\rtf1\fs48 one two three four five six seven})");
  l.Width = 120;
  l.Height = 30;  // less than one line
  l.fTextOverflow = 0;
  EXPECT_GT(inkOf(rasterizeVectorLayer(l)).count, 50);
  l.fTextOverflow = 2;
  EXPECT_EQ(inkOf(rasterizeVectorLayer(l)).count, 0);
  l.fTextOverflow = 1;
  const Ink shrunk = inkOf(rasterizeVectorLayer(l));
  EXPECT_GT(shrunk.count, 20);
  EXPECT_LE(shrunk.bottom, 29);

  TextLayer one = formatted(R"({\rtf1\fs36 Hi})");
  one.fLayout = 1;  // bottom
  EXPECT_GT(inkOf(rasterizeVectorLayer(one)).bottom, 85);
  one.fLayout = 2;  // centre
  const Ink centred = inkOf(rasterizeVectorLayer(one));
  EXPECT_NEAR((centred.top + centred.bottom) / 2.0, 50, 10);
}

TEST(RichText, PlainTextIsDrawnWhenTheRtfCannotBe) {
  TextLayer reference = formatted("");
  reference.fEnableFormatting = false;
  const QImage plain = rasterizeVectorLayer(reference);
  ASSERT_GT(inkOf(plain).count, 100);
  const struct {
    bool enabled;
    const char* rtf;
  } cases[] = {{false, R"({\rtf1 other})"}, {true, ""}, {true, "not rtf"}, {true, R"({\rtf1{\info{\title t}}})"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rtf);
    TextLayer l = formatted(c.rtf);
    l.fEnableFormatting = c.enabled;
    EXPECT_EQ(rasterizeVectorLayer(l), plain);
  }
  EXPECT_NE(rasterizeVectorLayer(formatted(R"({\rtf1 other})")), plain);
}

TEST(VectorTextOptions, TextOffsetMovesTheText) {
  TextLayer l = formatted("");
  l.fEnableFormatting = false;
  l.fText = QStringLiteral("Hi");
  const Ink still = inkOf(rasterizeVectorLayer(l));
  l.fTextOffsetX = 30;
  l.fTextOffsetY = 20;
  const Ink moved = inkOf(rasterizeVectorLayer(l));
  EXPECT_NEAR(moved.left - still.left, 30, 1);
  EXPECT_NEAR(moved.top - still.top, 20, 1);
  EXPECT_EQ(moved.count, still.count);
}

TEST(VectorTextOptions, BorderRotateTurnsTheBoxNotTheText) {
  TextLayer l = formatted("");
  l.fEnableFormatting = false;
  l.Width = l.Height = 120;
  l.fText = QStringLiteral("Hi");
  l.fFont.Color = kRed;
  l.fFillColor = kGreen;
  const QImage level = rasterizeVectorLayer(l);
  EXPECT_TRUE(isGreen(level.pixel(3, 116)));
  l.fBorderRotate = 45;
  const QImage turned = rasterizeVectorLayer(l);
  EXPECT_EQ(qAlpha(turned.pixel(3, 116)), 0);  // the corner turned away
  EXPECT_TRUE(isGreen(turned.pixel(60, 110)));
  const Ink before = inkOf(level, isRed), after = inkOf(turned, isRed);
  EXPECT_NEAR(after.left, before.left, 1);  // edges blend with what lies under them
  EXPECT_NEAR(after.top, before.top, 1);
  EXPECT_NEAR(after.bottom, before.bottom, 1);
}

TEST(VectorTextOptions, AutoSizedTextIsNeverCut) {
  TextLayer l = formatted("");
  l.fEnableFormatting = false;
  l.fText = QStringLiteral("HHHHHHHH");
  l.fWordWrap = false;
  l.fHorzMargin = 100;  // a text box of 100 × 30 pixels in the middle of the layer
  l.fVertMargin = 35;
  const Ink clipped = inkOf(rasterizeVectorLayer(l));
  EXPECT_LE(clipped.right, 200);
  EXPECT_LE(clipped.bottom, 65);
  l.fTextOverflow = 2;
  EXPECT_EQ(inkOf(rasterizeVectorLayer(l)).count, 0);
  l.fAutoSize = true;
  const Ink whole = inkOf(rasterizeVectorLayer(l));
  EXPECT_GT(whole.right, 220);
  EXPECT_GT(whole.bottom, 65);
  l.fTextOverflow = 1;  // no shrinking either
  EXPECT_EQ(inkOf(rasterizeVectorLayer(l)).right, whole.right);
}

LineLayer labelled(const QString& label) {
  LineLayer l;
  l.Width = 200;
  l.Height = 100;
  l.fPoints = {DPoint{10, 80}, DPoint{190, 80}};
  l.fLineColor = clBlack;
  l.fLineWidth = 2;
  l.fLabelText = label;
  l.fLabelPosition = 3;  // above
  l.fFont.Color = kGreen;
  l.fFont.Height = -16;
  l.fFillColor = clNone;
  l.fBorderColor = clNone;
  return l;
}

TEST(VectorLineLabels, LabelBoxTakesTheShapeFillAndBorder) {
  LineLayer l = labelled(QStringLiteral("HH"));
  l.fFillColor = kBlue;
  l.fLabelShape = 4;  // rectangle
  const QImage boxed = rasterizeVectorLayer(l);
  const Ink box = inkOf(boxed, isBlue);
  ASSERT_GT(box.count, 100);
  EXPECT_TRUE(isBlue(boxed.pixel(box.left + 1, box.top + 1)));
  EXPECT_GT(inkOf(boxed, isGreen).count, 20);  // the text on top
  l.fLabelShape = 0;  // ellipse
  const QImage round = rasterizeVectorLayer(l);
  const Ink ellipse = inkOf(round, isBlue);
  EXPECT_FALSE(isBlue(round.pixel(ellipse.left + 1, ellipse.top + 1)));
  EXPECT_GT(ellipse.right - ellipse.left, box.right - box.left);  // larger, so the text fits inside
  l.fBorderColor = kRed;
  l.fBorderWidth = 2;
  EXPECT_GT(inkOf(rasterizeVectorLayer(l), isRed).count, 40);
  l.fFillColor = l.fBorderColor = clNone;
  EXPECT_EQ(inkOf(rasterizeVectorLayer(l), isBlue).count, 0);
}

TEST(VectorLineLabels, AlignmentLinesUpTheLabelsLines) {
  LineLayer l = labelled(QStringLiteral("H\nHHHHHH"));
  auto firstLine = [](const QImage& img) {
    const Ink all = inkOf(img, isGreen);
    return std::pair{all, inkOf(img, isGreen, all.top, (all.top + all.bottom) / 2)};
  };
  const auto [leftAll, leftFirst] = firstLine(rasterizeVectorLayer(l));
  EXPECT_NEAR(leftFirst.left, leftAll.left, 1);
  l.fLabelAlignment = 1;
  const auto [rightAll, rightFirst] = firstLine(rasterizeVectorLayer(l));
  EXPECT_NEAR(rightFirst.right, rightAll.right, 1);
  EXPECT_GT(rightFirst.left, rightAll.left + 20);
  l.fLabelAlignment = 2;
  const auto [centreAll, centreFirst] = firstLine(rasterizeVectorLayer(l));
  EXPECT_NEAR(centreFirst.centreX(), centreAll.centreX(), 2);
}

TEST(VectorLineLabels, OverflowAtTheLayersEdge) {
  LineLayer l = labelled(QStringLiteral("HHHHHH"));
  l.fPoints = {DPoint{10, 50}, DPoint{120, 50}};
  l.fLabelPosition = 2;  // past the end, where the layer has no room for it
  l.fLabelShape = 0;     // an ellipse, whose box is the widest
  l.fFillColor = kBlue;
  l.fTextOverflow = 0;  // truncate: cut at the edge
  const QImage cut = rasterizeVectorLayer(l);
  EXPECT_GT(inkOf(cut, isGreen).count, 30);
  EXPECT_EQ(inkOf(cut, isBlue).right, 199);  // the box runs out of the layer
  l.fTextOverflow = 2;  // hide
  EXPECT_EQ(inkOf(rasterizeVectorLayer(l), isGreen).count, 0);
  l.fTextOverflow = 1;  // shrink until the whole box is inside
  const QImage shrunk = rasterizeVectorLayer(l);
  const Ink frame = inkOf(shrunk, isBlue);
  EXPECT_GT(inkOf(shrunk, isGreen).count, 10);
  EXPECT_LT(frame.right, 199);
  EXPECT_GT(frame.left, 120);
  EXPECT_LT(inkOf(shrunk, isGreen).count, inkOf(cut, isGreen).count);
}

}  // namespace
}  // namespace lumo
