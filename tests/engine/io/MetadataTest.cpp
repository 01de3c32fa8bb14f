#include "engine/io/Metadata.h"

#include <gtest/gtest.h>
#include <exiv2/exiv2.hpp>
#include <lcms2.h>

#include <cmath>
#include <functional>
#include <random>

#include <QFile>
#include <QTemporaryDir>

#include "engine/io/FileTypeRegistry.h"
#include "engine/io/ImageFile.h"
#include "engine/io/ImageInfo.h"

namespace lumo {
namespace {

// Files are given their metadata by Exiv2 itself, so that the fixtures do not depend on
// the code under test; what a save wrote is read back the same way.
QByteArray edited(const QByteArray& file, const std::function<void(Exiv2::Image&)>& edit) {
  auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(file.constData()), long(file.size()));
  image->readMetadata();
  edit(*image);
  image->writeMetadata();
  Exiv2::BasicIo& io = image->io();
  io.open();
  QByteArray out(qsizetype(io.size()), '\0');
  io.read(reinterpret_cast<Exiv2::byte*>(out.data()), long(out.size()));
  io.close();
  return out;
}

struct Found {
  Exiv2::ExifData exif;
  Exiv2::IptcData iptc;
  Exiv2::XmpData xmp;
  QByteArray icc;
  bool thumbnail = false;

  std::string exifText(const char* key) const {
    const auto pos = exif.findKey(Exiv2::ExifKey(key));
    return pos == exif.end() ? std::string() : pos->toString();
  }
  std::string iptcText(const char* key) const {
    const auto pos = iptc.findKey(Exiv2::IptcKey(key));
    return pos == iptc.end() ? std::string() : pos->toString();
  }
  std::string xmpText(const char* key) const {
    const auto pos = xmp.findKey(Exiv2::XmpKey(key));
    return pos == xmp.end() ? std::string() : pos->toString();
  }
};

Found inspect(const QByteArray& file) {
  auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(file.constData()), long(file.size()));
  image->readMetadata();
  Found f{image->exifData(), image->iptcData(), image->xmpData(), {}, false};
  if (image->iccProfileDefined())
    f.icc = QByteArray(reinterpret_cast<const char*>(image->iccProfile()->pData_), image->iccProfile()->size_);
  f.thumbnail = Exiv2::ExifThumbC(f.exif).copy().size_ > 0;
  return f;
}

QByteArray encoded(const QString& extension, const Bitmap& image) {
  QByteArray bytes;
  QString error;
  EXPECT_TRUE(encodeImage(extension, image, IOParams{}, bytes, &error)) << error.toStdString();
  return bytes;
}

// Stored 16 × 8: left half red, right half blue.
Bitmap halves() {
  Bitmap b(16, 8, PixelFormat::ie24RGB);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) {
      uint8_t* p = b.mutableScanline(y) + x * 3;
      p[0] = x < 8 ? 0 : 255;
      p[1] = 0;
      p[2] = x < 8 ? 255 : 0;
    }
  return b;
}

// Made once: a saved profile carries the time it was made.
const QByteArray& srgbProfile() {
  static const QByteArray bytes = [] {
    cmsHPROFILE p = cmsCreate_sRGBProfile();
    cmsUInt32Number n = 0;
    cmsSaveProfileToMem(p, nullptr, &n);
    QByteArray made(qsizetype(n), '\0');
    cmsSaveProfileToMem(p, made.data(), &n);
    cmsCloseProfile(p);
    return made;
  }();
  return bytes;
}

