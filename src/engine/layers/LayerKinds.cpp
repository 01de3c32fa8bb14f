#include "engine/layers/LayerKinds.h"

namespace lumo {

const char* layerKindName(LayerKind kind) {
  switch (kind) {
    case LayerKind::ielkImage: return "Image";
    case LayerKind::ielkShape: return "Shape";
    case LayerKind::ielkLine: return "Line";
    case LayerKind::ielkPolyline: return "Polyline";
    case LayerKind::ielkText: return "Text";
    case LayerKind::ielkAngle: return "Angle";
  }
  return "Unknown";  // an ordinal read from a damaged file
}

}  // namespace lumo
