#include "engine/io/ImageCodecs.h"

namespace lumo {

bool checkDeclaredSize(int64_t width, int64_t height, double bytesPerPixel, size_t fileSize, QString& error) {
  if (width <= 0 || height <= 0) {
    error = "The image has no pixels";
    return false;
  }
  if (width > kMaxImageSide || height > kMaxImageSide || width * height > kMaxImagePixels) {
    error = QString("The image is too large (%1 x %2 pixels)").arg(width).arg(height);
    return false;
  }
  // A little slack covers headers of tiny images.
  const double raw = double(width) * double(height) * bytesPerPixel;
  if (raw > double(fileSize) * double(kMaxExpansion) + 65536.0) {
    error = QString("The file is too short for an image of %1 x %2 pixels").arg(width).arg(height);
    return false;
  }
  return true;
}

}  // namespace lumo
