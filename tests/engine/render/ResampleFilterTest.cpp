#include <gtest/gtest.h>

#include "engine/render/ResampleFilter.h"

namespace lumo {
namespace {

QImage flat(int w, int h, QRgb colour) {
  QImage img(w, h, QImage::Format_ARGB32);
  img.fill(colour);
  return img;
}

// Vertical 1-pixel lines of `line` every 8 columns on `ground`.
QImage lines(int w, int h, QColor line, QColor ground) {
  QImage img(w, h, QImage::Format_ARGB32);
  img.fill(ground);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; x += 8) img.setPixelColor(x, y, line);
  return img;
}

TEST(ResampleFilter, EveryFilterKeepsAFlatColourFlat) {
  const QRgb colour = qRgba(200, 100, 50, 180);
  for (int f = 0; f < kResampleFilterCount; ++f) {
    SCOPED_TRACE(f);
    for (QSize size : {QSize(7, 5), QSize(40, 33)}) {
      const QImage out = resampleWithFilter(flat(16, 12, colour), size.width(), size.height(), ResampleFilter(f));
      ASSERT_EQ(out.size(), size);
      ASSERT_EQ(out.format(), QImage::Format_ARGB32);
      for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
          const QRgb p = out.pixel(x, y);
          ASSERT_NEAR(qAlpha(p), 180, 1);
          ASSERT_NEAR(qRed(p), 200, 2);
          ASSERT_NEAR(qGreen(p), 100, 2);
          ASSERT_NEAR(qBlue(p), 50, 2);
        }
    }
  }
}

TEST(ResampleFilter, NearestTakesSourcePixels) {
  QImage src(2, 1, QImage::Format_ARGB32);
  src.setPixel(0, 0, qRgb(10, 20, 30));
  src.setPixel(1, 0, qRgb(200, 210, 220));
  for (ResampleFilter f : {ResampleFilter::rfNone, ResampleFilter::rfNearest, ResampleFilter::rfWICNearestNeighbor}) {
    const QImage out = resampleWithFilter(src, 4, 1, f);
    EXPECT_EQ(out.pixel(1, 0), qRgb(10, 20, 30));
    EXPECT_EQ(out.pixel(2, 0), qRgb(200, 210, 220));
  }
}

TEST(ResampleFilter, ProjectionsKeepThinLinesThatAveragingThinsOut) {
  const QImage blackOnWhite = lines(64, 8, Qt::black, Qt::white);
  const QImage whiteOnBlack = lines(64, 8, Qt::white, Qt::black);
  EXPECT_EQ(qRed(resampleWithFilter(blackOnWhite, 8, 1, ResampleFilter::rfProjectBW).pixel(3, 0)), 0);
  EXPECT_EQ(qRed(resampleWithFilter(whiteOnBlack, 8, 1, ResampleFilter::rfProjectWB).pixel(3, 0)), 255);
  // An area average keeps an eighth of the line.
  EXPECT_NEAR(qRed(resampleWithFilter(blackOnWhite, 8, 1, ResampleFilter::rfWICFant).pixel(3, 0)), 223, 2);
}

TEST(ResampleFilter, WidenedKernelsSeeWhatUnwidenedOnesMiss) {
  const QImage src = lines(64, 8, Qt::black, Qt::white);
  // At the source's own scale the tent samples only the middle of each 8-pixel cell.
  EXPECT_EQ(qRed(resampleWithFilter(src, 8, 1, ResampleFilter::rfWICLinear).pixel(3, 0)), 255);
  EXPECT_EQ(qRed(resampleWithFilter(src, 8, 1, ResampleFilter::rfFastLinear).pixel(3, 0)), 255);
  EXPECT_LT(qRed(resampleWithFilter(src, 8, 1, ResampleFilter::rfWICCubicHQ).pixel(3, 0)), 245);
  EXPECT_LT(qRed(resampleWithFilter(src, 8, 1, ResampleFilter::rfLanczos3).pixel(3, 0)), 245);
}

TEST(ResampleFilter, SharpAndSoftKernelsDifferOnAnEdge) {
  QImage step(8, 1, QImage::Format_ARGB32);
  for (int x = 0; x < 8; ++x) step.setPixel(x, 0, x < 4 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
  const QImage sharp = resampleWithFilter(step, 64, 1, ResampleFilter::rfLanczos3);
  const QImage soft = resampleWithFilter(step, 64, 1, ResampleFilter::rfBSpline);
  // Just inside the dark side the soft filter has already lifted the level.
  EXPECT_GT(qRed(soft.pixel(28, 0)), qRed(sharp.pixel(28, 0)) + 5);
}

TEST(ResampleFilter, APartIsTheSameAsCroppingTheWhole) {
  QImage src(13, 9, QImage::Format_ARGB32);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 13; ++x) src.setPixel(x, y, qRgba(x * 19, y * 27, (x * y) % 256, 100 + x * 10));
  for (ResampleFilter f : {ResampleFilter::rfLanczos3, ResampleFilter::rfProjectBW, ResampleFilter::rfWICFant}) {
    const QRect part(5, 3, 11, 7);
    const QImage whole = resampleWithFilter(src, 30, 20, f);
    EXPECT_EQ(resampleWithFilter(src, 30, 20, f, part), whole.copy(part)) << int(f);
  }
}

}  // namespace
}  // namespace lumo
