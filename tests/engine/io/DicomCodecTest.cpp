#include <gtest/gtest.h>

#include "CodecTestImages.h"

#include <cmath>
#include <random>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcmetinf.h"
#include "dcmtk/dcmdata/dcuid.h"

#include "engine/io/FileTypeRegistry.h"
#include "engine/io/ImageFile.h"

namespace lumo {
namespace {

using testimages::psnrOfSamples;

class DicomCodecTest : public ::testing::Test {
 protected:
  QString path(const QString& name) const { return dir.filePath(name); }
  QTemporaryDir dir;
};

Bitmap noise(int w, int h, PixelFormat format, unsigned seed = 3) {
  Bitmap b(w, h, format);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (size_t i = 0; i < Bitmap::rowLength(w, format, 8); ++i) b.mutableScanline(y)[i] = uint8_t(rng());
  return b;
}

Bitmap smooth(int w, int h, PixelFormat format) {
  Bitmap b(w, h, format);
  const int channels = format == PixelFormat::ie24RGB ? 3 : 1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < channels; ++c)
        b.mutableScanline(y)[x * channels + c] = uint8_t(128 + 100 * std::sin(x * 0.05 + c) * std::cos(y * 0.04));
  return b;
}

std::string transferSyntaxOf(const QString& file) {
  DcmFileFormat f;
  if (f.loadFile(QFile::encodeName(file).constData()).bad()) return "unreadable";
  OFString uid;
  f.getMetaInfo()->findAndGetOFString(DCM_TransferSyntaxUID, uid);
  return uid.c_str();
}

TEST_F(DicomCodecTest, LosslessCompressionsRoundTripEveryDepthExactly) {
  struct Syntax {
    DicomCompression code;
    const char* uid;
  } syntaxes[] = {{DicomCompression::Uncompressed, UID_LittleEndianExplicitTransferSyntax},
                  {DicomCompression::RLE, UID_RLELosslessTransferSyntax},
                  {DicomCompression::LosslessJPEG2000, UID_JPEG2000LosslessOnlyTransferSyntax}};
  const PixelFormat formats[] = {PixelFormat::ie8g, PixelFormat::ie16g, PixelFormat::ie24RGB, PixelFormat::ie48RGB};
  for (const auto& [code, uid] : syntaxes)
    for (PixelFormat format : formats) {
      SCOPED_TRACE(testing::Message() << int(code) << " " << int(format));
      const Bitmap image = noise(33, 21, format);  // odd sizes test the padding
      IOParams params;
      params.DICOM_Compression = code;
      QString error;
      ASSERT_TRUE(saveImageFile(path("x.dcm"), image, params, &error)) << error.toStdString();
      EXPECT_EQ(transferSyntaxOf(path("x.dcm")), uid);
      Bitmap back;
      IOParams read;
      read.DICOM_Compression = DicomCompression::JPEG;
      ASSERT_TRUE(loadImageFile(path("x.dcm"), back, read, &error)) << error.toStdString();
      EXPECT_EQ(read.FileType, FileTypeCode::DICOM);
      EXPECT_EQ(back.format(), format);
      EXPECT_TRUE(back.samePixels(image));
      EXPECT_EQ(read.DICOM_Compression, code);
      const bool deep = format == PixelFormat::ie16g || format == PixelFormat::ie48RGB;
      EXPECT_EQ(read.BitsPerSample, deep ? 16 : 8);
    }
}

TEST_F(DicomCodecTest, LossyCompressionsAreCloseAndQualityChangesTheSize) {
  struct Syntax {
    DicomCompression code;
    const char* uid;
  } syntaxes[] = {{DicomCompression::JPEG, UID_JPEGProcess1TransferSyntax},
                  {DicomCompression::JPEG2000, UID_JPEG2000TransferSyntax}};
  for (const auto& [code, uid] : syntaxes)
    for (PixelFormat format : {PixelFormat::ie24RGB, PixelFormat::ie8g}) {
      SCOPED_TRACE(testing::Message() << int(code) << " " << int(format));
      const Bitmap image = smooth(96, 64, format);
      IOParams params;
      params.DICOM_Compression = code;
      params.DICOM_JPEGQuality = 95;
      QString error;
      ASSERT_TRUE(saveImageFile(path("high.dcm"), image, params, &error)) << error.toStdString();
      params.DICOM_JPEGQuality = 10;
      ASSERT_TRUE(saveImageFile(path("low.dcm"), image, params, &error)) << error.toStdString();
      EXPECT_LT(QFile(path("low.dcm")).size(), QFile(path("high.dcm")).size());
      EXPECT_EQ(transferSyntaxOf(path("high.dcm")), uid);

      Bitmap back;
      IOParams read;
      ASSERT_TRUE(loadImageFile(path("high.dcm"), back, read, &error)) << error.toStdString();
      ASSERT_EQ(back.format(), format);
      EXPECT_GT(psnrOfSamples(image, back), 35.0);
      EXPECT_EQ(read.DICOM_Compression, code);
    }
}

TEST_F(DicomCodecTest, JpegStoresEightBitsOfDeepGrey) {
  Bitmap deep(40, 30, PixelFormat::ie16g);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) reinterpret_cast<uint16_t*>(deep.mutableScanline(y))[x] = uint16_t(x * 1600);
  IOParams params;
  params.DICOM_Compression = DicomCompression::JPEG;
  QString error;
  ASSERT_TRUE(saveImageFile(path("deep.dcm"), deep, params, &error)) << error.toStdString();
  Bitmap back;
  IOParams read;
  ASSERT_TRUE(loadImageFile(path("deep.dcm"), back, read, &error)) << error.toStdString();
  EXPECT_EQ(back.format(), PixelFormat::ie8g);
  EXPECT_EQ(read.BitsPerSample, 8);
  EXPECT_NEAR(back.scanline(10)[39], 39 * 1600 / 257, 3);
}

