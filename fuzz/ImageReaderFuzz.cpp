#include "ImageReaderFuzz.h"

#include "engine/io/CodecTable.h"
#include "engine/io/FileTypeRegistry.h"
#include "engine/io/ImageFile.h"

namespace lumo {

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
  return seeds;
}

}  // namespace lumo
