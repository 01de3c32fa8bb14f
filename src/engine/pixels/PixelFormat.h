#pragma once
#include <cstdint>

namespace lumo {

// Ordinals are stored in project files; never renumber.
enum class PixelFormat : uint8_t {
  ieNull = 0,
  ie1g = 1,      // 1 bit per pixel, most significant bit first, 1 = white
  ie8p = 2,      // 8-bit index into the palette
  ie8g = 3,      // 8-bit grey
  ie16g = 4,     // 16-bit grey
  ie24RGB = 5,   // blue, green, red bytes
  ie32f = 6,     // 32-bit float grey, 0.0 black ... 1.0 white
  ieCMYK = 7,    // cyan, magenta, yellow, black bytes, 255 = full ink
  ie48RGB = 8,   // red, green, blue 16-bit words
  ieCIELab = 9,  // L (0..255 for 0..100), a and b as signed bytes
  ie32RGB = 10,  // blue, green, red, unused byte
};

constexpr int kPixelFormatCount = 11;

bool isValidPixelFormat(int ordinal);
int bitsPerPixel(PixelFormat format);
const char* pixelFormatName(PixelFormat format);

}  // namespace lumo
