#include "engine/io/ImageInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <QFile>
#include <QTemporaryDir>

#include "engine/io/FileTypeRegistry.h"
#include "engine/io/ImageFile.h"
#include "engine/pixels/PixelConvert.h"

namespace lumo {
namespace {

TEST(ImageInfoTest, ColorDepthWording) {
  struct Case {
    int bits;
    const char* text;
  } cases[] = {{0, ""},           {1, "Black and white (2 colors)"}, {4, "16 colors"},    {8, "256 colors"},
               {12, "4096 colors"}, {15, "65536 colors"},            {16, "65536 colors"}, {24, "24 bits"},
               {32, "32 bits"},     {48, "48 bits"}};
  for (const Case& c : cases) EXPECT_EQ(colorDepthText(c.bits).text(), c.text) << c.bits;
  // The key is what gets translated; the number goes in afterwards.
  const ColorDepthText depth = colorDepthText(8);
  EXPECT_EQ(depth.key, "%1 colors");
  EXPECT_EQ(depth.number, 256);
  EXPECT_EQ(depth.text([](const QString& key) { return QString(key).replace("colors", "Farben"); }), "256 Farben");
}

TEST(ImageInfoTest, DistinctColoursIgnoreAlphaAndRepeatedPaletteEntries) {
  // 256 × 256 pixels with 4096 colours, each four times, with varied alpha.
  Bitmap rgb(256, 256, PixelFormat::ie24RGB);
  rgb.addAlpha();
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      const int c = (y * 256 + x) % 4096;
      uint8_t* p = rgb.mutableScanline(y) + x * 3;
      p[0] = uint8_t(c & 0xFF);
      p[1] = uint8_t(c >> 8);
      p[2] = uint8_t(c % 3 * 100);
      rgb.mutableAlphaScanline(y)[x] = uint8_t(x);
    }
  EXPECT_EQ(countDistinctColors(rgb), 4096u);
  EXPECT_EQ(countDistinctColors(convertPixelFormat(rgb, PixelFormat::ie32RGB)), 4096u);

  Bitmap palette(10, 10, PixelFormat::ie8p);
  std::vector<PaletteEntry> entries(256, PaletteEntry{1, 2, 3});
  entries[7] = {9, 9, 9};
  palette.setPalette(entries);
  for (int x = 0; x < 10; ++x) palette.mutableScanline(0)[x] = uint8_t(x);  // 0 ... 9, one of them 7
  EXPECT_EQ(countDistinctColors(palette), 2u);

  Bitmap grey(20, 3, PixelFormat::ie8g);
  for (int x = 0; x < 20; ++x) grey.mutableScanline(1)[x] = uint8_t(x * 10);  // 0 repeats the fill
  EXPECT_EQ(countDistinctColors(grey), 20u);
  Bitmap bilevel(9, 2, PixelFormat::ie1g);
  EXPECT_EQ(countDistinctColors(bilevel), 1u);
  bilevel.mutableScanline(1)[1] = 0x80;  // x = 8
  EXPECT_EQ(countDistinctColors(bilevel), 2u);
  EXPECT_EQ(countDistinctColors(Bitmap()), 0u);
}

Bitmap gradient(int w, int h) {
  Bitmap b(w, h, PixelFormat::ie24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b.mutableScanline(y) + x * 3;
      p[0] = uint8_t(x * 255 / w);
      p[1] = uint8_t(y * 255 / h);
      p[2] = uint8_t(128 + 100 * std::sin(x * 0.1));
    }
  return b;
}

TEST(ImageInfoTest, JpegQualityIsEstimatedFromTheTables) {
  QTemporaryDir dir;
  for (bool grey : {false, true}) {
    for (int quality : {10, 50, 75, 90, 100}) {
      IOParams params;
      params.JPEG_Quality = quality;
      const Bitmap image = grey ? convertPixelFormat(gradient(40, 30), PixelFormat::ie8g) : gradient(40, 30);
      const QString path = dir.filePath("q.jpg");
      ASSERT_TRUE(saveImageFile(path, image, params, nullptr));
      EXPECT_NEAR(estimateJpegQualityOfFile(path), quality, 2) << quality << " grey " << grey;
    }
  }
  // No tables: another type, a file cut before them, a missing file.
  ASSERT_TRUE(saveImageFile(dir.filePath("x.png"), gradient(8, 8), IOParams{}, nullptr));
  EXPECT_EQ(estimateJpegQualityOfFile(dir.filePath("x.png")), -1);
  QFile jpeg(dir.filePath("q.jpg"));
  ASSERT_TRUE(jpeg.open(QIODevice::ReadOnly));
  const QByteArray bytes = jpeg.readAll();
  const qsizetype tables = bytes.indexOf(QByteArray("\xFF\xDB", 2));
  ASSERT_GT(tables, 0);
  for (qsizetype keep : {tables, tables + 30})
    EXPECT_EQ(estimateJpegQuality(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(keep)), -1) << keep;
  EXPECT_EQ(estimateJpegQualityOfFile(dir.filePath("missing.jpg")), -1);
}

TEST(ImageInfoTest, TypesThatCarryIptc) {
  for (int32_t type : {FileTypeCode::JPEG, FileTypeCode::TIFF, FileTypeCode::PSD, FileTypeCode::PNG, FileTypeCode::JP2})
    EXPECT_TRUE(canCarryIptc(type)) << type;
  for (int32_t type : {FileTypeCode::BMP, FileTypeCode::GIF, FileTypeCode::WEBP, FileTypeCode::PCX, FileTypeCode::LMRD})
    EXPECT_FALSE(canCarryIptc(type)) << type;
}

TEST(ImageInfoTest, IptcFieldsReadAndWriteTheirDataSets) {
  const auto& fields = iptcFields();
  const auto byName = [&](const char* name) -> const IptcField& {
    return *std::find_if(fields.begin(), fields.end(), [&](const IptcField& f) { return QString(f.name) == name; });
  };
  EXPECT_EQ(byName("Caption/Abstract").dataset, 120);
  EXPECT_EQ(byName("Object Name").dataset, 5);
  EXPECT_EQ(byName("Copyright Notice").dataset, 116);
  EXPECT_TRUE(byName("Keywords").repeatable);
  EXPECT_FALSE(byName("Headline").repeatable);

  std::vector<IptcRecord> records = {
      {1, 90, "\x1b%G"}, {2, 25, "sea"}, {2, 120, "old"}, {2, 25, "boats"}, {2, 105, "H"}};
  const IptcField& keywords = byName("Keywords");
  EXPECT_EQ(iptcFieldText(records, keywords), "sea; boats");
  setIptcFieldText(records, keywords, " gulls ;; harbour ");
  const std::vector<IptcRecord> expected = {{1, 90, "\x1b%G"}, {2, 25, "gulls"}, {2, 25, "harbour"}, {2, 120, "old"},
                                            {2, 105, "H"}};
  EXPECT_EQ(records, expected);
  // A single field keeps its semicolons; an empty text removes the field.
  setIptcFieldText(records, byName("Caption/Abstract"), "a; b");
  EXPECT_EQ(iptcFieldText(records, byName("Caption/Abstract")), "a; b");
  setIptcFieldText(records, byName("Headline"), "");
  setIptcFieldText(records, byName("City"), "Kiel");
  EXPECT_EQ(records.size(), 5u);
  EXPECT_EQ(records.back(), (IptcRecord{2, 90, "Kiel"}));
}

}  // namespace
}  // namespace lumo
