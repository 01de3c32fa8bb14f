#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

#include "engine/io/ImageFile.h"

namespace lumo {
namespace {

// A 16 × 16 colour picture with some detail, so that every scan carries data.
std::vector<uint8_t> testPixels() {
  std::vector<uint8_t> rgb(16 * 16 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = uint8_t(i * 37 % 251);
  return rgb;
}

// Encodes the test picture with libjpeg itself: with `script` as the scan script, or
// with the library's standard progression when it is empty.
QByteArray progressiveJpeg(const std::vector<jpeg_scan_info>& script) {
  jpeg_compress_struct c;
  jpeg_error_mgr e;
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long length = 0;
  jpeg_mem_dest(&c, &buffer, &length);
  c.image_width = c.image_height = 16;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  if (script.empty()) {
    jpeg_simple_progression(&c);
  } else {
    c.scan_info = script.data();
    c.num_scans = int(script.size());
  }
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> rgb = testPixels();
  for (JDIMENSION y = 0; y < 16; ++y) {
    JSAMPROW row = rgb.data() + y * 16 * 3;
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(length));
  std::free(buffer);
  return bytes;
}

// A valid script of exactly `scans` scans (at most 2082): the DC of each component, then
// each AC coefficient of each component on its own, sent bit by bit from the top bit
// libjpeg allows down.
std::vector<jpeg_scan_info> manyScans(int scans) {
  std::vector<jpeg_scan_info> script;
  for (int c = 0; c < 3; ++c) script.push_back({1, {c}, 0, 0, 0, 0});
  constexpr int kTopBit = 10;
  for (int k = 1; k < 64; ++k)
    for (int c = 0; c < 3; ++c) {
      script.push_back({1, {c}, k, k, 0, kTopBit});
      for (int bit = kTopBit - 1; bit >= 0; --bit) script.push_back({1, {c}, k, k, bit + 1, bit});
    }
  script.resize(size_t(scans));
  return script;
}

// The shape of the attack: one scan repeated over and over. libjpeg only warns about the
// senseless progression and would decode every copy.
QByteArray repeatedLastScan(int copies) {
  QByteArray jpeg = progressiveJpeg({});
  const qsizetype lastScan = jpeg.lastIndexOf(QByteArray("\xFF\xDA", 2));
  const QByteArray scan = jpeg.mid(lastScan, jpeg.size() - 2 - lastScan);
  QByteArray out = jpeg.left(jpeg.size() - 2);
  for (int i = 1; i < copies; ++i) out += scan;
  return out + QByteArray("\xFF\xD9", 2);
}

bool decode(const QByteArray& bytes, Bitmap& out, QString& error) {
  IOParams params;
  return decodeImage(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                     QStringLiteral("scans.jpg"), out, params, &error);
}

TEST(JpegScanLimit, FilesUpToAThousandScansLoadAndMoreAreRefused) {
  struct Case {
    const char* name;
    QByteArray file;
    bool loads;
  } cases[] = {
      {"standard progression", progressiveJpeg({}), true},
      {"1000 scans", progressiveJpeg(manyScans(1000)), true},
      {"1001 scans", progressiveJpeg(manyScans(1001)), false},
      {"2082 scans", progressiveJpeg(manyScans(2082)), false},
      {"one scan 5000 times", repeatedLastScan(5000), false},
  };
  for (const Case& c : cases) {
    Bitmap image;
    QString error;
    EXPECT_EQ(decode(c.file, image, error), c.loads) << c.name << ": " << error.toStdString();
    if (c.loads) {
      EXPECT_EQ(image.width(), 16) << c.name;
    } else {
      EXPECT_TRUE(image.isNull()) << c.name;
      EXPECT_EQ(error, QStringLiteral("scans.jpg: Invalid JPEG data: the file has more than 1000 scans")) << c.name;
    }
  }
}

// The reader decodes straight into the bitmap's rows without clearing them first: every
// pixel must be libjpeg's, and the padding after odd widths must still be zero.
TEST(JpegReader, RowsAreLibjpegsAndPaddingStaysZero) {
  for (const PixelFormat format : {PixelFormat::ie24RGB, PixelFormat::ie8g})
    for (const int width : {1, 5, 7, 33}) {
      Bitmap image(width, 9, format);
      for (int y = 0; y < 9; ++y)
        for (size_t i = 0; i < size_t(width) * (format == PixelFormat::ie8g ? 1 : 3); ++i)
          image.mutableScanline(y)[i] = uint8_t(i * 29 + size_t(y) * 71);
      QByteArray jpeg;
      ASSERT_TRUE(encodeImage(QStringLiteral("jpg"), image, IOParams{}, jpeg, nullptr));

      // Leave a freed block of the plane's size full of garbage for the reader to get.
      const size_t planeBytes = Bitmap::rowLength(width, format, 32) * 9;
      void* dirty = std::malloc(planeBytes);
      std::memset(dirty, 0xAB, planeBytes);
      std::free(dirty);
      Bitmap ours;
      QString error;
      ASSERT_TRUE(decode(jpeg, ours, error)) << error.toStdString();
      ASSERT_EQ(ours.format(), format);

      jpeg_decompress_struct d;
      jpeg_error_mgr e;
      d.err = jpeg_std_error(&e);
      jpeg_create_decompress(&d);
      jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(jpeg.constData()), static_cast<unsigned long>(jpeg.size()));
      jpeg_read_header(&d, TRUE);
      if (format == PixelFormat::ie24RGB) d.out_color_space = JCS_EXT_BGR;
      jpeg_start_decompress(&d);
      const size_t pixelBytes = size_t(width) * size_t(d.output_components);
      std::vector<uint8_t> row(pixelBytes);
      for (int y = 0; y < 9; ++y) {
        JSAMPROW p = row.data();
        jpeg_read_scanlines(&d, &p, 1);
        EXPECT_EQ(std::vector<uint8_t>(ours.scanline(y), ours.scanline(y) + pixelBytes), row) << width << " row " << y;
        for (size_t i = pixelBytes; i < ours.rowBytes(); ++i) EXPECT_EQ(ours.scanline(y)[i], 0) << width;
      }
      jpeg_finish_decompress(&d);
      jpeg_destroy_decompress(&d);
    }
}

}  // namespace
}  // namespace lumo
