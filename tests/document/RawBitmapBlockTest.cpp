#include <gtest/gtest.h>

#include "document/ProjectError.h"
#include "document/RawBitmapBlock.h"
#include "support/LeBytes.h"

namespace lumo {
namespace {

using test::LeBytes;

// Every byte of the planes (padding included) gets a value of its own.
Bitmap patterned(int w, int h, PixelFormat f, int alignment, bool alpha) {
  Bitmap b(w, h, f, alignment);
  uint8_t* p = b.mutableBits();
  for (size_t i = 0; i < b.byteCount(); ++i) p[i] = uint8_t(i * 7 + 3);
  if (alpha) {
    b.addAlpha();
    uint8_t* a = b.mutableAlphaBits();
    for (size_t i = 0; i < b.alphaRowBytes() * size_t(h); ++i) a[i] = uint8_t(i * 5 + 1);
    b.setAlphaFull(false);
  }
  if (f == PixelFormat::ie8p) {
    std::vector<PaletteEntry> pal(256);
    for (size_t i = 0; i < pal.size(); ++i) pal[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)};
    b.setPalette(pal);
  }
  BitmapInfo& info = b.info();
  info.full = false;
  info.paletteUsed = 17;
  info.blackValue = -0.25;
  info.whiteValue = 2.5;
  info.channelOffset = {1, -2, 3, -4};
  info.enableChannelOffset = true;
  info.contrast = 42;
  return b;
}

void expectSame(const Bitmap& a, const Bitmap& b) {
  EXPECT_EQ(a.width(), b.width());
  EXPECT_EQ(a.height(), b.height());
  EXPECT_EQ(a.format(), b.format());
  EXPECT_EQ(a.bitAlignment(), b.bitAlignment());
  EXPECT_EQ(a.palette(), b.palette());
  EXPECT_EQ(a.info(), b.info());
  EXPECT_EQ(a.hasAlpha(), b.hasAlpha());
  EXPECT_EQ(a.alphaFull(), b.alphaFull());
  ASSERT_EQ(a.byteCount(), b.byteCount());
  EXPECT_EQ(0, std::memcmp(a.bits(), b.bits(), a.byteCount()));
  if (a.hasAlpha() && b.hasAlpha()) {
    EXPECT_EQ(0, std::memcmp(a.alphaBits(), b.alphaBits(), a.alphaRowBytes() * size_t(a.height())));
  }
}

void expectCorrupt(const std::vector<uint8_t>& block) {
  Bitmap out(2, 2, PixelFormat::ie8g);
  try {
    decodeRawBitmap(block.data(), block.size(), out);
    FAIL() << "accepted";
  } catch (const ProjectError& e) {
    EXPECT_EQ(e.text(), ProjectErrorText::kCorrupt);
  }
  EXPECT_EQ(out.width(), 2) << "the bitmap must stay as it was";
}

TEST(RawBitmapBlock, RoundTripsEveryFormatAlignmentAndAlpha) {
  for (int f = 1; f < kPixelFormatCount; ++f) {
    for (int alignment : {8, 16, 32, 64}) {
      for (bool alpha : {false, true}) {
        SCOPED_TRACE(testing::Message() << pixelFormatName(PixelFormat(f)) << " align " << alignment << " alpha " << alpha);
        const Bitmap in = patterned(13, 5, PixelFormat(f), alignment, alpha);
        const std::vector<uint8_t> block = encodeRawBitmap(in);
        Bitmap out;
        ASSERT_TRUE(decodeRawBitmap(block.data(), block.size(), out));
        expectSame(in, out);
        const auto max = rawBitmapMaxSize(block.data(), block.size());
        ASSERT_TRUE(max.has_value());
        // The largest size counts alpha rows even when the block has none.
        const size_t alphaRows = alpha ? 0 : in.alphaRowBytes() * 5 + 1;
        EXPECT_EQ(*max, block.size() + alphaRows);
      }
    }
  }
}

TEST(RawBitmapBlock, LaysOutTheFieldsAndRowsAsStored) {
  Bitmap b(3, 2, PixelFormat::ie24RGB, 16);  // 9 bytes a row, padded to 10
  uint8_t* p = b.mutableBits();
  for (size_t i = 0; i < b.byteCount(); ++i) p[i] = uint8_t(i + 1);
  b.addAlpha();
  uint8_t* a = b.mutableAlphaBits();  // 3 bytes a row, padded to 4
  for (size_t i = 0; i < 8; ++i) a[i] = uint8_t(0xA0 + i);
  b.setAlphaFull(false);
  b.info().contrast = -3;

  LeBytes want;
  want.ascii("TIEBITMAPRAW").i32(0).i32(0).i32(3).i32(2).u8(5).u8(1).i32(0).f64(0.0).f64(1.0);
  want.i32(0).i32(0).i32(0).i32(0).u8(0).i32(-3).i32(16);
  for (int i = 1; i <= 20; ++i) want.u8(uint8_t(i));
  want.u8(1);
  for (int i = 0; i < 8; ++i) want.u8(uint8_t(0xA0 + i));
  want.u8(0);
  EXPECT_EQ(encodeRawBitmap(b), want.bytes());

  Bitmap noAlpha(3, 2, PixelFormat::ie24RGB, 16);
  const std::vector<uint8_t> block = encodeRawBitmap(noAlpha);
  EXPECT_EQ(block.back(), 0) << "without alpha the block ends with has-alpha = 0";
  EXPECT_EQ(block.size(), 75u + 20 + 1);
}

TEST(RawBitmapBlock, NullBitmapRoundTrips) {
  const std::vector<uint8_t> block = encodeRawBitmap(Bitmap());
  Bitmap out(4, 4, PixelFormat::ie8g);
  ASSERT_TRUE(decodeRawBitmap(block.data(), block.size(), out));
  EXPECT_TRUE(out.isNull());
}

TEST(RawBitmapBlock, ForeignMagicOrNegativeVersionLeavesBitmap) {
  std::vector<uint8_t> block = encodeRawBitmap(patterned(4, 4, PixelFormat::ie8g, 32, false));
  for (int variant = 0; variant < 2; ++variant) {
    std::vector<uint8_t> bad = block;
    if (variant == 0) {
      bad[3] = 'x';
    } else {
      std::fill(bad.begin() + 12, bad.begin() + 16, uint8_t(0xFF));  // version -1
    }
    Bitmap out(2, 2, PixelFormat::ie24RGB);
    EXPECT_FALSE(decodeRawBitmap(bad.data(), bad.size(), out));
    EXPECT_EQ(out.width(), 2);
    EXPECT_EQ(out.format(), PixelFormat::ie24RGB);
    EXPECT_EQ(rawBitmapMaxSize(bad.data(), bad.size()), size_t(16));
  }
}

// A header with the given fields and no pixel rows after it.
LeBytes header(int32_t paletteCount, int32_t w, int32_t h, uint8_t format, int32_t alignment) {
  LeBytes b;
  b.ascii("TIEBITMAPRAW").i32(0).i32(paletteCount);
  if (paletteCount > 0 && paletteCount <= 300) b.zeros(size_t(paletteCount) * 3);
  b.i32(w).i32(h).u8(format).u8(1).i32(0).f64(0).f64(1).zeros(16).u8(0).i32(0).i32(alignment);
  return b;
}

TEST(RawBitmapBlock, RejectsImpossibleHeadersBeforeAllocating) {
  struct Case {
    const char* what;
    int32_t palette, w, h;
    uint8_t format;
    int32_t alignment;
  };
  const Case cases[] = {
      {"palette count negative", -1, 4, 4, 3, 32},
      {"palette of 257 entries", 257, 4, 4, 2, 32},
      {"negative width", 0, -4, 4, 3, 32},
      {"negative height", 0, 4, -1, 3, 32},
      {"unknown pixel format", 0, 4, 4, 11, 32},
      {"alignment 12", 0, 4, 4, 3, 12},
      {"alignment 0", 0, 4, 4, 3, 0},
      {"more pixels than the cap", 0, 65536, 65536, 5, 32},
      {"huge rows the block does not hold", 0, 30000, 30000, 8, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const LeBytes b = header(c.palette, c.w, c.h, c.format, c.alignment);
    expectCorrupt(b.bytes());
  }
  const LeBytes capped = header(0, 65536, 65536, 5, 32);
  EXPECT_THROW(rawBitmapMaxSize(capped.bytes().data(), capped.size()), ProjectError);
}

TEST(RawBitmapBlock, RejectsEveryCutOfAValidBlock) {
  const std::vector<uint8_t> block = encodeRawBitmap(patterned(5, 3, PixelFormat::ie8p, 32, true));
  for (size_t n = 0; n < block.size(); ++n) {
    SCOPED_TRACE(n);
    expectCorrupt(std::vector<uint8_t>(block.begin(), block.begin() + ptrdiff_t(n)));
  }
}

TEST(RawBitmapBlock, MaxSizeWaitsForTheWholeHeader) {
  const std::vector<uint8_t> block = encodeRawBitmap(patterned(5, 3, PixelFormat::ie8p, 32, false));
  const size_t headerSize = 75 + 256 * 3;
  EXPECT_FALSE(rawBitmapMaxSize(block.data(), 10).has_value());
  EXPECT_FALSE(rawBitmapMaxSize(block.data(), headerSize - 1).has_value());
  EXPECT_TRUE(rawBitmapMaxSize(block.data(), headerSize).has_value());
}

TEST(RawBitmapBlock, ShortPaletteOfAPaletteBitmapIsCompleted) {
  LeBytes b;
  b.ascii("TIEBITMAPRAW").i32(0).i32(2).u8(10).u8(20).u8(30).u8(40).u8(50).u8(60);
  b.i32(2).i32(1).u8(2).u8(1).i32(2).f64(0).f64(1).zeros(16).u8(0).i32(0).i32(8);
  b.u8(1).u8(255).u8(0);  // one row: indices 1 and 255, no alpha
  Bitmap out;
  ASSERT_TRUE(decodeRawBitmap(b.bytes().data(), b.size(), out));
  ASSERT_EQ(out.palette().size(), 256u);
  EXPECT_EQ(out.palette()[1], (PaletteEntry{40, 50, 60}));
  EXPECT_EQ(out.palette()[255], PaletteEntry{});
  EXPECT_EQ(out.scanline(0)[1], 255);
}

}  // namespace
}  // namespace lumo
