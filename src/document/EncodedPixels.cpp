#include "document/EncodedPixels.h"

#include "document/ProjectError.h"
#include "document/RawBitmapBlock.h"
#include "engine/io/ImageFile.h"
#include "engine/pixels/PixelConvert.h"

namespace lumo {

// The image readers recognise the format from the bytes and check every declared size
// before they allocate, so a forged header cannot ask for gigabytes.
Bitmap decodeEncodedPixels(const uint8_t* data, size_t size, bool asGrey) {
  Bitmap image;
  IOParams params;
  params.EnableAdjustOrientation = false;  // the layer holds the pixels as the writer stored them
  if (!decodeImage(data, size, QString(), image, params, nullptr) ||
      int64_t(image.width()) * image.height() > kMaxStoredPixels)
    throw ProjectError(ProjectErrorText::kCorrupt);
  if (!asGrey) return convertPixelFormat(image, PixelFormat::ie24RGB);  // keeps the alpha plane
  Bitmap grey = convertPixelFormat(image, PixelFormat::ie8g);
  grey.removeAlpha();  // a mask is its grey values alone
  return grey;
}

}  // namespace lumo
