#include "engine/pixels/QImageBridge.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/pixels/PixelConvert.h"

namespace lumo {
namespace {

using F = PixelFormat;

// A bitmap of `format` with varied content: every byte of the plane set from a pattern
// (floats and 16-bit words made from the same pattern), and a palette for ie8p.
Bitmap patterned(PixelFormat format, int width, int height, int alignment) {
  Bitmap b(width, height, format, alignment);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = b.mutableScanline(y);
    for (size_t i = 0; i < b.rowBytes(); ++i) row[i] = uint8_t((i * 37 + size_t(y) * 101) * 13);
    if (format == F::ie32f) {
      for (int x = 0; x < width; ++x) {
        const float v = float((x * 7 + y * 3) % 11) / 10.0f;
        std::memcpy(row + 4 * x, &v, 4);
      }
    }
  }
  if (format == F::ie8p) {
    std::vector<PaletteEntry> palette(256);
    for (int i = 0; i < 256; ++i) palette[size_t(i)] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)};
    b.setPalette(palette);
  }
  return b;
}

// The colour of each pixel as convertToRGB24 sees it.
void expectSamePixels(const QImage& image, const Bitmap& bitmap) {
  const Bitmap rgb = convertToRGB24(bitmap);
  ASSERT_EQ(image.width(), rgb.width());
  ASSERT_EQ(image.height(), rgb.height());
  for (int y = 0; y < rgb.height(); ++y) {
    for (int x = 0; x < rgb.width(); ++x) {
      const uint8_t* p = rgb.scanline(y) + 3 * x;
      const int alpha = rgb.hasAlpha() ? rgb.alphaScanline(y)[x] : 255;
      ASSERT_EQ(image.pixel(x, y), qRgba(p[2], p[1], p[0], alpha)) << x << "," << y;
    }
  }
}

TEST(QImageBridgeTest, ViewsShareThePlaneAndShowTheSamePixels) {
  const struct {
    PixelFormat format;
    QImage::Format qt;
  } cases[] = {
      {F::ie1g, QImage::Format_Mono},          {F::ie8p, QImage::Format_Indexed8},
      {F::ie8g, QImage::Format_Grayscale8},    {F::ie16g, QImage::Format_Grayscale16},
      {F::ie24RGB, QImage::Format_BGR888},     {F::ie32RGB, QImage::Format_RGB32},
  };
  for (const auto& c : cases) {
    for (const int alignment : {8, 16, 32, 64}) {
      SCOPED_TRACE(std::string(pixelFormatName(c.format)) + " alignment " + std::to_string(alignment));
      const Bitmap bitmap = patterned(c.format, 13, 5, alignment);
      const QImage view = sharedQImage(bitmap);
      ASSERT_FALSE(view.isNull());
      EXPECT_EQ(view.format(), c.qt);
      EXPECT_EQ(view.constBits(), bitmap.bits());
      EXPECT_EQ(size_t(view.bytesPerLine()), bitmap.rowBytes());
      expectSamePixels(view, bitmap);
      EXPECT_EQ(toQImage(bitmap).constBits(), bitmap.bits());
    }
  }
}

TEST(QImageBridgeTest, OneBitViewShowsSetBitsWhite) {
  Bitmap bits(9, 1, F::ie1g);
  bits.mutableBits()[0] = 0x80;  // pixel 0
  bits.mutableBits()[1] = 0x80;  // pixel 8
  const QImage view = sharedQImage(bits);
  EXPECT_EQ(view.pixel(0, 0), qRgb(255, 255, 255));
  EXPECT_EQ(view.pixel(1, 0), qRgb(0, 0, 0));
  EXPECT_EQ(view.pixel(8, 0), qRgb(255, 255, 255));
}

TEST(QImageBridgeTest, PaletteViewCoversEveryIndex) {
  Bitmap indexed(3, 1, F::ie8p);
  indexed.setPalette({{1, 2, 3}, {4, 5, 6}});
  indexed.mutableBits()[1] = 1;
  indexed.mutableBits()[2] = 77;  // past the palette
  const QImage view = sharedQImage(indexed);
  EXPECT_EQ(view.pixel(0, 0), qRgb(3, 2, 1));
  EXPECT_EQ(view.pixel(1, 0), qRgb(6, 5, 4));
  EXPECT_EQ(view.pixel(2, 0), qRgb(0, 0, 0));
  EXPECT_EQ(view.colorCount(), 256);
}

