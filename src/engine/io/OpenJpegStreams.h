#pragma once
// OpenJPEG over memory, shared by the JPEG 2000 files and the JPEG 2000 pixel data of
// DICOM: owning handles, streams reading a buffer or growing one, and quiet codecs.
#include <cstddef>
#include <cstdint>
#include <memory>

#include <QByteArray>
#include <QString>
#include <openjpeg.h>

namespace lumo {

struct OpjCodecDeleter {
  void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct OpjStreamDeleter {
  void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct OpjImageDeleter {
  void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};
using OpjCodec = std::unique_ptr<opj_codec_t, OpjCodecDeleter>;
using OpjStream = std::unique_ptr<opj_stream_t, OpjStreamDeleter>;
using OpjImage = std::unique_ptr<opj_image_t, OpjImageDeleter>;

// A stream over `size` bytes at `data`, which must outlive it. Null when out of memory.
OpjStream openJpegInput(const uint8_t* data, size_t size);
// A stream writing into `out` from its start; the encoder's seeks back patch it in place.
OpjStream openJpegOutput(QByteArray& out);
// Keeps the codec's first error in `lastError` and drops its warnings and notes.
void quietOpenJpeg(opj_codec_t* codec, QString& lastError);

}  // namespace lumo
