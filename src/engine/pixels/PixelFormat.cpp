#include "engine/pixels/PixelFormat.h"

namespace lumo {

bool isValidPixelFormat(int ordinal) { return ordinal >= 0 && ordinal < kPixelFormatCount; }

int bitsPerPixel(PixelFormat format) {
  switch (format) {
    case PixelFormat::ieNull: return 0;
    case PixelFormat::ie1g: return 1;
    case PixelFormat::ie8p:
    case PixelFormat::ie8g: return 8;
    case PixelFormat::ie16g: return 16;
    case PixelFormat::ie24RGB:
    case PixelFormat::ieCIELab: return 24;
    case PixelFormat::ie32f:
    case PixelFormat::ieCMYK:
    case PixelFormat::ie32RGB: return 32;
    case PixelFormat::ie48RGB: return 48;
  }
  return 0;
}

const char* pixelFormatName(PixelFormat format) {
  static const char* const names[kPixelFormatCount] = {"ieNull", "ie1g",   "ie8p",    "ie8g",     "ie16g",  "ie24RGB",
                                                       "ie32f",  "ieCMYK", "ie48RGB", "ieCIELab", "ie32RGB"};
  const int i = int(format);
  return isValidPixelFormat(i) ? names[i] : "?";
}

}  // namespace lumo
