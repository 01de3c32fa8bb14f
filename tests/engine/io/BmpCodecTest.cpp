#include <gtest/gtest.h>

#include "CodecTestImages.h"
#include "engine/io/FileTypeRegistry.h"

namespace lumo {
namespace {

using namespace testimages;

// Horizontal stripes of runs of every length with literal stretches between them, in
// `colours` palette entries: what exercises both run-length modes.
Bitmap stripes(int w, int h, int colours, unsigned seed) {
  Bitmap b(w, h, PixelFormat::ie8p);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.mutableScanline(y);
    int x = 0;
    while (x < w) {
      const int run = 1 + int(rng() % (y % 3 == 0 ? 300 : 4));
      const uint8_t v = uint8_t(rng() % unsigned(colours));
      for (int i = 0; i < run && x < w; ++i) row[x++] = (y % 3 == 2 && i % 2) ? uint8_t(rng() % unsigned(colours)) : v;
    }
  }
  std::vector<PaletteEntry> pal(256);
  for (int i = 0; i < 256; ++i) pal[size_t(i)] = {uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 3)};
  b.setPalette(pal);
  b.info().paletteUsed = colours;
  return b;
}

// A true-colour picture with few colours.
Bitmap poster(int w, int h) {
  Bitmap b(w, h, PixelFormat::ie24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b.mutableScanline(y) + 3 * x;
      p[0] = uint8_t((x / 8) * 40);
      p[1] = uint8_t((y / 4) * 50);
      p[2] = 9;
    }
  return b;
}

struct Written {
  uint32_t compression = 0;
  int bits = 0;
};

Written headerOf(const QByteArray& bmp) { return {le32At(bmp, 30), uint8_t(bmp[28]) | uint8_t(bmp[29]) << 8}; }

TEST(BmpCodec, EachCompressionIsWrittenAsTheHeaderSaysAndReadsBackExactly) {
  Bitmap withAlpha = noise(19, 11, PixelFormat::ie24RGB, true);
  struct Case {
    const char* name;
    Bitmap image;
    BmpCompression compression;
    Written expected;  // compression field: 0 none, 1 RLE8, 2 RLE4, 3 bit fields
    PixelFormat readAs;
  } cases[] = {
      {"1-bit", noise(37, 9, PixelFormat::ie1g, false), BmpCompression::Uncompressed, {0, 1}, PixelFormat::ie1g},
      {"1-bit RLE", noise(37, 9, PixelFormat::ie1g, false), BmpCompression::RLE, {2, 4}, PixelFormat::ie1g},
      {"grey", noise(37, 9, PixelFormat::ie8g, false), BmpCompression::Uncompressed, {0, 8}, PixelFormat::ie8g},
      {"grey RLE", noise(37, 9, PixelFormat::ie8g, false), BmpCompression::RLE, {1, 8}, PixelFormat::ie8g},
      {"palette", stripes(301, 12, 200, 1), BmpCompression::Uncompressed, {0, 8}, PixelFormat::ie8p},
      {"palette RLE8", stripes(301, 12, 200, 2), BmpCompression::RLE, {1, 8}, PixelFormat::ie8p},
      {"palette RLE8 odd", stripes(255, 7, 30, 3), BmpCompression::RLE, {1, 8}, PixelFormat::ie8p},
      {"palette RLE4", stripes(301, 12, 16, 4), BmpCompression::RLE, {2, 4}, PixelFormat::ie8p},
      {"palette RLE4 narrow", stripes(3, 5, 5, 5), BmpCompression::RLE, {2, 4}, PixelFormat::ie8p},
      {"palette RLE4 one", stripes(1, 3, 2, 6), BmpCompression::RLE, {2, 4}, PixelFormat::ie8p},
      {"24-bit",
       noise(37, 9, PixelFormat::ie24RGB, false),
       BmpCompression::Uncompressed,
       {0, 24},
       PixelFormat::ie24RGB},
      {"few colours RLE", poster(64, 40), BmpCompression::RLE, {1, 8}, PixelFormat::ie8p},
      {"alpha", withAlpha, BmpCompression::Uncompressed, {3, 32}, PixelFormat::ie24RGB},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IOParams params;
    params.BMP_Compression = c.compression;
    QByteArray bytes;
    QString error;
    ASSERT_TRUE(encode(FileTypeCode::BMP, c.image, params, "bmp", bytes, &error)) << error.toStdString();
    const Written w = headerOf(bytes);
    EXPECT_EQ(w.compression, c.expected.compression);
    EXPECT_EQ(w.bits, c.expected.bits);
    EXPECT_EQ(le32At(bytes, 2), uint32_t(bytes.size()));  // file size field
    Bitmap back;
    IOParams read;
    ASSERT_TRUE(decode(FileTypeCode::BMP, bytes, back, read, &error)) << error.toStdString();
    EXPECT_EQ(back.format(), c.readAs);
    EXPECT_EQ(read.BMP_Compression, c.compression);
    EXPECT_EQ(psnr(back, c.image), 99);
    if (c.image.hasAlpha()) {
      ASSERT_TRUE(back.hasAlpha());
      EXPECT_EQ(alphaDiff(back, c.image), 0);
    }
  }
}

