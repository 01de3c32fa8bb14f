#pragma once
#include <QString>

#include "engine/io/IOParams.h"
#include "engine/layers/LayerStack.h"

namespace lumo {

// How a layer keeps its aspect ratio while resized (stored as its ordinal).
enum class AspectRatioMode : int32_t { iearDisabled = 0, iearALTKey, iearAlways, iearGripOnly, iearDefault };

// One version of a document: a complete layered image with the names and options that
// travel with it in a project file.
struct Version {
  QString VersionName;
  QString TheFileName;
  LayerStack Layers;
  IOParams IO;
  AspectRatioMode LayersResizeAspectRatio = AspectRatioMode::iearAlways;
  bool LayersSnapToGrid = false;  // the layer option that snaps layers to the grid
  int32_t LayersSnapDist = 10;
  bool Modified = false;
};

}  // namespace lumo
