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
      {RAW, readRaw, nullptr},
      {GIF, readGif, writeGif},
      {WEBP, readWebp, writeWebp},
      {JP2, readJpeg2000, writeJpeg2000},
      {J2K, readJpeg2000, writeJpeg2000},
      {HDP, readHdPhoto, writeHdPhoto},
      {PCX, readPcx, writePcx},
      {ICO, readIco, writeIco},
      {TGA, readTga, writeTga},
      {PNM, readPnm, writePnm},
      {PSD, readPsd, writePsd},
      {DPX, readDpx, writeDpx},
      {DCX, readDcx, writeDcx},
      {JNG, readJng, writeJng},
      {CIN, readCin, writeCin},
      {PICT, readPict, writePict},
      {HEIF, readHeif, nullptr},
      {AVIF, readAvif, nullptr},
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
