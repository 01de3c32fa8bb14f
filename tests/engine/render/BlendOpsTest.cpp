#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

#include "engine/render/BlendOps.h"

namespace lumo {
namespace {

// A plain scalar reference of every operation, written from the definitions: b is the
// backdrop, s the source, channels 0 ... 1, red, green, blue.
using Channel = std::function<double(double b, double s)>;
struct Rgb {
  double r, g, b;
};
using Pixel = std::function<Rgb(Rgb b, Rgb s)>;

double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }
int byteOf(double v) { return int(std::lround(v * 255)); }
double lum(Rgb c) { return 0.3 * c.r + 0.59 * c.g + 0.11 * c.b; }
double mx(Rgb c) { return std::max({c.r, c.g, c.b}); }
double mn(Rgb c) { return std::min({c.r, c.g, c.b}); }
Rgb clipColor(Rgb c) {
  const double l = lum(c), n = mn(c), x = mx(c);
  auto f = [&](double v) {
    if (n < 0) v = l + (v - l) * l / (l - n);
    if (x > 1) v = l + (v - l) * (1 - l) / (x - l);
    return v;
  };
  return {f(c.r), f(c.g), f(c.b)};
}
Rgb setLum(Rgb c, double l) {
  const double d = l - lum(c);
  return clipColor({c.r + d, c.g + d, c.b + d});
}
Rgb setSat(Rgb c, double s) {
  const double n = mn(c), range = mx(c) - n;
  auto f = [&](double v) { return range > 0 ? (v - n) * s / range : 0.0; };
  return {f(c.r), f(c.g), f(c.b)};
}
double dodge(double b, double s) { return b == 0 ? 0 : s == 1 ? 1 : std::min(1.0, b / (1 - s)); }
double burn(double b, double s) { return b == 1 ? 1 : s == 0 ? 0 : 1 - std::min(1.0, (1 - b) / s); }
double screen(double b, double s) { return b + s - b * s; }
double hard(double b, double s) { return s <= 0.5 ? 2 * b * s : screen(b, 2 * s - 1); }
double bits(double b, double s, int op) {
  const int x = byteOf(b), y = byteOf(s);
  return (op == 0 ? (x | y) : op == 1 ? (x & y) : (x ^ y)) / 255.0;
}

struct Reference {
  RenderOperation op;
  Channel channel;  // separable: the same formula on every channel
  Pixel pixel;      // otherwise
};

Reference sep(RenderOperation op, Channel f) { return {op, std::move(f), {}}; }
Reference px(RenderOperation op, Pixel f) { return {op, {}, std::move(f)}; }

using R = RenderOperation;
const Reference kReferences[] = {
    sep(R::ielNormal, [](double, double s) { return s; }),
    sep(R::ielAdd, [](double b, double s) { return std::min(1.0, b + s); }),
    sep(R::ielSub, [](double b, double s) { return std::fabs(b - s); }),
    sep(R::ielDiv, [](double b, double s) { return s == 0 ? (b == 0 ? 0.0 : 1.0) : std::min(1.0, b / s); }),
    sep(R::ielMul, [](double b, double s) { return b * s; }),
    sep(R::ielOR, [](double b, double s) { return bits(b, s, 0); }),
    sep(R::ielAND, [](double b, double s) { return bits(b, s, 1); }),
    sep(R::ielXOR, [](double b, double s) { return bits(b, s, 2); }),
    sep(R::ielMAX, [](double b, double s) { return std::max(b, s); }),
    sep(R::ielMIN, [](double b, double s) { return std::min(b, s); }),
    sep(R::ielAverage, [](double b, double s) { return (b + s) / 2; }),
    sep(R::ielScreen, screen),
    sep(R::ielNegation, [](double b, double s) { return 1 - std::fabs(1 - b - s); }),
    sep(R::ielExclusion, [](double b, double s) { return b + s - 2 * b * s; }),
    sep(R::ielOverlay, [](double b, double s) { return hard(s, b); }),
    sep(R::ielHardLight, hard),
    sep(R::ielSoftLight,
        [](double b, double s) {
          if (s <= 0.5) return b - (1 - 2 * s) * b * (1 - b);
          const double d = b <= 0.25 ? ((16 * b - 12) * b + 4) * b : std::sqrt(b);
          return b + (2 * s - 1) * (d - b);
        }),
    sep(R::ielXFader, [](double b, double s) { return s * s + b * (1 - s); }),
    sep(R::ielColorEdge, dodge),
    sep(R::ielColorBurn, burn),
    sep(R::ielInverseColorDodge, [](double b, double s) { return dodge(s, b); }),
    sep(R::ielInverseColorBurn, [](double b, double s) { return burn(s, b); }),
    sep(R::ielSoftDodge,
        [](double b, double s) { return b + s < 1 ? std::min(1.0, b / (1 - s) / 2) : clamp01(1 - (1 - s) / b / 2); }),
    sep(R::ielSoftBurn,
        [](double b, double s) { return b + s < 1 ? std::min(1.0, s / (1 - b) / 2) : clamp01(1 - (1 - b) / s / 2); }),
    sep(R::ielReflect, [](double b, double s) { return std::min(1.0, b * b / (1 - s)); }),
    sep(R::ielGlow, [](double b, double s) { return std::min(1.0, s * s / (1 - b)); }),
    sep(R::ielFreeze, [](double b, double s) { return std::max(0.0, 1 - (1 - b) * (1 - b) / s); }),
    sep(R::ielEat, [](double b, double s) { return std::max(0.0, b - s); }),
    sep(R::ielSubtractive, [](double b, double s) { return std::max(0.0, b + s - 1); }),
    sep(R::ielInterpolation,
        [](double b, double s) {
          using std::numbers::pi;
          return 0.5 - std::cos(pi * b) / 4 - std::cos(pi * s) / 4;
        }),
    sep(R::ielStamp, [](double b, double s) { return clamp01(b + 2 * s - 1); }),
    px(R::ielRed, [](Rgb b, Rgb s) { return Rgb{s.r, b.g, b.b}; }),
    px(R::ielGreen, [](Rgb b, Rgb s) { return Rgb{b.r, s.g, b.b}; }),
    px(R::ielBlue, [](Rgb b, Rgb s) { return Rgb{b.r, b.g, s.b}; }),
    px(R::ielHue, [](Rgb b, Rgb s) { return setLum(setSat(s, mx(b) - mn(b)), lum(b)); }),
    px(R::ielSaturation, [](Rgb b, Rgb s) { return setLum(setSat(b, mx(s) - mn(s)), lum(b)); }),
    px(R::ielColor, [](Rgb b, Rgb s) { return setLum(s, lum(b)); }),
    px(R::ielLuminosity, [](Rgb b, Rgb s) { return setLum(b, lum(s)); }),
    px(R::ielStereoBW, [](Rgb b, Rgb s) { return Rgb{lum(s), lum(b), lum(b)}; }),
    px(R::ielStereoColor, [](Rgb b, Rgb s) { return Rgb{s.r, b.g, b.b}; }),
    px(R::ielStereoColorDubois,
       [](Rgb b, Rgb s) {
         return Rgb{clamp01(0.456 * s.r + 0.5 * s.g + 0.176 * s.b - 0.043 * b.r - 0.088 * b.g - 0.002 * b.b),
                    clamp01(-0.04 * s.r - 0.038 * s.g - 0.016 * s.b + 0.378 * b.r + 0.734 * b.g - 0.018 * b.b),
                    clamp01(-0.015 * s.r - 0.021 * s.g - 0.005 * s.b - 0.072 * b.r - 0.113 * b.g + 1.226 * b.b)};
       }),
    // On the rows the layer takes, the interleaving operations draw it as Normal.
    px(R::ielStereoEven, [](Rgb, Rgb s) { return s; }),
    px(R::ielStereoOdd, [](Rgb, Rgb s) { return s; }),
    px(R::ielLuminosity2,
       [](Rgb b, Rgb s) {
         const double ls = (mx(s) + mn(s)) / 2, lb = (mx(b) + mn(b)) / 2, room = 1 - std::fabs(2 * lb - 1);
         const double k = room > 0 ? (1 - std::fabs(2 * ls - 1)) / room : 0;
         return Rgb{clamp01(ls + (b.r - lb) * k), clamp01(ls + (b.g - lb) * k), clamp01(ls + (b.b - lb) * k)};
       }),
};

struct Pair {
  int br, bg, bb, ba;  // backdrop, straight
  int sr, sg, sb, sa;  // source, straight
};
// Opaque and translucent pairs, kept away from the poles of the dividing formulas.
const Pair kPairs[] = {
    {200, 100, 30, 255, 60, 180, 140, 255},
    {90, 160, 220, 180, 200, 40, 128, 128},
    {250, 5, 128, 255, 10, 160, 77, 200},
    {40, 220, 90, 100, 120, 60, 200, 255},
};

uint32_t premultiplied(int r, int g, int b, int a) {
  auto m = [&](int c) { return uint32_t(std::lround(c * a / 255.0)); };
  return uint32_t(a) << 24 | m(r) << 16 | m(g) << 8 | m(b);
}

TEST(BlendOps, EveryOperationMatchesItsDefinitionWithPartialAlpha) {
  ASSERT_EQ(std::size(kReferences), size_t(kRenderOperationCount));
  for (const Reference& ref : kReferences) {
    for (const Pair& p : kPairs) {
      SCOPED_TRACE(testing::Message() << blendOperationName(ref.op) << " backdrop " << p.br << "," << p.bg << ","
                                      << p.bb << "," << p.ba << " source " << p.sr << "," << p.sg << "," << p.sb << ","
                                      << p.sa);
      uint32_t dst = premultiplied(p.br, p.bg, p.bb, p.ba);
      // The backdrop the operation sees is the stored premultiplied one, made straight.
      const double ab = p.ba / 255.0, as = p.sa / 255.0;
      const Rgb cb{(dst >> 16 & 0xFF) / 255.0 / ab, (dst >> 8 & 0xFF) / 255.0 / ab, (dst & 0xFF) / 255.0 / ab};
      const Rgb cs{p.sr / 255.0, p.sg / 255.0, p.sb / 255.0};
      const uint32_t src = uint32_t(p.sa) << 24 | uint32_t(p.sr) << 16 | uint32_t(p.sg) << 8 | uint32_t(p.sb);
      const Rgb blend = ref.channel ? Rgb{ref.channel(cb.r, cs.r), ref.channel(cb.g, cs.g), ref.channel(cb.b, cs.b)}
                                    : ref.pixel(cb, cs);
      auto expected = [&](double c, double s, double bl) {
        return 255 * (s * as * (1 - ab) + c * ab * (1 - as) + as * ab * clamp01(bl));
      };
      const auto* bytes = reinterpret_cast<const uint8_t*>(&src);
      const int canvasRow = ref.op == R::ielStereoOdd ? 1 : 0;  // a row the layer takes
      blendRowFor(ref.op, SourceLayout::Argb32)(&dst, bytes, bytes + 3, 1, 1u << 16, canvasRow);
      EXPECT_NEAR(int(dst >> 16 & 0xFF), expected(cb.r, cs.r, blend.r), 2.0);
      EXPECT_NEAR(int(dst >> 8 & 0xFF), expected(cb.g, cs.g, blend.g), 2.0);
      EXPECT_NEAR(int(dst & 0xFF), expected(cb.b, cs.b, blend.b), 2.0);
      EXPECT_NEAR(int(dst >> 24), 255 * (as + ab * (1 - as)), 1.0);
    }
  }
}

TEST(BlendOps, EveryLayoutReadsTheSamePixels) {
  // Blue, green, red 200, 100, 50 with alpha 128, in each layout the compositor hands over.
  const uint8_t bgr24[] = {200, 100, 50}, bgrx[] = {200, 100, 50, 0}, argb[] = {200, 100, 50, 128}, alpha[] = {128};
  for (RenderOperation op : {R::ielNormal, R::ielScreen, R::ielHue}) {
    uint32_t withAlpha[3] = {0xFF204060u, 0xFF204060u, 0xFF204060u}, opaque[2] = {0xFF204060u, 0xFF204060u};
    blendRowFor(op, SourceLayout::Bgr24Alpha)(&withAlpha[0], bgr24, alpha, 1, 1u << 16, 0);
    blendRowFor(op, SourceLayout::Bgrx32Alpha)(&withAlpha[1], bgrx, alpha, 1, 1u << 16, 0);
    blendRowFor(op, SourceLayout::Argb32)(&withAlpha[2], argb, argb + 3, 1, 1u << 16, 0);
    EXPECT_EQ(withAlpha[0], withAlpha[1]) << blendOperationName(op);
    EXPECT_EQ(withAlpha[0], withAlpha[2]) << blendOperationName(op);
    // No alpha plane at half the factor is the same as alpha 128.
    blendRowFor(op, SourceLayout::Bgr24)(&opaque[0], bgr24, nullptr, 1, 1u << 15, 0);
    blendRowFor(op, SourceLayout::Bgrx32)(&opaque[1], bgrx, nullptr, 1, 1u << 15, 0);
    EXPECT_EQ(opaque[0], withAlpha[0]) << blendOperationName(op);
    EXPECT_EQ(opaque[1], withAlpha[0]) << blendOperationName(op);
  }
}

TEST(BlendOps, ARowGivesWhatItsPixelsGiveOneByOne) {
  // Rows are worked on in chunks and groups of lanes; a long row with an uneven end,
  // over a backdrop that is opaque in some stretches and not in others, must give
  // exactly what every pixel gives alone.
  constexpr int kWidth = 157;
  uint8_t bgr[kWidth * 3], alpha[kWidth];
  uint32_t backdrop[kWidth];
  uint32_t state = 12345;
  auto next = [&] { return (state = state * 1664525u + 1013904223u) >> 24; };
  for (int i = 0; i < kWidth; ++i) {
    for (int k = 0; k < 3; ++k) bgr[i * 3 + k] = uint8_t(next());
    alpha[i] = uint8_t(i % 5 == 0 ? 255 : i % 7 == 0 ? 0 : next());
    const int a = i < 70 ? 255 : i % 3 == 0 ? 0 : int(next());
    backdrop[i] = premultiplied(int(next()), int(next()), int(next()), a);
  }
  for (int op = 0; op < kRenderOperationCount; ++op) {
    const BlendRow row = blendRowFor(RenderOperation(op), SourceLayout::Bgr24Alpha);
    for (uint32_t factor : {1u << 16, 40000u}) {
      uint32_t whole[kWidth], single[kWidth];
      std::copy(backdrop, backdrop + kWidth, whole);
      std::copy(backdrop, backdrop + kWidth, single);
      row(whole, bgr, alpha, kWidth, factor, 2);
      for (int i = 0; i < kWidth; ++i) row(&single[i], &bgr[i * 3], &alpha[i], 1, factor, 2);
      for (int i = 0; i < kWidth; ++i)
        ASSERT_EQ(whole[i], single[i]) << blendOperationName(RenderOperation(op)) << " pixel " << i << " factor " << factor;
    }
  }
}

TEST(BlendOps, StereoEvenAndOddTakeAlternateCanvasRows) {
  const uint8_t white[] = {255, 255, 255};
  for (int y = 0; y < 4; ++y) {
    uint32_t even = 0xFF000000u, odd = 0xFF000000u;
    blendRowFor(R::ielStereoEven, SourceLayout::Bgr24)(&even, white, nullptr, 1, 1u << 16, y);
    blendRowFor(R::ielStereoOdd, SourceLayout::Bgr24)(&odd, white, nullptr, 1, 1u << 16, y);
    EXPECT_EQ(even, y % 2 == 0 ? 0xFFFFFFFFu : 0xFF000000u) << y;
    EXPECT_EQ(odd, y % 2 == 1 ? 0xFFFFFFFFu : 0xFF000000u) << y;
  }
}

TEST(BlendOps, TransparentBackdropTakesTheSourceAndUnknownOrdinalsDrawNormal) {
  const uint8_t px[] = {10, 20, 30, 255};
  uint32_t dst = 0;
  blendRowFor(R::ielMul, SourceLayout::Argb32)(&dst, px, px + 3, 1, 1u << 16, 0);
  EXPECT_EQ(dst, 0xFF1E140Au);
  EXPECT_EQ(blendRowFor(RenderOperation(200), SourceLayout::Bgr24), blendRowFor(R::ielNormal, SourceLayout::Bgr24));
  EXPECT_STREQ(blendOperationName(RenderOperation(200)), "Normal");
}

}  // namespace
}  // namespace lumo
