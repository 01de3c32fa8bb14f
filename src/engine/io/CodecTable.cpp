#include "engine/io/CodecTable.h"

#include "engine/io/FileTypeRegistry.h"
#include "engine/io/ImageCodecs.h"

namespace lumo {

const std::vector<Codec>& codecs() {
  using namespace FileTypeCode;
  static const std::vector<Codec> table = {
      {JPEG, readJpeg, writeJpeg},
      {PNG, readPng, writePng},
      {BMP, readBmp, writeBmp},
      {TIFF, readTiff, writeTiff},
      {DICOM, readDicom, writeDicom},
      {SVG, readSvg, writeSvg},
      {PDF, readPdf, writePdf},
  };
  return table;
}

const Codec* codecOf(int32_t code) {
  for (const Codec& c : codecs())
    if (c.code == code) return &c;
  return nullptr;
}

}  // namespace lumo
