#pragma once
#include <cstddef>
#include <cstdint>

#include <QByteArray>
#include <QString>

#include "engine/io/IOParams.h"
#include "engine/pixels/Bitmap.h"

namespace lumo {

// Reads the first image of a file. The type comes from the extension; when the file's
// own signature names another type (a renamed file), the signature wins. On success
// `params` describes what was read (type, size, depth, resolution, orientation); on
// failure `out` and `params` are left as they were and `error` says why.
bool loadImageFile(const QString& path, Bitmap& out, IOParams& params, QString* error);
// The same for a file already in memory; `nameHint` (a file name, or empty) gives the
// type when the bytes' own signature is weak or absent, and names the file in errors.
bool decodeImage(const uint8_t* data, size_t size, const QString& nameHint, Bitmap& out, IOParams& params,
                 QString* error);

// Writes `image` in the type its extension names, with the options of `params`. The
// file is written beside the target and renamed over it, so a failed save leaves the
// previous file untouched.
bool saveImageFile(const QString& path, const Bitmap& image, const IOParams& params, QString* error);
// Encodes `image` as the type `extension` names (with or without the dot).
bool encodeImage(const QString& extension, const Bitmap& image, const IOParams& params, QByteArray& out,
                 QString* error);

}  // namespace lumo
