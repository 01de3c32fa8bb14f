#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include <QImage>
#include <QSize>

#include "engine/layers/LayerStack.h"

namespace lumo {

// Thumbnail size of the image platform; the program never changes it.
constexpr int kThumbnailSize = 250;

// The size a thumbnail of a w × h image is stored at, or nullopt when none is written
// (image under 5 pixels on a side, or a thumbnail size below 1). A portrait image is
// reduced by its width, any other by its height, so a wide panorama stays wide.
std::optional<QSize> thumbnailSizeFor(int width, int height, int thumbnailSize = kThumbnailSize);

// The thumbnail of a version block. Normally the merged picture of the stack reduced
// by the rule above; when the background is left out and exactly one layer is
// written, the first selected layer drawn at thumbnailSize × thumbnailSize. Transparent
// areas are shown over white, since JPEG has no alpha. Null when none is written.
QImage makeBlockThumbnail(const LayerStack& stack, bool leaveOutLayer0, int layersWritten,
                          int thumbnailSize = kThumbnailSize);

// A baseline JFIF file at the codec's default quality.
std::vector<uint8_t> encodeThumbnailJpeg(const QImage& image);

// Width and height of a stored thumbnail, read from its header; empty when unreadable.
QSize storedImageSize(const uint8_t* data, size_t size);

// Decodes a stored thumbnail (JPEG, or PNG in old streams); null when undecodable.
QImage decodeThumbnail(const uint8_t* data, size_t size);

}  // namespace lumo
