#include "BenchPhoto.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <QImage>

namespace lumo::bench {

Bitmap benchPhoto(int width, int height, uint32_t seed) {
  static const char* kPhoto = "/usr/share/wallpapers/Path/contents/images/2560x1600.jpg";
  QImage photo(QString::fromLatin1(kPhoto));
  if (photo.isNull()) {
    std::fprintf(stderr, "missing %s (Debian package plasma-workspace-wallpapers)\n", kPhoto);
    std::exit(1);
  }
  const QImage big =
      photo.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_BGR888);
  Bitmap b(width, height, PixelFormat::ie24RGB);
  uint32_t state = seed * 2654435761u + 1;
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = big.constScanLine(y);
    uint8_t* dst = b.mutableScanline(y);
    for (int x = 0; x < width * 3; ++x) {
      state = state * 1664525u + 1013904223u;
      const int grain = int((state >> 24) % 5) - 2;  // sensor noise of a couple of levels
      dst[x] = uint8_t(std::clamp(int(src[x]) + grain, 0, 255));
    }
  }
  return b;
}

}  // namespace lumo::bench
