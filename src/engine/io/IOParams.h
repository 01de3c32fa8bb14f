#pragma once
#include <cstdint>
#include <limits>
#include <vector>

#include <QByteArray>
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
enum class PcxCompression : int32_t { Uncompressed = 0, RLE = 1 };

// The program-wide choice of camera RAW decoder. The values are the import dialog's:
// list item i chooses engine i + 2; Auto lets the platform pick (LibRaw here).
enum class RawEngine : int32_t { Auto = 0, LibRaw = 2, WIC = 3, Legacy = 4 };
RawEngine rawEngine();
void setRawEngine(RawEngine engine);
// The engine that decodes under `chosen`: Auto resolves to LibRaw.
RawEngine rawEngineInUse(RawEngine chosen);

// One data set of the IPTC list: record 2 holds the editorial fields (2:120 caption ...).
struct IptcRecord {
  int32_t record = 2;
  int32_t dataset = 0;
  QString value;
  friend bool operator==(const IptcRecord&, const IptcRecord&) = default;
};

// EXIF numbers that the file does not carry.
constexpr int32_t kNoExifInt = -1;
constexpr double kNoExifReal = std::numeric_limits<double>::quiet_NaN();

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
  // WebP, JPEG 2000 and HD Photo
  int32_t WEBP_Quality = 80;  // 1 ... 99 lossy, 100 lossless
  double J2000_Rate = 0.95;   // compressed size as a fraction of the raw size; 1 and above lossless
  int32_t HDP_Quality = 80;   // 1 ... 99 lossy, 100 lossless
  // PCX and DCX pages: run-length encoded or plain rows.
  PcxCompression PCX_Compression = PcxCompression::RLE;
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

  // Metadata: what the last load found, written back by the next save. The EXIF fields
  // are the editable view of EXIF_Raw; a field that differs from what EXIF_Raw says
  // wins when saving. Texts are empty, integers kNoExifInt and reals kNoExifReal when
  // the file has no such tag.
  bool EXIF_HasEXIFData = false;
  QString EXIF_ImageDescription;
  QString EXIF_Make;
  QString EXIF_Model;
  int32_t EXIF_Orientation = kNoExifInt;
  int32_t EXIF_XResolution = kNoExifInt;  // saved as DpiX unless edited
  int32_t EXIF_YResolution = kNoExifInt;
  QString EXIF_Software;
  QString EXIF_DateTime;
  QString EXIF_Copyright;
  double EXIF_ExposureTime = kNoExifReal;  // seconds
  double EXIF_FNumber = kNoExifReal;
  int32_t EXIF_ExposureProgram = kNoExifInt;
  QString EXIF_ExifVersion;  // four characters, "0232"
  QString EXIF_DateTimeOriginal;
  QString EXIF_DateTimeDigitized;
  double EXIF_CompressedBitsPerPixel = kNoExifReal;
  double EXIF_ShutterSpeedValue = kNoExifReal;
  double EXIF_ApertureValue = kNoExifReal;
  double EXIF_BrightnessValue = kNoExifReal;
  double EXIF_ExposureBiasValue = kNoExifReal;
  double EXIF_MaxApertureValue = kNoExifReal;
  double EXIF_SubjectDistance = kNoExifReal;
  int32_t EXIF_MeteringMode = kNoExifInt;
  int32_t EXIF_LightSource = kNoExifInt;
  int32_t EXIF_Flash = kNoExifInt;
  double EXIF_FocalLength = kNoExifReal;
  QString EXIF_SubsecTime;
  QString EXIF_SubsecTimeOriginal;
  QString EXIF_SubsecTimeDigitized;
  QString EXIF_FlashPixVersion;
  int32_t EXIF_ColorSpace = kNoExifInt;
  int32_t EXIF_ExifImageWidth = kNoExifInt;   // always the saved size when the file carries it
  int32_t EXIF_ExifImageHeight = kNoExifInt;
  QString EXIF_RelatedSoundFile;
  double EXIF_FocalPlaneXResolution = kNoExifReal;
  double EXIF_FocalPlaneYResolution = kNoExifReal;
  int32_t EXIF_FocalPlaneResolutionUnit = kNoExifInt;
  double EXIF_ExposureIndex = kNoExifReal;
  int32_t EXIF_SensingMethod = kNoExifInt;
  int32_t EXIF_FileSource = kNoExifInt;
  int32_t EXIF_SceneType = kNoExifInt;
  QString EXIF_UserComment;
  QString EXIF_CameraOwnerName;
  QString EXIF_BodySerialNumber;
  QString EXIF_LensMake;
  QString EXIF_LensModel;
  QString EXIF_LensSerialNumber;
  int32_t EXIF_ISOSpeedRatings = kNoExifInt;
  double EXIF_Gamma = kNoExifReal;
  std::vector<int32_t> EXIF_SubjectArea;  // 2, 3 or 4 values
  int32_t EXIF_SubjectLocationX = kNoExifInt;
  int32_t EXIF_SubjectLocationY = kNoExifInt;
  QString EXIF_XPTitle;
  QString EXIF_XPComment;
  QString EXIF_XPAuthor;
  QString EXIF_XPKeywords;
  QString EXIF_XPSubject;
  QString EXIF_GPSVersionID;  // "2.3.0.0"
  QString EXIF_GPSDateStamp;
  double EXIF_GPSAltitude = kNoExifReal;  // metres
  double EXIF_GPSLatitudeDegrees = kNoExifReal;
  double EXIF_GPSLatitudeMinutes = kNoExifReal;
  double EXIF_GPSLatitudeSeconds = kNoExifReal;
  QString EXIF_GPSLatitudeRef;  // "N" or "S"
  double EXIF_GPSLongitudeDegrees = kNoExifReal;
  double EXIF_GPSLongitudeMinutes = kNoExifReal;
  double EXIF_GPSLongitudeSeconds = kNoExifReal;
  QString EXIF_GPSLongitudeRef;  // "E" or "W"
  // The whole EXIF block as kept from the file (a TIFF structure, without thumbnail and
  // without the tags that describe the stored pixels), so that tags without a field
  // above survive a save.
  QByteArray EXIF_Raw;
  std::vector<IptcRecord> IPTC_Info;  // every IPTC data set of the file, in file order
  QByteArray XMP_Packet;              // the XMP packet as the file had it
  QByteArray InputICCProfile;         // embedded colour profile; kept by every save
  bool StripMetadata = false;         // the next save writes no EXIF, IPTC or XMP
};

// File-type codes that stored files rely on.
namespace FileTypeCode {
constexpr int32_t TIFF = 1;
constexpr int32_t JPEG = 3;
constexpr int32_t PNG = 8;
constexpr int32_t LMRD = 26;
}  // namespace FileTypeCode

}  // namespace lumo
