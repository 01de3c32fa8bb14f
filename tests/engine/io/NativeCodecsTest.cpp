// GIF, WebP, JPEG 2000 and HD Photo through their libraries.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "CodecTestImages.h"
#include "engine/io/FileTypeRegistry.h"
#include "engine/io/ImageFile.h"
#include "engine/pixels/PixelConvert.h"

namespace lumo {
namespace {

using testimages::noise;
using testimages::psnrOfSamples;

// A smooth picture with some grain, so that every rate cuts into it.
Bitmap photo(int w, int h, unsigned seed = 3) {
  Bitmap b(w, h, PixelFormat::ie24RGB);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> grain(-12, 12);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b.mutableScanline(y) + x * 3;
      const double base[3] = {x * 255.0 / w, y * 255.0 / h, 128 + 100 * std::sin(x * 0.1) * std::cos(y * 0.07)};
      for (int k = 0; k < 3; ++k) p[k] = uint8_t(std::clamp(base[k] + grain(rng), 0.0, 255.0));
    }
  return b;
}

QByteArray encode(const QString& extension, const Bitmap& image, const IOParams& params = IOParams{}) {
  QByteArray bytes;
  QString error;
  EXPECT_TRUE(encodeImage(extension, image, params, bytes, &error)) << extension.toStdString() << ": "
                                                                     << error.toStdString();
  return bytes;
}

bool decode(const QByteArray& bytes, const QString& name, Bitmap& out, QString* error = nullptr,
            IOParams* read = nullptr) {
  IOParams params;
  const bool ok =
      decodeImage(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), name, out, params, error);
  if (read) *read = params;
  return ok;
}

Bitmap roundTrip(const QString& extension, const Bitmap& image, const IOParams& params = IOParams{}) {
  const QByteArray bytes = encode(extension, image, params);
  Bitmap back;
  QString error;
  EXPECT_TRUE(decode(bytes, "image." + extension, back, &error)) << extension.toStdString() << ": "
                                                                  << error.toStdString();
  return back;
}

// ---------------------------------------------------------------------------------------
// Round trips without loss

struct ExactCase {
  const char* extension;
  PixelFormat format;
  bool alpha;
};

TEST(NativeCodecs, LosslessSettingsGiveTheSamePixelsBack) {
  IOParams params;
  params.WEBP_Quality = 100;
  params.HDP_Quality = 100;
  params.J2000_Rate = 1.0;
  const ExactCase cases[] = {
      {"gif", PixelFormat::ie8p, false},     {"webp", PixelFormat::ie24RGB, false},
      {"webp", PixelFormat::ie24RGB, true},  {"jp2", PixelFormat::ie8g, false},
      {"jp2", PixelFormat::ie16g, false},    {"jp2", PixelFormat::ie24RGB, true},
      {"j2k", PixelFormat::ie48RGB, false},  {"j2k", PixelFormat::ie24RGB, false},
      {"j2k", PixelFormat::ie48RGB, true},   {"hdp", PixelFormat::ie24RGB, false},
      {"wdp", PixelFormat::ie24RGB, true},   {"hdp", PixelFormat::ie8g, false},
      {"jxr", PixelFormat::ie16g, false},    {"hdp", PixelFormat::ie48RGB, false},
  };
  for (const ExactCase& c : cases) {
    SCOPED_TRACE(std::string(c.extension) + " " + pixelFormatName(c.format) + (c.alpha ? " with alpha" : ""));
    const Bitmap image = noise(37, 23, c.format, c.alpha);  // odd sizes: partial blocks everywhere
    const Bitmap back = roundTrip(c.extension, image, params);
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.format(), c.format);
    EXPECT_TRUE(back.samePixels(image));
  }
}

TEST(NativeCodecs, DefaultLossySettingsStayClose) {
  const Bitmap image = photo(96, 64);
  const std::pair<const char*, double> cases[] = {{"webp", 30.0}, {"jp2", 40.0}, {"j2k", 40.0}, {"hdp", 30.0}};
  for (const auto& [extension, minimum] : cases) {
    SCOPED_TRACE(extension);
    const Bitmap back = roundTrip(extension, image);
    ASSERT_EQ(back.format(), PixelFormat::ie24RGB);
    const double quality = psnrOfSamples(image, back);
    EXPECT_GT(quality, minimum);
    EXPECT_LT(quality, 99.0);  // the defaults are lossy
  }
  // Lossy WebP and HD Photo still keep alpha exactly.
  Bitmap withAlpha = noise(40, 30, PixelFormat::ie24RGB, true);
  for (const char* extension : {"webp", "hdp"}) {
    SCOPED_TRACE(extension);
    const Bitmap back = roundTrip(extension, withAlpha);
    ASSERT_TRUE(back.hasAlpha());
    for (int y = 0; y < 30; ++y) ASSERT_EQ(std::memcmp(back.alphaScanline(y), withAlpha.alphaScanline(y), 40), 0) << y;
  }
}

