// PDF and SVG: the document formats, read by rendering and written around the raster.
#include <gtest/gtest.h>

#include "CodecTestImages.h"

#include <cmath>
#include <random>

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include "engine/io/FileTypeRegistry.h"
#include "engine/io/ImageFile.h"

namespace lumo {
namespace {

using testimages::psnrOfSamples;

class DocumentCodecsTest : public ::testing::Test {
 protected:
  QString path(const QString& name) const { return dir.filePath(name); }
  void write(const QString& name, const QByteArray& bytes) {
    QFile f(path(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  QByteArray read(const QString& name) {
    QFile f(path(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
  }
  QTemporaryDir dir;
};

Bitmap noise(int w, int h, bool alpha, unsigned seed = 5) {
  Bitmap b(w, h, PixelFormat::ie24RGB);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < w * 3; ++i) b.mutableScanline(y)[i] = uint8_t(rng());
  if (alpha) {
    b.addAlpha();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) b.mutableAlphaScanline(y)[x] = uint8_t(rng());
    b.setAlphaFull(false);
  }
  return b;
}

// A smooth picture: the page renderer places pictures with a fraction of a pixel's
// blur, which noise would turn into large differences.
Bitmap smooth(int w, int h) {
  Bitmap b(w, h, PixelFormat::ie24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c)
        b.mutableScanline(y)[x * 3 + c] = uint8_t(128 + 100 * std::sin(x * 0.08 + c) * std::cos(y * 0.06));
  return b;
}

TEST_F(DocumentCodecsTest, PdfReadsBackAtTheImageSizeAndResolution) {
  struct Case {
    int w, h, dpi;
  } cases[] = {{96, 48, 96}, {300, 150, 300}, {7, 5, 72}};
  for (const auto& [w, h, dpi] : cases) {
    SCOPED_TRACE(testing::Message() << w << "x" << h << " at " << dpi);
    const Bitmap image = smooth(w, h);
    IOParams params;
    params.DpiX = params.DpiY = dpi;
    QString error;
    ASSERT_TRUE(saveImageFile(path("x.pdf"), image, params, &error)) << error.toStdString();
    Bitmap back;
    IOParams in;
    ASSERT_TRUE(loadImageFile(path("x.pdf"), back, in, &error)) << error.toStdString();
    EXPECT_EQ(in.FileType, FileTypeCode::PDF);
    ASSERT_EQ(back.width(), w);
    ASSERT_EQ(back.height(), h);
    EXPECT_FALSE(back.hasAlpha());
    EXPECT_GT(psnrOfSamples(image, back), 30.0);
    EXPECT_NEAR(in.DpiX, dpi, 1);
  }
}

TEST_F(DocumentCodecsTest, PdfTransparencyReadsBackOnWhitePaper) {
  Bitmap image(20, 10, PixelFormat::ie24RGB);
  image.fill(40);
  image.addAlpha(255);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) image.mutableAlphaScanline(y)[x] = 0;  // left half clear
  image.setAlphaFull(false);
  QString error;
  ASSERT_TRUE(saveImageFile(path("a.pdf"), image, IOParams{}, &error)) << error.toStdString();
  Bitmap back;
  IOParams in;
  ASSERT_TRUE(loadImageFile(path("a.pdf"), back, in, &error)) << error.toStdString();
  ASSERT_EQ(back.width(), 20);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(back.scanline(5)[2 * 3 + i], 255);
    EXPECT_EQ(back.scanline(5)[15 * 3 + i], 40);
  }
}

TEST_F(DocumentCodecsTest, PdfWithoutOnePictureRendersAtTheDefaultResolution) {
  QByteArray bytes;
  {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(72);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setPageSize(QPageSize(QSize(144, 72), QString(), QPageSize::ExactMatch));  // 2 × 1 inches
    QPainter p(&writer);
    p.fillRect(QRect(0, 0, 72, 72), Qt::red);
  }
  write("v.pdf", bytes);
  Bitmap back;
  IOParams in;
  QString error;
  ASSERT_TRUE(loadImageFile(path("v.pdf"), back, in, &error)) << error.toStdString();
  EXPECT_EQ(back.width(), 300);
  EXPECT_EQ(back.height(), 150);
  EXPECT_EQ(in.DpiX, 150);
  const uint8_t* left = back.scanline(75) + 30 * 3;
  const uint8_t* right = back.scanline(75) + 270 * 3;
  EXPECT_EQ(left[2], 255);
  EXPECT_LT(left[1], 10);
  EXPECT_EQ(right[1], 255);  // white paper
}

TEST_F(DocumentCodecsTest, SvgRoundTripsThePixels) {
  for (bool alpha : {false, true}) {
    SCOPED_TRACE(alpha);
    const Bitmap image = noise(37, 23, alpha);
    QString error;
    ASSERT_TRUE(saveImageFile(path("x.svg"), image, IOParams{}, &error)) << error.toStdString();
    const QByteArray svg = read("x.svg");
    EXPECT_EQ(detectFileType(reinterpret_cast<const uint8_t*>(svg.constData()), size_t(svg.size())),
              FileTypeCode::SVG);
    EXPECT_TRUE(svg.contains("width=\"37\""));
    EXPECT_TRUE(svg.contains("data:image/png;base64,"));
    Bitmap back;
    IOParams in;
    ASSERT_TRUE(loadImageFile(path("x.svg"), back, in, &error)) << error.toStdString();
    ASSERT_EQ(back.width(), 37);
    ASSERT_EQ(back.height(), 23);
    ASSERT_EQ(back.hasAlpha(), alpha);
    if (!alpha) {
      EXPECT_TRUE(back.samePixels(image));
      continue;
    }
    // Rendering goes through premultiplied pixels: colours of faint pixels round.
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 37; ++x) {
        const int a = image.alphaScanline(y)[x];
        ASSERT_EQ(back.alphaScanline(y)[x], a);
        if (a < 64) continue;
        for (int i = 0; i < 3; ++i) ASSERT_NEAR(back.scanline(y)[x * 3 + i], image.scanline(y)[x * 3 + i], 4);
      }
  }
}

TEST_F(DocumentCodecsTest, SvgRendersAtItsOwnSizeOnATransparentBackground) {
  struct Case {
    const char* svg;
    int w, h;
  } cases[] = {
      {"<svg xmlns='http://www.w3.org/2000/svg' width='40' height='20'>"
       "<rect x='0' y='0' width='20' height='20' fill='#0000ff'/></svg>", 40, 20},
      {"<?xml version='1.0'?>\n<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 8 4'>"
       "<rect x='0' y='0' width='4' height='4' fill='blue'/></svg>", 8, 4},
  };
  for (const auto& [svg, w, h] : cases) {
    SCOPED_TRACE(svg);
    write("v.svg", svg);
    Bitmap back;
    IOParams in;
    QString error;
    ASSERT_TRUE(loadImageFile(path("v.svg"), back, in, &error)) << error.toStdString();
    ASSERT_EQ(back.width(), w);
    ASSERT_EQ(back.height(), h);
    ASSERT_TRUE(back.hasAlpha());
    EXPECT_EQ(back.alphaScanline(1)[1], 255);
    EXPECT_EQ(back.scanline(1)[0], 255);  // blue
    EXPECT_EQ(back.alphaScanline(1)[w - 1], 0);
  }
}

TEST_F(DocumentCodecsTest, SvgNeverOpensTheFilesItNames) {
  const Bitmap red = [] {
    Bitmap b(4, 4, PixelFormat::ie24RGB);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) b.mutableScanline(y)[x * 3 + 2] = 255;
    return b;
  }();
  ASSERT_TRUE(saveImageFile(path("red.png"), red, IOParams{}, nullptr));
  const QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' "
                         "width='4' height='4'><rect width='1' height='1' fill='green'/>"
                         "<image width='4' height='4' xlink:href='" +
                         QFile::encodeName(path("red.png")) + "'/></svg>";
  write("link.svg", svg);
  Bitmap back;
  IOParams in;
  QString error;
  ASSERT_TRUE(loadImageFile(path("link.svg"), back, in, &error)) << error.toStdString();
  ASSERT_TRUE(back.hasAlpha());
  EXPECT_EQ(back.alphaScanline(2)[2], 0);  // the linked picture stayed out
  EXPECT_EQ(back.alphaScanline(0)[0], 255);  // the rest of the document is there
}

TEST_F(DocumentCodecsTest, SvgTextNeedsTheGuiApplication) {
  const QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' width='60' height='30'>"
                         "<text x='2' y='24' font-size='24'>Hi</text></svg>";
  write("t.svg", svg);
  Bitmap back;
  IOParams in;
  QString error;
  ASSERT_FALSE(qGuiApp);
  EXPECT_FALSE(loadImageFile(path("t.svg"), back, in, &error));
  EXPECT_FALSE(error.isEmpty());

  static int argc = 1;
  static char name[] = "engine_io_tests";
  static char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  ASSERT_TRUE(loadImageFile(path("t.svg"), back, in, &error)) << error.toStdString();
  int inked = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 60; ++x) inked += back.alphaScanline(y)[x] > 128;
  EXPECT_GT(inked, 20);
}

