#include "engine/io/ImageFile.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <random>

#include <QFile>
#include <QTemporaryDir>

#include "CodecTestImages.h"
#include "engine/io/FileTypeRegistry.h"
#include "engine/pixels/PixelConvert.h"

namespace lumo {
namespace {

using testimages::noise;
using testimages::gradient;
using testimages::psnrOfSamples;

class ImageFileTest : public ::testing::Test {
 protected:
  QString path(const QString& name) const { return dir.filePath(name); }
  QTemporaryDir dir;
};

QByteArray readAll(const QString& p) {
  QFile f(p);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  return f.readAll();
}

void writeAll(const QString& p, const QByteArray& data) {
  QFile f(p);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(data);
}

TEST_F(ImageFileTest, JpegKeepsTheImageCloseAndQualityChangesTheSize) {
  const Bitmap image = gradient(120, 80);
  IOParams params;
  params.JPEG_Quality = 95;
  params.DpiX = 300;
  params.DpiY = 150;
  QString error;
  ASSERT_TRUE(saveImageFile(path("high.jpg"), image, params, &error)) << error.toStdString();
  params.JPEG_Quality = 20;
  ASSERT_TRUE(saveImageFile(path("low.jpg"), image, params, &error));
  EXPECT_LT(QFile(path("low.jpg")).size(), QFile(path("high.jpg")).size());

  Bitmap back;
  IOParams read;
  ASSERT_TRUE(loadImageFile(path("high.jpg"), back, read, &error)) << error.toStdString();
  ASSERT_EQ(back.format(), PixelFormat::ie24RGB);
  ASSERT_EQ(back.width(), 120);
  EXPECT_GT(psnrOfSamples(image, back), 35.0);
  EXPECT_EQ(read.FileType, FileTypeCode::JPEG);
  EXPECT_EQ(read.DpiX, 300);
  EXPECT_EQ(read.DpiY, 150);
  EXPECT_EQ(read.Width, 120);
  EXPECT_EQ(read.Height, 80);

  const Bitmap grey = convertPixelFormat(image, PixelFormat::ie8g);
  ASSERT_TRUE(saveImageFile(path("grey.jpeg"), grey, IOParams{}, &error));
  ASSERT_TRUE(loadImageFile(path("grey.jpeg"), back, read, &error));
  EXPECT_EQ(back.format(), PixelFormat::ie8g);
  EXPECT_EQ(read.SamplesPerPixel, 1);
  EXPECT_GT(psnrOfSamples(grey, back), 35.0);
}

// A JPEG whose EXIF block says the camera was turned: stored 16 × 8, left half red,
// right half blue; orientation 6 means it is shown turned a quarter clockwise.
QByteArray turnedJpeg(const QString& scratch) {
  Bitmap b(16, 8, PixelFormat::ie24RGB);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) {
      uint8_t* p = b.mutableScanline(y) + x * 3;
      p[0] = x < 8 ? 0 : 255;
      p[2] = x < 8 ? 255 : 0;
    }
  IOParams params;
  params.JPEG_Quality = 100;
  EXPECT_TRUE(saveImageFile(scratch, b, params, nullptr));
  QByteArray jpeg = readAll(scratch);
  const QByteArray tiff("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 26);
  const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
  QByteArray app1("\xFF\xE1", 2);
  app1.append(char((payload.size() + 2) >> 8)).append(char((payload.size() + 2) & 0xFF)).append(payload);
  jpeg.insert(2, app1);
  return jpeg;
}

TEST_F(ImageFileTest, JpegOrientationIsAppliedUnlessSwitchedOff) {
  writeAll(path("turned.jpg"), turnedJpeg(path("plain.jpg")));
  Bitmap back;
  IOParams params;
  QString error;
  ASSERT_TRUE(loadImageFile(path("turned.jpg"), back, params, &error)) << error.toStdString();
  EXPECT_EQ(params.Orientation, 6);
  ASSERT_EQ(back.width(), 8);
  ASSERT_EQ(back.height(), 16);
  // Source columns become rows: the red half is on top.
  EXPECT_GT(back.scanline(2)[2], 200);
  EXPECT_LT(back.scanline(2)[0], 60);
  EXPECT_GT(back.scanline(13)[0], 200);

  IOParams asStored;
  asStored.EnableAdjustOrientation = false;
  ASSERT_TRUE(loadImageFile(path("turned.jpg"), back, asStored, &error));
  EXPECT_EQ(asStored.Orientation, 6);
  EXPECT_EQ(back.width(), 16);
  EXPECT_EQ(back.height(), 8);
}

TEST_F(ImageFileTest, PngRoundTripsEveryStoredFormatExactly) {
  struct Case {
    const char* label;
    PixelFormat format;
    bool alpha;
  } cases[] = {
      {"rgb", PixelFormat::ie24RGB, false},   {"rgb+alpha", PixelFormat::ie24RGB, true},
      {"rgb16", PixelFormat::ie48RGB, false}, {"rgb16+alpha", PixelFormat::ie48RGB, true},
      {"grey", PixelFormat::ie8g, false},     {"grey+alpha", PixelFormat::ie8g, true},
      {"grey16", PixelFormat::ie16g, false},  {"palette", PixelFormat::ie8p, false},
      {"bilevel", PixelFormat::ie1g, false},
  };
  for (const Case& c : cases) {
    const Bitmap image = noise(37, 23, c.format, c.alpha);
    QString error;
    ASSERT_TRUE(saveImageFile(path("x.png"), image, IOParams{}, &error)) << c.label << error.toStdString();
    Bitmap back;
    IOParams params;
    ASSERT_TRUE(loadImageFile(path("x.png"), back, params, &error)) << c.label << error.toStdString();
    EXPECT_EQ(back.format(), c.format) << c.label;
    EXPECT_EQ(back.hasAlpha(), c.alpha) << c.label;
    EXPECT_TRUE(back.samePixels(image)) << c.label;
  }
}

TEST_F(ImageFileTest, PngCompressionLevelChangesTheSize) {
  const Bitmap image = gradient(200, 100);
  IOParams params;
  params.PNG_Compression = 0;
  ASSERT_TRUE(saveImageFile(path("none.png"), image, params, nullptr));
  params.PNG_Compression = 9;
  ASSERT_TRUE(saveImageFile(path("max.png"), image, params, nullptr));
  EXPECT_LT(QFile(path("max.png")).size() * 2, QFile(path("none.png")).size());
}

TEST_F(ImageFileTest, BmpRoundTripsExactly) {
  const Bitmap image = noise(31, 17, PixelFormat::ie24RGB, false);
  QString error;
  ASSERT_TRUE(saveImageFile(path("x.bmp"), image, IOParams{}, &error)) << error.toStdString();
  Bitmap back;
  IOParams params;
  ASSERT_TRUE(loadImageFile(path("x.bmp"), back, params, &error)) << error.toStdString();
  EXPECT_EQ(params.FileType, FileTypeCode::BMP);
  EXPECT_TRUE(back.samePixels(image));
}

uint16_t compressionTagOf(const QString& file) {
  TIFF* t = TIFFOpen(QFile::encodeName(file).constData(), "r");
  if (!t) return 0;
  uint16_t c = 0;
  TIFFGetField(t, TIFFTAG_COMPRESSION, &c);
  TIFFClose(t);
  return c;
}

TEST_F(ImageFileTest, TiffRoundTripsWithEachCompression) {
  struct Case {
    TiffCompression compression;
    uint16_t tag;
    PixelFormat format;
    bool alpha;
  } cases[] = {
      {TiffCompression::Uncompressed, COMPRESSION_NONE, PixelFormat::ie24RGB, true},
      {TiffCompression::LZW, COMPRESSION_LZW, PixelFormat::ie24RGB, true},
      {TiffCompression::ZIP, COMPRESSION_ADOBE_DEFLATE, PixelFormat::ie24RGB, false},
      {TiffCompression::Deflate, COMPRESSION_DEFLATE, PixelFormat::ie8g, false},
      {TiffCompression::Packbits, COMPRESSION_PACKBITS, PixelFormat::ie24RGB, false},
      {TiffCompression::CCITT1D, COMPRESSION_CCITTRLE, PixelFormat::ie1g, false},
      {TiffCompression::G3FAX1D, COMPRESSION_CCITTFAX3, PixelFormat::ie1g, false},
      {TiffCompression::G3FAX2D, COMPRESSION_CCITTFAX3, PixelFormat::ie1g, false},
      {TiffCompression::G4FAX, COMPRESSION_CCITTFAX4, PixelFormat::ie1g, false},
      {TiffCompression::Uncompressed, COMPRESSION_NONE, PixelFormat::ie1g, false},
  };
  for (const Case& c : cases) {
    const int label = int(c.compression);
    const Bitmap image = noise(45, 29, c.format, c.alpha);
    IOParams params;
    params.TIFF_Compression = c.compression;
    QString error;
    ASSERT_TRUE(saveImageFile(path("x.tif"), image, params, &error)) << label << error.toStdString();
    EXPECT_EQ(compressionTagOf(path("x.tif")), c.tag) << label;
    Bitmap back;
    IOParams read;
    ASSERT_TRUE(loadImageFile(path("x.tif"), back, read, &error)) << label << error.toStdString();
    EXPECT_EQ(read.TIFF_Compression, c.compression) << label;
    EXPECT_EQ(back.format(), c.format) << label;
    EXPECT_TRUE(back.samePixels(image)) << label;
  }
}

TEST_F(ImageFileTest, TiffJpegIsCloseAndCodesThatCannotApplyAreRefused) {
  const Bitmap image = gradient(64, 48);
  IOParams params;
  params.TIFF_Compression = TiffCompression::JPEG;
  params.JPEG_Quality = 95;
  QString error;
  ASSERT_TRUE(saveImageFile(path("j.tif"), image, params, &error)) << error.toStdString();
  EXPECT_EQ(compressionTagOf(path("j.tif")), COMPRESSION_JPEG);
  Bitmap back;
  IOParams read;
  ASSERT_TRUE(loadImageFile(path("j.tif"), back, read, &error)) << error.toStdString();
  EXPECT_GT(psnrOfSamples(image, back), 35.0);

  // A failed save leaves the previous file as it was.
  const QByteArray before = readAll(path("j.tif"));
  for (TiffCompression c : {TiffCompression::G4FAX, TiffCompression::OldJPEG}) {
    params.TIFF_Compression = c;
    error.clear();
    EXPECT_FALSE(saveImageFile(path("j.tif"), image, params, &error));
    EXPECT_FALSE(error.isEmpty());
  }
  EXPECT_EQ(readAll(path("j.tif")), before);
}

TEST_F(ImageFileTest, TruncatedFilesFailCleanly) {
  const Bitmap image = noise(64, 64, PixelFormat::ie24RGB, false);
  struct Case {
    const char* name;
    TiffCompression compression;
  } cases[] = {{"t.jpg", {}}, {"t.png", {}}, {"t.bmp", {}}, {"t.tif", TiffCompression::LZW},
               {"u.tif", TiffCompression::Uncompressed}};
  for (const auto& [name, compression] : cases) {
    IOParams params;
    params.TIFF_Compression = compression;
    ASSERT_TRUE(saveImageFile(path(name), image, params, nullptr)) << name;
    const QByteArray whole = readAll(path(name));
    for (qsizetype keep : {whole.size() / 2, qsizetype(40), qsizetype(3)}) {
      writeAll(path(name), whole.left(keep));
      Bitmap back = noise(2, 2, PixelFormat::ie8g, false);
      const Bitmap untouched = back;
      IOParams read;
      read.DpiX = 1234;
      QString error;
      EXPECT_FALSE(loadImageFile(path(name), back, read, &error)) << name << " " << keep;
      EXPECT_FALSE(error.isEmpty()) << name;
      EXPECT_TRUE(back.samePixels(untouched)) << name;
      EXPECT_EQ(read.DpiX, 1234) << name;
    }
  }
}

// Damaged files may load or fail, but must never crash or read out of bounds (the
// sanitizer build watches this).
TEST_F(ImageFileTest, DamagedFilesLoadOrFailWithoutHarm) {
  const Bitmap image = noise(24, 16, PixelFormat::ie24RGB, true);
  std::mt19937 rng(11);
  for (const char* name : {"d.jpg", "d.png", "d.bmp", "d.tif"}) {
    IOParams params;
    params.TIFF_Compression = TiffCompression::LZW;
    ASSERT_TRUE(saveImageFile(path(name), image, params, nullptr)) << name;
    const QByteArray whole = readAll(path(name));
    for (int round = 0; round < 150; ++round) {
      QByteArray damaged = whole;
      for (int k = 0; k < 1 + round % 4; ++k) damaged[qsizetype(rng() % damaged.size())] = char(rng());
      writeAll(path(name), damaged);
      Bitmap back;
      IOParams read;
      QString error;
      if (!loadImageFile(path(name), back, read, &error)) EXPECT_FALSE(error.isEmpty()) << name;
      else EXPECT_FALSE(back.isNull()) << name;
    }
  }
}

TEST_F(ImageFileTest, DeclaredSizesBeyondWhatTheFileHoldsAreRefused) {
  const Bitmap image = noise(8, 8, PixelFormat::ie24RGB, false);
  QString error;
  // JPEG: 30000 × 30000 in the frame header of a file of a few hundred bytes.
  ASSERT_TRUE(saveImageFile(path("big.jpg"), image, IOParams{}, nullptr));
  QByteArray jpeg = readAll(path("big.jpg"));
  const qsizetype sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
  ASSERT_GT(sof, 0);
  for (int i : {5, 7}) {
    jpeg[sof + i] = char(30000 >> 8);
    jpeg[sof + i + 1] = char(30000 & 0xFF);
  }
  writeAll(path("big.jpg"), jpeg);
  Bitmap back;
  IOParams params;
  EXPECT_FALSE(loadImageFile(path("big.jpg"), back, params, &error));
  EXPECT_TRUE(error.contains("too short")) << error.toStdString();

  // BMP: the same lie in the info header.
  ASSERT_TRUE(saveImageFile(path("big.bmp"), image, IOParams{}, nullptr));
  QByteArray bmp = readAll(path("big.bmp"));
  for (int at : {18, 22}) {
    bmp[at] = char(30000 & 0xFF);
    bmp[at + 1] = char(30000 >> 8);
  }
  writeAll(path("big.bmp"), bmp);
  EXPECT_FALSE(loadImageFile(path("big.bmp"), back, params, &error));
  EXPECT_TRUE(back.isNull());
}

TEST_F(ImageFileTest, SignatureWinsOverAMisleadingExtension) {
  const Bitmap image = noise(9, 9, PixelFormat::ie24RGB, true);
  ASSERT_TRUE(saveImageFile(path("real.png"), image, IOParams{}, nullptr));
  ASSERT_TRUE(QFile::rename(path("real.png"), path("renamed.jpg")));
  Bitmap back;
  IOParams params;
  QString error;
  ASSERT_TRUE(loadImageFile(path("renamed.jpg"), back, params, &error)) << error.toStdString();
  EXPECT_EQ(params.FileType, FileTypeCode::PNG);
  EXPECT_TRUE(back.samePixels(image));
}

TEST_F(ImageFileTest, TypesWithoutACodecSayWhy) {
  const Bitmap image = noise(4, 4, PixelFormat::ie24RGB, false);
  QString error;
  // HEIF is read only.
  EXPECT_FALSE(saveImageFile(path("x.heic"), image, IOParams{}, &error));
  EXPECT_TRUE(error.contains("not supported")) << error.toStdString();
  EXPECT_FALSE(QFile::exists(path("x.heic")));
  EXPECT_FALSE(saveImageFile(path("x.unknown"), image, IOParams{}, &error));
  EXPECT_FALSE(saveImageFile(path("x.lmrd"), image, IOParams{}, &error));

  Bitmap back;
  IOParams params;
  EXPECT_FALSE(loadImageFile(path("missing.png"), back, params, &error));
  EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace lumo
