// Camera RAW files through LibRaw (thread-safe build); embedded previews through Exiv2.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include <exiv2/exiv2.hpp>
#include <libraw/libraw.h>

#include <QDateTime>

#include "engine/io/ImageCodecs.h"
#include "engine/io/RawSettings.h"

namespace lumo {

namespace {

void scaleRedAndBlue(void* context);

// LibRaw calls its step hooks with itself; the red and blue gains ride along.
class RawDecoder : public LibRaw {
 public:
  // No messages on stderr: errors come back as codes.
  RawDecoder() : LibRaw(LIBRAW_OPIONS_NO_MEMERR_CALLBACK | LIBRAW_OPIONS_NO_DATAERR_CALLBACK) {
    callbacks.pre_preinterpolate_cb = scaleRedAndBlue;
  }
  float redGain = 1.0f;
  float blueGain = 1.0f;
};

// The red and blue gains, applied to the white-balanced sensor values before
// interpolation, as a change of the white balance's red and blue multipliers would.
// Sensors without red or blue filters (CMYG) take no gains.
void scaleRedAndBlue(void* context) {
  auto* raw = static_cast<RawDecoder*>(static_cast<LibRaw*>(context));
  libraw_data_t& d = raw->imgdata;
  if (!d.image) return;
  const char* desc = d.idata.cdesc;  // the colour of each of the four channels
  const auto* red = static_cast<const char*>(std::memchr(desc, 'R', 4));
  const auto* blue = static_cast<const char*>(std::memchr(desc, 'B', 4));
  const size_t pixels = size_t(d.sizes.iheight) * d.sizes.iwidth;
  for (const auto& [channel, gain] : {std::pair{red, raw->redGain}, std::pair{blue, raw->blueGain}}) {
    if (!channel || gain == 1.0f) continue;
    const size_t c = size_t(channel - desc);
    for (size_t i = 0; i < pixels; ++i)
      d.image[i][c] = ushort(std::min(65535.0f, float(d.image[i][c]) * gain + 0.5f));
  }
}

QString librawError(int code) {
  switch (code) {
    case LIBRAW_FILE_UNSUPPORTED: return "The file is not a camera RAW file that can be decoded";
    case LIBRAW_DATA_ERROR:
    case LIBRAW_IO_ERROR: return "The camera RAW data is damaged or cut short";
    case LIBRAW_UNSUFFICIENT_MEMORY:
    case LIBRAW_MEMPOOL_OVERFLOW: return "There is not enough memory to decode the camera RAW file";
    case LIBRAW_TOO_BIG: return "The camera RAW image is too large";
    case LIBRAW_NO_THUMBNAIL: return "The camera RAW file has no thumbnail";
    case LIBRAW_UNSUPPORTED_THUMBNAIL: return "The thumbnail of the camera RAW file is in a format that cannot be read";
    default: return QString("The camera RAW file could not be decoded (%1)").arg(libraw_strerror(code));
  }
}

struct ProcessedDeleter {
  void operator()(libraw_processed_image_t* p) const { LibRaw::dcraw_clear_mem(p); }
};
using Processed = std::unique_ptr<libraw_processed_image_t, ProcessedDeleter>;

// LibRaw's flip code (bit 4 swaps the axes, 2 flips rows, 1 flips columns) as the
// EXIF orientation it was read from.
int orientationOfFlip(int flip) {
  static const int exif[8] = {1, 2, 4, 3, 5, 8, 6, 7};
  return exif[flip & 7];
}

QString text(const char* s, size_t capacity) { return QString::fromLatin1(s, qsizetype(qstrnlen(s, capacity))).trimmed(); }

void takeMetadata(const libraw_data_t& d, IOParams& p) {
  p.RAW_Camera = (text(d.idata.make, sizeof d.idata.make) + ' ' + text(d.idata.model, sizeof d.idata.model)).trimmed();
  p.EXIF_DateTimeOriginal =
      d.other.timestamp > 0
          ? QDateTime::fromSecsSinceEpoch(qint64(d.other.timestamp)).toString("yyyy:MM:dd HH:mm:ss")
          : QString();
  p.EXIF_LensMake = text(d.lens.LensMake, sizeof d.lens.LensMake);
  p.EXIF_LensModel = text(d.lens.Lens, sizeof d.lens.Lens);
  p.EXIF_FNumber = d.other.aperture > 0 ? d.other.aperture : kNoExifReal;
  p.EXIF_FocalLength = d.other.focal_len > 0 ? d.other.focal_len : kNoExifReal;
  p.EXIF_ExposureTime = d.other.shutter > 0 ? d.other.shutter : kNoExifReal;
  p.EXIF_ISOSpeedRatings = d.other.iso_speed > 0 ? int32_t(std::lround(d.other.iso_speed)) : kNoExifInt;
}

// 8-bit grey or RGB rows as LibRaw hands them out.
bool toBitmap(const libraw_processed_image_t& img, Bitmap& out, QString& error) {
  const int w = img.width, h = img.height, colors = img.colors;
  if (img.bits != 8 || (colors != 1 && colors != 3) || w <= 0 || h <= 0 ||
      size_t(w) * size_t(h) * size_t(colors) > img.data_size) {
    error = "The camera RAW decoder returned an image in an unexpected layout";
    return false;
  }
  Bitmap image(w, h, colors == 3 ? PixelFormat::ie24RGB : PixelFormat::ie8g);
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = img.data + size_t(y) * size_t(w) * size_t(colors);
    uint8_t* d = image.mutableScanline(y);
    if (colors == 1) {
      std::memcpy(d, s, size_t(w));
      continue;
    }
    for (int x = 0; x < w; ++x, s += 3, d += 3) {  // red-green-blue to blue-green-red
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
    }
  }
  out = std::move(image);
  return true;
}

// The image a JPEG or TIFF stream inside the RAW file holds, not turned: the RAW file's
// own orientation applies to it.
bool decodeEmbedded(const uint8_t* data, size_t size, bool jpeg, Bitmap& out, QString& error) {
  IOParams inner;
  inner.EnableAdjustOrientation = false;
  return jpeg ? readJpeg(data, size, out, inner, error) : readTiff(data, size, out, inner, error);
}

bool readThumbnail(RawDecoder& raw, size_t fileSize, Bitmap& out, QString& error) {
  if (const int rc = raw.unpack_thumb(); rc != LIBRAW_SUCCESS) {
    error = librawError(rc);
    return false;
  }
  const libraw_thumbnail_t& t = raw.imgdata.thumbnail;
  if (t.tformat == LIBRAW_THUMBNAIL_BITMAP && !checkDeclaredSize(t.twidth, t.theight, 3.0, fileSize, error))
    return false;
  int rc = LIBRAW_SUCCESS;
  const Processed img(raw.dcraw_make_mem_thumb(&rc));
  if (!img) {
    error = librawError(rc);
    return false;
  }
  if (img->type == LIBRAW_IMAGE_JPEG) return decodeEmbedded(img->data, img->data_size, true, out, error);
  return toBitmap(*img, out, error);
}

// The largest embedded preview that decodes. Cameras store it as a JPEG; DNG files keep
// theirs as a TIFF image (JPEG-compressed or plain), which Exiv2 hands out as a TIFF.
bool readEmbeddedPreview(const uint8_t* data, size_t size, Bitmap& out, QString& error) {
  static const bool xmpReady = Exiv2::XmpParser::initialize();  // not thread-safe on first use
  (void)xmpReady;
  Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(data, long(size));
  if (!image.get()) {
    error = "The camera RAW file has no embedded preview";
    return false;
  }
  image->readMetadata();
  const Exiv2::PreviewManager previews(*image);
  const Exiv2::PreviewPropertiesList list = previews.getPreviewProperties();  // smallest first
  QString lastError;
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    const bool jpeg = it->mimeType_ == "image/jpeg";
    if (!jpeg && it->mimeType_ != "image/tiff") continue;
    const Exiv2::PreviewImage preview = previews.getPreviewImage(*it);
    if (decodeEmbedded(preview.pData(), preview.size(), jpeg, out, lastError)) return true;
  }
  error = lastError.isEmpty() ? QString("The camera RAW file has no embedded preview")
                              : QString("The embedded preview cannot be read: %1").arg(lastError);
  return false;
}

