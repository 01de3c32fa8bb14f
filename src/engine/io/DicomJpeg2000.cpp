#include "engine/io/DicomJpeg2000.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <openjpeg.h>

namespace lumo {

namespace {

struct MemoryIn {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
};

OPJ_SIZE_T readIn(void* buffer, OPJ_SIZE_T n, void* user) {
  auto* m = static_cast<MemoryIn*>(user);
  const size_t left = m->size - m->pos;
  if (left == 0) return OPJ_SIZE_T(-1);
  n = std::min<OPJ_SIZE_T>(n, left);
  std::memcpy(buffer, m->data + m->pos, n);
  m->pos += n;
  return n;
}

OPJ_OFF_T skipIn(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<MemoryIn*>(user);
  if (n < 0 || size_t(n) > m->size - m->pos) return -1;
  m->pos += size_t(n);
  return n;
}

OPJ_BOOL seekIn(OPJ_OFF_T to, void* user) {
  auto* m = static_cast<MemoryIn*>(user);
  if (to < 0 || size_t(to) > m->size) return OPJ_FALSE;
  m->pos = size_t(to);
  return OPJ_TRUE;
}

// The encoder seeks back to patch lengths, so the output is a growable buffer with a cursor.
struct MemoryOut {
  QByteArray bytes;
  qsizetype pos = 0;
};

OPJ_SIZE_T writeOut(void* buffer, OPJ_SIZE_T n, void* user) {
  auto* m = static_cast<MemoryOut*>(user);
  if (m->pos + qsizetype(n) > m->bytes.size()) m->bytes.resize(m->pos + qsizetype(n));
  std::memcpy(m->bytes.data() + m->pos, buffer, n);
  m->pos += qsizetype(n);
  return n;
}

OPJ_OFF_T skipOut(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<MemoryOut*>(user);
  if (m->pos + n < 0) return -1;
  m->pos += qsizetype(n);
  if (m->pos > m->bytes.size()) m->bytes.resize(m->pos, '\0');
  return n;
}

OPJ_BOOL seekOut(OPJ_OFF_T to, void* user) {
  auto* m = static_cast<MemoryOut*>(user);
  if (to < 0) return OPJ_FALSE;
  m->pos = qsizetype(to);
  if (m->pos > m->bytes.size()) m->bytes.resize(m->pos, '\0');
  return OPJ_TRUE;
}

void keepMessage(const char* message, void* user) {
  if (auto* e = static_cast<QString*>(user); e->isEmpty()) *e = QString::fromUtf8(message).trimmed();
}
void ignoreMessage(const char*, void*) {}

struct CodecDeleter {
  void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamDeleter {
  void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct ImageDeleter {
  void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};
using Codec = std::unique_ptr<opj_codec_t, CodecDeleter>;
using Stream = std::unique_ptr<opj_stream_t, StreamDeleter>;
using Image = std::unique_ptr<opj_image_t, ImageDeleter>;

void quiet(opj_codec_t* codec, QString& message) {
  opj_set_error_handler(codec, keepMessage, &message);
  opj_set_warning_handler(codec, ignoreMessage, nullptr);
  opj_set_info_handler(codec, ignoreMessage, nullptr);
}

}  // namespace

bool encodeJ2k(const J2kSamples& s, bool lossless, int quality, QByteArray& out, QString& error) {
  opj_image_cmptparm_t parms[3];
  std::memset(parms, 0, sizeof parms);
  for (int c = 0; c < s.components; ++c) {
    parms[c].dx = parms[c].dy = 1;
    parms[c].w = OPJ_UINT32(s.width);
    parms[c].h = OPJ_UINT32(s.height);
    parms[c].prec = OPJ_UINT32(s.bits);
    parms[c].sgnd = s.isSigned ? 1 : 0;
  }
  Image image(opj_image_create(OPJ_UINT32(s.components), parms, s.components == 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY));
  if (!image) {
    error = "Out of memory";
    return false;
  }
  image->x1 = OPJ_UINT32(s.width);
  image->y1 = OPJ_UINT32(s.height);
  const size_t count = size_t(s.width) * size_t(s.height);
  for (int c = 0; c < s.components; ++c) {
    OPJ_INT32* d = image->comps[c].data;
    for (size_t i = 0; i < count; ++i) {
      const size_t at = i * size_t(s.components) + size_t(c);
      uint16_t v;
      if (s.bits > 8)
        std::memcpy(&v, s.data.data() + at * 2, 2);
      else
        v = s.data[at];
      d[i] = s.isSigned ? (s.bits > 8 ? OPJ_INT32(int16_t(v)) : OPJ_INT32(int8_t(v))) : OPJ_INT32(v);
    }
  }

  opj_cparameters_t p;
  opj_set_default_encoder_parameters(&p);
  p.tcp_numlayers = 1;
  p.cp_disto_alloc = 1;
  p.tcp_mct = s.components == 3 ? 1 : 0;
  p.irreversible = lossless ? 0 : 1;
  // Quality 100 keeps nearly everything; each step down allows half a unit more compression.
  p.tcp_rates[0] = lossless ? 0.0f : 1.0f + float(100 - std::clamp(quality, 1, 100)) * 0.5f;
  // Each resolution level halves the image; the smallest must keep a pixel.
  int levels = 1;
  while (levels < 6 && (std::min(s.width, s.height) >> levels) > 0) ++levels;
  p.numresolution = levels;

  QString message;
  Codec codec(opj_create_compress(OPJ_CODEC_J2K));
  quiet(codec.get(), message);
  MemoryOut sink;
  Stream stream(opj_stream_create(1 << 16, OPJ_FALSE));
  if (!codec || !stream || !opj_setup_encoder(codec.get(), &p, image.get())) {
    error = "Cannot set up the JPEG 2000 encoder";
    return false;
  }
  opj_stream_set_user_data(stream.get(), &sink, nullptr);
  opj_stream_set_write_function(stream.get(), writeOut);
  opj_stream_set_skip_function(stream.get(), skipOut);
  opj_stream_set_seek_function(stream.get(), seekOut);
  if (!opj_start_compress(codec.get(), image.get(), stream.get()) || !opj_encode(codec.get(), stream.get()) ||
      !opj_end_compress(codec.get(), stream.get())) {
    error = QString("Cannot encode the JPEG 2000 image: %1").arg(message);
    return false;
  }
  stream.reset();
  out = std::move(sink.bytes);
  return true;
}

bool decodeJ2k(const uint8_t* data, size_t size, int width, int height, int components, J2kSamples& out,
               QString& error) {
  QString message;
  Codec codec(opj_create_decompress(OPJ_CODEC_J2K));
  quiet(codec.get(), message);
  opj_dparameters_t p;
  opj_set_default_decoder_parameters(&p);
  MemoryIn source{data, size};
  Stream stream(opj_stream_create(1 << 16, OPJ_TRUE));
  if (!codec || !stream || !opj_setup_decoder(codec.get(), &p)) {
    error = "Cannot set up the JPEG 2000 decoder";
    return false;
  }
  opj_stream_set_user_data(stream.get(), &source, nullptr);
  opj_stream_set_user_data_length(stream.get(), size);
  opj_stream_set_read_function(stream.get(), readIn);
  opj_stream_set_skip_function(stream.get(), skipIn);
  opj_stream_set_seek_function(stream.get(), seekIn);
  opj_image_t* raw = nullptr;
  const bool header = opj_read_header(stream.get(), codec.get(), &raw);
  Image image(raw);
  if (!header || !image) {
    error = QString("Invalid JPEG 2000 data: %1").arg(message);
    return false;
  }
  // The code stream must describe exactly what the DICOM attributes declare.
  bool fits = int(image->numcomps) == components && image->x0 == 0 && image->y0 == 0 &&
              image->x1 == OPJ_UINT32(width) && image->y1 == OPJ_UINT32(height);
  for (OPJ_UINT32 c = 0; fits && c < image->numcomps; ++c) {
    const opj_image_comp_t& comp = image->comps[c];
    fits = comp.dx == 1 && comp.dy == 1 && comp.prec >= 1 && comp.prec <= 16 && comp.prec == image->comps[0].prec &&
           comp.sgnd == image->comps[0].sgnd;
  }
  if (!fits) {
    error = "The JPEG 2000 data does not match the DICOM image it belongs to";
    return false;
  }
  if (!opj_decode(codec.get(), stream.get(), image.get()) || !opj_end_decompress(codec.get(), stream.get())) {
    error = QString("Invalid JPEG 2000 data: %1").arg(message);
    return false;
  }
  const size_t count = size_t(width) * size_t(height);
  for (OPJ_UINT32 c = 0; c < image->numcomps; ++c)
    if (!image->comps[c].data || image->comps[c].w != OPJ_UINT32(width) || image->comps[c].h != OPJ_UINT32(height)) {
      error = "Invalid JPEG 2000 data: a component is missing";
      return false;
    }

  J2kSamples s;
  s.width = width;
  s.height = height;
  s.components = components;
  s.bits = int(image->comps[0].prec);
  s.isSigned = image->comps[0].sgnd != 0;
  const int bytes = s.bits > 8 ? 2 : 1;
  s.data.resize(count * size_t(components) * size_t(bytes));
  const int lo = s.isSigned ? -(1 << (s.bits - 1)) : 0, hi = s.isSigned ? (1 << (s.bits - 1)) - 1 : (1 << s.bits) - 1;
  for (int c = 0; c < components; ++c) {
    const OPJ_INT32* src = image->comps[c].data;
    for (size_t i = 0; i < count; ++i) {
      const auto v = uint16_t(std::clamp(int(src[i]), lo, hi));
      const size_t at = i * size_t(components) + size_t(c);
      if (bytes == 2)
        std::memcpy(s.data.data() + at * 2, &v, 2);
      else
        s.data[at] = uint8_t(v);
    }
  }
  out = std::move(s);
  return true;
}

}  // namespace lumo
