#include "engine/render/BlendOps.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

namespace lumo {

namespace {

constexpr uint32_t kFullFactor = 1u << 16;

// Exact rounding of x / 255 for 0 <= x <= 255 * 255.
inline uint32_t div255(uint32_t x) {
  x += 128;
  return (x + (x >> 8)) >> 8;
}

// ---- The formulas. Channels are 0 ... 1, b the backdrop, s the source (the layer). ----

using ChannelFormula = float (*)(float b, float s);
// Non-separable formulas work on whole red, green, blue triples.
using PixelFormula = void (*)(const float* b, const float* s, float* out);

inline int byteOf(float v) { return int(v * 255.0f + 0.5f); }
inline float clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

float backdrop(float b, float) { return b; }
float source(float, float s) { return s; }
float add(float b, float s) { return std::min(1.0f, b + s); }
float difference(float b, float s) { return std::fabs(b - s); }
// Division by a black source gives white, except for a black backdrop.
float divide(float b, float s) { return s <= 0 ? (b <= 0 ? 0.0f : 1.0f) : std::min(1.0f, b / s); }
float multiply(float b, float s) { return b * s; }
float bitOr(float b, float s) { return float(byteOf(b) | byteOf(s)) / 255.0f; }
float bitAnd(float b, float s) { return float(byteOf(b) & byteOf(s)) / 255.0f; }
float bitXor(float b, float s) { return float(byteOf(b) ^ byteOf(s)) / 255.0f; }
float lighten(float b, float s) { return std::max(b, s); }
float darken(float b, float s) { return std::min(b, s); }
float average(float b, float s) { return (b + s) / 2; }
float screen(float b, float s) { return b + s - b * s; }
float negation(float b, float s) { return 1 - std::fabs(1 - b - s); }
float exclusion(float b, float s) { return b + s - 2 * b * s; }
float hardLight(float b, float s) { return s <= 0.5f ? 2 * b * s : screen(b, 2 * s - 1); }
float overlay(float b, float s) { return hardLight(s, b); }
float softLight(float b, float s) {
  if (s <= 0.5f) return b - (1 - 2 * s) * b * (1 - b);
  const float d = b <= 0.25f ? ((16 * b - 12) * b + 4) * b : std::sqrt(b);
  return b + (2 * s - 1) * (d - b);
}
// Cross-fade steered by the source channel itself: bright source channels replace the
// backdrop, dark ones let it through. B = b + s (s - b).
float xFader(float b, float s) { return b + s * (s - b); }
float colorDodge(float b, float s) { return b <= 0 ? 0.0f : s >= 1 ? 1.0f : std::min(1.0f, b / (1 - s)); }
float colorBurn(float b, float s) { return b >= 1 ? 1.0f : s <= 0 ? 0.0f : 1 - std::min(1.0f, (1 - b) / s); }
// The dodge and burn with backdrop and source exchanged.
float inverseColorDodge(float b, float s) { return colorDodge(s, b); }
float inverseColorBurn(float b, float s) { return colorBurn(s, b); }
// Soft dodge: b + s < 1 gives (b / (1 - s)) / 2, otherwise 1 - ((1 - s) / b) / 2.
float softDodge(float b, float s) {
  if (b + s < 1) return std::min(1.0f, 0.5f * b / (1 - s));
  return b <= 0 ? 1.0f : clamp01(1 - 0.5f * (1 - s) / b);
}
// Soft burn: b + s < 1 gives (s / (1 - b)) / 2, otherwise 1 - ((1 - b) / s) / 2.
float softBurn(float b, float s) {
  if (b + s < 1) return std::min(1.0f, 0.5f * s / (1 - b));
  return s <= 0 ? 1.0f : clamp01(1 - 0.5f * (1 - b) / s);
}
float reflect(float b, float s) { return s >= 1 ? 1.0f : std::min(1.0f, b * b / (1 - s)); }
float glow(float b, float s) { return reflect(s, b); }
// Freeze: 1 - (1 - b)² / s, black where the source is black.
float freeze(float b, float s) { return s <= 0 ? 0.0f : std::max(0.0f, 1 - (1 - b) * (1 - b) / s); }
// Eat: the source eats its own brightness out of the backdrop, b - s, at least 0.
float eat(float b, float s) { return std::max(0.0f, b - s); }
// Subtractive: b + s - 1, at least 0.
float subtractive(float b, float s) { return std::max(0.0f, b + s - 1); }
// Interpolation: 1/2 - cos(π b) / 4 - cos(π s) / 4, a smooth mean of the two.
float interpolation(float b, float s) {
  constexpr float pi = 3.14159265358979f;
  return 0.5f - 0.25f * std::cos(pi * b) - 0.25f * std::cos(pi * s);
}
// Stamp: b + 2 s - 1, clamped.
float stamp(float b, float s) { return clamp01(b + 2 * s - 1); }

// The non-separable formulas of the W3C compositing and blending standard.
inline float lum(const float* c) { return 0.3f * c[0] + 0.59f * c[1] + 0.11f * c[2]; }
inline float sat(const float* c) { return std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]}); }
void setLum(const float* c, float l, float* out) {
  const float d = l - lum(c);
  for (int k = 0; k < 3; ++k) out[k] = c[k] + d;
  const float L = lum(out), n = std::min({out[0], out[1], out[2]}), x = std::max({out[0], out[1], out[2]});
  if (n < 0)
    for (int k = 0; k < 3; ++k) out[k] = L + (out[k] - L) * L / (L - n);
  if (x > 1)
    for (int k = 0; k < 3; ++k) out[k] = L + (out[k] - L) * (1 - L) / (x - L);
}
// Every channel measured from the smallest: the largest becomes s, the smallest 0.
void setSat(const float* c, float s, float* out) {
  const float n = std::min({c[0], c[1], c[2]}), range = std::max({c[0], c[1], c[2]}) - n;
  for (int k = 0; k < 3; ++k) out[k] = range > 0 ? (c[k] - n) * s / range : 0.0f;
}
void hue(const float* b, const float* s, float* out) {
  float t[3];
  setSat(s, sat(b), t);
  setLum(t, lum(b), out);
}
void saturation(const float* b, const float* s, float* out) {
  float t[3];
  setSat(b, sat(s), t);
  setLum(t, lum(b), out);
}
void color(const float* b, const float* s, float* out) { setLum(s, lum(b), out); }
void luminosity(const float* b, const float* s, float* out) { setLum(b, lum(s), out); }
// Luminosity 2 works in HSL instead: the backdrop's hue and saturation with the source's
// lightness (max + min) / 2. With the hue and saturation fixed, every channel's distance
// from the lightness scales with 1 - |2L - 1|; a black or white backdrop gives grey.
void luminosity2(const float* b, const float* s, float* out) {
  const float ls = (std::max({s[0], s[1], s[2]}) + std::min({s[0], s[1], s[2]})) / 2;
  const float lb = (std::max({b[0], b[1], b[2]}) + std::min({b[0], b[1], b[2]})) / 2;
  const float room = 1 - std::fabs(2 * lb - 1);
  const float k = room > 0 ? (1 - std::fabs(2 * ls - 1)) / room : 0.0f;
  for (int c = 0; c < 3; ++c) out[c] = clamp01(ls + (b[c] - lb) * k);
}
// Red-cyan anaglyphs: the layer is the left eye's picture (through the red filter), the
// backdrop the right eye's (through the cyan filter).
void stereoBW(const float* b, const float* s, float* out) {
  out[0] = lum(s);
  out[1] = out[2] = lum(b);
}
// Dubois' least-squares red-cyan matrices, applied to the stored (gamma-encoded) values.
void stereoDubois(const float* b, const float* s, float* out) {
  static constexpr float left[3][3] = {{0.456f, 0.500f, 0.176f}, {-0.040f, -0.038f, -0.016f}, {-0.015f, -0.021f, -0.005f}};
  static constexpr float right[3][3] = {{-0.043f, -0.088f, -0.002f}, {0.378f, 0.734f, -0.018f}, {-0.072f, -0.113f, 1.226f}};
  for (int k = 0; k < 3; ++k)
    out[k] = clamp01(left[k][0] * s[0] + left[k][1] * s[1] + left[k][2] * s[2] + right[k][0] * b[0] +
                     right[k][1] * b[1] + right[k][2] * b[2]);
}

