#pragma once
#include <cstdint>
#include <vector>

#include <QImage>
#include <QString>

#include "document/Version.h"
#include "document/VersionBlock.h"

namespace lumo {

// Byte offset of the next version block of the project file being read or written;
// 0 when no multi-version operation is under way. One project-file operation at a time.
extern int64_t NextVersionOffset;

struct ProjectLoadResult {
  std::vector<Version> versions;  // those read before any damage
  QString error;                  // empty when the whole file was read
  bool thumbnailOnly = false;     // IEN_GetThumbnail found a thumbnail: the one version is it
  bool ok() const { return error.isEmpty(); }
};

struct ProjectLoadOptions {
  IOParams params;         // each version starts with these; IEN_GetThumbnail reads only the thumbnail
  bool loadPixels = true;  // false: layer properties only
  QString defaultVersionName = QStringLiteral("Original");  // for a version without a name
  ProgressFn progress;
};

// Reads every version block of a project, one after another, until the end. The
// first version read is the one shown. Reading stops at the first damaged block or at
// bytes that are not a layer stream; the versions read before it are kept.
ProjectLoadResult loadProjectFromBytes(const uint8_t* data, size_t size, const QString& fileName,
                                       const ProjectLoadOptions& options = {});
ProjectLoadResult loadProjectFile(const QString& fileName, const ProjectLoadOptions& options = {});

// The thumbnail stored in the first block (null when there is none): a load with
// IEN_GetThumbnail set.
QImage loadProjectThumbnail(const QString& fileName);

// Saves every version, in order, as one transaction: the blocks go to a temporary file
// in the target's folder that replaces the target in one rename after the last block.
// On failure the temporary file is removed and the target is left as it was. Each
// version's description is filled first; on success its file name and type are set.
// Returns the error text, empty on success.
QString saveProjectFile(const QString& fileName, std::vector<Version*> versions, const ProgressFn& progress = {});

}  // namespace lumo
