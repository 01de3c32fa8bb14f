#pragma once
#include <cstdint>

#include <QSize>
#include <QString>

namespace lumo {

// Order of the TIFF compression list of the save options; stored settings hold the index.
enum class TiffCompression : int32_t {
  Uncompressed = 0,
  CCITT1D,
  G3FAX1D,
  G3FAX2D,
  G4FAX,
  LZW,
  OldJPEG,  // "Legacy JPEG": readable only, no encoder exists for it
  JPEG,
  Packbits,
  ZIP,      // Adobe deflate
  Deflate,  // the older deflate code
};

enum class BmpCompression : int32_t { Uncompressed = 0, RLE = 1 };

// DICOM transfer syntaxes by their stored codes (the batch converter's list maps onto
// them): uncompressed explicit little endian, RLE, lossy JPEG baseline, lossy JPEG 2000,
// lossless JPEG 2000.
enum class DicomCompression : int32_t { Uncompressed = 1, RLE = 3, JPEG = 6, JPEG2000 = 8, LosslessJPEG2000 = 9 };

// Per-version input/output parameters: what the last load found and what the next
// save uses.
struct IOParams {
  int32_t IEN_Compression = -1;
  QString IEN_Description;
  bool IEN_StoreBackground = true;
  bool IEN_GetThumbnail = false;
  int32_t IEN_Version = 0;     // stream version of the last block read
  int32_t IEN_LayerCount = 0;  // layer count of the last block read
  int32_t ImageCount = 1;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t OriginalWidth = 0;
  int32_t OriginalHeight = 0;
  QString FileName;
  int32_t FileType = 0;  // file-type code of the registry
  QSize ThumbnailSize;    // of the thumbnail the last block read carried; empty when none

  int32_t JPEG_Quality = 80;  // 1 ... 100
  BmpCompression BMP_Compression = BmpCompression::Uncompressed;
  int32_t PNG_Compression = 5;  // zlib level: 0 none ... 9 max
  TiffCompression TIFF_Compression = TiffCompression::Uncompressed;
  // DICOM: transfer syntax of the next save, and the quality 1 ... 100 of its lossy kinds
  DicomCompression DICOM_Compression = DicomCompression::Uncompressed;
  int32_t DICOM_JPEGQuality = 80;
  // What the last load found; writers choose the depth from the bitmap itself.
  int32_t BitsPerSample = 8;
  int32_t SamplesPerPixel = 3;
  int32_t DpiX = 96;
  int32_t DpiY = 96;
  int32_t Orientation = 1;  // EXIF/TIFF orientation as stored in the file, 1 = upright
  bool EnableAdjustOrientation = true;  // readers turn the image upright
};

// File-type codes that stored files rely on.
namespace FileTypeCode {
constexpr int32_t TIFF = 1;
constexpr int32_t JPEG = 3;
constexpr int32_t PNG = 8;
constexpr int32_t LMRD = 26;
}  // namespace FileTypeCode

}  // namespace lumo