// ---- The table: every operation, once. ----

enum class Kind { Normal, Separable, Pixel, EvenRows, OddRows };

struct Operation {
  RenderOperation op;
  const char* name;
  Kind kind;
  ChannelFormula red = nullptr, green = nullptr, blue = nullptr;
  PixelFormula pixel = nullptr;
};

constexpr Operation sep(RenderOperation op, const char* name, ChannelFormula f) { return {op, name, Kind::Separable, f, f, f}; }
constexpr Operation px(RenderOperation op, const char* name, PixelFormula f) {
  return {op, name, Kind::Pixel, nullptr, nullptr, nullptr, f};
}

using R = RenderOperation;
constexpr Operation kOperations[] = {
    {R::ielNormal, "Normal", Kind::Normal},
    sep(R::ielAdd, "Add", add),
    sep(R::ielSub, "Sub", difference),
    sep(R::ielDiv, "Div", divide),
    sep(R::ielMul, "Mul", multiply),
    sep(R::ielOR, "OR", bitOr),
    sep(R::ielAND, "AND", bitAnd),
    sep(R::ielXOR, "XOR", bitXor),
    sep(R::ielMAX, "MAX", lighten),
    sep(R::ielMIN, "MIN", darken),
    sep(R::ielAverage, "Average", average),
    sep(R::ielScreen, "Screen", screen),
    sep(R::ielNegation, "Negation", negation),
    sep(R::ielExclusion, "Exclusion", exclusion),
    sep(R::ielOverlay, "Overlay", overlay),
    sep(R::ielHardLight, "HardLight", hardLight),
    sep(R::ielSoftLight, "SoftLight", softLight),
    sep(R::ielXFader, "XFader", xFader),
    sep(R::ielColorEdge, "ColorEdge", colorDodge),
    sep(R::ielColorBurn, "ColorBurn", colorBurn),
    sep(R::ielInverseColorDodge, "InverseColorDodge", inverseColorDodge),
    sep(R::ielInverseColorBurn, "InverseColorBurn", inverseColorBurn),
    sep(R::ielSoftDodge, "SoftDodge", softDodge),
    sep(R::ielSoftBurn, "SoftBurn", softBurn),
    sep(R::ielReflect, "Reflect", reflect),
    sep(R::ielGlow, "Glow", glow),
    sep(R::ielFreeze, "Freeze", freeze),
    sep(R::ielEat, "Eat", eat),
    sep(R::ielSubtractive, "Subtractive", subtractive),
    sep(R::ielInterpolation, "Interpolation", interpolation),
    sep(R::ielStamp, "Stamp", stamp),
    {R::ielRed, "Red", Kind::Separable, source, backdrop, backdrop},
    {R::ielGreen, "Green", Kind::Separable, backdrop, source, backdrop},
    {R::ielBlue, "Blue", Kind::Separable, backdrop, backdrop, source},
    px(R::ielHue, "Hue", hue),
    px(R::ielSaturation, "Saturation", saturation),
    px(R::ielColor, "Color", color),
    px(R::ielLuminosity, "Luminosity", luminosity),
    px(R::ielStereoBW, "StereoBW", stereoBW),
    // Colour anaglyph: the layer's red, the backdrop's green and blue.
    {R::ielStereoColor, "StereoColor", Kind::Separable, source, backdrop, backdrop},
    px(R::ielStereoColorDubois, "StereoColorDubois", stereoDubois),
    // The layer takes the even, or the odd, rows of the canvas (counted from 0).
    {R::ielStereoEven, "StereoEven", Kind::EvenRows},
    {R::ielStereoOdd, "StereoOdd", Kind::OddRows},
    px(R::ielLuminosity2, "Luminosity2", luminosity2),
};
constexpr int kCount = int(std::size(kOperations));
static_assert(kCount == kRenderOperationCount);
constexpr bool tableInOrder() {
  for (int i = 0; i < kCount; ++i)
    if (int(kOperations[i].op) != i) return false;
  return true;
}
static_assert(tableInOrder(), "the table is indexed by the operation's ordinal");