TEST_F(DocumentCodecsTest, BadDocumentsFailCleanly) {
  const Bitmap image = noise(30, 20, false);
  ASSERT_TRUE(saveImageFile(path("good.pdf"), image, IOParams{}, nullptr));
  ASSERT_TRUE(saveImageFile(path("good.svg"), image, IOParams{}, nullptr));
  const QByteArray pdf = read("good.pdf"), svg = read("good.svg");
  const std::pair<const char*, QByteArray> cases[] = {
      {"cut.pdf", pdf.left(pdf.size() / 3)},
      {"head.pdf", "%PDF-1.4\n"},
      {"huge.pdf",
       "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
       "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 90000000 90000000]>>endobj\ntrailer<</Root 1 0 R>>\n%%EOF\n"},
      {"cut.svg", svg.left(svg.size() / 2)},
      {"html.svg", "<?xml version='1.0'?><html><svg/></html>"},
      {"empty.svg", "<svg xmlns='http://www.w3.org/2000/svg'/>"},
      {"junk.svg", "not xml at all"},
      {"laughs.svg",
       "<?xml version='1.0'?><!DOCTYPE svg [<!ENTITY a 'aaaaaaaaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;&a;&a;&a;&a;'>"
       "<!ENTITY c '&b;&b;&b;&b;&b;&b;&b;&b;'><!ENTITY d '&c;&c;&c;&c;&c;&c;&c;&c;'>"
       "<!ENTITY e '&d;&d;&d;&d;&d;&d;&d;&d;'><!ENTITY f '&e;&e;&e;&e;&e;&e;&e;&e;'>]>"
       "<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4'><desc>&f;&f;&f;&f;&f;&f;&f;&f;</desc></svg>"},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    write(name, bytes);
    Bitmap back;
    IOParams in;
    in.DpiX = 1234;
    QString error;
    EXPECT_FALSE(loadImageFile(path(name), back, in, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(back.isNull());
    EXPECT_EQ(in.DpiX, 1234);
  }
}

}  // namespace
}  // namespace lumo
