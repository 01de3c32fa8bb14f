#include "engine/io/DicomJpeg2000.h"

#include <algorithm>
#include <cstring>

#include "engine/io/OpenJpegStreams.h"

namespace lumo {

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
  OpjImage image(opj_image_create(OPJ_UINT32(s.components), parms, s.components == 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY));
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
  OpjCodec codec(opj_create_compress(OPJ_CODEC_J2K));
  QByteArray bytes;
  OpjStream stream = openJpegOutput(bytes);
  if (codec) quietOpenJpeg(codec.get(), message);
  if (!codec || !stream || !opj_setup_encoder(codec.get(), &p, image.get())) {
    error = "Cannot set up the JPEG 2000 encoder";
    return false;
  }
  if (!opj_start_compress(codec.get(), image.get(), stream.get()) || !opj_encode(codec.get(), stream.get()) ||
      !opj_end_compress(codec.get(), stream.get())) {
    error = QString("Cannot encode the JPEG 2000 image: %1").arg(message);
    return false;
  }
  stream.reset();
  out = std::move(bytes);
  return true;
}

bool decodeJ2k(const uint8_t* data, size_t size, int width, int height, int components, J2kSamples& out,
               QString& error) {
  QString message;
  OpjCodec codec(opj_create_decompress(OPJ_CODEC_J2K));
  if (codec) quietOpenJpeg(codec.get(), message);
  opj_dparameters_t p;
  opj_set_default_decoder_parameters(&p);
  OpjStream stream = openJpegInput(data, size);
  if (!codec || !stream || !opj_setup_decoder(codec.get(), &p)) {
    error = "Cannot set up the JPEG 2000 decoder";
    return false;
  }
  opj_image_t* raw = nullptr;
  const bool header = opj_read_header(stream.get(), codec.get(), &raw);
  OpjImage image(raw);
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
