#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include <QString>

namespace lumo {

// Little-endian encoder into a growing buffer, with patching of earlier fields.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& buffer) : buf_(buffer) {}
  size_t pos() const { return buf_.size(); }
  void u8(uint8_t v) { buf_.push_back(v); }
  void boolean(bool v) { u8(v ? 1 : 0); }
  void i32(int32_t v);
  void f64(double v);
  void bytes(const void* data, size_t n);
  // int32 count of UTF-16 code units, then the code units.
  void wide(const QString& s);
  void patchI32(size_t at, int32_t v);

 private:
  std::vector<uint8_t>& buf_;
};

// Little-endian decoder over bytes it does not own. Every read is checked against
// what is left; running past the end throws ProjectError("File stream is corrupt").
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t pos() const { return pos_; }
  size_t size() const { return size_; }
  size_t remaining() const { return size_ - pos_; }
  bool atEnd() const { return pos_ >= size_; }
  void seek(size_t pos);
  void skip(size_t n);
  uint8_t u8();
  bool boolean() { return u8() != 0; }
  int32_t i32();
  double f64();
  QString wide();
  // A span of `n` bytes that stays valid as long as the underlying bytes do.
  const uint8_t* take(size_t n);
  // Throws unless `n` more bytes are there; `n` may come straight from the file.
  void require(int64_t n) const;
  const uint8_t* data() const { return data_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace lumo
