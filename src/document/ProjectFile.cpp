#include "document/ProjectFile.h"

#include <QFile>
#include <QSaveFile>

#include "document/ProjectError.h"
#include "document/ProjectParameters.h"

namespace lumo {

int64_t NextVersionOffset = 0;

namespace {

// Resets the offset however the operation ends.
struct OffsetReset {
  ~OffsetReset() { NextVersionOffset = 0; }
};

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
      in.seek(size_t(NextVersionOffset));
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
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly) || file.size() == 0) return {};
  const uchar* data = file.map(0, file.size());
  if (!data) return {};
  ByteReader in(data, size_t(file.size()));
  BlockHead head;
  try {
    if (readBlockHead(in, head, true, true) && head.thumbnail.width() > 1) return head.thumbnail;
  } catch (const ProjectError&) {
  }
  return {};
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
