// HEIF (HEVC) and AVIF (AV1) pictures, read through libheif: the primary image with its
// alpha channel.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include <libheif/heif.h>

#include "engine/io/FileTypeRegistry.h"
#include "engine/io/ImageCodecs.h"

namespace lumo {

namespace {

struct ContextFree {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleFree {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageFree {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

bool failed(const heif_error& e, const char* what, QString& error) {
  if (e.code == heif_error_Ok) return false;
  error = QString("Invalid %1 data: %2").arg(what, QString::fromUtf8(e.message));
  return true;
}

// The dav1d plugin of libheif 1.15 loses a buffer on every AV1 stream that fails to decode;
// the reference decoder does not.
bool hasDecoder(const char* id) {
  const heif_decoder_descriptor* found[8];
  const int n = heif_get_decoder_descriptors(heif_compression_AV1, found, 8);
  for (int i = 0; i < n; ++i)
    if (std::strcmp(heif_decoder_descriptor_get_id_name(found[i]), id) == 0) return true;
  return false;
}

bool readIsoImage(int32_t type, const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  const bool avif = type == FileTypeCode::AVIF;
  const char* what = avif ? "AVIF" : "HEIF";
  if (detectFileType(data, std::min(size, kDetectBytes)) != type) {
    error = QString("Not a %1 file").arg(what);
    return false;
  }
  static std::once_flag once;
  std::call_once(once, [] { heif_init(nullptr); });
  const heif_compression_format compression = avif ? heif_compression_AV1 : heif_compression_HEVC;
  if (!heif_have_decoder_for_format(compression)) {
    error = QString("This build has no decoder for %1 images").arg(what);
    return false;
  }

  std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
  heif_context_set_max_decoding_threads(context.get(), 2);
  if (failed(heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr), what, error)) return false;
  heif_image_handle* rawHandle = nullptr;
  if (failed(heif_context_get_primary_image_handle(context.get(), &rawHandle), what, error)) return false;
  std::unique_ptr<heif_image_handle, HandleFree> handle(rawHandle);

  // The coded size, before any crop or turn, decides whether decoding may start.
  const int64_t codedWidth = heif_image_handle_get_ispe_width(handle.get());
  const int64_t codedHeight = heif_image_handle_get_ispe_height(handle.get());
  // Video coding squeezes flat pictures far below deflate's limit; 1/32 byte per pixel
  // still bounds what a file can make us allocate.
  if (!checkDeclaredSize(codedWidth, codedHeight, 1.0 / 32.0, size, error)) return false;

  const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
  const bool deep = heif_image_handle_get_luma_bits_per_pixel(handle.get()) > 8;
  const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                  : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
  std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
  // The file's rotation and mirroring are part of how the picture is meant to be shown,
  // like the EXIF orientation of other formats, and obey the same switch.
  options->ignore_transformations = params.EnableAdjustOrientation ? 0 : 1;
  if (avif && hasDecoder("aom")) options->decoder_id = "aom";
  heif_image* rawImage = nullptr;
  if (failed(heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, chroma, options.get()), what, error))
    return false;
  std::unique_ptr<heif_image, ImageFree> image(rawImage);

  const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
  const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  if (!plane || w <= 0 || h <= 0 || int64_t(w) * h > codedWidth * codedHeight) {
    error = QString("Invalid %1 data: the decoded picture does not match its declared size").arg(what);
    return false;
  }
  const int bits = deep ? heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) : 8;
  const uint32_t maxValue = (1u << std::clamp(bits, 1, 16)) - 1;

  Bitmap result(w, h, deep ? PixelFormat::ie48RGB : PixelFormat::ie24RGB);
  if (alpha) result.addAlpha();
  const int channels = alpha ? 4 : 3;
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = plane + size_t(stride) * size_t(y);
    uint8_t* d = result.mutableScanline(y);
    uint8_t* a = alpha ? result.mutableAlphaScanline(y) : nullptr;
    for (int x = 0; x < w; ++x) {
      if (deep) {
        const uint8_t* p = s + size_t(x) * size_t(channels) * 2;
        auto sample = [&](int c) { return uint32_t(p[2 * c] | p[2 * c + 1] << 8); };
        for (int c = 0; c < 3; ++c) {
          const uint16_t v = uint16_t((std::min(sample(c), maxValue) * 65535u + maxValue / 2) / maxValue);
          std::memcpy(d + size_t(x) * 6 + size_t(c) * 2, &v, 2);
        }
        if (a) a[x] = uint8_t((std::min(sample(3), maxValue) * 255u + maxValue / 2) / maxValue);
      } else {
        const uint8_t* p = s + size_t(x) * size_t(channels);
        d[3 * x] = p[2];
        d[3 * x + 1] = p[1];
        d[3 * x + 2] = p[0];
        if (a) a[x] = p[3];
      }
    }
  }
  if (alpha) result.setAlphaFull(result.isOpaque());
  params.BitsPerSample = deep ? bits : 8;
  params.SamplesPerPixel = channels;
  out = std::move(result);
  return true;
}

}  // namespace

bool readHeif(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  return readIsoImage(FileTypeCode::HEIF, data, size, out, params, error);
}

bool readAvif(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  return readIsoImage(FileTypeCode::AVIF, data, size, out, params, error);
}

}  // namespace lumo
