#include "engine/io/FileTypeRegistry.h"

#include <cstring>

#include <QFile>
#include <QFileInfo>

#include "engine/io/CodecTable.h"
#include "engine/io/IOParams.h"

namespace lumo {

namespace {

const QString kRawExtensions = QStringLiteral(
    "*.crw;*.cr2;*.cr3;*.dng;*.nef;*.raw;*.raf;*.x3f;*.orf;*.srf;*.mrw;*.dcr;*.bay;*.pef;*.sr2;*.arw;*.kdc;"
    "*.mef;*.3fr;*.k25;*.erf;*.cam;*.cs1;*.dc2;*.dcs;*.fff;*.mdc;*.mos;*.nrw;*.ptx;*.pxn;*.rdc;*.rw2;*.rwl;"
    "*.iiq;*.srw;");

QStringList rawExtensionsUpper() {
  QStringList out;
  for (const QString& p : kRawExtensions.split(';', Qt::SkipEmptyParts)) out << p.mid(2).toUpper();
  return out;
}

// reads/writes come from the codec table; the project format is read and written by the
// document's project loader, not as a single bitmap.
std::vector<FileTypeInfo> makeTypes() {
  using namespace FileTypeCode;
  const QStringList none;
  struct Row {
    int32_t code;
    const char* name;
    QStringList extensions;
    QStringList options;
  };
  const Row rows[] = {
      {TIFF, "TIFF Image", {"TIF", "TIFF"}, {"TIFF_Compression", "JPEG_Quality", "DpiX", "DpiY"}},
      {GIF, "GIF Image", {"GIF"}, none},
      {JPEG, "JPEG Image", {"JPG", "JPEG", "JPE", "JIF"}, {"JPEG_Quality", "DpiX", "DpiY"}},
      {PCX, "PCX Image", {"PCX"}, {"PCX_Compression", "DpiX", "DpiY"}},
      {BMP, "Windows Bitmap", {"BMP", "DIB"}, {"BMP_Compression", "DpiX", "DpiY"}},
      {ICO, "Windows Icon", {"ICO"}, none},
      {TGA, "Targa Image", {"TGA", "TARGA", "VDA", "ICB", "VST"}, none},
      {PNG, "Portable Network Graphics", {"PNG"}, {"PNG_Compression", "DpiX", "DpiY"}},
      {PNM, "Portable Any Map", {"PNM", "PPM", "PGM", "PBM"}, none},
      {PSD, "Photoshop Document", {"PSD", "PSB"}, {"DpiX", "DpiY"}},
      {JP2, "JPEG 2000", {"JP2"}, {"J2000_Rate"}},
      {J2K, "JPEG 2000 Code Stream", {"J2K", "J2C", "JPC"}, {"J2000_Rate"}},
      {HDP, "HD Photo", {"HDP", "WDP", "JXR"}, {"HDP_Quality", "DpiX", "DpiY"}},
      {WEBP, "WebP Image", {"WEBP"}, {"WEBP_Quality"}},
      {DPX, "Digital Picture Exchange", {"DPX"}, none},
      {DCX, "Multipage PCX", {"DCX"}, {"PCX_Compression", "DpiX", "DpiY"}},
      {DICOM, "DICOM Medical Image", {"DICOM", "DCM", "DIC"},
       {"DICOM_Compression", "DICOM_JPEGQuality", "DpiX", "DpiY"}},
      {JNG, "JPEG Network Graphics", {"JNG"}, {"JPEG_Quality", "DpiX", "DpiY"}},
      {CIN, "Cineon Image", {"CIN"}, none},
      {PICT, "QuickDraw Picture", {"PICT", "PCT", "PIC"}, none},
      {SVG, "Scalable Vector Graphics", {"SVG"}, {"PNG_Compression"}},
      {PDF, "PDF Document", {"PDF"}, {"DpiX", "DpiY"}},
      {HEIF, "HEIF Image", {"HEIC", "HEIF"}, none},
      {AVIF, "AVIF Image", {"AVIF"}, none},
      {RAW, "Camera RAW", rawExtensionsUpper(), none},
      {LMRD, "Lumora", {"LMRD"}, none},
  };
  std::vector<FileTypeInfo> types;
  for (const Row& r : rows) {
    const Codec* codec = codecOf(r.code);
    const bool project = r.code == LMRD;
    types.push_back({r.code, r.name, r.extensions, project || (codec && codec->read),
                     project || (codec && codec->write), r.options});
  }
  return types;
}

// The export list is fixed text. Entries whose type has no writer yet are listed all the
// same; saving them reports the missing codec.
std::vector<ExportEntry> makeExportEntries() {
  using namespace FileTypeCode;
  return {
      {JPEG, "JPG - JPG/JPEG Format", "jpg"},
      {PNG, "PNG - Portable Network Graphics", "png"},
      {BMP, "BMP - Windows Bitmap", "bmp"},
      {TIFF, "TIF - Tagged Image File", "tif"},
      {GIF, "GIF - Compuserve GIF", "gif"},
      {TGA, "TGA - Targa Image", "tga"},
      {SVG, "SVG - Scalable Vector Graphics", "svg"},
      {PSD, "PSD - Photoshop", "psd"},
      {ICO, "ICO - Windows Icon", "ico"},
      {PDF, "PDF - Adobe PDF", "pdf"},
      {JP2, "JP2 - JPEG2000", "jp2"},
      {J2K, "J2K - JPEG2000 Code Stream", "j2k"},
      {HDP, "HDP - Microsoft HD Photo", "hdp"},
      {WEBP, "WEBP - Weppy File Format", "webp"},
      {PCX, "PCX - PaintBrush", "pcx"},
      {PNM, "PPM - Portable PixelMap", "ppm"},
      {PNM, "PGM - Portable Graymap", "pgm"},
      {PNM, "BPM - Portable Bitmap", "pbm"},  // "BPM" is the caption users know
      {DPX, "DPX - Digital Picture Exchange", "dpx"},
      {DCX, "DCX - Multipage PCX", "dcx"},
      {DICOM, "DICOM - Medical Image", "dicom"},
      {JNG, "JNG - JPEG Network Graphics", "jng"},
      {CIN, "CIN - Cineon Image File", "cin"},
      {PICT, "PICT - QuickDraw PICT", "pict"},
  };
}

bool startsWith(const uint8_t* d, size_t n, const char* sig, size_t len, size_t at = 0) {
  return n >= at + len && std::memcmp(d + at, sig, len) == 0;
}

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
uint32_t be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]); }