// A camera file: EXIF with fields and tags the dialog does not show, IPTC, XMP, a
// profile and a thumbnail.
QByteArray cameraFile(const QString& extension, const Bitmap& pixels, int orientation = 1) {
  const QByteArray thumb = encoded("jpg", Bitmap(4, 2, PixelFormat::ie24RGB));
  return edited(encoded(extension, pixels), [&](Exiv2::Image& image) {
    Exiv2::ExifData& exif = image.exifData();
    exif["Exif.Image.Make"] = "Lumo Optics";
    exif["Exif.Image.Model"] = "LX-1";
    exif["Exif.Image.Orientation"] = uint16_t(orientation);
    exif["Exif.Photo.DateTimeOriginal"] = "2024:05:06 07:08:09";
    exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 250);
    exif["Exif.Photo.PixelXDimension"] = uint32_t(pixels.width());
    exif["Exif.Photo.PixelYDimension"] = uint32_t(pixels.height());
    exif["Exif.Photo.ISOSpeedRatings"] = uint16_t(400);  // no field of its own
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    exif["Exif.GPSInfo.GPSLatitude"] = "48/1 51/1 2400/100";
    Exiv2::ExifThumb(exif).setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(thumb.constData()),
                                            long(thumb.size()));
    image.iptcData()["Iptc.Application2.Caption"] = "Harbour at dawn";
    for (const char* keyword : {"sea", "boats"}) {
      Exiv2::StringValue value(keyword);
      image.iptcData().add(Exiv2::IptcKey("Iptc.Application2.Keywords"), &value);
    }
    image.xmpData()["Xmp.dc.title"] = "Harbour";
    image.xmpData()["Xmp.tiff.Orientation"] = std::to_string(orientation);
    const QByteArray icc = srgbProfile();
    Exiv2::DataBuf profile(reinterpret_cast<const Exiv2::byte*>(icc.constData()), long(icc.size()));
    image.setIccProfile(profile);
  });
}

const IptcField& iptcField(int32_t dataset) {
  for (const IptcField& f : iptcFields())
    if (f.dataset == dataset) return f;
  throw std::out_of_range("no such IPTC field");
}
constexpr int32_t kCaption = 120, kKeywords = 25;

bool load(const QByteArray& file, const QString& name, Bitmap& image, IOParams& params) {
  QString error;
  const bool ok = decodeImage(reinterpret_cast<const uint8_t*>(file.constData()), size_t(file.size()), name, image,
                              params, &error);
  EXPECT_TRUE(ok) << error.toStdString();
  return ok;
}

QByteArray save(const QString& extension, const Bitmap& image, const IOParams& params) {
  QByteArray bytes;
  QString error;
  EXPECT_TRUE(encodeImage(extension, image, params, bytes, &error))
      << extension.toStdString() << ": " << error.toStdString();
  return bytes;
}

TEST(MetadataTest, TurnedOnLoadMeansSavedUprightWithTheTurnedSize) {
  Bitmap image;
  IOParams params;
  ASSERT_TRUE(load(cameraFile("jpg", halves(), 6), "turned.jpg", image, params));
  ASSERT_EQ(image.width(), 8);
  ASSERT_EQ(image.height(), 16);
  EXPECT_EQ(params.Orientation, 6);  // what the file said
  EXPECT_EQ(params.EXIF_Orientation, 1);  // what the pixels in memory need
  EXPECT_EQ(params.EXIF_ExifImageWidth, 8);
  EXPECT_EQ(params.EXIF_ExifImageHeight, 16);

  for (const char* extension : {"jpg", "tif", "png"}) {
    const QByteArray saved = save(extension, image, params);
    const Found f = inspect(saved);
    EXPECT_EQ(f.exifText("Exif.Image.Orientation"), "1") << extension;
    EXPECT_EQ(f.exifText("Exif.Photo.PixelXDimension"), "8") << extension;
    EXPECT_EQ(f.exifText("Exif.Photo.PixelYDimension"), "16") << extension;
    EXPECT_EQ(f.xmpText("Xmp.tiff.Orientation"), "1") << extension;
    EXPECT_FALSE(f.thumbnail) << extension;  // it showed the picture unturned
    // Opening the saved file does not turn it again.
    Bitmap again;
    IOParams reread;
    ASSERT_TRUE(load(saved, QString("again.") + extension, again, reread));
    EXPECT_EQ(again.width(), 8) << extension;
    EXPECT_EQ(again.height(), 16) << extension;
  }

  // Loaded as stored, the pixels still need the turn, so the file keeps saying so.
  IOParams asStored;
  asStored.EnableAdjustOrientation = false;
  ASSERT_TRUE(load(cameraFile("jpg", halves(), 6), "turned.jpg", image, asStored));
  EXPECT_EQ(image.width(), 16);
  EXPECT_EQ(asStored.EXIF_Orientation, 6);
  EXPECT_EQ(inspect(save("jpg", image, asStored)).exifText("Exif.Image.Orientation"), "6");
}

