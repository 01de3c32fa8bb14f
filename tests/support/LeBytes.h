#pragma once
// An encoder of little-endian fields for tests that assemble stored bytes by hand,
// independent of the program's own stream writer.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace lumo::test {

class LeBytes {
 public:
  LeBytes& u8(uint8_t v) { b_.push_back(v); return *this; }
  LeBytes& i32(int32_t v) { for (int i = 0; i < 4; ++i) b_.push_back(uint8_t(uint32_t(v) >> (8 * i))); return *this; }
  LeBytes& f64(double v) { uint64_t u; std::memcpy(&u, &v, 8); for (int i = 0; i < 8; ++i) b_.push_back(uint8_t(u >> (8 * i))); return *this; }
  LeBytes& ascii(const std::string& s) { b_.insert(b_.end(), s.begin(), s.end()); return *this; }
  LeBytes& wide(const std::u16string& s) {
    i32(int32_t(s.size()));
    for (char16_t c : s) { b_.push_back(uint8_t(c)); b_.push_back(uint8_t(c >> 8)); }
    return *this;
  }
  template <class Bytes>
  LeBytes& raw(const Bytes& v) { b_.insert(b_.end(), v.begin(), v.end()); return *this; }
  LeBytes& zeros(size_t n) { b_.insert(b_.end(), n, 0); return *this; }
  LeBytes& patchI32(size_t at, int32_t v) { for (int i = 0; i < 4; ++i) b_[at + i] = uint8_t(uint32_t(v) >> (8 * i)); return *this; }
  size_t size() const { return b_.size(); }
  const std::vector<uint8_t>& bytes() const { return b_; }

 private:
  std::vector<uint8_t> b_;
};

}  // namespace lumo::test