// Separable formulas run from 256 × 256 tables of bytes, indexed backdrop * 256 + source,
// made once for every distinct formula.
struct Tables {
  std::array<std::array<const uint8_t*, 3>, kCount> channel{};  // red, green, blue
  std::vector<std::vector<uint8_t>> storage;

  Tables() {
    std::map<ChannelFormula, const uint8_t*> made;
    storage.reserve(3 * kCount);
    auto tableOf = [&](ChannelFormula f) {
      if (auto it = made.find(f); it != made.end()) return it->second;
      std::vector<uint8_t>& t = storage.emplace_back(65536);
      for (int b = 0; b < 256; ++b)
        for (int s = 0; s < 256; ++s) t[size_t(b * 256 + s)] = uint8_t(byteOf(clamp01(f(b / 255.0f, s / 255.0f))));
      return made[f] = t.data();
    };
    for (int i = 0; i < kCount; ++i)
      if (kOperations[i].kind == Kind::Separable)
        channel[size_t(i)] = {tableOf(kOperations[i].red), tableOf(kOperations[i].green), tableOf(kOperations[i].blue)};
  }
};
const Tables& tables() {
  static const Tables t;
  return t;
}

// 255 * 65536 / a, for turning a premultiplied backdrop channel back into a straight one.
struct Reciprocals {
  std::array<uint32_t, 256> v{};
  constexpr Reciprocals() {
    for (int a = 1; a < 256; ++a) v[size_t(a)] = uint32_t((255u * 65536u + uint32_t(a) / 2) / uint32_t(a));
  }
};
constexpr Reciprocals kReciprocals;

