// The compositor on a 6000 x 4000 photo: Normal "over" through composeLayers against a
// plain premultiplied loop in the same run, and every blend operation's row speed.
#include <cstdio>
#include <vector>

#include "BenchPhoto.h"
#include "engine/render/BlendOps.h"
#include "engine/render/Compositor.h"

using namespace lumo;

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

void report(const char* name, double value, const char* unit, const char* op, double target) {
  std::printf("BENCH %s %.3g %s goal %s %g\n", name, value, unit, op, target);
}

// The simplest premultiplied "over" of a 24-bit source with an alpha plane.
void plainOver(std::vector<uint32_t>& dst, const Bitmap& src) {
  for (int y = 0; y < src.height(); ++y) {
    const uint8_t* s = src.scanline(y);
    const uint8_t* a = src.alphaScanline(y);
    uint32_t* d = dst.data() + size_t(y) * size_t(src.width());
    for (int x = 0; x < src.width(); ++x, s += 3) {
      const uint32_t al = a[x], rest = 255 - al, p = d[x];
      uint32_t out = (al + (p >> 24) * rest / 255) << 24;
      for (int k = 0; k < 3; ++k) out |= ((s[k] * al + (p >> (8 * k) & 0xFF) * rest) / 255) << (8 * k);
      d[x] = out;
    }
  }
}

}  // namespace

int main() {
  Bitmap photo = bench::benchPhoto(kWidth, kHeight, 1);
  Bitmap top = bench::benchPhoto(kWidth, kHeight, 2);
  top.addAlpha(0);
  for (int y = 0; y < kHeight; ++y) {
    uint8_t* a = top.mutableAlphaScanline(y);
    for (int x = 0; x < kWidth; ++x) a[x] = uint8_t((x * 7 + y * 3) & 0xFF);
  }
  const double megapixels = double(kWidth) * kHeight / 1e6;

  LayerStack stack;
  for (const Bitmap* b : {&photo, &top}) {
    auto layer = std::make_unique<ImageLayer>();
    layer->setRect(QRectF(0, 0, kWidth, kHeight));
    layer->bitmap = *b;
    stack.add(std::move(layer));
  }
  const double composed = bench::fastestSeconds(3, [&] { composeLayers(stack); });
  const double baseline = bench::fastestSeconds(3, [&] {
    // A fresh cleared canvas, as the compositor makes one.
    std::vector<uint32_t> plain(size_t(kWidth) * kHeight);
    // The same work as the composition: the opaque background copied, then the top layer.
    for (int y = 0; y < kHeight; ++y) {
      const uint8_t* s = photo.scanline(y);
      uint32_t* d = plain.data() + size_t(y) * kWidth;
      for (int x = 0; x < kWidth; ++x, s += 3) d[x] = 0xFF000000u | uint32_t(s[2]) << 16 | uint32_t(s[1]) << 8 | s[0];
    }
    plainOver(plain, top);
  });
  report("composite_normal_24mp", composed * 1000, "ms", "<=", baseline * 1000 * 1.2);
  report("composite_normal_vs_plain_loop", composed / baseline, "ratio", "<=", 1.2);

  // Every operation's row function on the translucent layer over the opaque photo, one thread.
  std::vector<uint32_t> backdrop(size_t(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    const uint8_t* s = photo.scanline(y);
    for (int x = 0; x < kWidth; ++x, s += 3)
      backdrop[size_t(y) * kWidth + x] = 0xFF000000u | uint32_t(s[2]) << 16 | uint32_t(s[1]) << 8 | s[0];
  }
  for (int i = 0; i < kRenderOperationCount; ++i) {
    const auto op = RenderOperation(i);
    const BlendRow row = blendRowFor(op, SourceLayout::Bgr24Alpha);
    std::vector<uint32_t> dst;
    const double seconds = bench::fastestSeconds(2, [&] {
      dst = backdrop;
      for (int y = 0; y < kHeight; ++y)
        row(dst.data() + size_t(y) * kWidth, top.scanline(y), top.alphaScanline(y), kWidth, 1u << 16, y);
    });
    const double copy = bench::fastestSeconds(2, [&] { dst = backdrop; });
    char name[96];
    std::snprintf(name, sizeof name, "blend_%s", blendOperationName(op));
    report(name, megapixels / (seconds - copy), "MP/s", ">=", 150);
  }
  return 0;
}
