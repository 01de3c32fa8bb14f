#include "engine/io/OpenJpegStreams.h"

#include <algorithm>
#include <cstring>

namespace lumo {

namespace {

struct Source {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
};

OPJ_SIZE_T readBytes(void* buffer, OPJ_SIZE_T count, void* user) {
  auto* s = static_cast<Source*>(user);
  if (s->pos >= s->size) return OPJ_SIZE_T(-1);
  const size_t n = std::min<size_t>(count, s->size - s->pos);
  std::memcpy(buffer, s->data + s->pos, n);
  s->pos += n;
  return n;
}

OPJ_OFF_T skipBytes(OPJ_OFF_T count, void* user) {
  auto* s = static_cast<Source*>(user);
  if (count < 0 ? size_t(-count) > s->pos : size_t(count) > s->size - s->pos) return -1;
  s->pos = size_t(OPJ_OFF_T(s->pos) + count);
  return count;
}

OPJ_BOOL seekTo(OPJ_OFF_T pos, void* user) {
  auto* s = static_cast<Source*>(user);
  if (pos < 0 || size_t(pos) > s->size) return OPJ_FALSE;
  s->pos = size_t(pos);
  return OPJ_TRUE;
}

struct Sink {
  QByteArray* out;
  size_t pos = 0;
  void reach(size_t end) {
    if (end > size_t(out->size())) out->resize(qsizetype(end), '\0');
  }
};

OPJ_SIZE_T writeBytes(void* buffer, OPJ_SIZE_T count, void* user) {
  auto* s = static_cast<Sink*>(user);
  s->reach(s->pos + count);
  std::memcpy(s->out->data() + s->pos, buffer, count);
  s->pos += count;
  return count;
}

OPJ_OFF_T skipOutput(OPJ_OFF_T count, void* user) {
  auto* s = static_cast<Sink*>(user);
  if (count < 0 && size_t(-count) > s->pos) return -1;
  s->pos = size_t(OPJ_OFF_T(s->pos) + count);
  s->reach(s->pos);
  return count;
}

OPJ_BOOL seekOutput(OPJ_OFF_T pos, void* user) {
  auto* s = static_cast<Sink*>(user);
  if (pos < 0) return OPJ_FALSE;
  s->pos = size_t(pos);
  s->reach(s->pos);
  return OPJ_TRUE;
}

template <class T>
void freeUserData(void* user) {
  delete static_cast<T*>(user);
}

void keepFirstMessage(const char* message, void* user) {
  if (auto* e = static_cast<QString*>(user); e->isEmpty()) *e = QString::fromUtf8(message).trimmed();
}
void dropMessage(const char*, void*) {}

}  // namespace

OpjStream openJpegInput(const uint8_t* data, size_t size) {
  OpjStream stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE));
  if (!stream) return stream;
  opj_stream_set_user_data(stream.get(), new Source{data, size}, freeUserData<Source>);
  opj_stream_set_user_data_length(stream.get(), size);
  opj_stream_set_read_function(stream.get(), readBytes);
  opj_stream_set_skip_function(stream.get(), skipBytes);
  opj_stream_set_seek_function(stream.get(), seekTo);
  return stream;
}

OpjStream openJpegOutput(QByteArray& out) {
  OpjStream stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE));
  if (!stream) return stream;
  out.clear();
  opj_stream_set_user_data(stream.get(), new Sink{&out}, freeUserData<Sink>);
  opj_stream_set_write_function(stream.get(), writeBytes);
  opj_stream_set_skip_function(stream.get(), skipOutput);
  opj_stream_set_seek_function(stream.get(), seekOutput);
  return stream;
}

void quietOpenJpeg(opj_codec_t* codec, QString& lastError) {
  opj_set_error_handler(codec, keepFirstMessage, &lastError);
  opj_set_warning_handler(codec, dropMessage, nullptr);
  opj_set_info_handler(codec, dropMessage, nullptr);
}

}  // namespace lumo