inline uint32_t straightChannel(uint32_t premultiplied, uint32_t alpha) {
  return std::min<uint32_t>(255, (premultiplied * kReciprocals.v[alpha] + 0x8000) >> 16);
}

template <SourceLayout L>
struct Layout;
template <> struct Layout<SourceLayout::Bgr24> { static constexpr int pixelStep = 3, alphaStep = 0; };
template <> struct Layout<SourceLayout::Bgr24Alpha> { static constexpr int pixelStep = 3, alphaStep = 1; };
template <> struct Layout<SourceLayout::Bgrx32> { static constexpr int pixelStep = 4, alphaStep = 0; };
template <> struct Layout<SourceLayout::Bgrx32Alpha> { static constexpr int pixelStep = 4, alphaStep = 1; };
template <> struct Layout<SourceLayout::Argb32> { static constexpr int pixelStep = 4, alphaStep = 4; };

template <SourceLayout L>
inline uint32_t sourceAlpha(const uint8_t* alpha, int i, uint32_t factor) {
  uint32_t a = Layout<L>::alphaStep ? alpha[i * Layout<L>::alphaStep] : 255;
  if (factor != kFullFactor) a = (a * factor + kFullFactor / 2) >> 16;
  return a;
}

template <SourceLayout L>
void normalRow(uint32_t* dst, const uint8_t* bgr, const uint8_t* alpha, int count, uint32_t factor, int) {
  for (int i = 0; i < count; ++i, bgr += Layout<L>::pixelStep) {
    const uint32_t a = sourceAlpha<L>(alpha, i, factor);
    if (a == 0) continue;
    if (a == 255) {
      dst[i] = 0xFF000000u | uint32_t(bgr[2]) << 16 | uint32_t(bgr[1]) << 8 | bgr[0];
      continue;
    }
    const uint32_t d = dst[i], rest = 255 - a;
    const uint32_t b = div255(bgr[0] * a + (d & 0xFF) * rest);
    const uint32_t g = div255(bgr[1] * a + (d >> 8 & 0xFF) * rest);
    const uint32_t r = div255(bgr[2] * a + (d >> 16 & 0xFF) * rest);
    const uint32_t outA = a + div255((d >> 24) * rest);
    dst[i] = outA << 24 | r << 16 | g << 8 | b;
  }
}

template <int Index, SourceLayout L>
void interleavedRow(uint32_t* dst, const uint8_t* bgr, const uint8_t* alpha, int count, uint32_t factor, int canvasY) {
  const int parity = kOperations[Index].kind == Kind::EvenRows ? 0 : 1;
  if ((canvasY & 1) == parity) normalRow<L>(dst, bgr, alpha, count, factor, canvasY);
}

// W3C source-over with blend, in premultiplied terms with the source alpha a and the
// backdrop alpha ab: c = Cs a (1 - ab) + cb (1 - a) + a ab B.
inline uint32_t blended(uint32_t straightSource, uint32_t premultipliedBackdrop, uint32_t blend, uint32_t a,
                        uint32_t ab) {
  return (straightSource * a * (255 - ab) + premultipliedBackdrop * (255 - a) * 255 + a * ab * blend + 32512) / 65025;
}

