#include "engine/io/ColorProfile.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <random>
#include <utility>

#include "engine/pixels/PixelConvert.h"

namespace lumo {
namespace {

QByteArray bytesOf(cmsHPROFILE profile) {
  cmsUInt32Number n = 0;
  cmsSaveProfileToMem(profile, nullptr, &n);
  QByteArray bytes(qsizetype(n), '\0');
  cmsSaveProfileToMem(profile, bytes.data(), &n);
  cmsCloseProfile(profile);
  return bytes;
}

const cmsCIExyY kD65 = {0.3127, 0.3290, 1.0};
const cmsCIExyYTRIPLE kSrgbPrimaries = {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};

// RGB with the sRGB primaries (or red and green swapped) and a plain power curve.
QByteArray rgbProfile(double gamma, bool swapRedGreen) {
  cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsCIExyYTRIPLE primaries = kSrgbPrimaries;
  if (swapRedGreen) std::swap(primaries.Red, primaries.Green);
  const QByteArray bytes = bytesOf(cmsCreateRGBProfile(&kD65, &primaries, curves));
  cmsFreeToneCurve(curve);
  return bytes;
}

QByteArray linearGrey() {
  cmsToneCurve* curve = cmsBuildGamma(nullptr, 1.0);
  const QByteArray bytes = bytesOf(cmsCreateGrayProfile(&kD65, curve));
  cmsFreeToneCurve(curve);
  return bytes;
}

Bitmap noise(int w, int h, PixelFormat format) {
  Bitmap b(w, h, format);
  std::mt19937 rng(3);
  for (int y = 0; y < h; ++y)
    for (size_t i = 0; i < b.rowBytes(); ++i) b.mutableScanline(y)[i] = uint8_t(rng());
  return b;
}

Bitmap filled(PixelFormat format, int value) {
  Bitmap b(4, 3, format);
  if (format == PixelFormat::ie48RGB || format == PixelFormat::ie16g) {
    for (int y = 0; y < b.height(); ++y) {
      auto* p = reinterpret_cast<uint16_t*>(b.mutableScanline(y));
      for (size_t i = 0; i < b.rowBytes() / 2; ++i) p[i] = uint16_t(value * 257);
    }
  } else {
    b.fill(uint8_t(value));
  }
  return b;
}

TEST(ColorProfileTest, SrgbGivesThePixelsBackUnchanged) {
  const QByteArray srgb = bytesOf(cmsCreate_sRGBProfile());
  Bitmap image = noise(64, 64, PixelFormat::ie24RGB);
  image.addAlpha(77);
  const Bitmap shown = toDisplayRgb(image, srgb);
  EXPECT_TRUE(shown.samePixels(image));

  Bitmap palette = noise(9, 7, PixelFormat::ie8p);
  std::vector<PaletteEntry> entries(256);
  for (size_t i = 0; i < entries.size(); ++i) entries[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
  palette.setPalette(entries);
  EXPECT_TRUE(toDisplayRgb(palette, srgb).samePixels(convertToRGB24(palette)));
}

TEST(ColorProfileTest, ColoursAreTakenFromTheProfile) {
  // Linear light: the middle value is brighter in sRGB's curve (0.502 -> 0.735).
  struct Case {
    const char* label;
    PixelFormat format;
    QByteArray icc;
  } cases[] = {{"rgb", PixelFormat::ie24RGB, rgbProfile(1.0, false)},
               {"rgb32", PixelFormat::ie32RGB, rgbProfile(1.0, false)},
               {"rgb48", PixelFormat::ie48RGB, rgbProfile(1.0, false)},
               {"grey", PixelFormat::ie8g, linearGrey()},
               {"grey16", PixelFormat::ie16g, linearGrey()}};
  for (const Case& c : cases) {
    for (const auto& [in, out] : {std::pair{0, 0}, {128, 188}, {255, 255}}) {
      const Bitmap shown = toDisplayRgb(filled(c.format, in), c.icc);
      ASSERT_EQ(shown.format(), PixelFormat::ie24RGB) << c.label;
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(shown.scanline(2)[3 + i], out, 1) << c.label << " " << in;
    }
  }

  // Red of a profile whose red primary is sRGB's green is green on the screen.
  Bitmap red(5, 5, PixelFormat::ie24RGB);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) red.mutableScanline(y)[x * 3 + 2] = 255;
  red.addAlpha(40);
  const Bitmap shown = toDisplayRgb(red, rgbProfile(2.2, true));
  const uint8_t* p = shown.scanline(3) + 6;
  EXPECT_LT(p[0], 30);   // blue
  EXPECT_GT(p[1], 225);  // green
  EXPECT_LT(p[2], 30);   // red
  ASSERT_TRUE(shown.hasAlpha());
  EXPECT_EQ(shown.alphaScanline(1)[1], 40);
}

TEST(ColorProfileTest, ProfilesThatDoNotApplyLeaveThePixelsAsSrgb) {
  const Bitmap rgb = noise(8, 8, PixelFormat::ie24RGB);
  const Bitmap grey = noise(8, 8, PixelFormat::ie8g);
  const Bitmap cmyk = noise(8, 8, PixelFormat::ieCMYK);
  QByteArray damaged = rgbProfile(1.0, false);
  damaged.truncate(damaged.size() / 2);
  struct Case {
    const char* label;
    const Bitmap* image;
    QByteArray icc;
  } cases[] = {{"none", &rgb, {}},
               {"not a profile", &rgb, QByteArray(600, 'x')},
               {"cut short", &rgb, damaged},
               {"rgb profile on grey", &grey, rgbProfile(1.0, false)},
               {"grey profile on rgb", &rgb, linearGrey()},
               {"rgb profile on cmyk", &cmyk, rgbProfile(1.0, false)}};
  for (const Case& c : cases)
    EXPECT_TRUE(toDisplayRgb(*c.image, c.icc).samePixels(convertToRGB24(*c.image))) << c.label;
}

}  // namespace
}  // namespace lumo
