#include "engine/pixels/PixelConvert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>

#include "engine/pixels/Quantize.h"

namespace lumo {
namespace {

using F = PixelFormat;

struct Bgr {
  uint8_t b, g, r;
};

Bitmap makeRgb(int width, int height, const std::function<Bgr(int, int)>& colour, int alignment = 32) {
  Bitmap bitmap(width, height, F::ie24RGB, alignment);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bitmap.mutableScanline(y);
    for (int x = 0; x < width; ++x) {
      const Bgr c = colour(x, y);
      row[3 * x] = c.b, row[3 * x + 1] = c.g, row[3 * x + 2] = c.r;
    }
  }
  return bitmap;
}

Bgr pixelAt(const Bitmap& rgb24, int x, int y) {
  const uint8_t* p = rgb24.scanline(y) + 3 * x;
  return {p[0], p[1], p[2]};
}

// Largest difference of one channel between two ie24RGB bitmaps of the same size.
int maxError(const Bitmap& a, const Bitmap& b) {
  int worst = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < 3 * a.width(); ++x) worst = std::max(worst, std::abs(a.scanline(y)[x] - b.scanline(y)[x]));
  return worst;
}

double meanError(const Bitmap& a, const Bitmap& b) {
  double sum = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < 3 * a.width(); ++x) sum += std::abs(a.scanline(y)[x] - b.scanline(y)[x]);
  return sum / (3.0 * a.width() * a.height());
}

// Deterministic scrambled colours, with the corners of the cube among them.
uint32_t scramble(uint32_t v) {
  v ^= v >> 16;
  v *= 0x7feb352d;
  v ^= v >> 15;
  v *= 0x846ca68b;
  return v ^ (v >> 16);
}

Bgr colourful(int x, int y) {
  const int i = y * 37 + x;
  if (i < 8) return {uint8_t(i & 1 ? 255 : 0), uint8_t(i & 2 ? 255 : 0), uint8_t(i & 4 ? 255 : 0)};
  const uint32_t h = scramble(uint32_t(i));
  return {uint8_t(h), uint8_t(h >> 8), uint8_t(h >> 16)};
}
Bgr fewColours(int x, int y) {  // 200 distinct colours
  const uint32_t h = scramble(uint32_t((y * 37 + x) % 200));
  return {uint8_t(h), uint8_t(h >> 8), uint8_t(h >> 16)};
}
Bgr grey(int x, int y) {
  const auto v = uint8_t((y * 37 + x) % 256);
  return {v, v, v};
}
Bgr muted(int x, int y) {  // within 32 levels of a grey
  const uint32_t h = scramble(uint32_t(y * 37 + x));
  const int v = int(h >> 24);
  auto near = [v](uint32_t d) { return uint8_t(std::clamp(v + int(d & 63) - 32, 0, 255)); };
  return {near(h), near(h >> 8), near(h >> 16)};
}
Bgr bilevel(int x, int y) {
  const uint8_t v = ((x * 7 + y * 3) % 5) < 2 ? 255 : 0;
  return {v, v, v};
}

