#include "engine/render/Magnifier.h"

#include <algorithm>
#include <cmath>

#include <QPainter>

namespace lumo {

QImage magnifiedPicture(const ImageLayer& layer, const QImage& source, const QRect& placed, ResampleFilter filter) {
  if (placed.isEmpty() || source.isNull()) return {};
  const double stored = layer.Magnify.Rate;
  const double rate = std::isfinite(stored) && stored > 0 ? std::clamp(stored, 0.01, 100.0) : 1.0;
  // The part of the source under the glass, whole pixels about the glass's centre.
  const QPointF centre = QRectF(placed).center();
  const double w = placed.width() / rate, h = placed.height() / rate;
  const QRect seen(QPoint(int(std::floor(centre.x() - w / 2)), int(std::floor(centre.y() - h / 2))),
                   QSize(std::max(1, int(std::lround(w))), std::max(1, int(std::lround(h)))));
  // Beyond the source the glass shows nothing.
  QImage part(seen.size(), QImage::Format_ARGB32_Premultiplied);
  part.fill(Qt::transparent);
  {
    QPainter p(&part);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QPoint(0, 0), source, seen);
  }
  QImage picture = resampleWithFilter(part.convertToFormat(QImage::Format_ARGB32), placed.width(), placed.height(),
                                      filter);
  if (picture.isNull() || layer.Magnify.Style != 1) return picture;
  QImage lens(picture.size(), QImage::Format_ARGB32_Premultiplied);
  lens.fill(Qt::transparent);
  {
    QPainter p(&lens);
    p.setRenderHint(QPainter::Antialiasing, layer.fAntiAlias);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(0, 0, lens.width(), lens.height()));
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.drawImage(QPoint(0, 0), picture.convertToFormat(QImage::Format_ARGB32_Premultiplied));
  }
  return lens.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace lumo
