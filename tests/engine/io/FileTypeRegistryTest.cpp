#include "engine/io/FileTypeRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "engine/io/IOParams.h"

namespace lumo {
namespace {

TEST(FileTypeRegistry, LooksUpExtensionsWithoutRegardToCase) {
  struct Case {
    const char* extension;
    int32_t code;  // 0: unknown
  } cases[] = {
      {"jpg", FileTypeCode::JPEG}, {".JPEG", FileTypeCode::JPEG}, {"Jpe", FileTypeCode::JPEG},
      {"tif", FileTypeCode::TIFF}, {"TIFF", FileTypeCode::TIFF}, {"png", FileTypeCode::PNG},
      {"bmp", FileTypeCode::BMP},  {"lmrd", FileTypeCode::LMRD}, {".LMRD", FileTypeCode::LMRD},
      {"nef", FileTypeCode::RAW},  {"DNG", FileTypeCode::RAW},   {"dicom", FileTypeCode::DICOM},
      {"dcm", FileTypeCode::DICOM}, {"pbm", FileTypeCode::PNM},  {"webp", FileTypeCode::WEBP},
      {"heic", FileTypeCode::HEIF}, {"xyz", 0},                  {"", 0},
      {".", 0},
  };
  for (const Case& c : cases) {
    const FileTypeInfo* t = fileTypeByExtension(c.extension);
    EXPECT_EQ(t ? t->code : 0, c.code) << c.extension;
  }
  const FileTypeInfo* byName = fileTypeOfFileName("/some/dir.with.dots/Photo.Final.JPG");
  ASSERT_NE(byName, nullptr);
  EXPECT_EQ(byName->code, FileTypeCode::JPEG);
  EXPECT_EQ(fileTypeOfFileName("/some/dir.png/README"), nullptr);
}

TEST(FileTypeRegistry, CodesAndExtensionsAreUniqueAndStoredCodesKeepTheirValues) {
  std::set<int32_t> codes;
  std::set<QString> extensions;
  for (const FileTypeInfo& t : fileTypes()) {
    EXPECT_TRUE(codes.insert(t.code).second) << t.code;
    EXPECT_FALSE(t.extensions.isEmpty()) << t.code;
    for (const QString& e : t.extensions) EXPECT_TRUE(extensions.insert(e).second) << e.toStdString();
  }
  const FileTypeInfo* lmrd = fileTypeByCode(26);
  ASSERT_NE(lmrd, nullptr);
  EXPECT_EQ(lmrd->name, "Lumora");
  EXPECT_EQ(lmrd->extensions, QStringList{"LMRD"});
  EXPECT_EQ(fileTypeByCode(1)->extensions.first(), "TIF");
  EXPECT_EQ(fileTypeByCode(3)->extensions.first(), "JPG");
  EXPECT_EQ(fileTypeByCode(8)->extensions.first(), "PNG");
}

TEST(FileTypeRegistry, OnlyImplementedCodecsClaimToReadAndWrite) {
  using namespace FileTypeCode;
  const std::vector<int32_t> readWrite = {JPEG, PNG, BMP, TIFF, LMRD, PCX, ICO,  TGA, PNM, PSD,
                                          DPX,  DCX, JNG, CIN,  PICT, GIF, WEBP, JP2, J2K, HDP, DICOM, SVG, PDF};
  const std::vector<int32_t> readOnly = {HEIF, AVIF, RAW};
  for (const FileTypeInfo& t : fileTypes()) {
    const bool writes = std::find(readWrite.begin(), readWrite.end(), t.code) != readWrite.end();
    const bool reads = writes || std::find(readOnly.begin(), readOnly.end(), t.code) != readOnly.end();
    EXPECT_EQ(t.reads, reads) << t.name.toStdString();
    EXPECT_EQ(t.writes, writes) << t.name.toStdString();
  }
  EXPECT_TRUE(fileTypeByCode(FileTypeCode::JPEG)->options.contains("JPEG_Quality"));
  EXPECT_TRUE(fileTypeByCode(FileTypeCode::TIFF)->options.contains("TIFF_Compression"));
  EXPECT_TRUE(fileTypeByCode(FileTypeCode::PNG)->options.contains("PNG_Compression"));
  EXPECT_TRUE(fileTypeByCode(FileTypeCode::BMP)->options.contains("BMP_Compression"));
  EXPECT_TRUE(fileTypeByCode(FileTypeCode::PCX)->options.contains("PCX_Compression"));
  EXPECT_TRUE(fileTypeByCode(FileTypeCode::DCX)->options.contains("PCX_Compression"));
}

TEST(FileTypeRegistry, RecognisesCameraRawFilesByTheExactList) {
  struct Case {
    const char* name;
    bool raw;
  } cases[] = {
      {"a.CR2", true},  {"b.nef", true},  {"c.k25", true},   {"d.3fr", true},  {"e.srw", true},
      {"f.jpg", false}, {"g.cr", false},  {"h.dn", false},   {"noext", false}, {"i.nef.jpg", false},
      {"j.raw", true},  {"k.RwL", true},
  };
  for (const Case& c : cases) EXPECT_EQ(isRawFileName(c.name), c.raw) << c.name;
}

TEST(FileTypeRegistry, ExportFilterIsTheFixedList) {
  const QString expected =
      "JPG - JPG/JPEG Format|*.jpg|PNG - Portable Network Graphics|*.png|BMP - Windows Bitmap|*.bmp|"
      "TIF - Tagged Image File|*.tif|GIF - Compuserve GIF|*.gif|TGA - Targa Image|*.tga|"
      "SVG - Scalable Vector Graphics|*.svg|PSD - Photoshop|*.psd|ICO - Windows Icon|*.ico|"
      "PDF - Adobe PDF|*.pdf|JP2 - JPEG2000|*.jp2|J2K - JPEG2000 Code Stream|*.j2k|"
      "HDP - Microsoft HD Photo|*.hdp|WEBP - Weppy File Format|*.webp|PCX - PaintBrush|*.pcx|"
      "PPM - Portable PixelMap|*.ppm|PGM - Portable Graymap|*.pgm|BPM - Portable Bitmap|*.pbm|"
      "DPX - Digital Picture Exchange|*.dpx|DCX - Multipage PCX|*.dcx|DICOM - Medical Image|*.dicom|"
      "JNG - JPEG Network Graphics|*.jng|CIN - Cineon Image File|*.cin|PICT - QuickDraw PICT|*.pict";
  EXPECT_EQ(exportDialogFilter(), expected);
  // Each entry's extension leads back to the type it names.
  for (const ExportEntry& e : exportEntries()) {
    const FileTypeInfo* t = fileTypeByExtension(e.extension);
    ASSERT_NE(t, nullptr) << e.extension.toStdString();
    EXPECT_EQ(t->code, e.code) << e.extension.toStdString();
  }
}

TEST(FileTypeRegistry, OpenFilterListsReadableTypesAfterTheCombinedEntry) {
  const QString filter = openDialogFilter();
  const QStringList parts = filter.split('|');
  ASSERT_EQ(parts.size() % 2, 0);
  EXPECT_EQ(parts[0], "All images");
  EXPECT_TRUE(parts[1].contains("*.jpg;*.jpeg") && parts[1].contains("*.png") && parts[1].contains("*.lmrd"));
  EXPECT_TRUE(parts[1].contains("*.gif") && parts[1].contains("*.jp2") && parts[1].contains("*.webp"));
  EXPECT_TRUE(filter.contains("|TIFF Image (*.tif;*.tiff)|*.tif;*.tiff"));
  int readable = 0;
  for (const FileTypeInfo& t : fileTypes()) readable += t.reads;
  EXPECT_EQ(parts.size() / 2, 1 + readable);
}

QByteArray bytes(std::initializer_list<int> b) {
  QByteArray out;
  for (int v : b) out.append(char(v));
  return out;
}

TEST(FileTypeRegistry, DetectsTypesFromTheirFirstBytes) {
  QByteArray dicom(128, '\0');
  dicom += "DICM";
  QByteArray bmp = "BM" + QByteArray(12, '\0') + bytes({40, 0, 0, 0});
  QByteArray tga = bytes({0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 8, 0, 24, 0});
  struct Case {
    const char* label;
    QByteArray head;
    int32_t code;
  } cases[] = {
      {"jpeg", bytes({0xFF, 0xD8, 0xFF, 0xE0}), FileTypeCode::JPEG},
      {"png", bytes({0x89, 'P', 'N', 'G', 13, 10, 26, 10}), FileTypeCode::PNG},
      {"tiff II", QByteArray("II*\0", 4), FileTypeCode::TIFF},
      {"tiff MM", QByteArray("MM\0*", 4), FileTypeCode::TIFF},
      {"bmp", bmp, FileTypeCode::BMP},
      {"BM text", QByteArray("BM is not a bitmap"), 0},
      {"gif", QByteArray("GIF89a"), FileTypeCode::GIF},
      {"webp", QByteArray("RIFF\x10\0\0\0WEBPVP8 ", 16), FileTypeCode::WEBP},
      {"jp2", bytes({0, 0, 0, 12, 'j', 'P', ' ', ' ', 13, 10, 0x87, 10}), FileTypeCode::JP2},
      {"j2k", bytes({0xFF, 0x4F, 0xFF, 0x51}), FileTypeCode::J2K},
      {"psd", QByteArray("8BPS\0\1", 6), FileTypeCode::PSD},
      {"pcx", bytes({0x0A, 5, 1, 8}), FileTypeCode::PCX},
      {"ico", bytes({0, 0, 1, 0, 1, 0}), FileTypeCode::ICO},
      {"pnm", QByteArray("P6\n3 2\n255\n"), FileTypeCode::PNM},
      {"dicom", dicom, FileTypeCode::DICOM},
      {"pdf", QByteArray("%PDF-1.7"), FileTypeCode::PDF},
      {"svg", QByteArray("<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"/>"), FileTypeCode::SVG},
      {"plain xml", QByteArray("<?xml version=\"1.0\"?><doc/>"), 0},
      {"heic", QByteArray("\0\0\0\x18" "ftypheic\0\0\0\0mif1heic", 24), FileTypeCode::HEIF},
      {"avif", QByteArray("\0\0\0\x1C" "ftypmif1\0\0\0\0mif1avifmiaf", 28), FileTypeCode::AVIF},
      {"mp4", QByteArray("\0\0\0\x14" "ftypisom\0\0\0\0isom", 20), 0},
      {"project", QByteArray("IMAGEENLAYERS"), FileTypeCode::LMRD},
      {"tga", tga, FileTypeCode::TGA},
      {"empty", QByteArray(), 0},
      {"text", QByteArray("hello, world"), 0},
  };
  for (const Case& c : cases) {
    bool weak = true;
    EXPECT_EQ(detectFileType(reinterpret_cast<const uint8_t*>(c.head.constData()), size_t(c.head.size()), &weak), c.code)
        << c.label;
    EXPECT_EQ(weak, c.code == FileTypeCode::TGA) << c.label;
  }
}

}  // namespace
}  // namespace lumo
