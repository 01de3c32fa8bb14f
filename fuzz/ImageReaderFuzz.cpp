#include "ImageReaderFuzz.h"

#include "engine/io/CodecTable.h"
#include "engine/io/FileTypeRegistry.h"

namespace lumo {

void fuzzImageReaders(const uint8_t* data, size_t size) {
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