TEST(PixelConvertTest, RoundTripsThroughEveryFormat) {
  struct Case {
    PixelFormat format;
    Bgr (*input)(int, int);
    int maxError;
    double maxMeanError;
  };
  const Case cases[] = {
      {F::ie24RGB, colourful, 0, 0}, {F::ie32RGB, colourful, 0, 0}, {F::ie48RGB, colourful, 0, 0},
      {F::ieCMYK, colourful, 0, 0},  {F::ie8p, fewColours, 0, 0},   {F::ie8g, grey, 0, 0},
      {F::ie16g, grey, 0, 0},        {F::ie32f, grey, 0, 0},        {F::ie1g, bilevel, 0, 0},
      // 8-bit Lab is coarse: a step of a or b moves a dark channel of a bright, saturated
      // colour by up to about 25 levels. Colours nearer grey come back close.
      {F::ieCIELab, grey, 1, 0.5},   {F::ieCIELab, muted, 4, 0.6},  {F::ieCIELab, colourful, 26, 1.0},
  };
  for (const Case& c : cases) {
    for (const int alignment : {8, 32, 64}) {
      SCOPED_TRACE(std::string(pixelFormatName(c.format)) + " alignment " + std::to_string(alignment));
      Bitmap input = makeRgb(37, 9, c.input, alignment);
      input.addAlpha(128);
      const Bitmap converted = convertFromRGB24(input, c.format);
      ASSERT_EQ(converted.format(), c.format);
      ASSERT_EQ(converted.width(), 37);
      ASSERT_EQ(converted.height(), 9);
      EXPECT_EQ(converted.bitAlignment(), alignment);
      EXPECT_TRUE(converted.sharesAlphaWith(input));

      const Bitmap back = convertToRGB24(converted);
      ASSERT_EQ(back.format(), F::ie24RGB);
      EXPECT_TRUE(back.sharesAlphaWith(input));
      EXPECT_LE(maxError(input, back), c.maxError);
      EXPECT_LE(meanError(input, back), c.maxMeanError);
    }
  }
}