TEST_F(DicomCodecTest, UnknownCompressionCodesAreRefused) {
  const Bitmap image = noise(8, 8, PixelFormat::ie8g);
  for (int code : {0, 2, 4, 5, 7, 10, -1}) {
    IOParams params;
    params.DICOM_Compression = DicomCompression(code);
    QString error;
    EXPECT_FALSE(saveImageFile(path("no.dcm"), image, params, &error)) << code;
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(path("no.dcm")));
  }
}

TEST_F(DicomCodecTest, ResolutionTravelsAsPixelSpacingAndSignatureIsThere) {
  const Bitmap image = noise(10, 10, PixelFormat::ie24RGB);
  IOParams params;
  params.DpiX = 300;
  params.DpiY = 150;
  QString error;
  ASSERT_TRUE(saveImageFile(path("x.dicom"), image, params, &error)) << error.toStdString();
  QFile f(path("x.dicom"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  EXPECT_EQ(detectFileType(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())),
            FileTypeCode::DICOM);
  Bitmap back;
  IOParams read;
  ASSERT_TRUE(loadImageFile(path("x.dicom"), back, read, &error)) << error.toStdString();
  EXPECT_EQ(read.DpiX, 300);
  EXPECT_EQ(read.DpiY, 150);
}

// A grey Secondary Capture data set built directly, for what our writer never makes.
class Fixture {
 public:
  Fixture(Uint16 rows, Uint16 cols, Uint16 bits, const std::vector<Uint16>& pixels) {
    DcmDataset& ds = *file.getDataset();
    ds.putAndInsertString(DCM_SOPClassUID, UID_SecondaryCaptureImageStorage);
    ds.putAndInsertString(DCM_SOPInstanceUID, "1.2.3.4");
    ds.putAndInsertUint16(DCM_SamplesPerPixel, 1);
    ds.putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2");
    ds.putAndInsertUint16(DCM_Rows, rows);
    ds.putAndInsertUint16(DCM_Columns, cols);
    ds.putAndInsertUint16(DCM_BitsAllocated, 16);
    ds.putAndInsertUint16(DCM_BitsStored, bits);
    ds.putAndInsertUint16(DCM_HighBit, bits - 1);
    ds.putAndInsertUint16(DCM_PixelRepresentation, 0);
    ds.putAndInsertUint16Array(DCM_PixelData, pixels.data(), pixels.size());
  }
  DcmDataset& ds() { return *file.getDataset(); }
  bool save(const QString& p) {
    return file.saveFile(QFile::encodeName(p).constData(), EXS_LittleEndianExplicit).good();
  }

 private:
  DcmFileFormat file;
};

TEST_F(DicomCodecTest, StoredWindowAppliesAndFirstFrameIsRead) {
  // Two frames of 4 × 1 twelve-bit values; the window 1000 ... 2000 is what to show.
  Fixture f(1, 4, 12, {0, 1000, 1500, 4095, 7, 7, 7, 7});
  f.ds().putAndInsertString(DCM_NumberOfFrames, "2");
  f.ds().putAndInsertString(DCM_WindowCenter, "1500");
  f.ds().putAndInsertString(DCM_WindowWidth, "1000");
  ASSERT_TRUE(f.save(path("w.dcm")));
  Bitmap back;
  IOParams read;
  QString error;
  ASSERT_TRUE(loadImageFile(path("w.dcm"), back, read, &error)) << error.toStdString();
  ASSERT_EQ(back.format(), PixelFormat::ie16g);
  const auto* px = reinterpret_cast<const uint16_t*>(back.scanline(0));
  EXPECT_EQ(px[0], 0);
  EXPECT_LT(px[1], 300);
  EXPECT_NEAR(px[2], 32768, 600);
  EXPECT_EQ(px[3], 65535);
  EXPECT_EQ(read.BitsPerSample, 12);
}

TEST_F(DicomCodecTest, BadFilesFailCleanly) {
  Fixture big(40000, 40000, 16, {1, 2, 3, 4});  // declares far more pixels than it holds
  ASSERT_TRUE(big.save(path("big.dcm")));
  Fixture frames(2, 2, 16, {1, 2, 3, 4});
  frames.ds().putAndInsertString(DCM_NumberOfFrames, "0");
  ASSERT_TRUE(frames.save(path("frames.dcm")));
  Fixture odd(2, 2, 16, {1, 2, 3, 4});
  odd.ds().putAndInsertUint16(DCM_SamplesPerPixel, 2);
  ASSERT_TRUE(odd.save(path("odd.dcm")));

  IOParams rle;
  rle.DICOM_Compression = DicomCompression::RLE;
  ASSERT_TRUE(saveImageFile(path("whole.dcm"), noise(64, 64, PixelFormat::ie24RGB), rle, nullptr));
  QFile whole(path("whole.dcm"));
  ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
  const QByteArray bytes = whole.readAll();
  for (qsizetype keep : {bytes.size() - 100, bytes.size() / 2, qsizetype(300), qsizetype(131)}) {
    QFile cut(path(QString("cut%1.dcm").arg(keep)));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(bytes.left(keep));
  }
  // Element lengths far beyond the end of the file, in the header and in the data set.
  ASSERT_TRUE(saveImageFile(path("native.dcm"), noise(64, 64, PixelFormat::ie24RGB), IOParams{}, nullptr));
  QFile native(path("native.dcm"));
  ASSERT_TRUE(native.open(QIODevice::ReadOnly));
  const QByteArray nativeBytes = native.readAll();
  for (const auto& [name, pattern] : {std::pair{"meta.dcm", QByteArray("\x02\x00\x01\x00OB\x00\x00", 8)},
                                      std::pair{"pixels.dcm", QByteArray("\xE0\x7F\x10\x00OB\x00\x00", 8)}}) {
    QByteArray patched = nativeBytes;
    const qsizetype at = patched.indexOf(pattern);
    ASSERT_GT(at, 0) << name;
    patched.replace(at + 8, 4, QByteArray("\xF0\xFF\xFF\xFF", 4));
    QFile f(path(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(patched);
  }
  QFile plain(path("plain.dcm"));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.write(QByteArray(128, 0) + "DICM" + QByteArray(64, '\xFF'));
  plain.close();

  for (const QString& name : QDir(dir.path()).entryList({"*.dcm"}, QDir::Files)) {
    if (name == "whole.dcm" || name == "native.dcm") continue;
    SCOPED_TRACE(name.toStdString());
    Bitmap back;
    IOParams read;
    read.DpiX = 1234;
    QString error;
    EXPECT_FALSE(loadImageFile(path(name), back, read, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(back.isNull());
    EXPECT_EQ(read.DpiX, 1234);
    if (name == "meta.dcm" || name == "pixels.dcm") {
      EXPECT_TRUE(error.contains("declares")) << error.toStdString();
    }
  }
}

}  // namespace
}  // namespace lumo
