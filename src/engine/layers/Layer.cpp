#include "engine/layers/Layer.h"

#include <stdexcept>

#include <QDateTime>
#include <QUuid>

#include "engine/layers/LayerKinds.h"

namespace lumo {

namespace {

// The stored date form: days since 30 December 1899, the fraction being the time of day.
double nowAsDayCount() {
  const QDateTime now = QDateTime::currentDateTime();
  return double(QDate(1899, 12, 30).daysTo(now.date())) + now.time().msecsSinceStartOfDay() / 86400000.0;
}

}  // namespace

void Layer::newGuid() {
  // The identifier is kept as the GUID lies in memory on the platform the files come
  // from: Data1, Data2 and Data3 little-endian, then the eight Data4 bytes.
  const QUuid u = QUuid::createUuid();
  for (int i = 0; i < 4; ++i) fGuid[size_t(i)] = uint8_t(u.data1 >> (8 * i));
  for (int i = 0; i < 2; ++i) fGuid[size_t(4 + i)] = uint8_t(u.data2 >> (8 * i));
  for (int i = 0; i < 2; ++i) fGuid[size_t(6 + i)] = uint8_t(u.data3 >> (8 * i));
  for (int i = 0; i < 8; ++i) fGuid[size_t(8 + i)] = u.data4[i];
}

std::unique_ptr<Layer> createLayer(LayerKind kind) {
  std::unique_ptr<Layer> layer;
  switch (kind) {
    case LayerKind::ielkImage: layer = std::make_unique<ImageLayer>(); break;
    case LayerKind::ielkShape: layer = std::make_unique<ShapeLayer>(); break;
    case LayerKind::ielkLine: layer = std::make_unique<LineLayer>(); break;
    case LayerKind::ielkPolyline: layer = std::make_unique<PolylineLayer>(); break;
    case LayerKind::ielkText: {
      // Text stands on the picture without a box of its own.
      auto text = std::make_unique<TextLayer>();
      text->fBorderColor = clNone;
      text->fFillColor = clNone;
      layer = std::move(text);
      break;
    }
    case LayerKind::ielkAngle: layer = std::make_unique<AngleLayer>(); break;
  }
  if (!layer) throw std::invalid_argument("no layer kind has this ordinal");
  layer->newGuid();
  layer->fModifiedDate = nowAsDayCount();
  return layer;
}

}  // namespace lumo
