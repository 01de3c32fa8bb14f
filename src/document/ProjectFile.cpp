#include "document/ProjectFile.h"

#include <QFile>
#include <QSaveFile>

#include "document/ProjectError.h"
#include "document/ProjectParameters.h"
#include "engine/pixels/QImageBridge.h"

namespace lumo {

int64_t NextVersionOffset = 0;

namespace {

// Resets the offset however the operation ends.
struct OffsetReset {
  ~OffsetReset() { NextVersionOffset = 0; }
};

// With IEN_GetThumbnail: a block's thumbnail, when it has one wider than a pixel,
// becomes the version's picture. Otherwise the reader is back at the block's start.
bool readThumbnailOnly(ByteReader& in, Version& version) {
  const size_t start = in.pos();
  BlockHead head;
  if (!readBlockHead(in, head, true, true)) throw ProjectError(ProjectErrorText::kCorrupt);
  if (head.thumbnail.width() <= 1) {
    in.seek(start);
    return false;
  }
  auto picture = std::make_unique<ImageLayer>();
  picture->bitmap = fromQImage(head.thumbnail);
  picture->Width = head.thumbnail.width();
  picture->Height = head.thumbnail.height();
  version.Layers.add(std::move(picture));
  version.IO.IEN_Version = head.version;
  version.IO.IEN_Compression = head.compression;
  version.IO.Width = head.thumbnail.width();
  version.IO.Height = head.thumbnail.height();
  version.IO.ThumbnailSize = head.thumbnailSize;
  return true;
}

}  // namespace

ProjectLoadResult loadProjectFromBytes(const uint8_t* data, size_t size, const QString& fileName,
                                       const ProjectLoadOptions& options) {
  ProjectLoadResult result;
  OffsetReset reset;
  NextVersionOffset = 0;
  ByteReader in(data, size);
  try {
    do {
      Version version;
      version.IO = options.params;
      in.seek(size_t(NextVersionOffset));
      if (version.IO.IEN_GetThumbnail && readThumbnailOnly(in, version)) {
        // The thumbnail stands for the whole project; the offset stays where it is.
        result.versions.push_back(std::move(version));
        result.thumbnailOnly = true;
        break;
      }
      if (!LayersLoadFromStream(in, version, false, options.progress, options.loadPixels))
        throw ProjectError(ProjectErrorText::kCorrupt);
      NextVersionOffset = in.pos() == size ? 0 : int64_t(in.pos());
      version.IO.FileType = FileTypeCode::LMRD;
      version.IO.FileName = fileName;
      version.TheFileName = fileName;
      ReadProjectParametersFromFileDescription(version);
      if (version.VersionName.isEmpty()) version.VersionName = options.defaultVersionName;
      result.versions.push_back(std::move(version));
    } while (NextVersionOffset != 0);
  } catch (const ProjectError& e) {
    result.error = e.text();
  } catch (const std::bad_alloc&) {
    result.error = ProjectErrorText::kCorrupt;
  }
  return result;
}

ProjectLoadResult loadProjectFile(const QString& fileName, const ProjectLoadOptions& options) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) {
    ProjectLoadResult r;
    r.error = ProjectErrorText::kCannotOpen.arg(fileName, file.errorString());
    return r;
  }
  const qint64 size = file.size();
  if (size == 0) return loadProjectFromBytes(nullptr, 0, fileName, options);
  // Mapped, not read: the pixels are inflated straight out of the file's pages.
  const uchar* data = file.map(0, size);
  if (data) return loadProjectFromBytes(data, size_t(size), fileName, options);
  const QByteArray bytes = file.readAll();
  return loadProjectFromBytes(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), fileName,
                              options);
}

QImage loadProjectThumbnail(const QString& fileName) {
  ProjectLoadOptions options;
  options.params.IEN_GetThumbnail = true;
  const ProjectLoadResult r = loadProjectFile(fileName, options);
  if (!r.thumbnailOnly) return {};
  return toQImage(r.versions[0].Layers.background()->bitmap);
}

QString saveProjectFile(const QString& fileName, std::vector<Version*> versions, const ProgressFn& progress) {
  OffsetReset reset;
  NextVersionOffset = 0;
  QSaveFile file(fileName);
  file.setDirectWriteFallback(false);
  if (!file.open(QIODevice::WriteOnly)) return ProjectErrorText::kCannotCreate.arg(fileName, file.errorString());
  try {
    std::vector<const LayerStack*> stacks;
    for (const Version* v : versions) stacks.push_back(&v->Layers);
    const LayerDeflater deflater(stacks);  // blocks are written as their layers are ready
    std::vector<uint8_t> block;
    for (Version* v : versions) {
      SaveProjectParametersIntoFileDescription(*v);
      BlockWriteOptions o;
      o.compression = v->IO.IEN_Compression;
      o.leaveOutLayer0 = !v->IO.IEN_StoreBackground;
      o.progress = progress;
      o.deflater = &deflater;
      block.clear();
      LayersSaveToStream(block, *v, o);
      if (file.write(reinterpret_cast<const char*>(block.data()), qint64(block.size())) != qint64(block.size()))
        throw ProjectError(ProjectErrorText::kCannotCreate.arg(fileName, file.errorString()));
      NextVersionOffset += int64_t(block.size());
    }
    if (!file.commit()) throw ProjectError(ProjectErrorText::kCannotCreate.arg(fileName, file.errorString()));
  } catch (const ProjectError& e) {
    file.cancelWriting();
    return e.text();
  } catch (const std::exception& e) {
    file.cancelWriting();
    return ProjectErrorText::kCannotCreate.arg(fileName, QString::fromLocal8Bit(e.what()));
  }
  for (Version* v : versions) {
    v->IO.FileName = fileName;
    v->IO.FileType = FileTypeCode::LMRD;
    v->TheFileName = fileName;
  }
  return {};
}

}  // namespace lumo
