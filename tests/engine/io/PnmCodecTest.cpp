#include <gtest/gtest.h>

#include "CodecTestImages.h"
#include "engine/io/FileTypeRegistry.h"

namespace lumo {
namespace {

using namespace testimages;

// Bytes of a literal that may hold zero bytes.
template <size_t N>
QByteArray raw(const char (&s)[N]) {
  return QByteArray(s, N - 1);
}

bool read(const QByteArray& bytes, Bitmap& out, IOParams& params, QString* error = nullptr) {
  return decode(FileTypeCode::PNM, bytes, out, params, error);
}

TEST(PnmCodec, EachExtensionWritesItsFlavourAndReadsBackExactly) {
  struct Case {
    const char* extension;
    Bitmap image;
    const char* magic;
    PixelFormat readAs;
  } cases[] = {
      {"ppm", noise(13, 7, PixelFormat::ie24RGB, false), "P6\n13 7\n255\n", PixelFormat::ie24RGB},
      {"ppm", noise(13, 7, PixelFormat::ie48RGB, false), "P6\n13 7\n65535\n", PixelFormat::ie48RGB},
      {"pgm", noise(13, 7, PixelFormat::ie8g, false), "P5\n13 7\n255\n", PixelFormat::ie8g},
      {"pgm", noise(13, 7, PixelFormat::ie16g, false), "P5\n13 7\n65535\n", PixelFormat::ie16g},
      {"pbm", noise(13, 7, PixelFormat::ie1g, false), "P4\n13 7\n", PixelFormat::ie1g},
      {"pnm", noise(13, 7, PixelFormat::ie1g, false), "P4\n", PixelFormat::ie1g},
      {"pnm", noise(13, 7, PixelFormat::ie8g, false), "P5\n", PixelFormat::ie8g},
      {"pnm", noise(13, 7, PixelFormat::ie24RGB, false), "P6\n", PixelFormat::ie24RGB},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.extension) + " " + c.magic);
    QByteArray bytes;
    ASSERT_TRUE(encode(FileTypeCode::PNM, c.image, IOParams{}, c.extension, bytes));
    EXPECT_TRUE(bytes.startsWith(c.magic));
    Bitmap back;
    IOParams params;
    QString error;
    ASSERT_TRUE(read(bytes, back, params, &error)) << error.toStdString();
    EXPECT_EQ(back.format(), c.readAs);
    EXPECT_TRUE(back.samePixels(c.image));
  }
}

TEST(PnmCodec, ColourBecomesGreyByLuminanceAndBlackAndWhiteAtHalf) {
  Bitmap colour(4, 1, PixelFormat::ie24RGB);
  const uint8_t bgr[4][3] = {{0, 0, 255}, {0, 255, 0}, {128, 128, 128}, {127, 127, 127}};
  for (int x = 0; x < 4; ++x) std::memcpy(colour.mutableScanline(0) + 3 * x, bgr[x], 3);
  colour.addAlpha(0);  // PNM has no alpha: it is left out
  QByteArray pgm, pbm;
  ASSERT_TRUE(encode(FileTypeCode::PNM, colour, IOParams{}, "pgm", pgm));
  ASSERT_TRUE(encode(FileTypeCode::PNM, colour, IOParams{}, "pbm", pbm));
  EXPECT_EQ(pgm, QByteArray("P5\n4 1\n255\n") + raw("\x4C\x96\x80\x7F"));  // 0.299 red, 0.587 green
  // Luminance 76 and 127 are black (1 in PBM), 150 and 128 white.
  EXPECT_EQ(pbm, QByteArray("P4\n4 1\n") + raw("\x90"));

  Bitmap deep(1, 1, PixelFormat::ie48RGB);
  const uint16_t rgb[3] = {65535, 0, 0};
  std::memcpy(deep.mutableScanline(0), rgb, 6);
  ASSERT_TRUE(encode(FileTypeCode::PNM, deep, IOParams{}, "pgm", pgm));
  EXPECT_EQ(pgm, QByteArray("P5\n1 1\n65535\n") + raw("\x4C\x8B"));  // 19595
  QByteArray none;
  QString error;
  EXPECT_FALSE(encode(FileTypeCode::PNM, deep, IOParams{}, "pam", none, &error));
}

