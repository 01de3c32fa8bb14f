#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lumo {

// Feeds arbitrary bytes to the generic loader (reader and metadata) and to every image
// reader of the codec table. Whatever the bytes, each must return (never crash, hang or
// allocate beyond what they justify).
void fuzzImageReaders(const uint8_t* data, size_t size);

// Small files of every readable format, made by the writers.
std::vector<std::pair<std::string, std::vector<uint8_t>>> makeSeedImages();

}  // namespace lumo
