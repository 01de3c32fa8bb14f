#pragma once
#include <QString>

#include "engine/io/IOParams.h"
#include "engine/pixels/Bitmap.h"

namespace lumo {

// Reads the first image of a file. The type comes from the extension; when the file's
// own signature names another type (a renamed file), the signature wins. On success
// `params` describes what was read (type, size, depth, resolution, orientation); on
// failure `out` and `params` are left as they were and `error` says why.
bool loadImageFile(const QString& path, Bitmap& out, IOParams& params, QString* error);

// Writes `image` in the type its extension names, with the options of `params`. The
// file is written beside the target and renamed over it, so a failed save leaves the
// previous file untouched.
bool saveImageFile(const QString& path, const Bitmap& image, const IOParams& params, QString* error);

}  // namespace lumo
