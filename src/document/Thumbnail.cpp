#include "document/Thumbnail.h"

#include <cmath>
#include <cstdio>
#include <jpeglib.h>

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

#include "engine/pixels/QImageBridge.h"
#include "engine/render/Compositor.h"
#include "engine/render/Resample.h"

namespace lumo {

std::optional<QSize> thumbnailSizeFor(int width, int height, int ts) {
  if (ts < 1 || width < 5 || height < 5) return std::nullopt;
  if (width < height && width > ts) return QSize(ts, std::max(1, int(int64_t(height) * ts / width)));
  if (height > ts) return QSize(std::max(1, int(int64_t(width) * ts / height)), ts);
  return QSize(width, height);
}

namespace {

QImage overWhite(const QImage& image) {
  QImage out(image.size(), QImage::Format_RGB888);
  out.fill(Qt::white);
  QPainter p(&out);
  p.drawImage(0, 0, image);
  return out;
}

QImage firstSelectedLayerPicture(const LayerStack& stack) {
  for (int i = 0; i < stack.count(); ++i) {
    const Layer& layer = stack.at(i);
    if (!layer.fSelected) continue;
    LayerStack single;
    single.add(layer.clone());
    single.at(0).PosX = single.at(0).PosY = 0;
    return composeLayers(single);
  }
  return {};
}

}  // namespace

QImage makeBlockThumbnail(const LayerStack& stack, bool leaveOutLayer0, int layersWritten, int ts) {
  if (ts < 1) return {};
  if (leaveOutLayer0 && layersWritten == 1) {
    const QImage picture = firstSelectedLayerPicture(stack);
    if (picture.isNull()) return {};
    return overWhite(resampleImage(picture.convertToFormat(QImage::Format_ARGB32_Premultiplied), ts, ts));
  }
  const Layer* background = stack.isEmpty() ? nullptr : &stack.at(0);
  if (!background) return {};
  const auto size = thumbnailSizeFor(int(std::lround(background->Width)), int(std::lround(background->Height)), ts);
  if (!size) return {};
  // The fast merge: layers are first reduced to about twice the thumbnail's size.
  const int scale = std::min(int(background->Width) / size->width(), int(background->Height) / size->height());
  const int factor = ts < 1000 ? std::max(1, scale / 2) : 1;
  const QImage merged = composeLayersReduced(stack, factor);
  if (merged.isNull()) return {};
  const QImage reduced = *size == merged.size() ? merged : resampleImage(merged, size->width(), size->height());
  return overWhite(reduced);
}

std::vector<uint8_t> encodeThumbnailJpeg(const QImage& image) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long length = 0;
  jpeg_mem_dest(&cinfo, &buffer, &length);
  cinfo.image_width = JDIMENSION(rgb.width());
  cinfo.image_height = JDIMENSION(rgb.height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uchar*>(rgb.constScanLine(int(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> out(buffer, buffer + length);
  free(buffer);
  return out;
}

QSize storedImageSize(const uint8_t* data, size_t size) {
  if (size == 0 || size >= (size_t(1) << 31)) return {};
  QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
  QBuffer buffer(&bytes);
  QImageReader reader(&buffer);
  return reader.size().isValid() ? reader.size() : QSize();
}

QImage decodeThumbnail(const uint8_t* data, size_t size) {
  QImage image;
  if (size > 0 && size < (size_t(1) << 31)) image.loadFromData(data, int(size));
  return image;
}

}  // namespace lumo
