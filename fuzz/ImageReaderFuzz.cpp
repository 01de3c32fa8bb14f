#include "ImageReaderFuzz.h"

#include "engine/io/ImageCodecs.h"

namespace lumo {

namespace {

using Reader = bool (*)(const uint8_t*, size_t, Bitmap&, IOParams&, QString&);
using Writer = bool (*)(const Bitmap&, const IOParams&, QByteArray&, QString&);
struct Codec {
  const char* extension;
  Reader read;
  Writer write;
};
const Codec kCodecs[] = {
    {"jpg", readJpeg, writeJpeg}, {"png", readPng, writePng}, {"bmp", readBmp, writeBmp}, {"tif", readTiff, writeTiff}};

}  // namespace

void fuzzImageReaders(const uint8_t* data, size_t size) {
  for (const Codec& c : kCodecs) {
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
  for (const Codec& c : kCodecs) {
    int n = 0;
    for (const Bitmap* b : {&rgb, &withAlpha, &grey}) {
      IOParams params;
      QByteArray bytes;
      QString error;
      if (c.write(*b, params, bytes, error))
        seeds.emplace_back(std::string("seed") + std::to_string(n++) + "." + c.extension,
                           std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
  }
  return seeds;
}

}  // namespace lumo