// ---------------------------------------------------------------------------------------
// Parameters

TEST(NativeCodecs, LowerJpeg2000RateGivesSmallerFileAndLargerError) {
  const Bitmap image = photo(128, 96);
  const double raw = 128.0 * 96 * 3;
  double lastSize = std::numeric_limits<double>::max(), lastPsnr = 100.0;
  for (const double rate : {1.0, 0.5, 0.2, 0.05, 0.01}) {
    SCOPED_TRACE(rate);
    IOParams params;
    params.J2000_Rate = rate;
    const QByteArray bytes = encode("jp2", image, params);
    Bitmap back;
    ASSERT_TRUE(decode(bytes, "rate.jp2", back));
    const double quality = psnrOfSamples(image, back);
    EXPECT_LT(double(bytes.size()), lastSize);
    EXPECT_LT(quality, lastPsnr);
    if (rate < 1) EXPECT_LE(bytes.size(), rate * raw * 1.05 + 400);  // the headers on top
    else EXPECT_EQ(quality, 99.0);
    lastSize = double(bytes.size());
    lastPsnr = quality;
  }
}

TEST(NativeCodecs, Jpeg2000RateMustBePositive) {
  for (const double rate : {0.0, -0.5, std::nan("")}) {
    IOParams params;
    params.J2000_Rate = rate;
    QByteArray bytes;
    QString error;
    EXPECT_FALSE(encodeImage("jp2", photo(8, 8), params, bytes, &error)) << rate;
    EXPECT_TRUE(error.contains("rate")) << error.toStdString();
  }
}

TEST(NativeCodecs, Jpeg2000ExtensionChoosesFileOrCodeStream) {
  const Bitmap image = photo(16, 16);
  const QByteArray boxed = encode("jp2", image), bare = encode("j2k", image), j2c = encode("j2c", image);
  EXPECT_EQ(detectFileType(reinterpret_cast<const uint8_t*>(boxed.constData()), size_t(boxed.size())),
            FileTypeCode::JP2);
  EXPECT_EQ(detectFileType(reinterpret_cast<const uint8_t*>(bare.constData()), size_t(bare.size())),
            FileTypeCode::J2K);
  EXPECT_TRUE(j2c.startsWith(QByteArray("\xFF\x4F\xFF\x51", 4)));
  Bitmap back;
  IOParams read;
  ASSERT_TRUE(decode(bare, "bare.j2k", back, nullptr, &read));
  EXPECT_EQ(read.FileType, FileTypeCode::J2K);
  EXPECT_EQ(read.BitsPerSample, 8);
  EXPECT_EQ(read.SamplesPerPixel, 3);
}

TEST(NativeCodecs, QualityTradesSizeForFidelity) {
  const Bitmap image = photo(128, 96);
  for (const char* extension : {"webp", "hdp"}) {
    SCOPED_TRACE(extension);
    IOParams low, high;
    low.WEBP_Quality = low.HDP_Quality = 20;
    high.WEBP_Quality = high.HDP_Quality = 90;
    const QByteArray small = encode(extension, image, low), large = encode(extension, image, high);
    EXPECT_LT(small.size(), large.size());
    Bitmap a, b;
    ASSERT_TRUE(decode(small, QString("low.") + extension, a));
    ASSERT_TRUE(decode(large, QString("high.") + extension, b));
    EXPECT_LT(psnrOfSamples(image, a), psnrOfSamples(image, b));
  }
}

TEST(NativeCodecs, HdPhotoKeepsResolution) {
  IOParams params;
  params.DpiX = 300;
  params.DpiY = 150;
  Bitmap back;
  IOParams read;
  ASSERT_TRUE(decode(encode("hdp", photo(20, 20), params), "dpi.hdp", back, nullptr, &read));
  EXPECT_EQ(read.DpiX, 300);
  EXPECT_EQ(read.DpiY, 150);
}

// ---------------------------------------------------------------------------------------
// GIF writing rules

