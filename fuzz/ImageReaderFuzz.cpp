#include "ImageReaderFuzz.h"

#include <libheif/heif.h>

#include "engine/io/CodecTable.h"
#include "engine/io/FileTypeRegistry.h"
#include "engine/io/ImageFile.h"

// The HEVC encoder that makes the HEIF seed keeps some memory until the process ends.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx265.so\n"; }

namespace lumo {

namespace {

heif_error appendBytes(heif_context*, const void* data, size_t size, void* userdata) {
  auto* out = static_cast<std::vector<uint8_t>*>(userdata);
  out->insert(out->end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
  return {heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

// A small picture with alpha from libheif's encoder; empty when there is none for `format`.
std::vector<uint8_t> heifSeed(heif_compression_format format) {
  std::vector<uint8_t> out;
  if (!heif_have_encoder_for_format(format)) return out;
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  heif_image* image = nullptr;
  heif_context_get_encoder_for_format(context, format, &encoder);
  heif_image_create(16, 8, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, &image);
  heif_image_add_plane(image, heif_channel_interleaved, 16, 8, 8);
  int stride = 0;
  uint8_t* p = heif_image_get_plane(image, heif_channel_interleaved, &stride);
  for (int i = 0; i < stride * 8; ++i) p[i] = uint8_t(i * 7);
  heif_writer writer{1, appendBytes};
  if (heif_context_encode_image(context, image, encoder, nullptr, nullptr).code == heif_error_Ok)
    heif_context_write(context, &writer, &out);
  heif_image_release(image);
  heif_encoder_release(encoder);
  heif_context_free(context);
  return out;
}

}  // namespace

void fuzzImageReaders(const uint8_t* data, size_t size) {
  {  // the whole load: the type the bytes name, then its metadata
    Bitmap out;
    IOParams params;
    decodeImage(data, size, QString(), out, params, nullptr);
  }
  for (const Codec& c : codecs()) {
    if (!c.read) continue;
    Bitmap out;
    IOParams params;
    QString error;
    c.read(data, size, out, params, error);
  }
}

std::vector<std::pair<std::string, std::vector<uint8_t>>> makeSeedImages() {
  Bitmap rgb(7, 5, PixelFormat::ie24RGB);
  uint8_t* p = rgb.mutableBits();
  for (size_t i = 0; i < rgb.byteCount(); ++i) p[i] = uint8_t(i * 13);
  Bitmap withAlpha = rgb;
  withAlpha.addAlpha(128);
  Bitmap grey(6, 4, PixelFormat::ie8g);
  grey.fill(90);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> seeds;
  for (const Codec& c : codecs()) {
    if (!c.write) continue;
    const QString extension = fileTypeByCode(c.code)->extensions.front().toLower();
    int n = 0;
    for (const Bitmap* b : {&rgb, &withAlpha, &grey}) {
      IOParams params;
      QByteArray bytes;
      QString error;
      if (c.write(*b, params, extension, bytes, error))
        seeds.emplace_back(std::string("seed") + std::to_string(n++) + "." + extension.toStdString(),
                           std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
  }
  // The read-only types get a picture from their library's encoder.
  for (const auto& [name, format] :
       {std::pair{"seed0.heic", heif_compression_HEVC}, std::pair{"seed0.avif", heif_compression_AV1}})
    if (std::vector<uint8_t> bytes = heifSeed(format); !bytes.empty()) seeds.emplace_back(name, std::move(bytes));
  // Compressed DICOM reaches the RLE, JPEG and JPEG 2000 decoders.
  for (DicomCompression compression :
       {DicomCompression::RLE, DicomCompression::JPEG, DicomCompression::LosslessJPEG2000}) {
    IOParams params;
    params.DICOM_Compression = compression;
    QByteArray bytes;
    QString error;
    if (codecOf(FileTypeCode::DICOM)->write(rgb, params, "dcm", bytes, error))
      seeds.emplace_back("seed_" + std::to_string(int(compression)) + ".dcm",
                         std::vector<uint8_t>(bytes.begin(), bytes.end()));
  }
  return seeds;
}

}  // namespace lumo
