#include <gtest/gtest.h>
#include <libraw/libraw.h>

#include <functional>
#include <memory>

#include "engine/io/DngWriter.h"
#include "engine/io/FileTypeRegistry.h"
#include "engine/io/ImageCodecs.h"
#include "engine/io/ImageFile.h"
#include "engine/io/RawSettings.h"

namespace lumo {
namespace {

using test::DngOptions;
using test::makeDng;

// LibRaw's options as a fresh decoder has them, with `p` applied for `engine`.
libraw_output_params_t optionsFor(const IOParams& p, RawEngine engine = RawEngine::LibRaw) {
  auto raw = std::make_unique<LibRaw>();
  applyRawSettings(p, engine, raw->imgdata.params);
  return raw->imgdata.params;
}

struct Mean {
  double r = 0, g = 0, b = 0;
};

// Mean colour of rows [y0, y1) and columns [x0, x1) of a 24-bit image (all columns
// when x1 is 0).
Mean meanOf(const Bitmap& image, int y0, int y1, int x0 = 0, int x1 = 0) {
  Mean m;
  size_t n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < (x1 ? x1 : image.width()); ++x, ++n) {
      const uint8_t* p = image.scanline(y) + x * 3;
      m.b += p[0];
      m.g += p[1];
      m.r += p[2];
    }
  m.r /= double(n);
  m.g /= double(n);
  m.b /= double(n);
  return m;
}

class RawCodecTest : public ::testing::Test {
 protected:
  void TearDown() override { setRawEngine(RawEngine::Auto); }

  bool decode(const QByteArray& bytes, IOParams& params, Bitmap& out, const QString& name = "shot.dng") {
    error.clear();
    return decodeImage(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), name, out, params,
                       &error);
  }
  Bitmap decodeOrFail(const QByteArray& bytes, IOParams params = {}) {
    Bitmap out;
    EXPECT_TRUE(decode(bytes, params, out)) << error.toStdString();
    return out;
  }

  QString error;
};

TEST_F(RawCodecTest, DefaultsGiveLibRawTheDialogsDefaults) {
  const libraw_output_params_t o = optionsFor(IOParams{});
  EXPECT_EQ(o.half_size, 0);
  EXPECT_EQ(o.four_color_rgb, 0);
  EXPECT_EQ(o.user_qual, 0);  // linear
  EXPECT_EQ(o.use_auto_wb, 1);
  EXPECT_EQ(o.use_camera_wb, 1);
  EXPECT_FLOAT_EQ(o.adjust_maximum_thr, 0.0f);
  EXPECT_DOUBLE_EQ(o.gamm[0], 1.0 / 2.222);
  EXPECT_DOUBLE_EQ(o.gamm[1], 4.5);
  EXPECT_EQ(o.no_auto_bright, 1);
  EXPECT_FLOAT_EQ(o.bright, 1.0f);
  EXPECT_EQ(o.output_color, 1);  // sRGB
  EXPECT_EQ(o.highlight, 0);
  EXPECT_EQ(o.output_bps, 8);
  EXPECT_EQ(o.user_flip, -1);  // the file's own orientation
}

// Each setting and the LibRaw option it lands in.
struct SettingCase {
  const char* setting;
  const char* value;
  std::function<void(IOParams&)> set;
  std::function<bool(const libraw_output_params_t&)> check;
  std::function<void(IOParams&)> base = [](IOParams&) {};  // what the setting is compared against
};