TEST(NativeCodecs, GifKeepsFewColoursExactAndQuantisesMany) {
  Bitmap few(30, 20, PixelFormat::ie24RGB);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) {
      uint8_t* p = few.mutableScanline(y) + x * 3;
      p[0] = uint8_t((x % 4) * 60);
      p[1] = uint8_t((y % 5) * 50);
      p[2] = 77;
    }
  Bitmap back = roundTrip("gif", few);
  ASSERT_EQ(back.format(), PixelFormat::ie8p);
  EXPECT_TRUE(convertToRGB24(back).samePixels(few));

  const Bitmap many = photo(64, 48);
  back = roundTrip("gif", many);
  ASSERT_EQ(back.format(), PixelFormat::ie8p);
  EXPECT_LE(back.info().paletteUsed, 256);
  EXPECT_GT(psnrOfSamples(many, convertToRGB24(back)), 25.0);
}

TEST(NativeCodecs, GifAlphaBecomesOneTransparentIndexAtHalfway) {
  const uint8_t alpha[4] = {0, 127, 128, 255};
  for (const PixelFormat format : {PixelFormat::ie24RGB, PixelFormat::ie8p}) {
    SCOPED_TRACE(pixelFormatName(format));
    Bitmap image = noise(4, 1, format, false);
    if (format == PixelFormat::ie8p) {
      image.setPalette(std::vector<PaletteEntry>(256, PaletteEntry{9, 9, 9}));
      image.info().paletteUsed = 256;  // no free entry: the writer must make one
    }
    image.addAlpha();
    std::memcpy(image.mutableAlphaScanline(0), alpha, 4);
    image.setAlphaFull(false);
    const Bitmap back = roundTrip("gif", image);
    ASSERT_TRUE(back.hasAlpha());
    const uint8_t* a = back.alphaScanline(0);
    EXPECT_EQ(a[0], 0);
    EXPECT_EQ(a[1], 0);
    EXPECT_EQ(a[2], 255);
    EXPECT_EQ(a[3], 255);
    // The visible pixels keep their colours.
    const Bitmap rgbIn = convertToRGB24(image), rgbOut = convertToRGB24(back);
    EXPECT_EQ(std::memcmp(rgbIn.scanline(0) + 6, rgbOut.scanline(0) + 6, 6), 0);
  }
}

// ---------------------------------------------------------------------------------------
// First frames of animations

struct GifFrame {
  int left, top, width, height;
  bool interlaced;
  std::vector<GifColorType> localMap;  // empty: the global map
  int transparent;                     // -1: none
  std::vector<uint8_t> pixels;         // rows top-down
};

QByteArray makeGif(int width, int height, const std::vector<GifColorType>& globalMap,
                   const std::vector<GifFrame>& frames) {
  QByteArray out;
  int code = 0;
  GifFileType* gif = EGifOpen(&out, [](GifFileType* g, const GifByteType* b, int n) {
    static_cast<QByteArray*>(g->UserData)->append(reinterpret_cast<const char*>(b), n);
    return n;
  }, &code);
  EGifSetGifVersion(gif, true);
  ColorMapObject* global = GifMakeMapObject(int(globalMap.size()), globalMap.data());
  EXPECT_EQ(EGifPutScreenDesc(gif, width, height, 8, 0, global), GIF_OK);
  GifFreeMapObject(global);
  for (const GifFrame& f : frames) {
    if (f.transparent >= 0) {
      GraphicsControlBlock gcb{};
      gcb.TransparentColor = f.transparent;
      GifByteType ext[4];
      EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(EGifGCBToExtension(&gcb, ext)), ext);
    }
    ColorMapObject* local = f.localMap.empty() ? nullptr : GifMakeMapObject(int(f.localMap.size()), f.localMap.data());
    if (!local && gif->Image.ColorMap) {  // giflib drops, without freeing, the last frame's own map
      GifFreeMapObject(gif->Image.ColorMap);
      gif->Image.ColorMap = nullptr;
    }
    EXPECT_EQ(EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, local), GIF_OK);
    if (local) GifFreeMapObject(local);
    std::vector<int> order;
    if (f.interlaced) {
      for (int start : {0, 4, 2, 1})
        for (int y = start; y < f.height; y += start == 0 || start == 4 ? 8 : start == 2 ? 4 : 2) order.push_back(y);
    } else {
      for (int y = 0; y < f.height; ++y) order.push_back(y);
    }
    for (int y : order) {
      std::vector<GifPixelType> line(f.pixels.begin() + y * f.width, f.pixels.begin() + (y + 1) * f.width);
      EXPECT_EQ(EGifPutLine(gif, line.data(), f.width), GIF_OK);
    }
  }
  EGifCloseFile(gif, &code);
  return out;
}

const std::vector<GifColorType> kGrey = {{0, 0, 0}, {85, 85, 85}, {170, 170, 170}, {255, 255, 255}};