int32_t detectIsoBmff(const uint8_t* d, size_t n) {
  if (!startsWith(d, n, "ftyp", 4, 4)) return 0;
  const size_t boxSize = std::min<size_t>(be32(d), n);
  bool heif = false;
  for (size_t at = 8; at + 4 <= boxSize; at += 4) {
    if (at == 12) continue;  // minor version
    const char* b = reinterpret_cast<const char*>(d + at);
    if (!std::memcmp(b, "avif", 4) || !std::memcmp(b, "avis", 4)) return FileTypeCode::AVIF;
    for (const char* h : {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1"})
      if (!std::memcmp(b, h, 4)) heif = true;
  }
  return heif ? FileTypeCode::HEIF : 0;
}

bool looksLikeSvg(const uint8_t* d, size_t n) {
  size_t i = 0;
  if (startsWith(d, n, "\xEF\xBB\xBF", 3)) i = 3;
  while (i < n && (d[i] == ' ' || d[i] == '\t' || d[i] == '\r' || d[i] == '\n')) ++i;
  if (i >= n || d[i] != '<') return false;
  const QByteArray head = QByteArray::fromRawData(reinterpret_cast<const char*>(d + i), qsizetype(n - i));
  return head.startsWith("<svg") || ((head.startsWith("<?xml") || head.startsWith("<!DOCTYPE")) && head.contains("<svg"));
}

bool looksLikeTarga(const uint8_t* d, size_t n) {
  if (n < 18) return false;
  const uint8_t mapType = d[1], type = d[2], mapBits = d[7], depth = d[16];
  const bool typeOk = type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
  const bool mapOk = (mapType == 0 && (type != 1 && type != 9)) || (mapType == 1 && (mapBits == 15 || mapBits == 16 || mapBits == 24 || mapBits == 32));
  const bool depthOk = depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
  return typeOk && mapOk && depthOk && le16(d + 12) > 0 && le16(d + 14) > 0 && (d[17] & 0xC0) == 0;
}

}  // namespace

const std::vector<FileTypeInfo>& fileTypes() {
  static const std::vector<FileTypeInfo> types = makeTypes();
  return types;
}

const FileTypeInfo* fileTypeByCode(int32_t code) {
  for (const FileTypeInfo& t : fileTypes())
    if (t.code == code) return &t;
  return nullptr;
}

const FileTypeInfo* fileTypeByExtension(const QString& extension) {
  QString ext = extension.startsWith('.') ? extension.mid(1) : extension;
  if (ext.isEmpty()) return nullptr;
  ext = ext.toUpper();
  for (const FileTypeInfo& t : fileTypes())
    if (t.extensions.contains(ext)) return &t;
  return nullptr;
}

const FileTypeInfo* fileTypeOfFileName(const QString& fileName) {
  const QString name = QFileInfo(fileName).fileName();
  const qsizetype dot = name.lastIndexOf('.');
  return dot < 0 ? nullptr : fileTypeByExtension(name.mid(dot + 1));
}

const QString& rawExtensionList() { return kRawExtensions; }

bool isRawFileName(const QString& fileName) {
  const QString name = QFileInfo(fileName).fileName();
  const qsizetype dot = name.lastIndexOf('.');
  if (dot < 0) return false;
  return kRawExtensions.contains("*" + name.mid(dot).toLower() + ";", Qt::CaseInsensitive);
}

int32_t detectFileType(const uint8_t* d, size_t n, bool* weak) {
  using namespace FileTypeCode;
  if (weak) *weak = false;
  if (startsWith(d, n, "\xFF\xD8\xFF", 3)) return JPEG;
  if (startsWith(d, n, "\x89PNG\r\n\x1A\n", 8)) return PNG;
  if (startsWith(d, n, "\x8BJNG\r\n\x1A\n", 8)) return JNG;
  if (startsWith(d, n, "II*\0", 4) || startsWith(d, n, "MM\0*", 4) || startsWith(d, n, "II+\0", 4) ||
      startsWith(d, n, "MM\0+", 4))
    return TIFF;
  if (startsWith(d, n, "II\xBC", 3)) return HDP;
  if (startsWith(d, n, "BM", 2) && n >= 18) {
    const uint32_t header = le32(d + 14);
    if (header == 12 || header == 40 || header == 52 || header == 56 || header == 64 || header == 108 || header == 124)
      return BMP;
  }
  if (startsWith(d, n, "GIF87a", 6) || startsWith(d, n, "GIF89a", 6)) return GIF;
  if (startsWith(d, n, "RIFF", 4) && startsWith(d, n, "WEBP", 4, 8)) return WEBP;
  if (startsWith(d, n, "\0\0\0\x0CjP  \r\n\x87\n", 12)) return JP2;
  if (startsWith(d, n, "\xFF\x4F\xFF\x51", 4)) return J2K;
  if (startsWith(d, n, "8BPS", 4)) return PSD;
  if (startsWith(d, n, "IMAGEENLAYERS", 13)) return LMRD;
  if (startsWith(d, n, "DICM", 4, 128)) return DICOM;
  if (startsWith(d, n, "%PDF-", 5)) return PDF;
  if (startsWith(d, n, "SDPX", 4) || startsWith(d, n, "XPDS", 4)) return DPX;
  if (startsWith(d, n, "\x80\x2A\x5F\xD7", 4)) return CIN;
  if (startsWith(d, n, "\xB1\x68\xDE\x3A", 4)) return DCX;
  if (const int32_t iso = detectIsoBmff(d, n)) return iso;
  if (n >= 3 && d[0] == 0x0A && (d[1] <= 5 && d[1] != 1) && d[2] == 1) return PCX;
  if (n >= 6 && d[0] == 0 && d[1] == 0 && d[2] == 1 && d[3] == 0 && le16(d + 4) > 0) return ICO;
  if (n >= 3 && d[0] == 'P' && d[1] >= '1' && d[1] <= '7' &&
      (d[2] == ' ' || d[2] == '\t' || d[2] == '\r' || d[2] == '\n' || d[2] == '#'))
    return PNM;
  if (looksLikeSvg(d, n)) return SVG;
  // QuickDraw pictures have no signature: after a 512-byte preamble come the size, the
  // frame and the version opcode (0x1101 for version 1, 0x0011 0x02FF for version 2).
  if (n >= 526 && ((d[522] == 0x11 && d[523] == 0x01) || startsWith(d, n, "\0\x11\x02\xFF", 4, 522))) {
    if (weak) *weak = true;
    return PICT;
  }
  if (looksLikeTarga(d, n)) {
    if (weak) *weak = true;
    return TGA;
  }
  return 0;
}

int32_t detectFileTypeOfFile(const QString& path, bool* weak) {
  if (weak) *weak = false;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return 0;
  const QByteArray head = f.read(qint64(kDetectBytes));
  return detectFileType(reinterpret_cast<const uint8_t*>(head.constData()), size_t(head.size()), weak);
}

namespace {
QString patternsOf(const FileTypeInfo& t) {
  QStringList p;
  for (const QString& e : t.extensions) p << "*." + e.toLower();
  return p.join(';');
}
}  // namespace

QString openDialogFilter() {
  QStringList all, entries;
  for (const FileTypeInfo& t : fileTypes()) {
    if (!t.reads) continue;
    const QString p = patternsOf(t);
    all << p;
    entries << t.name + " (" + p + ")|" + p;
  }
  return "All images|" + all.join(';') + "|" + entries.join('|');
}

const std::vector<ExportEntry>& exportEntries() {
  static const std::vector<ExportEntry> entries = makeExportEntries();
  return entries;
}

QString exportDialogFilter() {
  QStringList parts;
  for (const ExportEntry& e : exportEntries()) parts << e.caption + "|*." + e.extension;
  return parts.join('|');
}

}  // namespace lumo