const SettingCase kSettings[] = {
    {"RAW_HalfSize", "on", [](IOParams& p) { p.RAW_HalfSize = true; }, [](auto& o) { return o.half_size == 1; }},
    {"RAW_FourColorRGB", "on", [](IOParams& p) { p.RAW_FourColorRGB = true; },
     [](auto& o) { return o.four_color_rgb == 1; }},
    {"RAW_Interpolation", "AHD", [](IOParams& p) { p.RAW_Interpolation = 3; }, [](auto& o) { return o.user_qual == 3; }},
    {"RAW_Interpolation", "DCB", [](IOParams& p) { p.RAW_Interpolation = 4; }, [](auto& o) { return o.user_qual == 4; }},
    {"RAW_QuickInterpolate", "on, overruling AHD", [](IOParams& p) { p.RAW_QuickInterpolate = true; },
     [](auto& o) { return o.user_qual == 0; }, [](IOParams& p) { p.RAW_Interpolation = 3; }},
    {"RAW_UseAutoWB", "off", [](IOParams& p) { p.RAW_UseAutoWB = false; }, [](auto& o) { return o.use_auto_wb == 0; }},
    {"RAW_UseCameraWB", "off", [](IOParams& p) { p.RAW_UseCameraWB = false; },
     [](auto& o) { return o.use_camera_wb == 0; }},
    {"RAW_AutoAdjustColors", "on", [](IOParams& p) { p.RAW_AutoAdjustColors = true; },
     [](auto& o) { return o.adjust_maximum_thr == 0.75f; }},
    {"RAW_Gamma", "1", [](IOParams& p) { p.RAW_Gamma = 1.0; }, [](auto& o) { return o.gamm[0] == 1.0; }},
    {"RAW_Gamma", "0, below the range", [](IOParams& p) { p.RAW_Gamma = 0.0; }, [](auto& o) { return o.gamm[0] == 1.0; }},
    {"RAW_GammaToeSlope", "7.5", [](IOParams& p) { p.RAW_GammaToeSlope = 7.5; }, [](auto& o) { return o.gamm[1] == 7.5; }},
    {"RAW_AutoBright", "on", [](IOParams& p) { p.RAW_AutoBright = true; }, [](auto& o) { return o.no_auto_bright == 0; }},
    {"RAW_Bright", "1.5", [](IOParams& p) { p.RAW_Bright = 1.5; }, [](auto& o) { return o.bright == 1.5f; }},
    {"RAW_Bright", "0, never a division by zero", [](IOParams& p) { p.RAW_Bright = 0.0; },
     [](auto& o) { return o.bright > 0.0f && o.bright < 0.1f; }},
    {"RAW_OutputColorSpace", "ProPhoto", [](IOParams& p) { p.RAW_OutputColorSpace = 4; },
     [](auto& o) { return o.output_color == 4; }},
    {"RAW_OutputColorSpace", "Raw", [](IOParams& p) { p.RAW_OutputColorSpace = 0; },
     [](auto& o) { return o.output_color == 0; }},
    {"RAW_Highlight", "Rebuild3", [](IOParams& p) { p.RAW_Highlight = 5; }, [](auto& o) { return o.highlight == 5; }},
    {"EnableAdjustOrientation", "off", [](IOParams& p) { p.EnableAdjustOrientation = false; },
     [](auto& o) { return o.user_flip == 0; }},
};

TEST_F(RawCodecTest, EachSettingSetsItsLibRawOption) {
  for (const SettingCase& c : kSettings) {
    SCOPED_TRACE(std::string(c.setting) + " " + c.value);
    IOParams p;
    c.base(p);
    EXPECT_FALSE(c.check(optionsFor(p))) << "passes without the setting";
    c.set(p);
    EXPECT_TRUE(c.check(optionsFor(p)));
  }
}

// The dialog disables these controls for the WIC engine (and automatic brightness for
// every engine but LibRaw); a disabled setting decodes at its default.
TEST_F(RawCodecTest, EnginesHonourOnlyTheirSettings) {
  const QStringList wicIgnores = {"RAW_FourColorRGB",     "RAW_QuickInterpolate", "RAW_UseAutoWB",
                                  "RAW_UseCameraWB",      "RAW_AutoAdjustColors", "RAW_Gamma",
                                  "RAW_AutoBright",       "RAW_OutputColorSpace"};
  for (const SettingCase& c : kSettings) {
    SCOPED_TRACE(std::string(c.setting) + " " + c.value);
    IOParams p;
    c.base(p);
    c.set(p);
    EXPECT_EQ(c.check(optionsFor(p, RawEngine::WIC)), !wicIgnores.contains(c.setting));
    EXPECT_EQ(c.check(optionsFor(p, RawEngine::Legacy)), QString(c.setting) != "RAW_AutoBright");
    EXPECT_TRUE(c.check(optionsFor(p, RawEngine::Auto)));
  }
}

TEST_F(RawCodecTest, EngineChoiceIsGlobalAndAutoMeansLibRaw) {
  EXPECT_EQ(rawEngine(), RawEngine::Auto);
  EXPECT_EQ(rawEngineInUse(RawEngine::Auto), RawEngine::LibRaw);
  // The dialog's list: item i is engine i + 2.
  EXPECT_EQ(int(RawEngine::LibRaw), 2);
  EXPECT_EQ(int(RawEngine::WIC), 3);
  EXPECT_EQ(int(RawEngine::Legacy), 4);
  setRawEngine(RawEngine::WIC);
  EXPECT_EQ(rawEngine(), RawEngine::WIC);
  EXPECT_EQ(rawEngineInUse(rawEngine()), RawEngine::WIC);
}

