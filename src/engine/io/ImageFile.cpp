#include "engine/io/ImageFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "engine/io/FileTypeRegistry.h"
#include "engine/io/ImageCodecs.h"

namespace lumo {

namespace {

using ReadFn = bool (*)(const uint8_t*, size_t, Bitmap&, IOParams&, QString&);
using WriteFn = bool (*)(const Bitmap&, const IOParams&, QByteArray&, QString&);

ReadFn readerOf(int32_t code) {
  switch (code) {
    case FileTypeCode::JPEG: return readJpeg;
    case FileTypeCode::PNG: return readPng;
    case FileTypeCode::BMP: return readBmp;
    case FileTypeCode::TIFF: return readTiff;
    default: return nullptr;
  }
}

WriteFn writerOf(int32_t code) {
  switch (code) {
    case FileTypeCode::JPEG: return writeJpeg;
    case FileTypeCode::PNG: return writePng;
    case FileTypeCode::BMP: return writeBmp;
    case FileTypeCode::TIFF: return writeTiff;
    default: return nullptr;
  }
}

bool fail(QString* error, const QString& message) {
  if (error) *error = message;
  return false;
}

}  // namespace

bool loadImageFile(const QString& path, Bitmap& out, IOParams& params, QString* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return fail(error, QString("Cannot open %1: %2").arg(path, file.errorString()));
  const qint64 size = file.size();
  if (size <= 0) return fail(error, QString("%1 is empty").arg(path));
  const uint8_t* data = file.map(0, size);
  QByteArray copy;
  if (!data) {  // not mappable (a pipe, some file systems): read it instead
    copy = file.readAll();
    if (copy.size() != size) return fail(error, QString("Cannot read %1").arg(path));
    data = reinterpret_cast<const uint8_t*>(copy.constData());
  }

  const FileTypeInfo* byName = fileTypeOfFileName(path);
  bool weak = false;
  const int32_t sniffed = detectFileType(data, size_t(std::min<qint64>(size, qint64(kDetectBytes))), &weak);
  int32_t code = byName ? byName->code : 0;
  // Camera RAW files are TIFF containers, so their signature says nothing against the
  // name; a weak guess never overrules a known extension.
  if (sniffed && sniffed != code && code != FileTypeCode::RAW && !(weak && code)) code = sniffed;
  const FileTypeInfo* type = fileTypeByCode(code);
  if (!type) return fail(error, QString("%1 is not an image file of a known type").arg(QFileInfo(path).fileName()));
  if (code == FileTypeCode::LMRD)
    return fail(error, QString("%1 is a Lumora project; it opens as a document, not as one image").arg(QFileInfo(path).fileName()));
  const ReadFn read = readerOf(code);
  if (!read) return fail(error, QString("Reading %1 files is not supported yet").arg(type->name));

  Bitmap image;
  // Write options stay as the caller set them; what describes the file comes from the file.
  IOParams found = params;
  found.DpiX = found.DpiY = IOParams{}.DpiX;
  found.Orientation = 1;
  QString message;
  if (!read(data, size_t(size), image, found, message))
    return fail(error, QString("%1: %2").arg(QFileInfo(path).fileName(), message));
  found.FileName = path;
  found.FileType = code;
  found.Width = found.OriginalWidth = image.width();
  found.Height = found.OriginalHeight = image.height();
  found.ImageCount = 1;
  out = std::move(image);
  params = std::move(found);
  return true;
}

bool saveImageFile(const QString& path, const Bitmap& image, const IOParams& params, QString* error) {
  if (image.isNull()) return fail(error, "There is no image to save");
  const FileTypeInfo* type = fileTypeOfFileName(path);
  if (!type) return fail(error, QString("%1 does not name a known image file type").arg(QFileInfo(path).fileName()));
  if (type->code == FileTypeCode::LMRD)
    return fail(error, "Lumora projects are saved as documents, not as one image");
  const WriteFn write = writerOf(type->code);
  if (!write) return fail(error, QString("Saving %1 files is not supported yet").arg(type->name));

  QByteArray bytes;
  QString message;
  if (!write(image, params, bytes, message)) return fail(error, message);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return fail(error, QString("Cannot write %1: %2").arg(path, file.errorString()));
  if (file.write(bytes) != bytes.size() || !file.commit())
    return fail(error, QString("Cannot write %1: %2").arg(path, file.errorString()));
  return true;
}

}  // namespace lumo
