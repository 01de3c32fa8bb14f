#include "engine/render/BlendOps.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

// The eight-lane functions below take 32-byte vectors by value. All of them are inlined
// into the one function that runs a formula, so no such value crosses a call, where
// the AVX2 and the baseline copies would pass it differently.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace lumo {

namespace {

static_assert(std::endian::native == std::endian::little, "ARGB32 pixels are read as blue, green, red, alpha bytes");

constexpr uint32_t kFullFactor = 1u << 16;

// Exact rounding of x / 255 for 0 <= x <= 255 * 255.
inline uint32_t div255(uint32_t x) {
  x += 128;
  return (x + (x >> 8)) >> 8;
}

// ---- The formulas. Channels are 0 ... 1, b the backdrop, s the source (the layer). ----

using ChannelFormula = float (*)(float b, float s);

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

// The non-separable formulas of the W3C compositing and blending standard, worked on
// eight pixels at once: each lane is plain IEEE single precision, so the result is that
// of the same formula on one pixel.
using Floats = float __attribute__((vector_size(32)));
using Ints = int32_t __attribute__((vector_size(32)));
constexpr int kLanes = 8;
struct Rgb {
  Floats r, g, b;
};
using PixelFormula = Rgb (*)(const Rgb& b, const Rgb& s);

[[gnu::always_inline]] inline Floats vmin(Floats a, Floats b) { return b < a ? b : a; }
[[gnu::always_inline]] inline Floats vmax(Floats a, Floats b) { return a < b ? b : a; }
[[gnu::always_inline]] inline Floats vabs(Floats a) { return a < 0 ? -a : a; }
[[gnu::always_inline]] inline Floats vclamp01(Floats a) { return vmin(vmax(a, Floats{} + 0.0f), Floats{} + 1.0f); }
[[gnu::always_inline]] inline Floats lum(const Rgb& c) { return 0.3f * c.r + 0.59f * c.g + 0.11f * c.b; }
[[gnu::always_inline]] inline Floats mn(const Rgb& c) { return vmin(vmin(c.r, c.g), c.b); }
[[gnu::always_inline]] inline Floats mx(const Rgb& c) { return vmax(vmax(c.r, c.g), c.b); }
[[gnu::always_inline]] inline Floats sat(const Rgb& c) { return mx(c) - mn(c); }
// Both sides of every choice are worked out and one is kept; a division by zero on the
// side not kept does no harm.
[[gnu::always_inline]] inline Rgb setLum(const Rgb& c, Floats l) {
  const Floats d = l - lum(c);
  Rgb out{c.r + d, c.g + d, c.b + d};
  const Floats L = lum(out), n = mn(out), x = mx(out);
  // (v - L) * L / (L - n) is worked out in that order, as one pixel at a time would.
  out.r = n < 0 ? L + (out.r - L) * L / (L - n) : out.r;
  out.g = n < 0 ? L + (out.g - L) * L / (L - n) : out.g;
  out.b = n < 0 ? L + (out.b - L) * L / (L - n) : out.b;
  out.r = x > 1 ? L + (out.r - L) * (1 - L) / (x - L) : out.r;
  out.g = x > 1 ? L + (out.g - L) * (1 - L) / (x - L) : out.g;
  out.b = x > 1 ? L + (out.b - L) * (1 - L) / (x - L) : out.b;
  return out;
}
// Every channel measured from the smallest: the largest becomes s, the smallest 0.
[[gnu::always_inline]] inline Rgb setSat(const Rgb& c, Floats s) {
  const Floats n = mn(c), range = mx(c) - n;
  return {range > 0 ? (c.r - n) * s / range : Floats{}, range > 0 ? (c.g - n) * s / range : Floats{},
          range > 0 ? (c.b - n) * s / range : Floats{}};
}
[[gnu::always_inline]] inline Rgb hue(const Rgb& b, const Rgb& s) { return setLum(setSat(s, sat(b)), lum(b)); }
[[gnu::always_inline]] inline Rgb saturation(const Rgb& b, const Rgb& s) { return setLum(setSat(b, sat(s)), lum(b)); }
[[gnu::always_inline]] inline Rgb color(const Rgb& b, const Rgb& s) { return setLum(s, lum(b)); }
[[gnu::always_inline]] inline Rgb luminosity(const Rgb& b, const Rgb& s) { return setLum(b, lum(s)); }
// Luminosity 2 works in HSL instead: the backdrop's hue and saturation with the source's
// lightness (max + min) / 2. With the hue and saturation fixed, every channel's distance
// from the lightness scales with 1 - |2L - 1|; a black or white backdrop gives grey.
[[gnu::always_inline]] inline Rgb luminosity2(const Rgb& b, const Rgb& s) {
  const Floats ls = (mx(s) + mn(s)) / 2, lb = (mx(b) + mn(b)) / 2;
  const Floats room = 1 - vabs(2 * lb - 1);
  const Floats k = room > 0 ? (1 - vabs(2 * ls - 1)) / room : Floats{};
  return {vclamp01(ls + (b.r - lb) * k), vclamp01(ls + (b.g - lb) * k), vclamp01(ls + (b.b - lb) * k)};
}
// Red-cyan anaglyphs: the layer is the left eye's picture (through the red filter), the
// backdrop the right eye's (through the cyan filter).
[[gnu::always_inline]] inline Rgb stereoBW(const Rgb& b, const Rgb& s) { return {lum(s), lum(b), lum(b)}; }
// Dubois' least-squares red-cyan matrices, applied to the stored (gamma-encoded) values.
[[gnu::always_inline]] inline Rgb stereoDubois(const Rgb& b, const Rgb& s) {
  static constexpr float left[3][3] = {{0.456f, 0.500f, 0.176f}, {-0.040f, -0.038f, -0.016f}, {-0.015f, -0.021f, -0.005f}};
  static constexpr float right[3][3] = {{-0.043f, -0.088f, -0.002f}, {0.378f, 0.734f, -0.018f}, {-0.072f, -0.113f, 1.226f}};
  Floats out[3];
  for (int k = 0; k < 3; ++k)
    out[k] = vclamp01(left[k][0] * s.r + left[k][1] * s.g + left[k][2] * s.b + right[k][0] * b.r + right[k][1] * b.g +
                      right[k][2] * b.b);
  return {out[0], out[1], out[2]};
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

// Rows are worked on in chunks of this many pixels, each step over the whole chunk.
constexpr int kChunk = 128;

using Sixteen = uint8_t __attribute__((vector_size(16)));

// Byte shuffles by constant indices, and run-time dispatch of templates, in the forms
// both compilers take (clang names the shuffle differently and clones no templates).
#if defined(__clang__)
#define LUMO_SHUFFLE16(v, ...) __builtin_shufflevector(v, v, __VA_ARGS__)
#define LUMO_TEMPLATE_CLONES
#else
#define LUMO_SHUFFLE16(v, ...) __builtin_shuffle(v, Sixteen{__VA_ARGS__})
#define LUMO_TEMPLATE_CLONES [[gnu::target_clones("avx2", "default")]]
#endif

// Pixels of 3 or 4 bytes as opaque ARGB32. Every pixel but the last is read as four
// bytes, which for 3-byte pixels reach into the next one.
template <int Step>
void expandPixelsByOne(const uint8_t* bgr, int n, uint32_t* out) {
  for (int i = 0; i < n - 1; ++i, bgr += Step) {
    uint32_t v;
    std::memcpy(&v, bgr, 4);
    out[i] = v | 0xFF000000u;
  }
  if (n > 0) out[n - 1] = 0xFF000000u | uint32_t(bgr[2]) << 16 | uint32_t(bgr[1]) << 8 | bgr[0];
}

// 3-byte pixels sixteen at a time: four loads of 16 bytes, each spread into four pixels.
// The last load reaches 4 bytes beyond the sixteen, so a group needs two more pixels.
[[gnu::target_clones("avx2", "ssse3", "default")]] void expandBgr24(const uint8_t* bgr, int n, uint32_t* out) {
  constexpr Sixteen opaque = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
  int i = 0;
  for (; i + 18 <= n; i += 16, bgr += 48)
    for (int k = 0; k < 4; ++k) {
      Sixteen v;
      std::memcpy(&v, bgr + 12 * k, sizeof v);
      v = LUMO_SHUFFLE16(v, 0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 8, 0, 9, 10, 11, 0) | opaque;
      std::memcpy(out + i + 4 * k, &v, sizeof v);
    }
  expandPixelsByOne<3>(bgr, n - i, out + i);
}

template <int Step>
void expandPixels(const uint8_t* bgr, int n, uint32_t* out) {
  if constexpr (Step == 3) expandBgr24(bgr, n, out);
  else expandPixelsByOne<4>(bgr, n, out);
}

// Alpha bytes J ... J + 3 of sixteen, each repeated into the four bytes of a pixel.
template <int J>
[[gnu::always_inline]] inline Sixteen fourAlphas(Sixteen a) {
  return LUMO_SHUFFLE16(a, J, J, J, J, J + 1, J + 1, J + 1, J + 1, J + 2, J + 2, J + 2, J + 2, J + 3, J + 3, J + 3,
                        J + 3);
}

// Alpha bytes repeated into all four bytes of a pixel, sixteen at a time.
[[gnu::target_clones("avx2", "ssse3", "default")]] void repeatAlpha(const uint8_t* alpha, int n, uint32_t* alpha4) {
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    Sixteen a;
    std::memcpy(&a, alpha + i, sizeof a);
    const Sixteen v[4] = {fourAlphas<0>(a), fourAlphas<4>(a), fourAlphas<8>(a), fourAlphas<12>(a)};
    std::memcpy(alpha4 + i, v, sizeof v);
  }
  for (; i < n; ++i) alpha4[i] = alpha[i] * 0x01010101u;
}

// One chunk of a source row: every pixel as opaque ARGB32 (`colour`), and its alpha
// after the layer's factor repeated in all four bytes (`alpha4`).
template <SourceLayout L>
void loadSource(const uint8_t* bgr, const uint8_t* alpha, int n, uint32_t factor, uint32_t* colour, uint32_t* alpha4) {
  constexpr int step = Layout<L>::alphaStep;
  expandPixels<Layout<L>::pixelStep>(bgr, n, colour);
  if (factor == kFullFactor && step == 1) {
    repeatAlpha(alpha, n, alpha4);
  } else if (factor == kFullFactor) {
    for (int i = 0; i < n; ++i) alpha4[i] = (step ? alpha[i * step] : 255u) * 0x01010101u;
  } else {
    for (int i = 0; i < n; ++i) alpha4[i] = (((step ? alpha[i * step] : 255u) * factor + kFullFactor / 2) >> 16) * 0x01010101u;
  }
}

using Bytes = uint8_t __attribute__((vector_size(32)));
using Words = uint16_t __attribute__((vector_size(64)));

// Eight pixels of dst = div255(src × a + dst × (255 − a)), byte by byte. With the opaque
// alpha byte of `src` this is premultiplied "over" of a straight source, alpha included:
// a + div255(ab (255 − a)) = div255(255 a + ab (255 − a)).
[[gnu::always_inline]] inline void mixEight(uint32_t* dst, const uint32_t* src, const uint32_t* alpha4) {
  Bytes d, s, a;
  std::memcpy(&d, dst, sizeof d);
  std::memcpy(&s, src, sizeof s);
  std::memcpy(&a, alpha4, sizeof a);
  const Words A = __builtin_convertvector(a, Words);
  Words x = __builtin_convertvector(s, Words) * A + __builtin_convertvector(d, Words) * (255 - A) + 128;
  x = (x + (x >> 8)) >> 8;
  const Bytes out = __builtin_convertvector(x, Bytes);
  std::memcpy(dst, &out, sizeof out);
}

[[gnu::target_clones("avx2", "default")]] void mixOver(uint32_t* dst, const uint32_t* src, const uint32_t* alpha4,
                                                       int n) {
  int i = 0;
  for (; i + 8 <= n; i += 8) mixEight(dst + i, src + i, alpha4 + i);
  if (i == n) return;
  uint32_t d[8] = {}, s[8] = {}, a[8] = {};
  std::copy(dst + i, dst + n, d);
  std::copy(src + i, src + n, s);
  std::copy(alpha4 + i, alpha4 + n, a);
  mixEight(d, s, a);
  std::copy(d, d + (n - i), dst + i);
}

template <SourceLayout L>
void normalRow(uint32_t* dst, const uint8_t* bgr, const uint8_t* alpha, int count, uint32_t factor, int) {
  if (Layout<L>::alphaStep == 0 && factor == kFullFactor) return expandPixels<Layout<L>::pixelStep>(bgr, count, dst);
  alignas(32) uint32_t colour[kChunk], alpha4[kChunk];
  for (int i = 0; i < count; i += kChunk) {
    const int n = std::min(kChunk, count - i);
    loadSource<L>(bgr + size_t(i) * Layout<L>::pixelStep, alpha + i * Layout<L>::alphaStep, n, factor, colour, alpha4);
    mixOver(dst + i, colour, alpha4, n);
  }
}

template <int Index, SourceLayout L>
void interleavedRow(uint32_t* dst, const uint8_t* bgr, const uint8_t* alpha, int count, uint32_t factor, int canvasY) {
  const int parity = kOperations[Index].kind == Kind::EvenRows ? 0 : 1;
  if ((canvasY & 1) == parity) normalRow<L>(dst, bgr, alpha, count, factor, canvasY);
}

// The backdrop's colour made straight; 255 * 65536 / 255 is exactly 65536, so opaque
// pixels come back as they are.
inline void straightBackdrop(uint32_t d, uint32_t& r, uint32_t& g, uint32_t& b) {
  const uint32_t ab = d >> 24;
  r = d >> 16 & 0xFF, g = d >> 8 & 0xFF, b = d & 0xFF;
  if (ab != 255) r = straightChannel(r, ab), g = straightChannel(g, ab), b = straightChannel(b, ab);
}

// The blend result B of a chunk of separable operation `Index` into `blend` (opaque ARGB32).
// Returns whether the whole backdrop chunk is opaque.
template <int Index>
bool separableBlend(const uint32_t* dst, const uint32_t* colour, int n, uint32_t* blend) {
  const auto& t = tables().channel[Index];
  const uint8_t *tr = t[0], *tg = t[1], *tb = t[2];
  uint32_t opaque = 0xFF;
  for (int i = 0; i < n; ++i) {
    uint32_t r, g, b;
    straightBackdrop(dst[i], r, g, b);
    opaque &= dst[i] >> 24;
    const uint32_t s = colour[i];
    blend[i] = 0xFF000000u | uint32_t(tr[r << 8 | (s >> 16 & 0xFF)]) << 16 | uint32_t(tg[g << 8 | (s >> 8 & 0xFF)]) << 8 |
               tb[b << 8 | (s & 0xFF)];
  }
  return opaque == 0xFF;
}

using Unsigned = uint32_t __attribute__((vector_size(32)));
[[gnu::always_inline]] inline Unsigned toByte(Floats v) {
  return __builtin_convertvector(__builtin_convertvector(vclamp01(v) * 255.0f + 0.5f, Ints), Unsigned);
}
// A channel of eight ARGB32 pixels as 0 ... 1 (divided, as the formulas' definitions are).
[[gnu::always_inline]] inline Floats unit(Unsigned pixels, int shift) {
  return __builtin_convertvector(pixels >> shift & 0xFF, Floats) / 255.0f;
}

// The blend result of a non-separable formula for `n` pixels (rounded up to eight) of
// straight backdrop and source, both opaque ARGB32.
template <PixelFormula F>
LUMO_TEMPLATE_CLONES void pixelChunk(const uint32_t* backdrop, const uint32_t* colour, int n,
                                      uint32_t* blend) {
  for (int i = 0; i < n; i += kLanes) {
    Unsigned b, s;
    std::memcpy(&b, backdrop + i, sizeof b);
    std::memcpy(&s, colour + i, sizeof s);
    const Rgb out = F({unit(b, 16), unit(b, 8), unit(b, 0)}, {unit(s, 16), unit(s, 8), unit(s, 0)});
    const Unsigned packed = 0xFF000000u | toByte(out.r) << 16 | toByte(out.g) << 8 | toByte(out.b);
    std::memcpy(blend + i, &packed, sizeof packed);
  }
}

// The same for a non-separable operation, with the backdrop made straight first.
template <PixelFormula F>
bool pixelBlend(const uint32_t* dst, uint32_t* colour, int n, uint32_t* blend) {
  alignas(32) uint32_t backdrop[kChunk];
  uint32_t opaque = 0xFF;
  for (int i = 0; i < n; ++i) opaque &= dst[i] >> 24;
  if (opaque == 0xFF) {
    std::copy(dst, dst + n, backdrop);
  } else {
    for (int i = 0; i < n; ++i) {
      uint32_t r, g, b;
      straightBackdrop(dst[i], r, g, b);
      backdrop[i] = r << 16 | g << 8 | b;
    }
  }
  // The last group of eight is filled up with black.
  const int rounded = (n + kLanes - 1) / kLanes * kLanes;
  std::fill(backdrop + n, backdrop + rounded, 0u);
  std::fill(colour + n, colour + rounded, 0u);
  pixelChunk<F>(backdrop, colour, rounded, blend);
  return opaque == 0xFF;
}

// W3C source-over with blend, in premultiplied terms with the source alpha a and the
// backdrop alpha ab: c = Cs a (1 - ab) + cb (1 - a) + a ab B. Over an opaque backdrop it
// shrinks to the mix of backdrop and blend that mixOver does; without a backdrop it is
// the source itself, and with a = 0 the backdrop stays.
inline uint32_t blended(uint32_t straightSource, uint32_t premultipliedBackdrop, uint32_t blend, uint32_t a,
                        uint32_t ab) {
  return (straightSource * a * (255 - ab) + premultipliedBackdrop * (255 - a) * 255 + a * ab * blend + 32512) / 65025;
}

void composeBlend(uint32_t* dst, const uint32_t* colour, const uint32_t* blend, const uint32_t* alpha4, int n) {
  for (int i = 0; i < n; ++i) {
    const uint32_t a = alpha4[i] & 0xFF, d = dst[i], ab = d >> 24, s = colour[i], B = blend[i];
    uint32_t out = (a + div255(ab * (255 - a))) << 24;
    for (int shift = 0; shift < 24; shift += 8)
      out |= blended(s >> shift & 0xFF, d >> shift & 0xFF, B >> shift & 0xFF, a, ab) << shift;
    dst[i] = out;
  }
}

template <int Index, SourceLayout L>
void blendRow(uint32_t* dst, const uint8_t* bgr, const uint8_t* alpha, int count, uint32_t factor, int) {
  constexpr Operation op = kOperations[Index];
  alignas(32) uint32_t colour[kChunk], alpha4[kChunk], blend[kChunk];
  for (int i = 0; i < count; i += kChunk) {
    const int n = std::min(kChunk, count - i);
    loadSource<L>(bgr + size_t(i) * Layout<L>::pixelStep, alpha + i * Layout<L>::alphaStep, n, factor, colour, alpha4);
    bool opaque;
    if constexpr (op.kind == Kind::Separable) opaque = separableBlend<Index>(dst + i, colour, n, blend);
    else opaque = pixelBlend<op.pixel>(dst + i, colour, n, blend);
    if (opaque) mixOver(dst + i, blend, alpha4, n);
    else composeBlend(dst + i, colour, blend, alpha4, n);
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

bool blendRowCovers(RenderOperation operation, SourceLayout layout, uint32_t factor) {
  return factor == kFullFactor && (layout == SourceLayout::Bgr24 || layout == SourceLayout::Bgrx32) &&
         blendRowFor(operation, layout) == blendRowFor(RenderOperation::ielNormal, layout);
}

const char* blendOperationName(RenderOperation operation) {
  return int(operation) < kCount ? kOperations[int(operation)].name : "Normal";
}

}  // namespace lumo
