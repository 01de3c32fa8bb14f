#include <gtest/gtest.h>

#include <list>

#include <QTemporaryDir>

#include <Magick++.h>

#include "CodecTestImages.h"
#include "engine/io/FileTypeRegistry.h"
#include "engine/io/ImageFile.h"

namespace lumo {
namespace {

using namespace testimages;

struct FormatCase {
  int32_t code;
  const char* extension;
  double minPsnr;  // 99: exact
  bool alpha, grey, deep, dpi;
};

const FormatCase kFormats[] = {
    {FileTypeCode::PSD, "psd", 99, true, true, true, true},
    {FileTypeCode::PCX, "pcx", 99, true, true, false, true},
    {FileTypeCode::DCX, "dcx", 99, true, true, false, true},
    {FileTypeCode::DPX, "dpx", 99, true, true, true, false},
    {FileTypeCode::CIN, "cin", 45, false, false, true, false},
    {FileTypeCode::PICT, "pict", 99, false, false, false, false},
    {FileTypeCode::JNG, "jng", 35, true, true, false, true},
    {FileTypeCode::TGA, "tga", 99, true, true, false, false},
    {FileTypeCode::ICO, "ico", 99, true, true, false, false},
};

Bitmap opaqueBelow(const Bitmap& image, int minAlpha) {
  Bitmap b = image;
  for (int y = 0; y < b.height(); ++y)
    for (int x = 0; x < b.width(); ++x) {
      uint8_t& a = b.mutableAlphaScanline(y)[x];
      a = uint8_t(minAlpha + a * (255 - minAlpha) / 255);
    }
  return b;
}

TEST(MagickCodecs, RoundTripsKeepWhatEachFormatHolds) {
  for (const FormatCase& f : kFormats) {
    SCOPED_TRACE(f.extension);
    const bool exact = f.minPsnr >= 99;
    const Bitmap colour = exact ? noise(31, 17, PixelFormat::ie24RGB, false) : gradient(64, 48);
    IOParams params;
    params.DpiX = 300;
    params.DpiY = 150;
    QByteArray bytes;
    QString error;
    ASSERT_TRUE(encode(f.code, colour, params, f.extension, bytes, &error)) << error.toStdString();
    EXPECT_EQ(detectFileType(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())), f.code);
    Bitmap back;
    IOParams read;
    ASSERT_TRUE(decode(f.code, bytes, back, read, &error)) << error.toStdString();
    ASSERT_EQ(back.width(), colour.width());
    ASSERT_EQ(back.height(), colour.height());
    EXPECT_GE(psnr(colour, back), f.minPsnr);
    EXPECT_EQ(read.DpiX, f.dpi ? 300 : 96);
    EXPECT_EQ(read.DpiY, f.dpi ? 150 : 96);

    // Alpha: exact where the format keeps it; PSD's composite is blended over white, so
    // colours of half-transparent pixels come back within rounding.
    const Bitmap translucent = opaqueBelow(exact ? noise(31, 17, PixelFormat::ie24RGB, true) : [&] {
      Bitmap g = gradient(64, 48);
      g.shareAlphaFrom(noise(64, 48, PixelFormat::ie8g, true));
      g.setAlphaFull(false);
      return g;
    }(), f.code == FileTypeCode::PSD ? 128 : 0);
    ASSERT_TRUE(encode(f.code, translucent, params, f.extension, bytes, &error)) << error.toStdString();
    ASSERT_TRUE(decode(f.code, bytes, back, read, &error)) << error.toStdString();
    if (f.alpha) {
      ASSERT_TRUE(back.hasAlpha());
      EXPECT_EQ(alphaDiff(back, translucent), 0);
      EXPECT_GE(psnr(translucent, back), f.code == FileTypeCode::PSD ? 45 : f.minPsnr);
    } else {
      EXPECT_TRUE(back.isOpaque());
    }

    const Bitmap grey = noise(31, 17, PixelFormat::ie8g, false);
    ASSERT_TRUE(encode(f.code, grey, params, f.extension, bytes, &error)) << error.toStdString();
    ASSERT_TRUE(decode(f.code, bytes, back, read, &error)) << error.toStdString();
    if (f.grey) {
      EXPECT_EQ(back.format(), PixelFormat::ie8g);
      if (exact) {
        EXPECT_EQ(psnr(back, grey), 99);
      }
    }

    const Bitmap deep = noise(31, 17, PixelFormat::ie48RGB, false);
    ASSERT_TRUE(encode(f.code, deep, params, f.extension, bytes, &error)) << error.toStdString();
    ASSERT_TRUE(decode(f.code, bytes, back, read, &error)) << error.toStdString();
    EXPECT_EQ(back.format(), f.deep ? PixelFormat::ie48RGB : PixelFormat::ie24RGB);
    EXPECT_EQ(read.BitsPerSample, f.deep ? 16 : 8);
    if (f.deep && exact) {
      EXPECT_TRUE(back.samePixels(deep));
    }
  }
}

TEST(MagickCodecs, SixteenBitGreyStaysSixteenBitGrey) {
  const Bitmap deepGrey = noise(20, 9, PixelFormat::ie16g, false);
  for (const auto& [code, extension] : {std::pair{FileTypeCode::PSD, "psd"}, std::pair{FileTypeCode::DPX, "dpx"}}) {
    SCOPED_TRACE(extension);
    QByteArray bytes;
    Bitmap back;
    IOParams read;
    ASSERT_TRUE(encode(code, deepGrey, IOParams{}, extension, bytes));
    ASSERT_TRUE(decode(code, bytes, back, read));
    EXPECT_TRUE(back.samePixels(deepGrey));
    EXPECT_EQ(read.SamplesPerPixel, 1);
  }
}

TEST(MagickCodecs, PcxCompressionIsWhatTheHeaderSays) {
  const Bitmap image = noise(40, 30, PixelFormat::ie24RGB, false);
  for (const auto& [code, extension] : {std::pair{FileTypeCode::PCX, "pcx"}, std::pair{FileTypeCode::DCX, "dcx"}}) {
    SCOPED_TRACE(extension);
    QByteArray plain, rle;
    IOParams params;
    params.PCX_Compression = PcxCompression::Uncompressed;
    ASSERT_TRUE(encode(code, image, params, extension, plain));
    params.PCX_Compression = PcxCompression::RLE;
    ASSERT_TRUE(encode(code, image, params, extension, rle));
    const qsizetype page = code == FileTypeCode::DCX ? qsizetype(le32At(plain, 4)) : 0;
    const qsizetype rlePage = code == FileTypeCode::DCX ? qsizetype(le32At(rle, 4)) : 0;
    EXPECT_EQ(plain[page + 2], 0);  // the header's encoding byte
    EXPECT_EQ(rle[rlePage + 2], 1);
    // Plain rows: the 128-byte header, then 30 rows of three 40-byte planes.
    EXPECT_EQ(plain.size() - page, 128 + 30 * 3 * 40);
    for (const QByteArray* bytes : {&plain, &rle}) {
      Bitmap back;
      IOParams read;
      ASSERT_TRUE(decode(code, *bytes, back, read));
      EXPECT_TRUE(back.samePixels(image));
      if (code == FileTypeCode::PCX) {
        EXPECT_EQ(read.PCX_Compression, bytes == &plain ? PcxCompression::Uncompressed : PcxCompression::RLE);
      }
    }
  }
  // Flat colour is where run-length pays.
  Bitmap flat(40, 30, PixelFormat::ie24RGB);
  flat.fill(77);
  QByteArray plain, rle;
  IOParams params;
  params.PCX_Compression = PcxCompression::Uncompressed;
  ASSERT_TRUE(encode(FileTypeCode::PCX, flat, params, "pcx", plain));
  params.PCX_Compression = PcxCompression::RLE;
  ASSERT_TRUE(encode(FileTypeCode::PCX, flat, params, "pcx", rle));
  EXPECT_LT(rle.size() * 4, plain.size());
}

void append32(QByteArray& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.append(char(v >> (8 * i)));
}

TEST(MagickCodecs, DcxOpensItsFirstPage) {
  const Bitmap first = noise(12, 7, PixelFormat::ie24RGB, false, 1),
               second = noise(30, 20, PixelFormat::ie24RGB, false, 2);
  QByteArray a, b;
  ASSERT_TRUE(encode(FileTypeCode::PCX, first, IOParams{}, "pcx", a));
  ASSERT_TRUE(encode(FileTypeCode::PCX, second, IOParams{}, "pcx", b));
  QByteArray dcx;
  append32(dcx, 987654321u);
  append32(dcx, 16);
  append32(dcx, uint32_t(16 + a.size()));
  append32(dcx, 0);
  dcx += a + b;
  Bitmap back;
  IOParams read;
  QString error;
  ASSERT_TRUE(decode(FileTypeCode::DCX, dcx, back, read, &error)) << error.toStdString();
  EXPECT_TRUE(back.samePixels(first));
}

// An icon file made of the single-image icons the writer produces.
QByteArray iconOf(const std::vector<QByteArray>& singles) {
  QByteArray out("\0\0\1\0", 4);
  out.append(char(singles.size())).append('\0');
  uint32_t offset = uint32_t(6 + 16 * singles.size());
  for (const QByteArray& s : singles) {
    QByteArray entry = s.mid(6, 16);
    entry.replace(12, 4, QByteArray(4, '\0'));
    for (int i = 0; i < 4; ++i) entry[12 + i] = char(offset >> (8 * i));
    out += entry;
    offset += uint32_t(s.size() - 22);
  }
  for (const QByteArray& s : singles) out += s.mid(22);
  return out;
}

TEST(MagickCodecs, IconOpensItsLargestImage) {
  const Bitmap small = noise(16, 16, PixelFormat::ie24RGB, true, 1);
  const Bitmap large = noise(48, 40, PixelFormat::ie24RGB, true, 2);
  Bitmap huge(256, 256, PixelFormat::ie24RGB);  // stored PNG-compressed
  huge.fill(200);
  std::vector<QByteArray> singles(3);
  ASSERT_TRUE(encode(FileTypeCode::ICO, small, IOParams{}, "ico", singles[0]));
  ASSERT_TRUE(encode(FileTypeCode::ICO, large, IOParams{}, "ico", singles[1]));
  ASSERT_TRUE(encode(FileTypeCode::ICO, huge, IOParams{}, "ico", singles[2]));
  EXPECT_EQ(singles[2].mid(22, 4), QByteArray("\x89PNG"));
  Bitmap back;
  IOParams read;
  QString error;
  ASSERT_TRUE(decode(FileTypeCode::ICO, iconOf({singles[0], singles[1]}), back, read, &error)) << error.toStdString();
  EXPECT_TRUE(back.samePixels(large));
  ASSERT_TRUE(decode(FileTypeCode::ICO, iconOf({singles[1], singles[2], singles[0]}), back, read, &error))
      << error.toStdString();
  EXPECT_EQ(back.width(), 256);
  EXPECT_EQ(psnr(back, huge), 99);
  // An entry pointing past the end is passed over.
  QByteArray broken = iconOf({singles[0], singles[1]});
  broken[6 + 16 + 8] = char(0xFF);
  broken[6 + 16 + 9] = char(0xFF);
  ASSERT_TRUE(decode(FileTypeCode::ICO, broken, back, read, &error)) << error.toStdString();
  EXPECT_TRUE(back.samePixels(small));
}

TEST(MagickCodecs, IconsLargerThan256AreScaledToFit) {
  Bitmap wide(600, 300, PixelFormat::ie24RGB);
  wide.fill(90);
  QByteArray bytes;
  ASSERT_TRUE(encode(FileTypeCode::ICO, wide, IOParams{}, "ico", bytes));
  EXPECT_EQ(uint8_t(bytes[6]), 0);    // 256 wide
  EXPECT_EQ(uint8_t(bytes[7]), 128);  // proportions kept
  Bitmap back;
  IOParams read;
  ASSERT_TRUE(decode(FileTypeCode::ICO, bytes, back, read));
  EXPECT_EQ(back.width(), 256);
  EXPECT_EQ(back.height(), 128);
  EXPECT_EQ(psnr(back,
                 [] {
                   Bitmap b(256, 128, PixelFormat::ie24RGB);
                   b.fill(90);
                   return b;
                 }()),
            99);
}

QByteArray blobBytes(const Magick::Blob& blob) {
  return QByteArray(static_cast<const char*>(blob.data()), qsizetype(blob.length()));
}

TEST(MagickCodecs, PsdOpensTheCompositeAndTurnsCmykIntoRgb) {
  Magick::InitializeMagick(nullptr);
  std::list<Magick::Image> images;
  images.emplace_back(Magick::Geometry(20, 10), Magick::Color("red"));
  images.emplace_back(Magick::Geometry(8, 8), Magick::Color("blue"));
  for (auto& i : images) {
    i.depth(8);
    i.magick("PSD");
  }
  Magick::Blob layered;
  Magick::writeImages(images.begin(), images.end(), &layered, true);
  Bitmap back;
  IOParams read;
  QString error;
  ASSERT_TRUE(decode(FileTypeCode::PSD, blobBytes(layered), back, read, &error)) << error.toStdString();
  ASSERT_EQ(back.width(), 20);
  EXPECT_EQ(back.scanline(5)[2 * 3 + 2], 255);
  EXPECT_EQ(back.scanline(5)[2 * 3], 0);

  Magick::Image cmyk(Magick::Geometry(16, 16), Magick::Color("orange"));
  cmyk.depth(8);
  cmyk.colorSpace(MagickCore::CMYKColorspace);
  cmyk.magick("PSD");
  Magick::Blob cmykBlob;
  cmyk.write(&cmykBlob);
  ASSERT_EQ(blobBytes(cmykBlob)[25], 4);  // colour mode CMYK
  ASSERT_TRUE(decode(FileTypeCode::PSD, blobBytes(cmykBlob), back, read, &error)) << error.toStdString();
  EXPECT_EQ(back.format(), PixelFormat::ie24RGB);
  const uint8_t* p = back.scanline(3) + 3 * 3;
  EXPECT_NEAR(p[2], 255, 3);  // orange: 255, 165, 0
  EXPECT_NEAR(p[1], 165, 3);
  EXPECT_NEAR(p[0], 0, 3);
}

void put16be(QByteArray& b, int at, uint32_t v) {
  b[at] = char(v >> 8);
  b[at + 1] = char(v);
}
void put32be(QByteArray& b, int at, uint32_t v) {
  put16be(b, at, v >> 16);
  put16be(b, at + 2, v & 0xFFFF);
}

TEST(MagickCodecs, SizesBeyondTheLimitsAreRefusedBeforeDecoding) {
  QByteArray psd, pcx;
  ASSERT_TRUE(encode(FileTypeCode::PSD, noise(8, 8, PixelFormat::ie24RGB, false), IOParams{}, "psd", psd));
  ASSERT_TRUE(encode(FileTypeCode::PCX, noise(8, 8, PixelFormat::ie24RGB, false), IOParams{}, "pcx", pcx));
  struct Case {
    QByteArray bytes;
    int32_t code;
    const char* message;
  };
  std::vector<Case> cases;
  auto psdOf = [&](uint32_t w, uint32_t h) {
    QByteArray b = psd;
    put32be(b, 14, h);
    put32be(b, 18, w);
    return b;
  };
  cases.push_back({psdOf(20000, 10), FileTypeCode::PSD, "20000 pixels wide, more than the 16000-pixel side"});
  cases.push_back({psdOf(10, 16001), FileTypeCode::PSD, "16001 pixels high, more than the 16000-pixel side"});
  cases.push_back({psdOf(12000, 12000), FileTypeCode::PSD, "144.0 million pixels, more than the 128 million"});
  cases.push_back({psdOf(15000, 8000), FileTypeCode::PSD, "too short"});
  QByteArray widePcx = pcx;
  widePcx[8] = char(0x80);  // xmax 16000: 16001 wide
  widePcx[9] = char(0x3E);
  cases.push_back({widePcx, FileTypeCode::PCX, "16001 pixels wide"});
  for (const Case& c : cases) {
    Bitmap back;
    IOParams read;
    QString error;
    EXPECT_FALSE(decode(c.code, c.bytes, back, read, &error));
    EXPECT_TRUE(error.contains(c.message)) << error.toStdString();
    EXPECT_TRUE(back.isNull());
  }
}

TEST(MagickCodecs, DamagedOrForeignBytesFailCleanly) {
  const Bitmap image = noise(24, 16, PixelFormat::ie24RGB, true);
  QByteArray png;
  ASSERT_TRUE(encode(FileTypeCode::PNG, image, IOParams{}, "png", png));
  const QByteArray script("push graphic-context\nviewbox 0 0 640 480\nimage over 0,0 0,0 'https://example.com/x'\n");
  std::mt19937 rng(5);
  for (const FormatCase& f : kFormats) {
    SCOPED_TRACE(f.extension);
    // Another type's bytes, or drawing commands, never reach the library's other coders.
    for (const QByteArray& foreign : {png, script}) {
      Bitmap back;
      IOParams read;
      QString error;
      EXPECT_FALSE(decode(f.code, foreign, back, read, &error));
      EXPECT_TRUE(error.startsWith("Not a valid")) << error.toStdString();
    }
    QByteArray whole;
    ASSERT_TRUE(encode(f.code, image, IOParams{}, f.extension, whole));
    for (qsizetype keep : {whole.size() / 2, qsizetype(40), qsizetype(3), qsizetype(0)}) {
      Bitmap back = noise(2, 2, PixelFormat::ie8g, false);
      const Bitmap untouched = back;
      IOParams read;
      read.DpiX = 1234;
      QString error;
      EXPECT_FALSE(decode(f.code, whole.left(keep), back, read, &error)) << keep;
      EXPECT_FALSE(error.isEmpty());
      EXPECT_TRUE(back.samePixels(untouched));
      EXPECT_EQ(read.DpiX, 1234);
    }
    for (int round = 0; round < 40; ++round) {
      QByteArray damaged = whole;
      for (int k = 0; k < 1 + round % 4; ++k) damaged[qsizetype(rng() % damaged.size())] = char(rng());
      Bitmap back;
      IOParams read;
      QString error;
      if (!decode(f.code, damaged, back, read, &error))
        EXPECT_FALSE(error.isEmpty());
      else
        EXPECT_FALSE(back.isNull());
    }
  }
}

TEST(MagickCodecs, SavedFilesReopenByTheirExtension) {
  QTemporaryDir dir;
  const Bitmap image = noise(10, 6, PixelFormat::ie24RGB, false);
  for (const char* name : {"a.psd", "a.pcx", "a.tga", "a.dpx", "a.pict", "a.dcx", "a.ico"}) {
    SCOPED_TRACE(name);
    const QString path = dir.filePath(name);
    QString error;
    ASSERT_TRUE(saveImageFile(path, image, IOParams{}, &error)) << error.toStdString();
    Bitmap back;
    IOParams read;
    ASSERT_TRUE(loadImageFile(path, back, read, &error)) << error.toStdString();
    EXPECT_EQ(read.FileType, fileTypeOfFileName(path)->code);
    EXPECT_EQ(psnr(back, image), 99);
  }
}

}  // namespace
}  // namespace lumo
