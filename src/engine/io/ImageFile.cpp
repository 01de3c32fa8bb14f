#include "engine/io/ImageFile.h"

#include <cmath>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "engine/io/FileTypeRegistry.h"
#include "engine/io/CodecTable.h"
#include "engine/io/Metadata.h"

namespace lumo {

namespace {

bool fail(QString* error, const QString& message) {
  if (error) *error = message;
  return false;
}

// The camera RAW decoder reports a few EXIF facts itself, also from files whose metadata
// the metadata library cannot read; they stay where the metadata has none.
void keepDecoderFacts(const IOParams& decoded, IOParams& found) {
  auto keepText = [](const QString& from, QString& to) {
    if (to.isEmpty()) to = from;
  };
  auto keepReal = [](double from, double& to) {
    if (std::isnan(to)) to = from;
  };
  keepText(decoded.EXIF_DateTimeOriginal, found.EXIF_DateTimeOriginal);
  keepText(decoded.EXIF_LensMake, found.EXIF_LensMake);
  keepText(decoded.EXIF_LensModel, found.EXIF_LensModel);
  keepReal(decoded.EXIF_FNumber, found.EXIF_FNumber);
  keepReal(decoded.EXIF_FocalLength, found.EXIF_FocalLength);
  keepReal(decoded.EXIF_ExposureTime, found.EXIF_ExposureTime);
  if (found.EXIF_ISOSpeedRatings == kNoExifInt) found.EXIF_ISOSpeedRatings = decoded.EXIF_ISOSpeedRatings;
}

}  // namespace

bool decodeImage(const uint8_t* data, size_t size, const QString& nameHint, Bitmap& out, IOParams& params,
                 QString* error) {
  const QString shown = nameHint.isEmpty() ? QString("The image") : QFileInfo(nameHint).fileName();
  if (size == 0) return fail(error, QString("%1 is empty").arg(shown));
  const FileTypeInfo* byName = nameHint.isEmpty() ? nullptr : fileTypeOfFileName(nameHint);
  bool weak = false;
  const int32_t sniffed = detectFileType(data, std::min(size, kDetectBytes), &weak);
  int32_t code = byName ? byName->code : 0;
  // Many camera RAW files are TIFF containers, so a TIFF signature says nothing against
  // a RAW name (any other signature does); a weak guess never overrules a known extension.
  const bool rawInTiff = code == FileTypeCode::RAW && sniffed == FileTypeCode::TIFF;
  if (sniffed && sniffed != code && !rawInTiff && !(weak && code)) code = sniffed;
  const FileTypeInfo* type = fileTypeByCode(code);
  if (!type) return fail(error, QString("%1 is not an image file of a known type").arg(shown));
  if (code == FileTypeCode::LMRD)
    return fail(error, QString("%1 is a Lumora project; it opens as a document, not as one image").arg(shown));
  const Codec* codec = codecOf(code);
  if (!codec || !codec->read) return fail(error, QString("Reading %1 files is not supported").arg(type->name));

  Bitmap image;
  // Write options stay as the caller set them; what describes the file comes from the file.
  IOParams found = params;
  found.DpiX = found.DpiY = IOParams{}.DpiX;
  found.Orientation = 1;
  found.RAW_Camera.clear();
  found.ImageCount = 1;  // a reader that counts frames or pages may say more
  QString message;
  if (!codec->read(data, size, image, found, message)) return fail(error, QString("%1: %2").arg(shown, message));
  const bool turned = found.EnableAdjustOrientation && found.Orientation >= 2 && found.Orientation <= 8;
  const IOParams decoded = found;
  readMetadata(data, size, turned, image.width(), image.height(), found);
  keepDecoderFacts(decoded, found);
  found.FileName = nameHint;
  found.FileType = code;
  found.Width = found.OriginalWidth = image.width();
  found.Height = found.OriginalHeight = image.height();
  out = std::move(image);
  params = std::move(found);
  return true;
}

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
  return decodeImage(data, size_t(size), path, out, params, error);
}

bool encodeImage(const QString& extension, const Bitmap& image, const IOParams& params, QByteArray& out,
                 QString* error) {
  if (image.isNull()) return fail(error, "There is no image to save");
  const FileTypeInfo* type = fileTypeByExtension(extension);
  if (!type) return fail(error, QString("\"%1\" is not a known image file type").arg(extension));
  if (type->code == FileTypeCode::LMRD)
    return fail(error, "Lumora projects are saved as documents, not as one image");
  const Codec* codec = codecOf(type->code);
  if (!codec || !codec->write) return fail(error, QString("Saving %1 files is not supported").arg(type->name));
  QString message;
  QByteArray bytes;
  if (!codec->write(image, params, extension.toLower().remove(0, extension.startsWith('.') ? 1 : 0), bytes, message))
    return fail(error, message);
  if (!writeMetadata(type->code, params, image, bytes, message)) return fail(error, message);
  out = std::move(bytes);
  return true;
}

bool saveImageFile(const QString& path, const Bitmap& image, const IOParams& params, QString* error) {
  QByteArray bytes;
  if (!encodeImage(QFileInfo(path).suffix(), image, params, bytes, error)) return false;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return fail(error, QString("Cannot write %1: %2").arg(path, file.errorString()));
  if (file.write(bytes) != bytes.size() || !file.commit())
    return fail(error, QString("Cannot write %1: %2").arg(path, file.errorString()));
  return true;
}

}  // namespace lumo
