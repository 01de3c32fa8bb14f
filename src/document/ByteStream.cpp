#include "document/ByteStream.h"

#include <bit>
#include <cstring>

#include "document/ProjectError.h"

static_assert(std::endian::native == std::endian::little, "the stream codecs assume a little-endian host");

namespace lumo {

void ByteWriter::i32(int32_t v) { bytes(&v, 4); }
void ByteWriter::f64(double v) { bytes(&v, 8); }

void ByteWriter::bytes(const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  buf_.insert(buf_.end(), p, p + n);
}

void ByteWriter::wide(const QString& s) {
  i32(int32_t(s.size()));
  bytes(s.utf16(), size_t(s.size()) * 2);
}

void ByteWriter::patchI32(size_t at, int32_t v) { std::memcpy(buf_.data() + at, &v, 4); }

void ByteReader::require(int64_t n) const {
  if (n < 0 || uint64_t(n) > remaining()) throw ProjectError(ProjectErrorText::kCorrupt);
}

void ByteReader::seek(size_t pos) {
  if (pos > size_) throw ProjectError(ProjectErrorText::kCorrupt);
  pos_ = pos;
}

void ByteReader::skip(size_t n) { take(n); }

const uint8_t* ByteReader::take(size_t n) {
  require(int64_t(n));
  const uint8_t* p = data_ + pos_;
  pos_ += n;
  return p;
}

uint8_t ByteReader::u8() { return *take(1); }

int32_t ByteReader::i32() {
  int32_t v;
  std::memcpy(&v, take(4), 4);
  return v;
}

double ByteReader::f64() {
  double v;
  std::memcpy(&v, take(8), 8);
  return v;
}

QString ByteReader::wide() {
  const int32_t count = i32();
  require(int64_t(count) * 2);
  const uint8_t* p = take(size_t(count) * 2);
  QString s(count, Qt::Uninitialized);
  std::memcpy(s.data(), p, size_t(count) * 2);
  return s;
}

}  // namespace lumo