TEST(PixelConvertTest, GreyFormatsTakeTheLuminanceOfColour) {
  const Bitmap input = makeRgb(37, 9, colourful, 8);
  struct Case {
    PixelFormat format;
    std::function<uint8_t(uint8_t)> expected;  // grey after the round trip, from the luminance
  };
  const Case cases[] = {
      {F::ie8g, [](uint8_t l) { return l; }},
      {F::ie16g, [](uint8_t l) { return l; }},
      {F::ie32f, [](uint8_t l) { return l; }},
      {F::ie1g, [](uint8_t l) { return uint8_t(l >= 128 ? 255 : 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(pixelFormatName(c.format));
    const Bitmap back = convertToRGB24(convertFromRGB24(input, c.format));
    for (int y = 0; y < input.height(); ++y) {
      for (int x = 0; x < input.width(); ++x) {
        const Bgr in = pixelAt(input, x, y), out = pixelAt(back, x, y);
        const uint8_t want = c.expected(luminance(in.b, in.g, in.r));
        ASSERT_EQ(out.b, want) << x << "," << y;
        ASSERT_EQ(out.g, want);
        ASSERT_EQ(out.r, want);
      }
    }
  }
}

TEST(PixelConvertTest, LuminanceUsesRec601WeightsAndKeepsGrey) {
  EXPECT_EQ(luminance(0, 0, 255), 76);
  EXPECT_EQ(luminance(0, 255, 0), 150);
  EXPECT_EQ(luminance(255, 0, 0), 29);
  EXPECT_EQ(luminance(10, 20, 200), 73);  // 59.8 + 11.74 + 1.14
  for (int v = 0; v < 256; ++v) ASSERT_EQ(luminance(uint8_t(v), uint8_t(v), uint8_t(v)), v);
}

TEST(PixelConvertTest, OneBitPixelsAreMostSignificantBitFirstAndOneIsWhite) {
  const Bitmap input = makeRgb(10, 1, [](int x, int) {
    const uint8_t v = (x == 0 || x == 2 || x == 9) ? 255 : (x == 5 ? 127 : 0);
    return Bgr{v, v, v};
  });
  const Bitmap bits = convertFromRGB24(input, F::ie1g);
  EXPECT_EQ(bits.scanline(0)[0], 0xA0);
  EXPECT_EQ(bits.scanline(0)[1], 0x40);

  Bitmap handMade(10, 1, F::ie1g);
  handMade.mutableBits()[0] = 0x01;  // pixel 7
  handMade.mutableBits()[1] = 0x80;  // pixel 8
  const Bitmap rgb = convertToRGB24(handMade);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(pixelAt(rgb, x, 0).g, (x == 7 || x == 8) ? 255 : 0) << x;
}

TEST(PixelConvertTest, SixteenBitWordsAreLittleEndianAndRoundToEightBits) {
  const struct {
    uint16_t word;
    uint8_t eight;
  } cases[] = {{0, 0}, {128, 0}, {129, 1}, {0x7F80, 127}, {0x8080, 128}, {0xFEFF, 254}, {0xFFFF, 255}};
  Bitmap words(7, 1, F::ie16g);
  for (int i = 0; i < 7; ++i) {
    words.mutableBits()[2 * i] = uint8_t(cases[i].word);
    words.mutableBits()[2 * i + 1] = uint8_t(cases[i].word >> 8);
  }
  const Bitmap rgb = convertToRGB24(words);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(pixelAt(rgb, i, 0).r, cases[i].eight) << cases[i].word;

  const Bitmap wide = convertFromRGB24(makeRgb(1, 1, [](int, int) { return Bgr{0x01, 0x80, 0xFE}; }), F::ie48RGB);
  const uint8_t expected[6] = {0xFE, 0xFE, 0x80, 0x80, 0x01, 0x01};  // red, green, blue words
  EXPECT_EQ(std::memcmp(wide.bits(), expected, 6), 0);

  Bitmap stored(1, 1, F::ie48RGB);
  const uint8_t words48[6] = {0x81, 0x00, 0xFF, 0xFF, 0x00, 0x00};  // red 129, green 65535, blue 0
  std::memcpy(stored.mutableBits(), words48, 6);
  const Bgr c = pixelAt(convertToRGB24(stored), 0, 0);
  EXPECT_EQ(c.r, 1);
  EXPECT_EQ(c.g, 255);
  EXPECT_EQ(c.b, 0);
}

TEST(PixelConvertTest, CmykIsTheComplementWithTheGreyInBlack) {
  const struct {
    Bgr rgb;
    uint8_t cmyk[4];
  } cases[] = {
      {{0, 0, 255}, {0, 255, 255, 0}},     // red
      {{255, 255, 255}, {0, 0, 0, 0}},     // white
      {{0, 0, 0}, {0, 0, 0, 255}},         // black
      {{100, 100, 100}, {0, 0, 0, 155}},   // grey
      {{40, 120, 200}, {0, 80, 160, 55}},  // c 55, m 135, y 215, black 55 taken out
  };
  for (const auto& c : cases) {
    const Bitmap cmyk = convertFromRGB24(makeRgb(1, 1, [&](int, int) { return c.rgb; }), F::ieCMYK);
    EXPECT_EQ(std::memcmp(cmyk.bits(), c.cmyk, 4), 0) << int(c.rgb.r) << "," << int(c.rgb.g) << "," << int(c.rgb.b);
  }
  // Ink from another writer, more than 255 together, saturates at black.
  Bitmap stored(1, 1, F::ieCMYK);
  const uint8_t ink[4] = {200, 0, 100, 100};
  std::memcpy(stored.mutableBits(), ink, 4);
  const Bgr c = pixelAt(convertToRGB24(stored), 0, 0);
  EXPECT_EQ(c.r, 0);
  EXPECT_EQ(c.g, 155);
  EXPECT_EQ(c.b, 55);
}

TEST(PixelConvertTest, CieLabMatchesReferenceValues) {
  const struct {
    Bgr rgb;
    double l, a, b;
  } cases[] = {
      {{255, 255, 255}, 100.0, 0.0, 0.0},     {{0, 0, 0}, 0.0, 0.0, 0.0},
      {{0, 0, 255}, 53.24, 80.09, 67.20},     {{0, 255, 0}, 87.73, -86.18, 83.18},
      {{255, 0, 0}, 32.30, 79.19, -107.86},   {{128, 128, 128}, 53.59, 0.0, 0.0},
  };
  for (const auto& c : cases) {
    const Bitmap lab = convertFromRGB24(makeRgb(1, 1, [&](int, int) { return c.rgb; }), F::ieCIELab);
    const uint8_t* p = lab.bits();
    SCOPED_TRACE(std::to_string(c.l));
    EXPECT_NEAR(p[0] * 100.0 / 255.0, c.l, 100.0 / 255.0);
    EXPECT_NEAR(int8_t(p[1]), c.a, 1.0);
    EXPECT_NEAR(int8_t(p[2]), c.b, 1.0);
  }
}

TEST(PixelConvertTest, FloatGreyUsesTheStoredRangeAndClamps) {
  Bitmap input = makeRgb(3, 1, [](int x, int) {
    const uint8_t v = x == 0 ? 0 : x == 1 ? 51 : 255;
    return Bgr{v, v, v};
  });
  input.info().blackValue = -1.0;
  input.info().whiteValue = 3.0;
  const Bitmap floats = convertFromRGB24(input, F::ie32f);
  EXPECT_EQ(floats.info().blackValue, -1.0);
  EXPECT_EQ(floats.info().whiteValue, 3.0);
  float v[3];
  std::memcpy(v, floats.bits(), sizeof v);
  EXPECT_FLOAT_EQ(v[0], -1.0f);
  EXPECT_FLOAT_EQ(v[1], -0.2f);
  EXPECT_FLOAT_EQ(v[2], 3.0f);

  const struct {
    float value;
    uint8_t grey;
  } cases[] = {{-5.0f, 0}, {0.5f, 128}, {7.0f, 255}, {std::numeric_limits<float>::quiet_NaN(), 0},
               {std::numeric_limits<float>::infinity(), 255}};
  Bitmap stored(5, 1, F::ie32f);  // default range 0 ... 1
  for (int i = 0; i < 5; ++i) std::memcpy(stored.mutableBits() + 4 * i, &cases[i].value, 4);
  const Bitmap rgb = convertToRGB24(stored);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(pixelAt(rgb, i, 0).g, cases[i].grey) << cases[i].value;

  stored.info().whiteValue = stored.info().blackValue;  // no range: read as 0 ... 1
  EXPECT_EQ(pixelAt(convertToRGB24(stored), 1, 0).g, 128);
}

TEST(PixelConvertTest, PaletteIsExactUpTo256Colours) {
  for (const int colours : {1, 2, 256}) {
    SCOPED_TRACE(colours);
    const Bitmap input = makeRgb(64, 8, [colours](int x, int y) {
      const int i = (y * 64 + x) % colours;
      return Bgr{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
    });
    const Bitmap indexed = convertFromRGB24(input, F::ie8p);
    EXPECT_EQ(indexed.palette().size(), size_t(colours));
    EXPECT_EQ(indexed.info().paletteUsed, colours);
    EXPECT_EQ(maxError(input, convertToRGB24(indexed)), 0);
  }
}

TEST(PixelConvertTest, PaletteReductionOfAPhotoKeepsTheErrorSmall) {
  // Smooth gradients over the whole cube, tens of thousands of colours, and one small
  // spot of a colour found nowhere else.
  const Bitmap input = makeRgb(256, 256, [](int x, int y) {
    if (x >= 200 && x < 204 && y >= 10 && y < 14) return Bgr{255, 0, 255};
    return Bgr{uint8_t((x + y) / 2), uint8_t(y), uint8_t(x)};
  });
  const Bitmap indexed = convertFromRGB24(input, F::ie8p);
  EXPECT_LE(indexed.palette().size(), 256u);
  EXPECT_GT(indexed.palette().size(), 200u);
  const Bitmap back = convertToRGB24(indexed);
  EXPECT_LT(meanError(input, back), 5.0);
  EXPECT_LE(maxError(input, back), 24);
  const Bgr spot = pixelAt(back, 201, 11);
  EXPECT_EQ(spot.b, 255);
  EXPECT_EQ(spot.g, 0);
  EXPECT_EQ(spot.r, 255);

  // 257 colours no longer fit exactly but stay close.
  const Bitmap justTooMany = makeRgb(257, 1, [](int x, int) { return Bgr{uint8_t(x), uint8_t(x / 2), uint8_t(x % 7)}; });
  EXPECT_LE(maxError(justTooMany, convertToRGB24(convertFromRGB24(justTooMany, F::ie8p))), 6);
}

TEST(PixelConvertTest, QuantizeHonoursASmallerPalette) {
  const Bitmap input = makeRgb(64, 64, [](int x, int y) { return Bgr{uint8_t(x * 4), uint8_t(y * 4), 128}; });
  const Bitmap indexed = quantizeToPalette(input, 16);
  EXPECT_EQ(indexed.palette().size(), 16u);
  EXPECT_LT(meanError(input, convertToRGB24(indexed)), 20.0);
  EXPECT_THROW(quantizeToPalette(input, 0), std::invalid_argument);
  EXPECT_THROW(quantizeToPalette(input, 257), std::invalid_argument);
}

TEST(PixelConvertTest, PaletteIndexBeyondThePaletteIsBlack) {
  Bitmap indexed(2, 1, F::ie8p);
  indexed.setPalette({{10, 20, 30}});
  indexed.mutableBits()[1] = 200;
  const Bitmap rgb = convertToRGB24(indexed);
  EXPECT_EQ(pixelAt(rgb, 0, 0).r, 30);
  EXPECT_EQ(pixelAt(rgb, 1, 0).r, 0);
  EXPECT_EQ(pixelAt(rgb, 1, 0).b, 0);
}

TEST(PixelConvertTest, SameFormatSharesAndOtherFormatsPassThroughRgb) {
  for (int f = 1; f < kPixelFormatCount; ++f) {
    const Bitmap bitmap(4, 4, PixelFormat(f));
    EXPECT_TRUE(convertPixelFormat(bitmap, PixelFormat(f)).sharesPixelsWith(bitmap)) << pixelFormatName(PixelFormat(f));
  }
  const Bitmap rgb = makeRgb(4, 4, grey);
  EXPECT_TRUE(convertToRGB24(rgb).sharesPixelsWith(rgb));
  EXPECT_TRUE(convertFromRGB24(rgb, F::ie24RGB).sharesPixelsWith(rgb));

  Bitmap words = convertFromRGB24(rgb, F::ie16g);
  words.addAlpha(3);
  const Bitmap wide = convertPixelFormat(words, F::ie48RGB);
  EXPECT_TRUE(wide.sharesAlphaWith(words));
  EXPECT_EQ(maxError(convertToRGB24(wide), rgb), 0);
}

TEST(PixelConvertTest, InfoTravelsWithThePixels) {
  Bitmap input = makeRgb(4, 2, fewColours);
  input.info().contrast = 12;
  input.info().channelOffset = {1, 2, 3, 4};
  input.info().enableChannelOffset = true;
  input.info().paletteUsed = 99;
  const Bitmap indexed = convertFromRGB24(input, F::ie8p);
  EXPECT_EQ(indexed.info().contrast, 12);
  EXPECT_EQ(indexed.info().channelOffset, input.info().channelOffset);
  EXPECT_TRUE(indexed.info().enableChannelOffset);
  EXPECT_EQ(indexed.info().paletteUsed, int(indexed.palette().size()));
  const Bitmap grey = convertPixelFormat(indexed, F::ie8g);
  EXPECT_EQ(grey.info().contrast, 12);
  EXPECT_EQ(grey.info().paletteUsed, 0);
}

TEST(PixelConvertTest, RejectsMisuseAndPassesNullBitmaps) {
  const Bitmap grey(2, 2, F::ie8g);
  EXPECT_THROW(convertFromRGB24(grey, F::ie8p), std::invalid_argument);
  EXPECT_THROW(convertPixelFormat(grey, F::ieNull), std::invalid_argument);
  EXPECT_THROW(convertPixelFormat(grey, PixelFormat(42)), std::invalid_argument);
  EXPECT_TRUE(convertPixelFormat(Bitmap(), F::ie8g).isNull());
  EXPECT_TRUE(convertToRGB24(Bitmap()).isNull());
}

}  // namespace
}  // namespace lumo
