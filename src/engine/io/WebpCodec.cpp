#include <algorithm>
#include <memory>

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include "engine/io/AlphaInterleave.h"
#include "engine/io/ImageCodecs.h"
#include "engine/pixels/PixelConvert.h"

namespace lumo {

namespace {

constexpr int kMaxWebpSide = 16383;

struct AnimDecoderDeleter {
  void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

// The first frame of an animation, composed on its canvas the way a player shows it.
bool readFirstFrame(const uint8_t* data, size_t size, int width, int height, Bitmap& image, QString& error) {
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) {
    error = "The WebP decoder cannot be set up";
    return false;
  }
  options.color_mode = MODE_BGRA;
  options.use_threads = 0;
  const WebPData webp{data, size};
  std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter> decoder(WebPAnimDecoderNew(&webp, &options));
  WebPAnimInfo info;
  if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info) || int(info.canvas_width) != width ||
      int(info.canvas_height) != height) {
    error = "Invalid WebP animation";
    return false;
  }
  uint8_t* canvas = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) || !canvas) {
    error = "Invalid WebP data: the first frame cannot be decoded";
    return false;
  }
  image.addAlpha();  // the canvas around and under the frame may be transparent
  splitAlpha(canvas, size_t(width) * 4, 1, image);
  return true;
}

}  // namespace

bool readWebp(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK) {
    error = "Invalid WebP data";
    return false;
  }
  // For an animation these are the canvas's; the decoders allocate them whole.
  const int w = features.width, h = features.height;
  if (!checkDeclaredSize(w, h, 4, size, error)) return false;
  Bitmap image(w, h, PixelFormat::ie24RGB);
  const bool alpha = features.has_alpha != 0;
  if (alpha) image.addAlpha();
  if (features.has_animation) {
    if (!readFirstFrame(data, size, w, h, image, error)) return false;
  } else if (alpha) {
    ByteBuffer bgra(size_t(w) * size_t(h) * 4);
    if (!WebPDecodeBGRAInto(data, size, bgra.data(), bgra.size(), w * 4)) {
      error = "Invalid WebP data: the image cannot be decoded";
      return false;
    }
    splitAlpha(bgra.data(), size_t(w) * 4, 1, image);
  } else if (!WebPDecodeBGRInto(data, size, image.mutableBits(), image.byteCount(), int(image.rowBytes()))) {
    error = "Invalid WebP data: the image cannot be decoded";
    return false;
  }
  if (image.hasAlpha() && image.isOpaque()) image.removeAlpha();
  params.BitsPerSample = 8;
  params.SamplesPerPixel = image.hasAlpha() ? 4 : 3;
  out = std::move(image);
  return true;
}

// WEBP_Quality 1 ... 99 encodes lossy at that quality; 100 encodes lossless, keeping
// every pixel (also the colour under fully transparent alpha). Alpha is always kept
// without loss. Every format is written as 24-bit colour, with alpha when it has a plane.
bool writeWebp(const Bitmap& source, const IOParams& params, const QString& /*extension*/, QByteArray& out,
               QString& error) {
  if (source.width() > kMaxWebpSide || source.height() > kMaxWebpSide) {
    error = QString("WebP images are limited to %1 x %1 pixels").arg(kMaxWebpSide);
    return false;
  }
  const Bitmap image = convertToRGB24(source);
  const int quality = std::clamp(params.WEBP_Quality, 1, 100);
  WebPConfig config;
  if (!WebPConfigInit(&config)) {
    error = "The WebP encoder cannot be set up";
    return false;
  }
  if (quality == 100) {
    config.lossless = 1;
    config.exact = 1;
    config.quality = 75;  // effort, not loss
  } else {
    config.quality = float(quality);
  }
  config.thread_level = 0;

  WebPPicture picture;
  if (!WebPPictureInit(&picture)) {
    error = "The WebP encoder cannot be set up";
    return false;
  }
  picture.use_argb = config.lossless;
  picture.width = image.width();
  picture.height = image.height();
  bool imported;
  if (image.hasAlpha()) {
    const ByteBuffer bgra = interleaveAlpha(image, 1);
    imported = WebPPictureImportBGRA(&picture, bgra.data(), image.width() * 4);
  } else {
    imported = WebPPictureImportBGR(&picture, image.bits(), int(image.rowBytes()));
  }
  if (!imported) {
    WebPPictureFree(&picture);
    error = "Out of memory";
    return false;
  }
  WebPMemoryWriter writer;
  WebPMemoryWriterInit(&writer);
  picture.writer = WebPMemoryWrite;
  picture.custom_ptr = &writer;
  const bool ok = WebPEncode(&config, &picture);
  const int code = picture.error_code;
  WebPPictureFree(&picture);
  if (!ok) {
    WebPMemoryWriterClear(&writer);
    error = QString("Cannot encode the WebP image (encoder error %1)").arg(code);
    return false;
  }
  out = QByteArray(reinterpret_cast<const char*>(writer.mem), qsizetype(writer.size));
  WebPMemoryWriterClear(&writer);
  return true;
}

}  // namespace lumo
