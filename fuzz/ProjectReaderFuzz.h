#pragma once
#include <cstddef>
#include <cstdint>

namespace lumo {

// Feeds arbitrary bytes to the project reader, with and without pixels. Whatever the
// bytes, it must return (never crash, hang or allocate beyond what they justify).
void fuzzProjectReader(const uint8_t* data, size_t size);

}  // namespace lumo