TEST_F(RawCodecTest, DngGoesToTheRawReaderAndDecodes) {
  const QByteArray dng = makeDng();
  IOParams p;
  Bitmap image;
  ASSERT_TRUE(decode(dng, p, image)) << error.toStdString();
  EXPECT_EQ(p.FileType, FileTypeCode::RAW);
  EXPECT_EQ(image.format(), PixelFormat::ie24RGB);
  EXPECT_EQ(image.width(), 64);
  EXPECT_EQ(image.height(), 48);
  EXPECT_EQ(p.BitsPerSample, 8);
  EXPECT_EQ(p.SamplesPerPixel, 3);
  // Top half red, bottom half blue, as shot.
  const Mean top = meanOf(image, 2, 20), bottom = meanOf(image, 28, 46);
  EXPECT_GT(top.r, top.b + 100);
  EXPECT_GT(bottom.b, bottom.r + 100);
}

TEST_F(RawCodecTest, CameraAndExifFacts) {
  IOParams p;
  p.RAW_Camera = "stale";
  p.EXIF_LensModel = "stale";
  Bitmap image;
  ASSERT_TRUE(decode(makeDng(), p, image)) << error.toStdString();
  EXPECT_EQ(p.RAW_Camera, "Lumora Test Camera");
  EXPECT_EQ(p.EXIF_DateTimeOriginal, "2024:05:06 07:08:09");
  EXPECT_NEAR(p.EXIF_FNumber, 2.8, 1e-4);
  EXPECT_NEAR(p.EXIF_ExposureTime, 1.0 / 125, 1e-6);
  EXPECT_NEAR(p.EXIF_FocalLength, 50.0, 1e-4);
  EXPECT_EQ(p.EXIF_LensModel, "");  // the file names no lens
  EXPECT_EQ(p.EXIF_ISOSpeedRatings, kNoExifInt);
}

TEST_F(RawCodecTest, HalfSizeHalvesTheImage) {
  IOParams half;
  half.RAW_HalfSize = true;
  const Bitmap image = decodeOrFail(makeDng(), half);
  EXPECT_EQ(image.width(), 32);
  EXPECT_EQ(image.height(), 24);
  const Mean top = meanOf(image, 1, 10);
  EXPECT_GT(top.r, top.b + 100);
}

// Settings that change the pixels LibRaw delivers, each against the default decoding.
TEST_F(RawCodecTest, SettingsChangeTheDecodedPixels) {
  const QByteArray dng = makeDng();
  const Bitmap reference = decodeOrFail(dng);
  const Mean refTop = meanOf(reference, 2, 20), refBottom = meanOf(reference, 28, 46);

  IOParams redder;
  redder.RAW_RedScale = 2.0;
  const Mean redBottom = meanOf(decodeOrFail(dng, redder), 28, 46);
  EXPECT_GT(redBottom.r, refBottom.r + 10);  // more red where there was little
  EXPECT_NEAR(redBottom.b, refBottom.b, 3);

  IOParams bluer;
  bluer.RAW_BlueScale = 0.5;
  EXPECT_LT(meanOf(decodeOrFail(dng, bluer), 28, 46).b, refBottom.b - 10);

  IOParams linear;
  linear.RAW_Gamma = 1.0;
  linear.RAW_GammaToeSlope = 1.0;
  EXPECT_LT(meanOf(decodeOrFail(dng, linear), 2, 20).g, refTop.g - 20);  // no gamma lift of the mid-tones

  IOParams brighter;
  brighter.RAW_Bright = 2.0;
  EXPECT_GT(meanOf(decodeOrFail(dng, brighter), 2, 20).g, refTop.g + 10);
}

TEST_F(RawCodecTest, WicEngineIgnoresGammaButNotBrightness) {
  const QByteArray dng = makeDng();
  const Bitmap reference = decodeOrFail(dng);
  setRawEngine(RawEngine::WIC);
  IOParams linear;
  linear.RAW_Gamma = 1.0;
  EXPECT_TRUE(decodeOrFail(dng, linear).samePixels(reference));
  IOParams brighter;
  brighter.RAW_Bright = 2.0;
  EXPECT_FALSE(decodeOrFail(dng, brighter).samePixels(reference));
}