TEST(NativeCodecs, GifReadsOnlyTheFirstFrameWithItsOwnMapInterlaceAndTransparency) {
  const std::vector<GifColorType> local = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {1, 2, 3}};
  GifFrame first{0, 0, 5, 11, true, local, 3, {}};
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 5; ++x) first.pixels.push_back(uint8_t(x == 4 ? 3 : y % 3));
  GifFrame second{0, 0, 5, 11, false, {}, -1, std::vector<uint8_t>(55, 2)};
  const QByteArray gif = makeGif(5, 11, kGrey, {first, second});

  Bitmap back;
  QString error;
  IOParams read;
  ASSERT_TRUE(decode(gif, "anim.gif", back, &error, &read)) << error.toStdString();
  ASSERT_EQ(back.width(), 5);
  ASSERT_EQ(back.height(), 11);
  ASSERT_TRUE(back.hasAlpha());
  const Bitmap rgb = convertToRGB24(back);
  for (int y = 0; y < 11; ++y) {
    SCOPED_TRACE(y);
    const uint8_t* p = rgb.scanline(y);
    const GifColorType& want = local[size_t(y % 3)];  // rows in display order, colours of the local map
    EXPECT_EQ(p[2], want.Red);
    EXPECT_EQ(p[1], want.Green);
    EXPECT_EQ(p[0], want.Blue);
    EXPECT_EQ(back.alphaScanline(y)[0], 255);
    EXPECT_EQ(back.alphaScanline(y)[4], 0);
  }
  EXPECT_EQ(read.BitsPerSample, 2);
}

TEST(NativeCodecs, GifFrameSmallerThanTheScreenSitsOnATransparentCanvas) {
  GifFrame frame{2, 1, 3, 2, false, {}, -1, std::vector<uint8_t>(6, 3)};
  Bitmap back;
  ASSERT_TRUE(decode(makeGif(8, 6, kGrey, {frame}), "small.gif", back));
  ASSERT_EQ(back.width(), 8);
  ASSERT_EQ(back.height(), 6);
  ASSERT_TRUE(back.hasAlpha());
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
      EXPECT_EQ(back.alphaScanline(y)[x], inside ? 255 : 0) << x << "," << y;
      if (inside) {
        EXPECT_EQ(back.scanline(y)[x], 3);
      }
    }
}

TEST(NativeCodecs, WebpReadsTheFirstFrameOfAnAnimationWithAlpha) {
  const int w = 6, h = 4;
  WebPAnimEncoderOptions options;
  ASSERT_TRUE(WebPAnimEncoderOptionsInit(&options));
  WebPAnimEncoder* encoder = WebPAnimEncoderNew(w, h, &options);
  ASSERT_NE(encoder, nullptr);
  WebPConfig config;
  ASSERT_TRUE(WebPConfigInit(&config));
  config.lossless = 1;
  const uint32_t colours[2][2] = {{0xFFFF0000u, 0x00000000u}, {0xFF0000FFu, 0xFF0000FFu}};  // ARGB
  for (int frame = 0; frame < 2; ++frame) {
    WebPPicture picture;
    ASSERT_TRUE(WebPPictureInit(&picture));
    picture.use_argb = 1;
    picture.width = w;
    picture.height = h;
    ASSERT_TRUE(WebPPictureAlloc(&picture));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) picture.argb[y * picture.argb_stride + x] = colours[frame][x < w / 2 ? 0 : 1];
    EXPECT_TRUE(WebPAnimEncoderAdd(encoder, &picture, frame * 100, &config));
    WebPPictureFree(&picture);
  }
  EXPECT_TRUE(WebPAnimEncoderAdd(encoder, nullptr, 200, nullptr));
  WebPData data;
  WebPDataInit(&data);
  ASSERT_TRUE(WebPAnimEncoderAssemble(encoder, &data));
  const QByteArray file(reinterpret_cast<const char*>(data.bytes), qsizetype(data.size));
  WebPDataClear(&data);
  WebPAnimEncoderDelete(encoder);

  Bitmap back;
  QString error;
  ASSERT_TRUE(decode(file, "anim.webp", back, &error)) << error.toStdString();
  ASSERT_EQ(back.width(), w);
  ASSERT_TRUE(back.hasAlpha());
  const uint8_t* p = back.scanline(1);
  EXPECT_EQ(p[0], 0);    // blue
  EXPECT_EQ(p[2], 255);  // red: the first frame, not the blue second one
  EXPECT_EQ(back.alphaScanline(1)[0], 255);
  EXPECT_EQ(back.alphaScanline(1)[w - 1], 0);
}

// ---------------------------------------------------------------------------------------
// Damaged and hostile files

