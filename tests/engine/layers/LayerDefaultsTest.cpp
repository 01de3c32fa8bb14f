#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string>

#include <QDateTime>

#include "engine/layers/LayerKinds.h"
#include "engine/layers/NewLayerDefaults.h"

namespace lumo {
namespace {

constexpr LayerKind kAllKinds[] = {LayerKind::ielkImage, LayerKind::ielkShape, LayerKind::ielkLine,
                                   LayerKind::ielkPolyline, LayerKind::ielkText, LayerKind::ielkAngle};
constexpr TColor kRed = 0x0000FF, kGreen = 0x008000;

double nowAsDayCount() {
  const QDateTime now = QDateTime::currentDateTime();
  return double(QDate(1899, 12, 30).daysTo(now.date())) + now.time().msecsSinceStartOfDay() / 86400000.0;
}

// A layer whose common properties are all the opposite of what a new layer gets.
std::unique_ptr<Layer> contrary(LayerKind kind) {
  auto layer = createLayer(kind);
  layer->fVisible = false;
  layer->fVisibleBox = false;
  layer->fSelectable = false;
  layer->fLocked = false;
  layer->fAspectRatioLocked = true;
  return layer;
}

TEST(CreateLayer, GivesEachKindItsClassAFreshIdentifierAndTheCreationTime) {
  std::set<LayerGuid> seen;
  for (LayerKind kind : kAllKinds) {
    const double before = nowAsDayCount();
    const auto layer = createLayer(kind);
    const double after = nowAsDayCount();
    ASSERT_TRUE(layer);
    EXPECT_EQ(layer->kind(), kind);
    EXPECT_NE(layer->fGuid, LayerGuid{});
    EXPECT_TRUE(seen.insert(layer->fGuid).second) << "identifiers repeat";
    EXPECT_GE(layer->fModifiedDate, before - 1e-6);
    EXPECT_LE(layer->fModifiedDate, after + 1e-6);
    EXPECT_TRUE(layer->fVisible);
    EXPECT_EQ(layer->fOperation, RenderOperation::ielNormal);
    EXPECT_EQ(layer->fOpacity, 1.0);
    EXPECT_EQ(layer->fTransparency, 255);
  }
  EXPECT_THROW(createLayer(LayerKind(9)), std::invalid_argument);
}

TEST(CreateLayer, TextHasNoBoxOfItsOwn) {
  const auto text = createLayer(LayerKind::ielkText);
  EXPECT_EQ(text->fFillColor, clNone);
  EXPECT_EQ(text->fBorderColor, clNone);
}

TEST(CreateLayer, IdentifierIsAVersion4GuidInItsStoredByteOrder) {
  const auto layer = createLayer(LayerKind::ielkImage);
  // Data3 is stored little-endian: its high byte, holding the version, comes second.
  EXPECT_EQ(layer->fGuid[7] >> 4, 4);
  EXPECT_EQ(layer->fGuid[8] & 0xC0, 0x80);  // RFC 4122 variant
}

TEST(NewLayerDefaults, CommonStepsForEveryKindAtAndAboveTheBackground) {
  const NewLayerSettings settings;
  for (LayerKind kind : kAllKinds) {
    for (int index : {0, 1, 5}) {
      for (bool grips : {false, true}) {
        SCOPED_TRACE(testing::Message() << layerKindName(kind) << " at " << index << " grips " << grips);
        auto layer = contrary(kind);
        layer->fLocked = index != 0;
        applyNewLayerDefaults(*layer, index, settings, NewLayerTool::None, grips);
        EXPECT_TRUE(layer->fVisible);
        EXPECT_TRUE(layer->fSelectable);
        EXPECT_EQ(layer->fVisibleBox, grips);
        EXPECT_EQ(layer->fLocked, index == 0);
        // No vector tool: nothing else changes.
        EXPECT_TRUE(layer->fAspectRatioLocked);
        if (index == 0) {
          EXPECT_EQ(layer->SoftShadow, ShadowRecord{});
          EXPECT_EQ(layer->InnerGlow, ShadowRecord{});
        } else {
          const ShadowRecord shadow{false, 10, 5, 5, 5, RGB24{0, 0, 0}};
          ShadowRecord glow;
          glow.Radius = 10;
          glow.ShadowColor = RGB24{255, 255, 255};
          EXPECT_EQ(layer->SoftShadow, shadow);
          EXPECT_EQ(layer->InnerGlow, glow);
        }
      }
    }
  }
}

TEST(NewLayerDefaults, OnlyAPolylineMadeWithThePathToolGetsNoPresetEffects) {
  const NewLayerSettings settings;
  struct Case {
    LayerKind kind;
    NewLayerTool tool;
    bool preset;
  } cases[] = {
      {LayerKind::ielkPolyline, NewLayerTool::Path, false},
      {LayerKind::ielkPolyline, NewLayerTool::Polyline, true},
      {LayerKind::ielkPolyline, NewLayerTool::None, true},
      {LayerKind::ielkShape, NewLayerTool::Path, true},
  };
  for (const Case& c : cases) {
    auto layer = createLayer(c.kind);
    applyNewLayerDefaults(*layer, 2, settings, c.tool, true);
    EXPECT_EQ(layer->SoftShadow.Radius == 10, c.preset) << layerKindName(c.kind) << " tool " << int(c.tool);
    EXPECT_EQ(layer->InnerGlow.Radius == 10, c.preset) << layerKindName(c.kind) << " tool " << int(c.tool);
  }
}

// What each kind takes from the settings as they stand on a first start.
TEST(NewLayerDefaults, EachKindTakesTheDefaultToolSettings) {
  const NewLayerSettings s;

  auto text = contrary(LayerKind::ielkText);
  applyNewLayerDefaults(*text, 1, s, NewLayerTool::Text, true);
  const auto& t = *layerAs<TextLayer>(text.get());
  EXPECT_FALSE(t.fAspectRatioLocked);
  EXPECT_FALSE(t.fEnableFormatting);
  EXPECT_EQ(t.fFont.Name, "Arial");
  EXPECT_EQ(t.fFont.Height, -51);  // 38 points
  EXPECT_EQ(t.fFont.Color, kRed);
  EXPECT_EQ(t.fFont.Style, 0);
  EXPECT_EQ(t.fTextStyling.FillColor2, kGreen);
  EXPECT_EQ(t.fTextStyling.FillGradient, 16);
  EXPECT_EQ(t.fTextStyling.BorderWidth, 5);
  EXPECT_EQ(t.fTextStyling.BorderColor, clBlack);
  EXPECT_EQ(t.fTextStyling.FillTransparency1, 255);
  EXPECT_EQ(t.fTextStyling.FillTransparency2, 255);

  auto shape = contrary(LayerKind::ielkShape);
  applyNewLayerDefaults(*shape, 1, s, NewLayerTool::Shape, true);
  const auto& sh = *layerAs<ShapeLayer>(shape.get());
  EXPECT_FALSE(sh.fAspectRatioLocked);
  EXPECT_EQ(sh.fShape, 4);
  EXPECT_EQ(sh.fBorderColor, kRed);
  EXPECT_EQ(sh.fBorderWidth, 5);
  EXPECT_EQ(sh.fFillColor, kRed);
  EXPECT_EQ(sh.fFillOpacity, 0.0);
  EXPECT_EQ(sh.fFillColor2, kGreen);
  EXPECT_EQ(sh.fFillGradient, 0);

  auto line = contrary(LayerKind::ielkLine);
  applyNewLayerDefaults(*line, 1, s, NewLayerTool::Line, true);
  const auto& l = *layerAs<LineLayer>(line.get());
  EXPECT_FALSE(l.fAspectRatioLocked);
  EXPECT_EQ(l.fLineColor, kRed);
  EXPECT_EQ(l.fLineFillColor, kRed);
  EXPECT_EQ(l.fLineWidth, 5);
  EXPECT_EQ(l.fLineStyle, 0);
  EXPECT_EQ(l.fStartShape, 0);
  EXPECT_EQ(l.fEndShape, 0);
  EXPECT_EQ(l.fCurve, 0.0);
  EXPECT_EQ(l.fShapeSize, 20);

  auto polyline = contrary(LayerKind::ielkPolyline);
  layerAs<PolylineLayer>(polyline.get())->fIsPath = true;
  applyNewLayerDefaults(*polyline, 1, s, NewLayerTool::Polyline, true);
  const auto& p = *layerAs<PolylineLayer>(polyline.get());
  EXPECT_FALSE(p.fAspectRatioLocked);
  EXPECT_FALSE(p.fIsPath);
  EXPECT_EQ(p.fBorderColor, kRed);
  EXPECT_EQ(p.fBorderWidth, 5);
  EXPECT_FALSE(p.fPolylineClosed);
  EXPECT_EQ(p.fFillColor, kRed);
  EXPECT_EQ(p.fFillOpacity, 0.0);
  EXPECT_EQ(p.fFillGradient, 0);
  EXPECT_EQ(p.fFillColor2, kGreen);
  EXPECT_EQ(p.fOperation, RenderOperation::ielNormal);

  auto path = contrary(LayerKind::ielkPolyline);
  applyNewLayerDefaults(*path, 1, s, NewLayerTool::Path, true);
  const auto& pa = *layerAs<PolylineLayer>(path.get());
  EXPECT_FALSE(pa.fAspectRatioLocked);
  EXPECT_TRUE(pa.fIsPath);
  EXPECT_EQ(pa.fBorderColor, clWhite);
  EXPECT_EQ(pa.fBorderWidth, 1);
  EXPECT_EQ(pa.fFillColor, clNone);
  EXPECT_EQ(pa.fLineStyle, 6);  // wide dash
  EXPECT_FALSE(pa.fPolylineClosed);
  EXPECT_EQ(pa.fOperation, RenderOperation::ielNegation);
  EXPECT_EQ(pa.fName, "Path");

  // Kinds without settings of their own only lose the aspect-ratio lock.
  for (LayerKind kind : {LayerKind::ielkImage, LayerKind::ielkAngle}) {
    auto layer = contrary(kind);
    applyNewLayerDefaults(*layer, 1, s, NewLayerTool::Text, true);
    EXPECT_FALSE(layer->fAspectRatioLocked) << layerKindName(kind);
  }
}

TEST(NewLayerDefaults, ChangedSettingsReachTheLayer) {
  NewLayerSettings s;
  s.fCurrentText_HeaderFontFilledByColor = false;
  s.fCurrentText_HeaderFontStyle = fsBold | fsUnderline;
  s.fCurrentText_HeaderFontSize = 12;
  s.fCurrentShapeFilledByColor = true;
  s.fCurrentShape = 40;
  s.fCurrentLineCurveSize = 50;
  s.fCurrentLineColor = 0x123456;
  s.fCurrentPolylineFilledByColor = true;
  s.fCurrentPolylineClosed = true;
  s.fCurrentPathClosed = true;

  auto text = createLayer(LayerKind::ielkText);
  applyNewLayerDefaults(*text, 1, s, NewLayerTool::Text, true);
  const auto& t = *layerAs<TextLayer>(text.get());
  EXPECT_EQ(t.fTextStyling.FillTransparency1, 0);
  EXPECT_EQ(t.fTextStyling.FillTransparency2, 0);
  EXPECT_EQ(t.fFont.Style, fsBold | fsUnderline);
  EXPECT_EQ(t.fFont.Height, -16);

  auto shape = createLayer(LayerKind::ielkShape);
  applyNewLayerDefaults(*shape, 1, s, NewLayerTool::Shape, true);
  EXPECT_EQ(shape->fFillOpacity, 1.0);
  EXPECT_EQ(layerAs<ShapeLayer>(shape.get())->fShape, 40);

  auto line = createLayer(LayerKind::ielkLine);
  applyNewLayerDefaults(*line, 1, s, NewLayerTool::Line, true);
  EXPECT_EQ(layerAs<LineLayer>(line.get())->fCurve, 2.0);
  EXPECT_EQ(layerAs<LineLayer>(line.get())->fLineFillColor, 0x123456u);

  auto polyline = createLayer(LayerKind::ielkPolyline);
  applyNewLayerDefaults(*polyline, 1, s, NewLayerTool::Polyline, true);
  EXPECT_EQ(polyline->fFillOpacity, 1.0);
  EXPECT_TRUE(layerAs<PolylineLayer>(polyline.get())->fPolylineClosed);

  s.fCurrentPolylineClosed = false;
  auto path = createLayer(LayerKind::ielkPolyline);
  applyNewLayerDefaults(*path, 1, s, NewLayerTool::Path, true);
  EXPECT_TRUE(layerAs<PolylineLayer>(path.get())->fPolylineClosed);
}

TEST(NewLayerDefaults, FormattedTextTakesTheFormattedSettingsAndLeavesTheStylingAlone) {
  NewLayerSettings s;
  s.fCurrentTextType = 1;
  s.fCurrentText_FormattedFontName = "Serif";
  s.fCurrentText_FormattedFontSize = 24;
  s.fCurrentText_FormattedFontStyle = fsItalic;
  s.fCurrentText_FormattedFontColor = 0x00FF00;
  auto text = createLayer(LayerKind::ielkText);
  const TextStyling before = text->fTextStyling;
  applyNewLayerDefaults(*text, 1, s, NewLayerTool::Text, true);
  const auto& t = *layerAs<TextLayer>(text.get());
  EXPECT_TRUE(t.fEnableFormatting);
  EXPECT_EQ(t.fFont.Name, "Serif");
  EXPECT_EQ(t.fFont.Height, -32);
  EXPECT_EQ(t.fFont.Style, fsItalic);
  EXPECT_EQ(t.fFont.Color, 0x00FF00u);
  EXPECT_EQ(t.fTextStyling, before);
}

TEST(CurveConversion, BothDirections) {
  EXPECT_DOUBLE_EQ(curveFromCurveSize(50), 2.0);
  EXPECT_DOUBLE_EQ(curveFromCurveSize(-1000), -0.1);
  EXPECT_EQ(curveFromCurveSize(0), 0.0);
  EXPECT_EQ(curveSizeFromCurve(0.3), 333);
  EXPECT_EQ(curveSizeFromCurve(-0.1), -1000);
  EXPECT_EQ(curveSizeFromCurve(0.0), 0);
  EXPECT_EQ(curveSizeFromCurve(1e-300), std::numeric_limits<int>::max());
  for (int c = -1000; c <= 1000; ++c) EXPECT_EQ(curveSizeFromCurve(curveFromCurveSize(c)), c);
}

TEST(FontSize, PointsAndPixelHeightsRoundTrip) {
  EXPECT_EQ(fontHeightFromSize(38), -51);
  EXPECT_EQ(fontHeightFromSize(9), -12);
  EXPECT_EQ(fontSizeFromHeight(-51), 38);
  EXPECT_EQ(fontSizeFromHeight(16), 12);
  for (int size = 1; size <= 1000; ++size) EXPECT_EQ(fontSizeFromHeight(fontHeightFromSize(size)), size);
}

TEST(LayerKindName, NamesEveryKind) {
  std::set<std::string> names;
  for (LayerKind kind : kAllKinds) names.insert(layerKindName(kind));
  EXPECT_EQ(names.size(), size_t(kLayerKindCount));
  EXPECT_STREQ(layerKindName(LayerKind::ielkPolyline), "Polyline");
}

}  // namespace
}  // namespace lumo