TEST(BmpCodec, RunLengthShrinksFlatPictures) {
  Bitmap flat(200, 100, PixelFormat::ie8g);
  flat.fill(40);
  IOParams params;
  QByteArray plain, rle;
  ASSERT_TRUE(encode(FileTypeCode::BMP, flat, params, "bmp", plain));
  params.BMP_Compression = BmpCompression::RLE;
  ASSERT_TRUE(encode(FileTypeCode::BMP, flat, params, "bmp", rle));
  EXPECT_LT(rle.size() * 10, plain.size());
}

// Run-length BMPs hold palette images only: what would lose colours or transparency is
// refused, not written some other way.
TEST(BmpCodec, RunLengthRefusesWhatItCannotHold) {
  IOParams params;
  params.BMP_Compression = BmpCompression::RLE;
  QByteArray bytes("untouched");
  QString error;
  EXPECT_FALSE(encode(FileTypeCode::BMP, noise(40, 40, PixelFormat::ie24RGB, false), params, "bmp", bytes, &error));
  EXPECT_TRUE(error.contains("at most 256 colours")) << error.toStdString();
  EXPECT_FALSE(encode(FileTypeCode::BMP, noise(8, 8, PixelFormat::ie8g, true), params, "bmp", bytes, &error));
  EXPECT_TRUE(error.contains("transparency")) << error.toStdString();
}

TEST(BmpCodec, DeepImagesAreStoredAtEightBits) {
  const Bitmap deepGrey = noise(9, 4, PixelFormat::ie16g, false);
  QByteArray bytes;
  ASSERT_TRUE(encode(FileTypeCode::BMP, deepGrey, IOParams{}, "bmp", bytes));
  EXPECT_EQ(headerOf(bytes).bits, 8);
  Bitmap back;
  IOParams read;
  ASSERT_TRUE(decode(FileTypeCode::BMP, bytes, back, read));
  EXPECT_EQ(back.format(), PixelFormat::ie8g);
  EXPECT_TRUE(back.samePixels(convertPixelFormat(deepGrey, PixelFormat::ie8g)));
}

TEST(BmpCodec, DamagedRunLengthDataFailsOrStaysInside) {
  IOParams params;
  params.BMP_Compression = BmpCompression::RLE;
  QByteArray whole;
  ASSERT_TRUE(encode(FileTypeCode::BMP, stripes(120, 30, 200, 9), params, "bmp", whole));
  // A file cut short misses rows: an error, not a picture with a blank part.
  for (qsizetype keep : {whole.size() - 6, whole.size() / 2, qsizetype(60)}) {
    Bitmap back;
    IOParams read;
    QString error;
    EXPECT_FALSE(decode(FileTypeCode::BMP, whole.left(keep), back, read, &error)) << keep;
    EXPECT_FALSE(error.isEmpty());
  }
  std::mt19937 rng(3);
  for (int round = 0; round < 200; ++round) {
    QByteArray damaged = whole;
    if (round % 2) damaged.truncate(qsizetype(rng() % unsigned(whole.size())));
    for (int k = 0; k < round % 4; ++k) damaged[qsizetype(rng() % unsigned(damaged.size()))] = char(rng());
    Bitmap back;
    IOParams read;
    QString error;
    if (!decode(FileTypeCode::BMP, damaged, back, read, &error))
      EXPECT_FALSE(error.isEmpty());
    else
      EXPECT_FALSE(back.isNull());
  }
}

}  // namespace
}  // namespace lumo
