#include "engine/io/DngWriter.h"

#include <tiffio.h>

#include <vector>

#include <QFile>
#include <QTemporaryDir>

#include "engine/io/ImageCodecs.h"

namespace lumo::test {

namespace {

// The EXIF facts LibRaw also reads from the main directory.
constexpr ttag_t kExposureTime = 33434, kFNumber = 33437, kFocalLength = 37386;

TIFFExtendProc previousExtender = nullptr;

void addExifFields(TIFF* tif) {
  static const TIFFFieldInfo fields[] = {
      {kExposureTime, 1, 1, TIFF_RATIONAL, FIELD_CUSTOM, 1, 0, const_cast<char*>("ExposureTime")},
      {kFNumber, 1, 1, TIFF_RATIONAL, FIELD_CUSTOM, 1, 0, const_cast<char*>("FNumber")},
      {kFocalLength, 1, 1, TIFF_RATIONAL, FIELD_CUSTOM, 1, 0, const_cast<char*>("FocalLength")},
  };
  TIFFMergeFieldInfo(tif, fields, sizeof fields / sizeof fields[0]);
  if (previousExtender) previousExtender(tif);
}

// Linear scene value of channel c (0 red, 1 green, 2 blue) at row y.
uint16_t scene(int c, int y, int height) {
  static const uint16_t top[3] = {3600, 1400, 500}, bottom[3] = {500, 1400, 3600};
  return (y < height / 2 ? top : bottom)[c];
}

void writeThumbnail(TIFF* tif, int height) {
  const int w = 16, h = 12;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h);
  std::vector<uint8_t> row(size_t(w) * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) row[size_t(x) * 3 + c] = uint8_t(scene(c, y * height / h, height) / 16);
    TIFFWriteScanline(tif, row.data(), uint32_t(y), 0);
  }
}

void writeMosaic(TIFF* tif, const DngOptions& o) {
  const uint16_t repeat[2] = {2, 2};
  const uint8_t rggb[4] = {0, 1, 1, 2};
  float black = 256;
  uint32_t white = 4095;
  TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, o.declaredWidth ? o.declaredWidth : o.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, o.declaredHeight ? o.declaredHeight : o.height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CFA);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, o.declaredHeight ? o.declaredHeight : o.height);
  TIFFSetField(tif, TIFFTAG_CFAREPEATPATTERNDIM, repeat);
  // libtiff releases differ on whether the pattern's count is passed.
  if (TIFFFieldPassCount(TIFFFieldWithTag(tif, TIFFTAG_CFAPATTERN)))
    TIFFSetField(tif, TIFFTAG_CFAPATTERN, 4, rggb);
  else
    TIFFSetField(tif, TIFFTAG_CFAPATTERN, rggb);
  TIFFSetField(tif, TIFFTAG_BLACKLEVEL, 1, &black);
  TIFFSetField(tif, TIFFTAG_WHITELEVEL, 1, &white);
  // One raw strip in the host's byte order, which is the file's.
  std::vector<uint16_t> samples(size_t(o.width) * size_t(o.height));
  for (int y = 0; y < o.height; ++y)
    for (int x = 0; x < o.width; ++x)
      samples[size_t(y) * size_t(o.width) + size_t(x)] = uint16_t(256 + scene((y & 1) + (x & 1), y, o.height));
  TIFFWriteRawStrip(tif, 0, samples.data(), tmsize_t(samples.size() * 2));
}

// As DNG converters store previews: one strip holding a whole baseline JPEG.
void writeJpegPreview(TIFF* tif, int height) {
  const int w = 40, h = 30;
  Bitmap picture(w, h, PixelFormat::ie24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) picture.mutableScanline(y)[x * 3 + 2 - c] = uint8_t(scene(c, y * height / h, height) / 16);
  QByteArray jpeg;
  QString error;
  writeJpeg(picture, IOParams{}, "jpg", jpeg, error);
  TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
  TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 2, 2);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h);
  TIFFWriteRawStrip(tif, 0, jpeg.data(), jpeg.size());
}

}  // namespace

QByteArray makeDng(const DngOptions& o) {
  static const bool registered = [] {
    previousExtender = TIFFSetTagExtender(addExifFields);
    return true;
  }();
  (void)registered;
  QTemporaryDir dir;
  const QString path = dir.filePath("test.dng");
  TIFF* tif = TIFFOpen(path.toLocal8Bit().constData(), "w");
  if (!tif) return {};

  const uint8_t version[4] = {1, 4, 0, 0};
  const float colorMatrix[9] = {3.2406f, -1.5372f, -0.4986f, -0.9689f, 1.8758f, 0.0415f, 0.0557f, -0.2040f, 1.0570f};
  const float neutral[3] = {1.0f, 1.0f, 1.0f};
  TIFFSetField(tif, TIFFTAG_DNGVERSION, version);
  TIFFSetField(tif, TIFFTAG_DNGBACKWARDVERSION, version);
  TIFFSetField(tif, TIFFTAG_UNIQUECAMERAMODEL, "Lumora Test Camera");
  TIFFSetField(tif, TIFFTAG_MAKE, "Lumora");
  TIFFSetField(tif, TIFFTAG_MODEL, "Test Camera");
  TIFFSetField(tif, TIFFTAG_DATETIME, "2024:05:06 07:08:09");
  TIFFSetField(tif, TIFFTAG_COLORMATRIX1, 9, colorMatrix);
  TIFFSetField(tif, TIFFTAG_CALIBRATIONILLUMINANT1, 21);  // D65
  TIFFSetField(tif, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
  TIFFSetField(tif, kExposureTime, 1.0 / 125.0);
  TIFFSetField(tif, kFNumber, 2.8);
  TIFFSetField(tif, kFocalLength, 50.0);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, o.orientation);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);

  // Directories below the first: the mosaic when the thumbnail comes first, the preview.
  const int subCount = (o.thumbnail ? 1 : 0) + (o.jpegPreview ? 1 : 0);
  if (o.thumbnail) {
    // The first directory is the thumbnail; the mosaic (and preview) hang below it.
    std::vector<toff_t> offsets(size_t(subCount), 0);
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
    TIFFSetField(tif, TIFFTAG_SUBIFD, uint16_t(subCount), offsets.data());
    writeThumbnail(tif, o.height);
    TIFFWriteDirectory(tif);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    writeMosaic(tif, o);
  } else {
    if (subCount) {
      std::vector<toff_t> offsets(size_t(subCount), 0);
      TIFFSetField(tif, TIFFTAG_SUBIFD, uint16_t(subCount), offsets.data());
    }
    writeMosaic(tif, o);
  }
  TIFFWriteDirectory(tif);
  if (o.jpegPreview) {
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    writeJpegPreview(tif, o.height);
    TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

}  // namespace lumo::test
