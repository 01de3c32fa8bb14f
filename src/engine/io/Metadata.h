#pragma once
// EXIF, IPTC, XMP and the embedded colour profile: read with the image, kept in
// IOParams, written back into the encoded file.
#include <cstddef>
#include <cstdint>

#include <QByteArray>
#include <QString>

#include "engine/io/IOParams.h"
#include "engine/pixels/Bitmap.h"

namespace lumo {

// What a saved file of a type can carry. A type that cannot carry a kind is written
// without it.
struct MetadataSupport {
  bool exif = false;
  bool iptc = false;
  bool xmp = false;
  bool icc = false;
};
MetadataSupport metadataSupport(int32_t fileType);

// Fills the metadata of `params` (after clearing it) from a whole file in memory.
// Metadata that cannot be read is left out; the image loads all the same. When the
// reader turned the pixels upright (`pixelsTurned`), what is kept describes the turned
// image: orientation 1 and the pixel dimensions `width` × `height`.
void readMetadata(const uint8_t* data, size_t size, bool pixelsTurned, int width, int height, IOParams& params);

// Writes the metadata of `params` into `file`, `image` encoded as `fileType`. Unless
// StripMetadata is set, EXIF (when EXIF_HasEXIFData), IPTC and XMP go in as far as the
// type carries them; the colour profile always does when it describes the stored
// pixels (an RGB profile for colour, a grey one for grey). The written EXIF and XMP
// describe the saved pixels: their dimensions and, unless edited, the resolution follow
// the image. What was meant to go in is read back; when something is missing, or the
// writing fails, `file` is unchanged and `error` says why.
bool writeMetadata(int32_t fileType, const IOParams& params, const Bitmap& image, QByteArray& file,
                   QString& error);

// Removes all EXIF from `params` (every field, the kept block and the flag).
void clearExif(IOParams& params);
// Removes EXIF, IPTC, XMP and the colour profile.
void clearMetadata(IOParams& params);

}  // namespace lumo
