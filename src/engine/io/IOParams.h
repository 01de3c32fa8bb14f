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

// The program-wide choice of camera RAW decoder. The values are the import dialog's:
// list item i chooses engine i + 2; Auto lets the platform pick (LibRaw here).
enum class RawEngine : int32_t { Auto = 0, LibRaw = 2, WIC = 3, Legacy = 4 };
RawEngine rawEngine();
void setRawEngine(RawEngine engine);
// The engine that decodes under `chosen`: Auto resolves to LibRaw.
RawEngine rawEngineInUse(RawEngine chosen);

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
  // What the last load found; writers choose the depth from the bitmap itself.
  int32_t BitsPerSample = 8;
  int32_t SamplesPerPixel = 3;
  int32_t DpiX = 96;
  int32_t DpiY = 96;
  int32_t Orientation = 1;  // EXIF/TIFF orientation as stored in the file, 1 = upright
  bool EnableAdjustOrientation = true;  // readers turn the image upright

  // Load the file's embedded thumbnail instead of its image (camera RAW files).
  bool GetThumbnail = false;
  // Camera RAW decoding.
  bool RAW_HalfSize = false;
  bool RAW_GetEmbeddedJpeg = false;  // the largest embedded preview instead of the raw data
  bool RAW_FourColorRGB = false;
  bool RAW_QuickInterpolate = false;
  bool RAW_UseAutoWB = true;
  bool RAW_UseCameraWB = true;
  bool RAW_AutoAdjustColors = false;
  double RAW_Gamma = 2.222;
  double RAW_GammaToeSlope = 4.5;
  bool RAW_AutoBright = false;
  double RAW_Bright = 1.0;
  int32_t RAW_OutputColorSpace = 1;  // 0 raw, 1 sRGB, 2 Adobe, 3 wide gamut, 4 ProPhoto, 5 XYZ
  int32_t RAW_Highlight = 0;         // 0 clip, 1 unclip, 2 blend, 3 ... 9 rebuild levels 1 ... 7
  int32_t RAW_Interpolation = 0;     // 0 linear, 1 VNG, 2 PPG, 3 AHD, 4 DCB
  double RAW_RedScale = 1.0;         // gains on red and blue after white balance
  double RAW_BlueScale = 1.0;
  QString RAW_Camera;                // maker and model as the decoder names them
  // EXIF facts of the last camera RAW load; empty or 0 when the file has none.
  QString EXIF_DateTimeOriginal;  // "YYYY:MM:DD HH:MM:SS"
  QString EXIF_LensMake;
  QString EXIF_LensModel;
  double EXIF_FNumber = 0.0;
  double EXIF_FocalLength = 0.0;    // millimetres
  double EXIF_ExposureTime = 0.0;   // seconds
  int32_t EXIF_ISOSpeedRatings = 0;
};

// File-type codes that stored files rely on.
namespace FileTypeCode {
constexpr int32_t TIFF = 1;
constexpr int32_t JPEG = 3;
constexpr int32_t PNG = 8;
constexpr int32_t LMRD = 26;
}  // namespace FileTypeCode

}  // namespace lumo