QByteArray le16(int v) { return QByteArray(1, char(v & 0xFF)) + QByteArray(1, char((v >> 8) & 0xFF)); }
QByteArray be16(uint32_t v) { return QByteArray(1, char(v >> 8)) + QByteArray(1, char(v & 0xFF)); }
QByteArray be32(uint32_t v) { return be16(v >> 16) + be16(v & 0xFFFF); }

// A code stream that ends after its size marker: size, tiles and components as given.
QByteArray codestream(uint32_t w, uint32_t h, uint32_t tile, int components, int subsampling = 1) {
  QByteArray s("\xFF\x4F\xFF\x51", 4);
  s += be16(uint32_t(38 + 3 * components)) + be16(0) + be32(w) + be32(h) + be32(0) + be32(0) + be32(tile) + be32(tile) +
       be32(0) + be32(0) + be16(uint32_t(components));
  for (int i = 0; i < components; ++i) s += QByteArray(1, 7) + QByteArray(1, char(subsampling)) + QByteArray(1, 1);
  return s + QByteArray(64, '\0');
}

TEST(NativeCodecs, HostileHeadersAreRefusedBeforeAnythingIsAllocated) {
  // GIF: a frame of 30000 × 30000 pixels with no data behind it.
  const QByteArray hugeGif = QByteArray("GIF89a") + le16(30000) + le16(30000) + QByteArray(3, '\0') + QByteArray(1, ',') +
                             le16(0) + le16(0) + le16(30000) + le16(30000) + QByteArray("\0\x02\0;", 4);
  const std::pair<const char*, QByteArray> cases[] = {
      {"huge.gif", hugeGif},
      {"tiles.j2k", codestream(256, 256, 1, 3)},
      {"subsampled.j2k", codestream(64, 64, 64, 3, 2)},
      {"components.j2k", codestream(64, 64, 64, 17)},
      {"huge.j2k", codestream(100000, 100000, 100000, 1)},
      {"empty.jp2", QByteArray("\0\0\0\x0CjP  \r\n\x87\n", 12) + QByteArray(20, '\0')},
  };
  const char* expected[] = {"too short", "tiles", "sub-sampled", "17 components", "too large", "no code stream"};
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].first);
    Bitmap back;
    QString error;
    EXPECT_FALSE(decode(cases[i].second, cases[i].first, back, &error));
    EXPECT_TRUE(error.contains(expected[i])) << error.toStdString();
    EXPECT_TRUE(back.isNull());
  }
}

TEST(NativeCodecs, TruncatedAndGarbledFilesFailCleanly) {
  const Bitmap image = photo(64, 48);
  IOParams lossless;
  lossless.J2000_Rate = 1.0;
  for (const char* extension : {"gif", "webp", "jp2", "j2k", "hdp"}) {
    SCOPED_TRACE(extension);
    const QByteArray whole = encode(extension, image, lossless);
    ASSERT_GT(whole.size(), 64);
    QString error;
    Bitmap back;
    EXPECT_FALSE(decode(whole.left(whole.size() / 2), QString("cut.") + extension, back, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(back.isNull());
    QByteArray garbled = whole.left(16) + QByteArray(whole.size() - 16, '\x5A');
    EXPECT_FALSE(decode(garbled, QString("garbled.") + extension, back, &error));
    EXPECT_TRUE(back.isNull());
  }
}

// Random damage in the middle of the coded data, where no header check reaches: the
// HD Photo library crashes on some of it, and that must cost only the one file.
TEST(NativeCodecs, RandomDamageNeverTakesTheProgramDown) {
  std::mt19937 rng(42);
  Bitmap image = photo(40, 33);
  image.addAlpha(100);
  for (const char* extension : {"hdp", "jp2", "j2k", "gif", "webp"}) {
    SCOPED_TRACE(extension);
    const QByteArray whole = encode(extension, image);
    for (int round = 0; round < 60; ++round) {
      QByteArray damaged = whole;
      for (unsigned flips = 1 + rng() % 4; flips > 0; --flips)
        damaged[qsizetype(rng() % size_t(damaged.size()))] = char(rng());
      if (round % 5 == 0) damaged.truncate(qsizetype(rng() % size_t(damaged.size())));
      Bitmap back;
      QString error;
      if (decode(damaged, QString("damaged.") + extension, back, &error)) {
        EXPECT_EQ(back.width(), 40);
        EXPECT_EQ(back.height(), 33);
      } else {
        EXPECT_TRUE(back.isNull());
        EXPECT_FALSE(error.isEmpty());
      }
    }
  }
}

}  // namespace
}  // namespace lumo
