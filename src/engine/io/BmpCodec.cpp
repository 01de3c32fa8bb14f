#include <algorithm>
#include <cstdlib>

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

#include "engine/io/ImageCodecs.h"
#include "engine/pixels/QImageBridge.h"

namespace lumo {

namespace {

uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// Qt fills the missing rows of a short file silently; uncompressed pixel data has a known
// length, so a file that ends inside it is refused here.
bool uncompressedDataComplete(const uint8_t* d, size_t size) {
  if (size < 34) return false;
  const uint32_t header = le32(d + 14);
  if (header < 40) return true;  // the old core header: Qt's own checks suffice
  const uint32_t offset = le32(d + 10);
  const int64_t width = int32_t(le32(d + 18));
  const int64_t height = std::abs(int64_t(int32_t(le32(d + 22))));
  const int bits = d[28] | d[29] << 8;
  const uint32_t compression = le32(d + 30);
  if (compression != 0 && compression != 3) return true;
  const uint64_t stride = (uint64_t(std::max<int64_t>(width, 0)) * uint64_t(bits) + 31) / 32 * 4;
  return uint64_t(offset) + stride * uint64_t(height) <= size;
}

}  // namespace

bool readBmp(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "bmp");
  const QSize declared = reader.size();
  if (!declared.isValid()) {
    error = "Invalid BMP data: " + reader.errorString();
    return false;
  }
  // RLE data expands at most 255:1, uncompressed data not at all; the general bound is enough.
  if (!checkDeclaredSize(declared.width(), declared.height(), 1.0, size, error)) return false;
  if (!uncompressedDataComplete(data, size)) {
    error = "The file ends inside its pixel data";
    return false;
  }
  reader.setAllocationLimit(int(std::min<int64_t>(kMaxImagePixels * 4 / (1 << 20), 1 << 30)));
  QImage image;
  if (!reader.read(&image)) {
    error = "Invalid BMP data: " + reader.errorString();
    return false;
  }
  params.BitsPerSample = image.depth() >= 24 ? 8 : image.depth();
  params.SamplesPerPixel = image.depth() >= 24 ? (image.hasAlphaChannel() ? 4 : 3) : 1;
  if (image.dotsPerMeterX() > 0 && image.dotsPerMeterY() > 0) {
    params.DpiX = int(image.dotsPerMeterX() * 0.0254 + 0.5);
    params.DpiY = int(image.dotsPerMeterY() * 0.0254 + 0.5);
  }
  out = fromQImage(image);
  return true;
}

// Qt's writer has no RLE mode, so BMP_Compression is not an option of this writer yet.
bool writeBmp(const Bitmap& image, const IOParams& params, const QString& /*extension*/,
               QByteArray& out, QString& error) {
  QImage q = toQImage(image);
  if (params.DpiX > 0 && params.DpiY > 0) {
    q = q.copy();  // the shared view is read-only
    q.setDotsPerMeterX(int(params.DpiX / 0.0254 + 0.5));
    q.setDotsPerMeterY(int(params.DpiY / 0.0254 + 0.5));
  }
  out.clear();
  QBuffer buffer(&out);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "bmp");
  if (!writer.write(q)) {
    error = "Cannot encode the BMP image: " + writer.errorString();
    return false;
  }
  return true;
}

}  // namespace lumo