TEST(MetadataTest, MetadataSurvivesLoadAndSaveInEachType) {
  const Bitmap pixels = halves();
  for (const char* from : {"jpg", "tif", "png"}) {
    Bitmap image;
    IOParams params;
    ASSERT_TRUE(load(cameraFile(from, pixels), QString("camera.") + from, image, params));
    EXPECT_TRUE(params.EXIF_HasEXIFData) << from;
    EXPECT_EQ(params.EXIF_Model, "LX-1") << from;
    EXPECT_EQ(params.EXIF_DateTimeOriginal, "2024:05:06 07:08:09") << from;
    EXPECT_DOUBLE_EQ(params.EXIF_ExposureTime, 0.004) << from;
    EXPECT_DOUBLE_EQ(params.EXIF_GPSLatitudeSeconds, 24.0) << from;
    EXPECT_EQ(params.EXIF_GPSLatitudeRef, "N") << from;
    EXPECT_EQ(iptcFieldText(params.IPTC_Info, iptcField(kCaption)), "Harbour at dawn") << from;
    EXPECT_EQ(params.InputICCProfile, srgbProfile()) << from;
    EXPECT_TRUE(params.XMP_Packet.contains("Harbour")) << from;

    for (const char* to : {"jpg", "tif", "png"}) {
      const QByteArray saved = save(to, image, params);
      const Found f = inspect(saved);
      const std::string label = std::string(from) + " to " + to;
      EXPECT_EQ(f.exifText("Exif.Image.Make"), "Lumo Optics") << label;
      EXPECT_EQ(f.exifText("Exif.Image.Model"), "LX-1") << label;
      EXPECT_EQ(f.exifText("Exif.Photo.DateTimeOriginal"), "2024:05:06 07:08:09") << label;
      EXPECT_EQ(f.exifText("Exif.Photo.ExposureTime"), "1/250") << label;
      EXPECT_EQ(f.exifText("Exif.Photo.ISOSpeedRatings"), "400") << label;
      EXPECT_EQ(f.exifText("Exif.GPSInfo.GPSLatitude"), "48/1 51/1 2400/100") << label;
      EXPECT_EQ(f.iptcText("Iptc.Application2.Caption"), "Harbour at dawn") << label;
      EXPECT_EQ(f.iptc.count(), 3u) << label;
      EXPECT_EQ(f.xmpText("Xmp.dc.title"), "lang=\"x-default\" Harbour") << label;
      EXPECT_EQ(f.icc, srgbProfile()) << label;
      // Writing the metadata leaves the pixels alone.
      Bitmap back;
      IOParams reread;
      ASSERT_TRUE(load(saved, QString("back.") + to, back, reread)) << label;
      if (std::string(to) != "jpg") {
        EXPECT_TRUE(back.samePixels(image)) << label;
      }
      EXPECT_EQ(reread.IPTC_Info, params.IPTC_Info) << label;
      EXPECT_EQ(reread.EXIF_Model, "LX-1") << label;
    }
  }
}

