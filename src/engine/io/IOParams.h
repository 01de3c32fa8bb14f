#pragma once
#include <cstdint>

#include <QSize>
#include <QString>

namespace lumo {

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
};

// File-type codes that stored files rely on.
namespace FileTypeCode {
constexpr int32_t TIFF = 1;
constexpr int32_t JPEG = 3;
constexpr int32_t PNG = 8;
constexpr int32_t LMRD = 26;
}  // namespace FileTypeCode

}  // namespace lumo
