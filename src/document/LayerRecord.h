#pragma once
#include <cstdint>
#include <vector>

#include "document/ByteStream.h"
#include "engine/layers/LayerStack.h"

namespace lumo {

constexpr int32_t kLayerRecordVersion = 12200;

// A deflated raw bitmap block found while reading, inflated later (several at once).
struct PendingPixels {
  ImageLayer* layer = nullptr;
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// Writes one layer record (common part, then the kind part) at the writer's end.
// For image layers: `metadataOnly` writes no pixels; `deflatedPixels`, when given, is
// the already deflated raw block of the layer's bitmap (so a save can deflate many
// layers at once). Every image layer is written with pixel code -1.
void writeLayerRecord(ByteWriter& out, const Layer& layer, int32_t compressionCode, bool metadataOnly = false,
                      const ByteBuffer* deflatedPixels = nullptr);

// Reads record length, version, kind and identifier and returns to where it started.
// Throws ProjectError on a version the reader does not take or an unknown kind.
LayerKind peekLayerKind(ByteReader& in);

// Reads one record into `layer`, which has the record's kind. When `pending` is given,
// deflated pixels are queued there instead of being inflated. Leaves the reader at the
// end of the record. Throws ProjectError.
void readLayerRecord(ByteReader& in, Layer& layer, std::vector<PendingPixels>* pending = nullptr);

// Reads a layer of a stream older than version 6400. `owner` is the stack the layer
// belongs to ("Owner not assigned" without one).
void readLegacyLayerRecord(ByteReader& in, ImageLayer& layer, int32_t streamVersion, int32_t compressionCode,
                           const LayerStack* owner);

// Inflates every queued block, on as many cores as there are, into its layer.
void inflatePendingPixels(const std::vector<PendingPixels>& pending);

}  // namespace lumo