TEST(MetadataTest, StripLeavesOutEverythingButTheProfile) {
  Bitmap image;
  IOParams params;
  ASSERT_TRUE(load(cameraFile("jpg", halves()), "camera.jpg", image, params));
  params.StripMetadata = true;
  for (const char* to : {"jpg", "tif", "png"}) {
    const Found f = inspect(save(to, image, params));
    EXPECT_TRUE(f.exifText("Exif.Image.Model").empty()) << to;
    EXPECT_TRUE(f.exifText("Exif.Photo.DateTimeOriginal").empty()) << to;
    EXPECT_TRUE(f.iptc.empty()) << to;
    EXPECT_TRUE(f.xmp.empty()) << to;
    EXPECT_EQ(f.icc, srgbProfile()) << to;  // part of what the colours mean
  }

  // Without EXIF (the information dialog's switch), IPTC and XMP stay.
  params.StripMetadata = false;
  clearExif(params);
  const Found f = inspect(save("jpg", image, params));
  EXPECT_TRUE(f.exif.empty());
  EXPECT_EQ(f.iptcText("Iptc.Application2.Caption"), "Harbour at dawn");
  EXPECT_FALSE(f.xmp.empty());
}

TEST(MetadataTest, EditedFieldsWinOverTheKeptBlock) {
  Bitmap image;
  IOParams params;
  ASSERT_TRUE(load(cameraFile("jpg", halves()), "camera.jpg", image, params));
  params.EXIF_Model = "LX-2";
  params.EXIF_FNumber = 2.8;
  params.EXIF_ExposureTime = kNoExifReal;  // removed
  params.EXIF_Orientation = 8;
  params.EXIF_UserComment = "Grüße aus dem Hafen";
  params.EXIF_XPTitle = "Título";
  params.EXIF_SubjectArea = {10, 20, 4, 6};
  params.EXIF_GPSVersionID = "2.3.0.0";
  setIptcFieldText(params.IPTC_Info, iptcField(kCaption), "Café at dawn");
  setIptcFieldText(params.IPTC_Info, iptcField(kKeywords), "sea; boats; gulls");

  const QByteArray saved = save("jpg", image, params);
  const Found f = inspect(saved);
  EXPECT_EQ(f.exifText("Exif.Image.Model"), "LX-2");
  EXPECT_EQ(f.exifText("Exif.Image.Make"), "Lumo Optics");  // not edited: as kept
  EXPECT_EQ(f.exifText("Exif.Photo.FNumber"), "14/5");
  EXPECT_TRUE(f.exifText("Exif.Photo.ExposureTime").empty());
  EXPECT_EQ(f.exifText("Exif.Image.Orientation"), "8");
  EXPECT_EQ(f.xmpText("Xmp.tiff.Orientation"), "8");  // one orientation for both
  EXPECT_EQ(f.exifText("Exif.Photo.SubjectArea"), "10 20 4 6");
  EXPECT_EQ(f.exifText("Exif.GPSInfo.GPSVersionID"), "2 3 0 0");
  EXPECT_EQ(f.iptcText("Iptc.Envelope.CharacterSet"), "\x1b%G");

  Bitmap back;
  IOParams reread;
  ASSERT_TRUE(load(saved, "edited.jpg", back, reread));
  EXPECT_EQ(reread.EXIF_UserComment, "Grüße aus dem Hafen");
  EXPECT_EQ(reread.EXIF_XPTitle, "Título");
  EXPECT_DOUBLE_EQ(reread.EXIF_FNumber, 2.8);
  EXPECT_EQ(iptcFieldText(reread.IPTC_Info, iptcField(kCaption)), "Café at dawn");
  EXPECT_EQ(iptcFieldText(reread.IPTC_Info, iptcField(kKeywords)), "sea; boats; gulls");

  // Values a tag cannot hold leave it out rather than writing nonsense: the dialog
  // stores -1 for an F-number that does not parse and 0 for such a resolution.
  params.EXIF_FNumber = -1;
  params.EXIF_XResolution = 0;
  const Found g = inspect(save("jpg", image, params));
  EXPECT_TRUE(g.exifText("Exif.Photo.FNumber").empty());
  EXPECT_TRUE(g.exifText("Exif.Image.XResolution").empty());
}

