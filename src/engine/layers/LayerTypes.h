#pragma once
#include <array>
#include <cstdint>

#include <QString>

namespace lumo {

// A colour in the blue-green-red layout used by stored files: red in the low byte.
using TColor = uint32_t;
constexpr TColor clNone = 0x1FFFFFFF;  // "no colour"
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor rgbColor(uint8_t r, uint8_t g, uint8_t b) { return TColor(r) | TColor(g) << 8 | TColor(b) << 16; }
constexpr uint8_t colorRed(TColor c) { return uint8_t(c); }
constexpr uint8_t colorGreen(TColor c) { return uint8_t(c >> 8); }
constexpr uint8_t colorBlue(TColor c) { return uint8_t(c >> 16); }

// Stored as the int32 kind of a layer record.
enum class LayerKind : int32_t { ielkImage = 0, ielkShape, ielkLine, ielkPolyline, ielkText, ielkAngle };
constexpr int kLayerKindCount = 6;

// Blend operations; the ordinal is stored, never renumber.
enum class RenderOperation : uint8_t {
  ielNormal, ielAdd, ielSub, ielDiv, ielMul, ielOR, ielAND, ielXOR, ielMAX, ielMIN, ielAverage,
  ielScreen, ielNegation, ielExclusion, ielOverlay, ielHardLight, ielSoftLight, ielXFader,
  ielColorEdge, ielColorBurn, ielInverseColorDodge, ielInverseColorBurn, ielSoftDodge, ielSoftBurn,
  ielReflect, ielGlow, ielFreeze, ielEat, ielSubtractive, ielInterpolation, ielStamp, ielRed,
  ielGreen, ielBlue, ielHue, ielSaturation, ielColor, ielLuminosity, ielStereoBW, ielStereoColor,
  ielStereoColorDubois, ielStereoEven, ielStereoOdd, ielLuminosity2,
};
constexpr int kRenderOperationCount = 44;

struct RGB24 {
  uint8_t b = 0, g = 0, r = 0;
  friend bool operator==(const RGB24&, const RGB24&) = default;
};

struct DPoint {
  double x = 0, y = 0;
  friend bool operator==(const DPoint&, const DPoint&) = default;
};

struct IPoint {
  int32_t x = 0, y = 0;
  friend bool operator==(const IPoint&, const IPoint&) = default;
};

struct IRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  friend bool operator==(const IRect&, const IRect&) = default;
};

// Soft shadow and inner glow share one record.
struct ShadowRecord {
  bool Enabled = false;
  double Radius = 0;
  double OffsetX = 0;
  double OffsetY = 0;
  int32_t Intensity = 0;  // percent
  RGB24 ShadowColor;
  friend bool operator==(const ShadowRecord&, const ShadowRecord&) = default;
};

// Outline and gradient of text drawn in a layer (`fTextStyling`).
struct TextStyling {
  int32_t BorderWidth = 0;
  TColor BorderColor = clBlack;
  uint8_t BorderLineJoin = 0;
  int32_t FillTransparency1 = 255;
  int32_t FillTransparency2 = 255;
  TColor FillColor2 = clNone;
  uint8_t FillGradient = 0;
  friend bool operator==(const TextStyling&, const TextStyling&) = default;
};

enum FontStyleBits : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// Font sizes are points; a font record keeps the height in pixels (negative: the
// character height), at the 96 pixels per inch that layer text is laid out with.
// Both round like the platform's MulDiv, halves away from zero.
constexpr int32_t fontHeightFromSize(int size) {
  return size >= 0 ? -int32_t((int64_t(size) * 96 + 36) / 72) : int32_t((-int64_t(size) * 96 + 36) / 72);
}
constexpr int fontSizeFromHeight(int32_t height) {
  const int64_t h = height < 0 ? -int64_t(height) : int64_t(height);
  return int((h * 72 + 48) / 96);
}

struct FontRecord {
  QString Name = QStringLiteral("Arial");
  uint8_t Charset = 1;  // default charset
  TColor Color = clBlack;
  int32_t Height = -16;  // negative: character height in pixels
  uint8_t Style = 0;     // FontStyleBits
  friend bool operator==(const FontRecord&, const FontRecord&) = default;
};

// Zoom lens drawn inside an image layer.
struct MagnifyRecord {
  bool Enabled = false;
  double Rate = 2.0;
  uint8_t Style = 0;   // 0 rectangle, 1 ellipse
  uint8_t Source = 0;  // 0 background layer, 1 canvas
  friend bool operator==(const MagnifyRecord&, const MagnifyRecord&) = default;
};

using LayerGuid = std::array<uint8_t, 16>;

}  // namespace lumo
