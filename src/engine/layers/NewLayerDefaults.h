#pragma once
#include <cstdint>

#include <QString>

#include "engine/layers/Layer.h"

namespace lumo {

// The tool settings that reach a layer when a tool creates it. Names and defaults are
// those of the program's stored settings; colours in the blue-green-red layout.
struct NewLayerSettings {
  int fCurrentTextType = 0;  // 0 headline, 1 formatted text
  QString fCurrentText_HeaderFontName = QStringLiteral("Arial");
  int fCurrentText_HeaderFontSize = 38;
  uint8_t fCurrentText_HeaderFontStyle = 0;  // FontStyleBits: bold, italic, underline
  bool fCurrentText_HeaderFontFilledByColor = true;
  TColor fCurrentText_HeaderFontColor1 = 0x0000FF;  // red
  uint8_t fCurrentText_HeaderFontGradient = 16;     // bottom right
  TColor fCurrentText_HeaderFontColor2 = 0x008000;  // green
  int32_t fCurrentText_HeaderFontBorder = 5;
  TColor fCurrentText_HeaderFontBorderColor = clBlack;
  QString fCurrentText_FormattedFontName = QStringLiteral("Arial");
  int fCurrentText_FormattedFontSize = 38;
  uint8_t fCurrentText_FormattedFontStyle = 0;
  TColor fCurrentText_FormattedFontColor = 0x0000FF;

  uint8_t fCurrentShape = 4;  // rectangle
  TColor fCurrentShapeBorderColor = 0x0000FF;
  int32_t fCurrentShapeBorderWidth = 5;
  bool fCurrentShapeFilledByColor = false;
  TColor fCurrentShapeFillColor1 = 0x0000FF;
  TColor fCurrentShapeFillColor2 = 0x008000;
  uint8_t fCurrentShapeGradient = 0;  // none

  TColor fCurrentLineColor = 0x0000FF;
  int32_t fCurrentLineWidth = 5;
  uint8_t fCurrentLineStyle = 0;       // solid
  uint8_t fCurrentLineStartShape = 0;  // none
  uint8_t fCurrentLineEndShape = 0;
  int32_t fCurrentLineShapeSize = 20;
  int fCurrentLineCurveSize = 0;  // the edit box's number, see curveFromCurveSize

  TColor fCurrentPolylineBorderColor = 0x0000FF;
  int32_t fCurrentPolylineBorderWidth = 5;
  bool fCurrentPolylineClosed = false;
  bool fCurrentPolylineFilledByColor = false;
  TColor fCurrentPolylineColor1 = 0x0000FF;
  TColor fCurrentPolylineColor2 = 0x008000;
  uint8_t fCurrentPolylineGradient = 0;

  bool fCurrentPathClosed = false;

  friend bool operator==(const NewLayerSettings&, const NewLayerSettings&) = default;
};

// The tool that is active when a layer is created, as far as new layers care: the
// five vector tools hand their settings on; None stands for the layer tool and every
// other tool, which hand nothing on.
enum class NewLayerTool { None, Text, Shape, Line, Polyline, Path };

// What every layer gets when it is created (by a tool, a command, pasting or loading):
// visible, selectable, locked only as the background, its transform box as the
// "Transform Grips" setting says; above the background the effects are preset (not
// enabled); and, while a vector tool is active, that tool's settings. A polyline made
// with the path tool becomes a path. The pixel format of image layers is not touched.
void applyNewLayerDefaults(Layer& layer, int index, const NewLayerSettings& settings, NewLayerTool tool,
                           bool transformGrips);

// The line curve a layer takes from the curve edit box, and back (0 means straight).
double curveFromCurveSize(int curveSize);
int curveSizeFromCurve(double curve);

}  // namespace lumo
