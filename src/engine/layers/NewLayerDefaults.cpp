#include "engine/layers/NewLayerDefaults.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/layers/LayerKinds.h"

namespace lumo {

namespace {

constexpr uint8_t kPenStyleWideDash = 6;  // TIEGPPenStyle iegpWideDash

void presetEffects(Layer& layer) {
  layer.SoftShadow.Enabled = false;
  layer.SoftShadow.Radius = 10;
  layer.SoftShadow.OffsetX = 5;
  layer.SoftShadow.OffsetY = 5;
  layer.SoftShadow.Intensity = 5;
  layer.SoftShadow.ShadowColor = RGB24{0, 0, 0};
  layer.InnerGlow.Enabled = false;
  layer.InnerGlow.Radius = 10;
  layer.InnerGlow.ShadowColor = RGB24{255, 255, 255};
}

void applyTextSettings(TextLayer& text, const NewLayerSettings& s) {
  text.fEnableFormatting = s.fCurrentTextType == 1;
  if (text.fEnableFormatting) {
    text.fFont.Color = s.fCurrentText_FormattedFontColor;
    text.fFont.Height = fontHeightFromSize(s.fCurrentText_FormattedFontSize);
    text.fFont.Name = s.fCurrentText_FormattedFontName;
    text.fFont.Style = s.fCurrentText_FormattedFontStyle;
    return;
  }
  text.fFont.Color = s.fCurrentText_HeaderFontColor1;
  text.fFont.Height = fontHeightFromSize(s.fCurrentText_HeaderFontSize);
  text.fFont.Name = s.fCurrentText_HeaderFontName;
  text.fFont.Style = s.fCurrentText_HeaderFontStyle;
  text.fTextStyling.FillColor2 = s.fCurrentText_HeaderFontColor2;
  text.fTextStyling.FillGradient = s.fCurrentText_HeaderFontGradient;
  text.fTextStyling.BorderWidth = s.fCurrentText_HeaderFontBorder;
  text.fTextStyling.BorderColor = s.fCurrentText_HeaderFontBorderColor;
  const int32_t fill = s.fCurrentText_HeaderFontFilledByColor ? 255 : 0;
  text.fTextStyling.FillTransparency1 = fill;
  text.fTextStyling.FillTransparency2 = fill;
}

void applyShapeSettings(ShapeLayer& shape, const NewLayerSettings& s) {
  shape.fShape = s.fCurrentShape;
  shape.fBorderColor = s.fCurrentShapeBorderColor;
  shape.fBorderWidth = s.fCurrentShapeBorderWidth;
  shape.fFillColor = s.fCurrentShapeFillColor1;
  shape.fFillOpacity = s.fCurrentShapeFilledByColor ? 1.0 : 0.0;
  shape.fFillColor2 = s.fCurrentShapeFillColor2;
  shape.fFillGradient = s.fCurrentShapeGradient;
}

void applyLineSettings(LineLayer& line, const NewLayerSettings& s) {
  line.fLineColor = s.fCurrentLineColor;
  line.fLineWidth = s.fCurrentLineWidth;
  line.fLineStyle = s.fCurrentLineStyle;
  line.fEndShape = s.fCurrentLineEndShape;
  line.fStartShape = s.fCurrentLineStartShape;
  line.fCurve = curveFromCurveSize(s.fCurrentLineCurveSize);
  line.fShapeSize = s.fCurrentLineShapeSize;
  line.fLineFillColor = s.fCurrentLineColor;
}

// A path is construction geometry: a thin dashed outline that inverts what lies
// below it, so that it stays visible on any picture.
void makePath(PolylineLayer& path, const NewLayerSettings& s) {
  path.fIsPath = true;
  path.fBorderColor = clWhite;
  path.fBorderWidth = 1;
  path.fFillColor = clNone;
  path.fLineStyle = kPenStyleWideDash;
  path.fPolylineClosed = s.fCurrentPathClosed;
  path.fOperation = RenderOperation::ielNegation;
  path.fName = QStringLiteral("Path");
}

void applyPolylineSettings(PolylineLayer& polyline, const NewLayerSettings& s) {
  polyline.fIsPath = false;
  polyline.fBorderColor = s.fCurrentPolylineBorderColor;
  polyline.fBorderWidth = s.fCurrentPolylineBorderWidth;
  polyline.fPolylineClosed = s.fCurrentPolylineClosed;
  polyline.fFillColor = s.fCurrentPolylineColor1;
  polyline.fFillOpacity = s.fCurrentPolylineFilledByColor ? 1.0 : 0.0;
  polyline.fFillGradient = s.fCurrentPolylineGradient;
  polyline.fFillColor2 = s.fCurrentPolylineColor2;
}

void applyToolSettings(Layer& layer, const NewLayerSettings& s, NewLayerTool tool) {
  layer.fAspectRatioLocked = false;
  if (auto* text = layerAs<TextLayer>(&layer)) applyTextSettings(*text, s);
  else if (auto* shape = layerAs<ShapeLayer>(&layer)) applyShapeSettings(*shape, s);
  else if (auto* line = layerAs<LineLayer>(&layer)) applyLineSettings(*line, s);
  else if (auto* polyline = layerAs<PolylineLayer>(&layer)) {
    if (tool == NewLayerTool::Path) makePath(*polyline, s);
    else applyPolylineSettings(*polyline, s);
  }
}

}  // namespace

void applyNewLayerDefaults(Layer& layer, int index, const NewLayerSettings& settings, NewLayerTool tool,
                           bool transformGrips) {
  layer.fVisible = true;
  layer.fVisibleBox = transformGrips;
  layer.fSelectable = true;
  layer.fLocked = index <= 0;
  const bool pathInCreation = tool == NewLayerTool::Path && layer.kind() == LayerKind::ielkPolyline;
  if (index >= 1 && !pathInCreation) presetEffects(layer);
  if (tool != NewLayerTool::None) applyToolSettings(layer, settings, tool);
}

double curveFromCurveSize(int curveSize) { return curveSize != 0 ? 1.0 / (curveSize / 100.0) : 0.0; }

int curveSizeFromCurve(double curve) {
  if (curve == 0) return 0;
  // Rounds halves to even, as the settings have always been read back; a curve too
  // small for an int, or no number at all, still gives one.
  const double size = std::nearbyint(100.0 / curve);
  if (std::isnan(size)) return 0;
  return int(std::clamp(size, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
}

}  // namespace lumo