TEST(QImageBridgeTest, FormatsWithoutAViewConvert) {
  for (const PixelFormat format : {F::ie32f, F::ieCMYK, F::ie48RGB, F::ieCIELab}) {
    SCOPED_TRACE(pixelFormatName(format));
    const Bitmap bitmap = patterned(format, 7, 3, 8);
    EXPECT_TRUE(sharedQImage(bitmap).isNull());
    const QImage image = toQImage(bitmap);
    EXPECT_EQ(image.format(), QImage::Format_BGR888);
    expectSamePixels(image, bitmap);
  }
}

TEST(QImageBridgeTest, ViewOutlivesTheBitmapAndIgnoresLaterWrites) {
  QImage view;
  {
    Bitmap bitmap = patterned(F::ie24RGB, 6, 4, 32);
    view = sharedQImage(bitmap);
    const QRgb before = view.pixel(2, 1);
    bitmap.mutableScanline(1)[6] ^= 0xFF;  // detaches: the view keeps the old plane
    EXPECT_NE(bitmap.bits(), view.constBits());
    EXPECT_EQ(view.pixel(2, 1), before);
  }
  const Bitmap expected = patterned(F::ie24RGB, 6, 4, 32);
  expectSamePixels(view, expected);

  // Writing to the image copies it instead of touching the plane.
  const Bitmap bitmap = patterned(F::ie8g, 4, 4, 32);
  QImage image = sharedQImage(bitmap);
  image.setPixel(0, 0, 0);
  image.bits()[1] = uint8_t(~bitmap.bits()[1]);
  EXPECT_TRUE(bitmap.samePixels(patterned(F::ie8g, 4, 4, 32)));
}

TEST(QImageBridgeTest, AlphaGivesAnArgbCopy) {
  Bitmap bitmap = patterned(F::ie8g, 5, 3, 32);
  bitmap.addAlpha(255);
  EXPECT_EQ(sharedQImage(bitmap).constBits(), bitmap.bits());  // an opaque plane hides nothing

  bitmap.mutableAlphaScanline(1)[2] = 0;
  bitmap.mutableAlphaScanline(2)[4] = 90;
  EXPECT_TRUE(sharedQImage(bitmap).isNull());
  const QImage image = toQImage(bitmap);
  EXPECT_EQ(image.format(), QImage::Format_ARGB32);
  expectSamePixels(image, bitmap);
}

TEST(QImageBridgeTest, FromQImageReadsColourAndAlpha) {
  QImage argb(4, 2, QImage::Format_ARGB32);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) argb.setPixel(x, y, qRgba(x * 60, y * 100, 7, x == 3 ? 255 : x * 80));
  const Bitmap withAlpha = fromQImage(argb);
  ASSERT_EQ(withAlpha.format(), F::ie24RGB);
  ASSERT_TRUE(withAlpha.hasAlpha());
  EXPECT_FALSE(withAlpha.alphaFull());
  expectSamePixels(argb, withAlpha);
  EXPECT_TRUE(fromQImage(toQImage(withAlpha)).samePixels(withAlpha));

  // Premultiplied images come back with their plain colours.
  const QImage premultiplied = argb.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const Bitmap fromPremultiplied = fromQImage(premultiplied);
  EXPECT_EQ(fromPremultiplied.scanline(1)[3 * 3 + 2], 180);  // red of the opaque pixel
  EXPECT_EQ(fromPremultiplied.alphaScanline(1)[2], 160);

  QImage opaqueArgb(2, 2, QImage::Format_ARGB32);
  opaqueArgb.fill(qRgba(1, 2, 3, 255));
  EXPECT_TRUE(fromQImage(opaqueArgb).alphaFull());

  QImage grey(3, 3, QImage::Format_Grayscale8);
  grey.fill(77);
  const Bitmap fromGrey = fromQImage(grey);
  EXPECT_FALSE(fromGrey.hasAlpha());
  expectSamePixels(grey, fromGrey);

  EXPECT_TRUE(fromQImage(QImage()).isNull());
  EXPECT_TRUE(toQImage(Bitmap()).isNull());
}

}  // namespace
}  // namespace lumo
