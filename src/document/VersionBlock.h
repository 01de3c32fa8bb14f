#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include <QImage>

#include "document/ByteStream.h"
#include "document/LayerDeflater.h"
#include "document/LayerRecord.h"
#include "document/Version.h"

namespace lumo {

constexpr int32_t kLayerStreamVersion = 12200;
constexpr char kLayerStreamMagic[] = "IMAGEENLAYERS";  // 13 bytes, no terminator stored
constexpr size_t kLayerStreamMagicSize = 13;

// Percent of a block written or read so far.
using ProgressFn = std::function<void(int percent)>;

struct BlockWriteOptions {
  int32_t compression = -1;
  bool selectedOnly = false;
  bool leaveOutLayer0 = false;
  bool leaveOutImageLayers = false;
  bool writeThumbnail = true;
  int thumbnailSize = 250;
  ProgressFn progress;
  const LayerDeflater* deflater = nullptr;  // pixels deflated ahead, or in the writer
};

// Whether a layer of `stack` at `index` goes into a block written with `options`.
bool isLayerWritten(const LayerStack& stack, int index, const BlockWriteOptions& options);

// Appends one version block (a complete layer stream) to `stream`.
void LayersSaveToStream(std::vector<uint8_t>& stream, const Version& version, const BlockWriteOptions& options);

// What the head of a block says.
struct BlockHead {
  int32_t version = 0;
  int32_t compression = -1;
  int32_t layerCount = 0;
  int32_t width = 0;
  int32_t height = 0;
  QString description;
  bool backgroundStored = true;
  bool hasThumbnail = false;
  QSize thumbnailSize;  // from the stored image's header, without decoding it
  QImage thumbnail;
};

// Reads the head at the reader's position. Returns false, after reading the 25 bytes,
// when they do not start a layer stream. `readThumbnailPart` reads the has-thumbnail
// byte and skips (or with `decodeThumbnail`, decodes) the thumbnail. Throws
// ProjectError when the head is cut short.
bool readBlockHead(ByteReader& in, BlockHead& head, bool readThumbnailPart, bool decodeThumbnail);

// Reads one block from the reader's position into `version` and fills its I/O
// parameters from the head. With `append` the block's layers are added on top of the
// existing ones; otherwise they replace them. Without `loadPixels` only the layers'
// properties are read (deflated pixels are skipped). Returns false when the bytes are
// not a layer stream. Throws ProjectError on damage.
bool LayersLoadFromStream(ByteReader& in, Version& version, bool append, const ProgressFn& progress,
                          bool loadPixels = true);

}  // namespace lumo
