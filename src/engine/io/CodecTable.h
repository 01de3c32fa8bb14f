#pragma once
// Which codec reads and writes each file type. The registry's reads/writes flags and the
// generic load and save both come from this one table.
#include <cstddef>
#include <cstdint>
#include <vector>

#include <QByteArray>
#include <QString>

#include "engine/io/IOParams.h"
#include "engine/pixels/Bitmap.h"

namespace lumo {

// Readers work on the whole file in memory and fill `out`/`params` only on success.
using ImageReader = bool (*)(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
// Writers encode into `out`; `extension` (lower case, no dot) tells flavours of one type
// apart (PPM, PGM and PBM).
using ImageWriter = bool (*)(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out,
                             QString& error);

struct Codec {
  int32_t code;
  ImageReader read;   // null when this build cannot read the type
  ImageWriter write;  // null when it cannot write it
};

const std::vector<Codec>& codecs();
const Codec* codecOf(int32_t code);

}  // namespace lumo