template <int Index, SourceLayout L>
void blendRow(uint32_t* dst, const uint8_t* bgr, const uint8_t* alpha, int count, uint32_t factor, int) {
  constexpr Operation op = kOperations[Index];
  const uint8_t *tr = nullptr, *tg = nullptr, *tb = nullptr;
  if constexpr (op.kind == Kind::Separable) {
    const auto& t = tables().channel[Index];
    tr = t[0], tg = t[1], tb = t[2];
  }
  for (int i = 0; i < count; ++i, bgr += Layout<L>::pixelStep) {
    const uint32_t a = sourceAlpha<L>(alpha, i, factor);
    if (a == 0) continue;
    const uint32_t d = dst[i], ab = d >> 24;
    const uint32_t s[3] = {bgr[2], bgr[1], bgr[0]};  // red, green, blue
    const uint32_t c[3] = {d >> 16 & 0xFF, d >> 8 & 0xFF, d & 0xFF};
    uint32_t out[3];
    if (ab == 0) {
      // Nothing to blend with: the source as it is.
      for (int k = 0; k < 3; ++k) out[k] = div255(s[k] * a);
      dst[i] = a << 24 | out[0] << 16 | out[1] << 8 | out[2];
      continue;
    }
    uint32_t cb[3];
    for (int k = 0; k < 3; ++k) cb[k] = ab == 255 ? c[k] : straightChannel(c[k], ab);
    uint32_t B[3];
    if constexpr (op.kind == Kind::Separable) {
      B[0] = tr[cb[0] << 8 | s[0]];
      B[1] = tg[cb[1] << 8 | s[1]];
      B[2] = tb[cb[2] << 8 | s[2]];
    } else {
      const float fb[3] = {cb[0] / 255.0f, cb[1] / 255.0f, cb[2] / 255.0f};
      const float fs[3] = {s[0] / 255.0f, s[1] / 255.0f, s[2] / 255.0f};
      float fo[3];
      op.pixel(fb, fs, fo);
      for (int k = 0; k < 3; ++k) B[k] = uint32_t(byteOf(clamp01(fo[k])));
    }
    if (ab == 255) {
      // Over an opaque backdrop the formula shrinks to a mix of backdrop and blend.
      if (a == 255) {
        dst[i] = 0xFF000000u | B[0] << 16 | B[1] << 8 | B[2];
      } else {
        for (int k = 0; k < 3; ++k) out[k] = div255(c[k] * (255 - a) + B[k] * a);
        dst[i] = 0xFF000000u | out[0] << 16 | out[1] << 8 | out[2];
      }
      continue;
    }
    for (int k = 0; k < 3; ++k) out[k] = blended(s[k], c[k], B[k], a, ab);
    const uint32_t outA = a + div255(ab * (255 - a));
    dst[i] = outA << 24 | out[0] << 16 | out[1] << 8 | out[2];
  }
}

template <int Index, SourceLayout L>
constexpr BlendRow rowOf() {
  constexpr Kind kind = kOperations[Index].kind;
  if constexpr (kind == Kind::Normal) return &normalRow<L>;
  else if constexpr (kind == Kind::EvenRows || kind == Kind::OddRows) return &interleavedRow<Index, L>;
  else return &blendRow<Index, L>;
}

constexpr int kLayoutCount = 5;
using RowTable = std::array<std::array<BlendRow, kLayoutCount>, kCount>;

template <int Index>
constexpr std::array<BlendRow, kLayoutCount> rowsOf() {
  return {rowOf<Index, SourceLayout::Bgr24>(), rowOf<Index, SourceLayout::Bgr24Alpha>(),
          rowOf<Index, SourceLayout::Bgrx32>(), rowOf<Index, SourceLayout::Bgrx32Alpha>(),
          rowOf<Index, SourceLayout::Argb32>()};
}
template <int... I>
constexpr RowTable makeRowTable(std::integer_sequence<int, I...>) {
  return {rowsOf<I>()...};
}
constexpr RowTable kRows = makeRowTable(std::make_integer_sequence<int, kCount>());

}  // namespace

BlendRow blendRowFor(RenderOperation operation, SourceLayout layout) {
  const int index = int(operation) < kCount ? int(operation) : 0;
  return kRows[size_t(index)][size_t(layout)];
}

const char* blendOperationName(RenderOperation operation) {
  return int(operation) < kCount ? kOperations[int(operation)].name : "Normal";
}

}  // namespace lumo