bool readRawImage(RawDecoder& raw, size_t fileSize, Bitmap& out, QString& error) {
  const libraw_data_t& d = raw.imgdata;
  // Each raw pixel holds one 16-bit sample under a colour filter, else one per colour.
  const int samples = d.idata.filters ? 1 : std::max(1, d.idata.colors);
  if (!checkDeclaredSize(d.sizes.raw_width, d.sizes.raw_height, 2.0 * samples, fileSize, error) ||
      !checkDeclaredSize(d.sizes.width, d.sizes.height, 0.0, fileSize, error))
    return false;
  int rc = raw.unpack();
  if (rc == LIBRAW_SUCCESS) rc = raw.dcraw_process();
  if (rc != LIBRAW_SUCCESS) {
    error = librawError(rc);
    return false;
  }
  const Processed img(raw.dcraw_make_mem_image(&rc));
  if (!img) {
    error = librawError(rc);
    return false;
  }
  return toBitmap(*img, out, error);
}

bool decodeRaw(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  auto raw = std::make_unique<RawDecoder>();
  libraw_data_t& d = raw->imgdata;
  const RawEngine engine = rawEngineInUse(rawEngine());
  applyRawSettings(params, engine, d.params);
  // LibRaw's own cap on the raw buffer, as large as our pixel cap at 16 bits.
  d.params.max_raw_memory_mb = unsigned(kMaxImagePixels * 2 / (1024 * 1024));
  const IOParams honoured = rawSettingsHonouredBy(params, engine);
  raw->redGain = float(std::clamp(honoured.RAW_RedScale, 0.0, 16.0));
  raw->blueGain = float(std::clamp(honoured.RAW_BlueScale, 0.0, 16.0));

  if (const int rc = raw->open_buffer(const_cast<uint8_t*>(data), size); rc != LIBRAW_SUCCESS) {
    error = librawError(rc);
    return false;
  }
  const int orientation = orientationOfFlip(d.sizes.flip);
  Bitmap image;
  if (params.GetThumbnail || params.RAW_GetEmbeddedJpeg) {
    const bool ok = params.GetThumbnail ? readThumbnail(*raw, size, image, error)
                                        : readEmbeddedPreview(data, size, image, error);
    if (!ok) return false;
    if (params.EnableAdjustOrientation) image = applyOrientation(image, orientation);
  } else if (!readRawImage(*raw, size, image, error)) {
    return false;  // LibRaw turned the image itself (see applyRawSettings)
  }
  takeMetadata(d, params);
  params.Orientation = orientation;
  params.BitsPerSample = 8;
  params.SamplesPerPixel = image.format() == PixelFormat::ie8g ? 1 : 3;
  out = std::move(image);
  return true;
}

}  // namespace

bool readRaw(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  // LibRaw reports most failures as codes, but allocation failures and Exiv2's errors
  // arrive as exceptions.
  try {
    return decodeRaw(data, size, out, params, error);
  } catch (const std::bad_alloc&) {
    error = librawError(LIBRAW_UNSUFFICIENT_MEMORY);
  } catch (const Exiv2::AnyError& e) {
    error = QString("The embedded preview cannot be read: %1").arg(QString::fromStdString(e.what()));
  } catch (const std::exception& e) {
    error = QString("The camera RAW file could not be decoded (%1)").arg(e.what());
  } catch (...) {
    error = "The camera RAW file could not be decoded";
  }
  return false;
}

}  // namespace lumo
