#include "engine/pixels/Bitmap.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace lumo {
namespace {

using F = PixelFormat;

TEST(BitmapTest, RowLengthPadsEveryFormatToTheAlignment) {
  struct Case {
    PixelFormat format;
    int width;
    size_t bytes8, bytes16, bytes32, bytes64;
  };
  const Case cases[] = {
      {F::ieNull, 5, 0, 0, 0, 0},      {F::ie1g, 5, 1, 2, 4, 8},      {F::ie1g, 9, 2, 2, 4, 8},
      {F::ie1g, 33, 5, 6, 8, 8},       {F::ie8p, 5, 5, 6, 8, 8},      {F::ie8g, 5, 5, 6, 8, 8},
      {F::ie16g, 5, 10, 10, 12, 16},   {F::ie24RGB, 5, 15, 16, 16, 16}, {F::ieCIELab, 5, 15, 16, 16, 16},
      {F::ie32f, 5, 20, 20, 20, 24},   {F::ieCMYK, 5, 20, 20, 20, 24}, {F::ie32RGB, 5, 20, 20, 20, 24},
      {F::ie48RGB, 5, 30, 30, 32, 32}, {F::ie24RGB, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(pixelFormatName(c.format)) + " width " + std::to_string(c.width));
    EXPECT_EQ(Bitmap::rowLength(c.width, c.format, 8), c.bytes8);
    EXPECT_EQ(Bitmap::rowLength(c.width, c.format, 16), c.bytes16);
    EXPECT_EQ(Bitmap::rowLength(c.width, c.format, 32), c.bytes32);
    EXPECT_EQ(Bitmap::rowLength(c.width, c.format, 64), c.bytes64);
  }
  EXPECT_EQ(Bitmap::rowLength(5, F::ie24RGB, 12), 0u);
}

TEST(BitmapTest, PlanesHaveTheRowLengthOfTheirFormat) {
  Bitmap b(5, 3, F::ie24RGB, 16);
  b.addAlpha();
  EXPECT_EQ(b.rowBytes(), 16u);
  EXPECT_EQ(b.byteCount(), 48u);
  EXPECT_EQ(b.alphaRowBytes(), 6u);
  EXPECT_THROW(Bitmap(5, 3, F::ie24RGB, 24), std::invalid_argument);
}

TEST(BitmapTest, CopiesSharePixelsUntilOneSideWrites) {
  Bitmap original(4, 2, F::ie8g);
  original.fill(10);
  const uint8_t* before = original.bits();
  Bitmap copy = original;
  EXPECT_TRUE(copy.sharesPixelsWith(original));
  EXPECT_EQ(copy.bits(), before);

  copy.mutableScanline(1)[2] = 99;
  EXPECT_FALSE(copy.sharesPixelsWith(original));
  EXPECT_EQ(original.bits(), before);
  EXPECT_EQ(original.scanline(1)[2], 10);
  EXPECT_EQ(copy.scanline(1)[2], 99);

  // A sole owner writes in place.
  const uint8_t* own = copy.bits();
  copy.mutableBits()[0] = 1;
  EXPECT_EQ(copy.bits(), own);
}

TEST(BitmapTest, AlphaIsSharedAndDetachedOnItsOwn) {
  Bitmap original(3, 2, F::ie24RGB);
  original.addAlpha(200);
  Bitmap copy = original;
  EXPECT_TRUE(copy.sharesAlphaWith(original));

  copy.mutableAlphaScanline(0)[1] = 7;
  EXPECT_FALSE(copy.sharesAlphaWith(original));
  EXPECT_TRUE(copy.sharesPixelsWith(original));  // only the plane written to is copied
  EXPECT_EQ(original.alphaScanline(0)[1], 200);
  EXPECT_EQ(copy.alphaScanline(0)[1], 7);

  copy.removeAlpha();
  EXPECT_FALSE(copy.hasAlpha());
  EXPECT_TRUE(original.hasAlpha());
}

TEST(BitmapTest, ShareAlphaFromTakesThePlaneOfABitmapOfTheSameGeometry) {
  Bitmap source(3, 2, F::ie24RGB, 8);
  source.addAlpha(5);
  source.setAlphaFull(false);
  Bitmap grey(3, 2, F::ie8g, 8);
  grey.shareAlphaFrom(source);
  EXPECT_TRUE(grey.sharesAlphaWith(source));
  EXPECT_FALSE(grey.alphaFull());

  grey.shareAlphaFrom(Bitmap(3, 2, F::ie1g, 8));
  EXPECT_FALSE(grey.hasAlpha());

  Bitmap otherAlignment(3, 2, F::ie8g, 32);
  EXPECT_THROW(otherAlignment.shareAlphaFrom(source), std::invalid_argument);
  Bitmap otherSize(2, 2, F::ie8g, 8);
  EXPECT_THROW(otherSize.shareAlphaFrom(source), std::invalid_argument);
}

TEST(BitmapTest, SamePixelsLooksOnlyAtPixelBits) {
  // One row; a byte of the row is changed by `mask`.
  struct Case {
    PixelFormat format;
    int width;
    size_t byte;
    uint8_t mask;
    bool same;
  };
  const Case cases[] = {
      {F::ie24RGB, 3, 9, 0xFF, true},   // padding byte
      {F::ie24RGB, 3, 8, 0x01, false},  // red of the last pixel
      {F::ie1g, 5, 0, 0x07, true},      // the three bits after pixel 4
      {F::ie1g, 5, 0, 0x08, false},     // pixel 4
      {F::ie1g, 9, 1, 0x7F, true},
      {F::ie1g, 9, 1, 0x80, false},
      {F::ie16g, 1, 2, 0xFF, true},
      {F::ie16g, 1, 1, 0x80, false},    // high byte of the word
      {F::ie48RGB, 1, 6, 0xFF, true},
      {F::ie48RGB, 1, 5, 0x01, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(pixelFormatName(c.format)) + " byte " + std::to_string(c.byte));
    Bitmap a(c.width, 1, c.format, 32);
    Bitmap b = a;
    b.mutableBits()[c.byte] ^= c.mask;
    EXPECT_EQ(a.samePixels(b), c.same);
  }
}

TEST(BitmapTest, SamePixelsComparesAlphaAndPalette) {
  Bitmap a(3, 2, F::ie8p, 32);
  a.addAlpha(255);
  Bitmap b = a;
  b.mutableAlphaScanline(1)[3] = 1;  // alpha padding
  EXPECT_TRUE(a.samePixels(b));
  b.mutableAlphaScanline(1)[2] = 1;
  EXPECT_FALSE(a.samePixels(b));

  Bitmap noAlpha = a;
  noAlpha.removeAlpha();
  EXPECT_FALSE(a.samePixels(noAlpha));

  Bitmap otherPalette = a;
  auto palette = a.palette();
  palette[7].g = 1;
  otherPalette.setPalette(palette);
  EXPECT_FALSE(a.samePixels(otherPalette));

  EXPECT_FALSE(a.samePixels(Bitmap(3, 2, F::ie8g, 32)));
}

}  // namespace
}  // namespace lumo
