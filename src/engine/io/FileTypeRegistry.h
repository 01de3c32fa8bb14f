#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include <QString>
#include <QStringList>

namespace lumo {

// Codes of the registry. TIFF, JPEG, PNG and LMRD are fixed by stored files (see
// IOParams.h); the others are ours and must never be renumbered either.
namespace FileTypeCode {
constexpr int32_t GIF = 2;
constexpr int32_t PCX = 4;
constexpr int32_t BMP = 5;
constexpr int32_t ICO = 6;
constexpr int32_t TGA = 7;
constexpr int32_t PNM = 9;
constexpr int32_t PSD = 10;
constexpr int32_t JP2 = 11;
constexpr int32_t J2K = 12;
constexpr int32_t HDP = 13;
constexpr int32_t WEBP = 14;
constexpr int32_t DPX = 15;
constexpr int32_t DCX = 16;
constexpr int32_t DICOM = 17;
constexpr int32_t JNG = 18;
constexpr int32_t CIN = 19;
constexpr int32_t PICT = 20;
constexpr int32_t SVG = 21;
constexpr int32_t PDF = 22;
constexpr int32_t HEIF = 23;
constexpr int32_t AVIF = 24;
constexpr int32_t RAW = 25;
}  // namespace FileTypeCode

struct FileTypeInfo {
  int32_t code = 0;
  QString name;
  QStringList extensions;  // upper case, without the dot; the first is the one written
  bool reads = false;      // a codec of this build reads it
  bool writes = false;
  QStringList options;  // the IOParams fields its writer takes
};

// One line of the export dialog's filter.
struct ExportEntry {
  int32_t code;
  QString caption;
  QString extension;  // lower case, without the dot
};

// Every type the program knows, in code order.
const std::vector<FileTypeInfo>& fileTypes();
const FileTypeInfo* fileTypeByCode(int32_t code);
// By extension, with or without the leading dot, without regard to case; camera RAW
// extensions give the RAW type. Nothing when unknown.
const FileTypeInfo* fileTypeByExtension(const QString& extension);
// By the extension of a file name.
const FileTypeInfo* fileTypeOfFileName(const QString& fileName);

// The camera RAW extension list as the open command uses it.
const QString& rawExtensionList();
// True when "*" + the lower-cased extension + ";" occurs in the RAW extension list.
bool isRawFileName(const QString& fileName);

// Type code from a file's first bytes, 0 when nothing matches. DICOM needs 132 bytes,
// the other signatures fit in the first 4 KB. Targa has no signature: it is only
// recognised from a plausible header, reported through `weak`.
int32_t detectFileType(const uint8_t* data, size_t size, bool* weak = nullptr);
int32_t detectFileTypeOfFile(const QString& path, bool* weak = nullptr);
constexpr size_t kDetectBytes = 4096;

// "All images|<patterns>|<name> (<patterns>)|<patterns>|..." over the readable types.
QString openDialogFilter();
// The export dialog's list, in its fixed order.
const std::vector<ExportEntry>& exportEntries();
QString exportDialogFilter();

}  // namespace lumo