TEST(MetadataTest, FieldsTypedIntoAFileWithoutExifCreateIt) {
  IOParams params;
  params.EXIF_HasEXIFData = true;
  params.EXIF_Copyright = "© Lumo";
  params.EXIF_ExifVersion = "0232";
  params.EXIF_ExposureBiasValue = -1.0 / 3.0;
  params.IPTC_Info = {{2, 5, "Harbour"}};
  const Found f = inspect(save("png", halves(), params));
  EXPECT_EQ(f.exifText("Exif.Photo.ExifVersion"), "48 50 51 50");
  EXPECT_EQ(f.exifText("Exif.Photo.ExposureBiasValue"), "-1/3");
  EXPECT_EQ(f.iptcText("Iptc.Application2.ObjectName"), "Harbour");
}

TEST(MetadataTest, ResolutionFollowsTheImageUnlessEdited) {
  IOParams source;
  source.DpiX = source.DpiY = 300;
  const QByteArray tif = edited(save("tif", halves(), source), [](Exiv2::Image& image) {
    image.exifData()["Exif.Image.Model"] = "LX-1";
  });
  Bitmap image;
  IOParams params;
  ASSERT_TRUE(load(tif, "dpi.tif", image, params));
  EXPECT_EQ(params.EXIF_XResolution, 300);
  params.DpiX = params.DpiY = 150;
  Bitmap back;
  IOParams reread;
  ASSERT_TRUE(load(save("tif", image, params), "dpi.tif", back, reread));
  EXPECT_EQ(reread.DpiX, 150);
  EXPECT_EQ(reread.DpiY, 150);

  // EXIF without resolution tags leaves the TIFF's own as the writer made them.
  IOParams fromJpeg;
  ASSERT_TRUE(load(cameraFile("jpg", halves()), "camera.jpg", image, fromJpeg));
  ASSERT_EQ(fromJpeg.EXIF_XResolution, kNoExifInt);
  fromJpeg.DpiX = fromJpeg.DpiY = 240;
  ASSERT_TRUE(load(save("tif", image, fromJpeg), "dpi.tif", back, reread));
  EXPECT_EQ(reread.DpiX, 240);
  EXPECT_EQ(reread.EXIF_Model, "LX-1");

  params.EXIF_XResolution = 200;  // an edit wins
  ASSERT_TRUE(load(save("jpg", image, params), "dpi.jpg", back, reread));
  EXPECT_EQ(reread.EXIF_XResolution, 200);
  EXPECT_EQ(reread.EXIF_YResolution, 150);
}

// A profile goes only where it describes the stored pixels.
TEST(MetadataTest, ProfileOfAnotherColourSpaceIsLeftOut) {
  cmsToneCurve* curve = cmsBuildGamma(nullptr, 1.0);
  const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
  cmsHPROFILE profile = cmsCreateGrayProfile(&d65, curve);
  cmsFreeToneCurve(curve);
  cmsUInt32Number n = 0;
  cmsSaveProfileToMem(profile, nullptr, &n);
  QByteArray grey(qsizetype(n), '\0');
  cmsSaveProfileToMem(profile, grey.data(), &n);
  cmsCloseProfile(profile);

  IOParams params;
  params.InputICCProfile = grey;
  for (const char* to : {"jpg", "png", "tif"}) {
    EXPECT_EQ(inspect(save(to, Bitmap(6, 4, PixelFormat::ie8g), params)).icc, grey) << to;
    EXPECT_TRUE(inspect(save(to, halves(), params)).icc.isEmpty()) << to;
  }
  params.InputICCProfile = srgbProfile();
  EXPECT_TRUE(inspect(save("jpg", Bitmap(6, 4, PixelFormat::ie8g), params)).icc.isEmpty());
}

TEST(MetadataTest, TypesThatCannotCarryMetadataAreWrittenWithout) {
  Bitmap image;
  IOParams params;
  ASSERT_TRUE(load(cameraFile("jpg", halves()), "camera.jpg", image, params));
  QByteArray bmp;
  QString error;
  ASSERT_TRUE(encodeImage("bmp", image, params, bmp, &error)) << error.toStdString();
  EXPECT_EQ(bmp, encoded("bmp", image));

  EXPECT_FALSE(metadataSupport(FileTypeCode::BMP).exif);
  EXPECT_FALSE(metadataSupport(FileTypeCode::WEBP).iptc);
  EXPECT_TRUE(metadataSupport(FileTypeCode::WEBP).exif);
  for (int32_t type : {FileTypeCode::JPEG, FileTypeCode::TIFF, FileTypeCode::PNG}) {
    const MetadataSupport s = metadataSupport(type);
    EXPECT_TRUE(s.exif && s.iptc && s.xmp && s.icc) << type;
  }
}