TEST(PnmCodec, TextFormsCommentsAndOtherMaxValuesAreRead) {
  struct Case {
    QByteArray bytes;
    PixelFormat format;
    std::vector<uint8_t> firstRow;  // stored bytes of row 0
    int alpha;                      // alpha of the first pixel, -1 without a plane
  } cases[] = {
      {"P1\n# a comment\n3 2\n1 0 1\n0 1 0\n", PixelFormat::ie1g, {0x40}, -1},
      {"P1 3 2 101010", PixelFormat::ie1g, {0x40}, -1},  // digits may run together
      {"P2\n3 1 # width and height\n15\n0 15 # end of row\n 7\n", PixelFormat::ie8g, {0, 255, 119}, -1},
      {"P3 1 1 255 10 20 30\n", PixelFormat::ie24RGB, {30, 20, 10}, -1},
      {"P2 1 1 1000 500", PixelFormat::ie16g, {0x00, 0x80}, -1},  // 500/1000 of 65535 is 32768
      {raw("P5 2 1 3\n\x00\x03"), PixelFormat::ie8g, {0, 255}, -1},
      {raw("P6\n#c\n1 1\n255\n\x01\x02\x03"), PixelFormat::ie24RGB, {3, 2, 1}, -1},
      {raw("P7\nWIDTH 1\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n\x0A\x14\x1E\x80"),
       PixelFormat::ie24RGB,
       {30, 20, 10},
       128},
      {raw("P7\n# grey\nWIDTH 2\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nTUPLTYPE GRAYSCALE\nENDHDR\n\x05\x06"),
       PixelFormat::ie8g,
       {5, 6},
       -1},
      {raw("P7\nWIDTH 3\nHEIGHT 1\nDEPTH 1\nMAXVAL 1\nTUPLTYPE BLACKANDWHITE\nENDHDR\n\x01\x00\x01"),
       PixelFormat::ie1g,
       {0xA0},
       -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes.left(20).toStdString());
    Bitmap back;
    IOParams params;
    QString error;
    ASSERT_TRUE(read(c.bytes, back, params, &error)) << error.toStdString();
    ASSERT_EQ(back.format(), c.format);
    for (size_t i = 0; i < c.firstRow.size(); ++i) EXPECT_EQ(back.scanline(0)[i], c.firstRow[i]) << i;
    EXPECT_EQ(back.hasAlpha(), c.alpha >= 0);
    if (c.alpha >= 0) {
      EXPECT_EQ(back.alphaScanline(0)[0], c.alpha);
    }
  }
}

TEST(PnmCodec, MalformedHeadersAndDataAreRefused) {
  struct Case {
    QByteArray bytes;
    const char* message;
  } cases[] = {
      {"P8 1 1 255 0", "Not a portable"},
      {"P61 1 255\n\x01", "Not a portable"},
      {"P5 -1 1 255\n\x01", "not a number"},
      {"P5 1x 1 255\n\x01", "not a number"},
      {"P5 1 1 0\n\x01", "outside 1 ... 65535"},
      {"P5 1 1 65536\n\x01\x01", "outside 1 ... 65535"},
      {"P5 1 1 255#x\n\x01", "does not end with white space"},
      {"P5 0 1 255\n", "no pixels"},
      {"P5 1234567890 1 255\n\x01", "not a number"},
      {"P6 100000 100000 255\n\x01\x02\x03", "too large"},
      {"P6 20000 20000 255\n\x01\x02\x03", "too short"},
      {"P5 4 4 255\n\x01\x02\x03", "ends inside its pixel data"},
      {"P2 2 1 10 3 11", "above the maximum"},
      {"P2 2 1 10 3", "ends inside its pixel data"},
      {raw("P5 2 1 10\n\x03\x0B"), "above the maximum"},
      {"P1 2 1 0 2", "missing"},
      {"P7\nWIDTH 1\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\n", "no ENDHDR"},
      {"P7\nWIDTH 1\nHEIGHT 1\nMAXVAL 255\nENDHDR\n\x01", "lacks"},
      {"P7\nWIDTH 1\nHEIGHT 1\nDEPTH 5\nMAXVAL 255\nENDHDR\n\x01\x01\x01\x01\x01", "depth 5"},
      {"P7\nWIDTH 1\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE GRAYSCALE\nENDHDR\n\x01\x01\x01", "does not match"},
      {"P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nCOLOUR 3\nENDHDR\n\x01", "Unknown PAM header line"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes.left(30).toStdString());
    Bitmap back;
    IOParams params;
    params.DpiX = 1234;
    QString error;
    EXPECT_FALSE(read(c.bytes, back, params, &error));
    EXPECT_TRUE(error.contains(c.message)) << error.toStdString();
    EXPECT_TRUE(back.isNull());
    EXPECT_EQ(params.DpiX, 1234);
  }
}

}  // namespace
}  // namespace lumo