TEST_F(RawCodecTest, ThumbnailAndEmbeddedPreview) {
  struct Case {
    const char* name;
    DngOptions dng;
    bool thumbnail;  // else the embedded preview
    int width, height;
  };
  const Case cases[] = {
      {"bitmap thumbnail", {64, 48, true, false}, true, 16, 12},
      {"JPEG thumbnail", {64, 48, true, true}, true, 40, 30},
      {"largest preview", {64, 48, true, true}, false, 40, 30},
      {"only a plain preview", {64, 48, true, false}, false, 16, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IOParams p;
    (c.thumbnail ? p.GetThumbnail : p.RAW_GetEmbeddedJpeg) = true;
    Bitmap image;
    ASSERT_TRUE(decode(makeDng(c.dng), p, image)) << error.toStdString();
    EXPECT_EQ(image.width(), c.width);
    EXPECT_EQ(image.height(), c.height);
    EXPECT_EQ(p.RAW_Camera, "Lumora Test Camera");
    const Mean top = meanOf(image, 0, image.height() / 3);
    EXPECT_GT(top.r, top.b + 100);
  }
}

TEST_F(RawCodecTest, OrientationTurnsImageAndThumbnail) {
  DngOptions turned;
  turned.orientation = 6;  // the camera was held turned clockwise
  const QByteArray dng = makeDng(turned);
  for (const bool thumbnail : {false, true}) {
    for (const bool adjust : {true, false}) {
      SCOPED_TRACE(std::string(thumbnail ? "thumbnail" : "image") + (adjust ? " turned" : " as stored"));
      IOParams p;
      p.GetThumbnail = thumbnail;
      p.EnableAdjustOrientation = adjust;
      Bitmap image;
      ASSERT_TRUE(decode(dng, p, image)) << error.toStdString();
      EXPECT_EQ(p.Orientation, 6);
      const int w = thumbnail ? 16 : 64, h = thumbnail ? 12 : 48;
      EXPECT_EQ(image.width(), adjust ? h : w);
      EXPECT_EQ(image.height(), adjust ? w : h);
      // The stored top (red) ends up on the right when turned.
      const Mean red = adjust ? meanOf(image, 0, image.height(), image.width() * 3 / 4, image.width())
                              : meanOf(image, 0, image.height() / 4);
      EXPECT_GT(red.r, red.b + 100);
    }
  }
}

// The mosaic claims 20000 x 20000 pixels (800 MB of samples) in a file of a few KB: the
// decoder refuses before LibRaw allocates for it.
TEST_F(RawCodecTest, DeclaredSizeBeyondTheFileIsRefused) {
  DngOptions lying;
  lying.declaredWidth = lying.declaredHeight = 20000;
  IOParams p;
  Bitmap image;
  EXPECT_FALSE(decode(makeDng(lying), p, image));
  EXPECT_TRUE(error.contains("too short")) << error.toStdString();
  EXPECT_TRUE(image.isNull());
}

TEST_F(RawCodecTest, MissingThumbnailOrPreviewIsAnError) {
  const QByteArray bare = makeDng({64, 48, false, false});
  for (const bool thumbnail : {true, false}) {
    IOParams p;
    (thumbnail ? p.GetThumbnail : p.RAW_GetEmbeddedJpeg) = true;
    Bitmap image;
    EXPECT_FALSE(decode(bare, p, image));
    EXPECT_TRUE(error.contains(thumbnail ? "thumbnail" : "preview")) << error.toStdString();
    EXPECT_TRUE(image.isNull());
  }
  // The mosaic itself still decodes.
  EXPECT_EQ(decodeOrFail(bare).width(), 64);
}

TEST_F(RawCodecTest, DamagedFilesFailCleanly) {
  const QByteArray dng = makeDng({64, 48, true, true});
  // Cut inside the mosaic, which sits after the thumbnail's pixels.
  for (const qsizetype keep : {qsizetype(0), qsizetype(8), qsizetype(200), dng.size() / 2, dng.size() - 4000}) {
    SCOPED_TRACE(keep);
    Bitmap image;
    IOParams p;
    p.RAW_Camera = "unchanged";
    EXPECT_FALSE(decode(dng.left(keep), p, image));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(image.isNull());
    EXPECT_EQ(p.RAW_Camera, "unchanged");
  }
  // Flipped bytes anywhere: an error or some image, never a crash.
  for (qsizetype i = 0; i < dng.size(); i += 1 + dng.size() / 40) {
    QByteArray damaged = dng;
    damaged[i] = char(damaged[i] ^ 0x5A);
    for (const int what : {0, 1, 2}) {  // the mosaic, the thumbnail, the largest preview
      IOParams p;
      p.GetThumbnail = what == 1;
      p.RAW_GetEmbeddedJpeg = what == 2;
      Bitmap image;
      if (!decode(damaged, p, image)) {
        EXPECT_FALSE(error.isEmpty());
      }
    }
  }
  // A file that is not RAW at all.
  Bitmap image;
  IOParams p;
  EXPECT_FALSE(decode(QByteArray("II*\0 this is no camera file", 28), p, image));
  EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace lumo