TEST(MetadataTest, MetadataThatCannotBeWrittenFailsTheSaveAndKeepsTheFile) {
  QTemporaryDir dir;
  const QString target = dir.filePath("keep.jpg");
  ASSERT_TRUE(saveImageFile(target, halves(), IOParams{}, nullptr));
  QFile before(target);
  ASSERT_TRUE(before.open(QIODevice::ReadOnly));
  const QByteArray old = before.readAll();
  before.close();

  IOParams params;
  QString error;
  const std::vector<IptcRecord> bad[] = {{{0, 5, "no such record"}}, {{2, 120, "one caption"}, {2, 120, "too many"}}};
  for (const auto& records : bad) {
    params.IPTC_Info = records;
    error.clear();
    EXPECT_FALSE(saveImageFile(target, halves(), params, &error));
    EXPECT_TRUE(error.contains("metadata")) << error.toStdString();
  }

  // JPEG holds at most 64 KB of EXIF; Exiv2 would quietly drop a longer description.
  params = IOParams{};
  params.EXIF_HasEXIFData = true;
  params.EXIF_ImageDescription = QString(70000, 'x');
  error.clear();
  EXPECT_FALSE(saveImageFile(target, halves(), params, &error));
  EXPECT_FALSE(error.isEmpty());
  QFile after(target);
  ASSERT_TRUE(after.open(QIODevice::ReadOnly));
  EXPECT_EQ(after.readAll(), old);
  // TIFF has room for it.
  Bitmap back;
  IOParams reread;
  ASSERT_TRUE(load(save("tif", halves(), params), "long.tif", back, reread));
  EXPECT_EQ(reread.EXIF_ImageDescription.size(), 70000);
}

// The EXIF, IPTC and XMP blocks of a camera file damaged at random: the image loads
// every time (the sanitizer build watches Exiv2 doing it).
TEST(MetadataTest, DamagedMetadataNeverCostsTheImage) {
  const QByteArray whole = cameraFile("jpg", halves());
  Bitmap clean;
  IOParams cleanParams;
  ASSERT_TRUE(load(whole, "camera.jpg", clean, cleanParams));
  const qsizetype start = 2, end = whole.indexOf(QByteArray("\xFF\xDB", 2));  // the segments before the tables
  ASSERT_GT(end, 100);
  std::mt19937 rng(5);
  int withExif = 0;
  for (int round = 0; round < 300; ++round) {
    QByteArray damaged = whole;
    for (int k = 0; k < 1 + round % 6; ++k) {
      const qsizetype at = start + 4 + qsizetype(rng() % uint32_t(end - start - 4));
      // Keep the segment markers and lengths so that the JPEG decoder still finds its way.
      const auto marker = [&](qsizetype i) { return uint8_t(damaged[i]) == 0xFF; };
      if (marker(at) || marker(at - 1) || marker(at - 2)) continue;
      damaged[at] = char(rng());
    }
    Bitmap image;
    IOParams params;
    QString error;
    if (!decodeImage(reinterpret_cast<const uint8_t*>(damaged.constData()), size_t(damaged.size()), "d.jpg", image,
                     params, &error))
      continue;  // the damage hit the orientation the JPEG reader reads itself
    EXPECT_EQ(image.width() * image.height(), 128);
    withExif += params.EXIF_HasEXIFData;
    // What was read can be saved again, or the save says why.
    QByteArray bytes;
    if (!encodeImage("jpg", image, params, bytes, &error)) {
      EXPECT_FALSE(error.isEmpty());
    }
  }
  EXPECT_GT(withExif, 0);
}

}  // namespace
}  // namespace lumo
