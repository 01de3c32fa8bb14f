#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lumo {

// Reads arbitrary bytes as the RTF of a formatted text layer, one character per byte,
// and writes what was read back out. The reader must return whatever the bytes (never
// crash, hang or allocate beyond what they justify), and the RTF written must read
// back as the same text; a difference aborts.
void fuzzRtfReader(const uint8_t* data, size_t size);

// Formatted texts of every kind the writer writes: runs, fonts, colours, paragraphs,
// lists, line spacing and Unicode.
std::vector<std::pair<std::string, std::vector<uint8_t>>> makeSeedRtf();

}  // namespace lumo
