// The compositor on a 6000 x 4000 photo: Normal "over" of a 24-bit layer with an alpha
// plane through composeLayers against the plain premultiplied loop in the same run, on
// one core and on two, a 1/16 region against the whole, and every blend operation's row
// speed on one core. One-core figures are processor time, so that other programs on a
// shared machine count less; the speed-up on all cores is time on the wall.
#include <cstdio>
#include <cstring>
#include <vector>

#include "BenchReport.h"
#include "BenchCores.h"
#include "BenchPhoto.h"
#include "engine/render/BlendOps.h"
#include "engine/render/Compositor.h"

using namespace lumo;

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

using bench::report;

// The plain loop: premultiplied 8-bit "over" of one ARGB32 buffer onto another with
// exact rounding of x / 255, four pixels at a time (dispatched like the compositor).
using Sixteen = uint8_t __attribute__((vector_size(16)));
using Words = uint16_t __attribute__((vector_size(32)));

[[gnu::target_clones("avx2", "ssse3", "default")]] void plainOver(const uint32_t* src, uint32_t* dst, size_t n) {
  constexpr Sixteen alphas = {3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15};
  for (size_t i = 0; i < n; i += 4) {
    Sixteen s, d;
    std::memcpy(&s, src + i, sizeof s);
    std::memcpy(&d, dst + i, sizeof d);
    Words x = __builtin_convertvector(d, Words) * (255 - __builtin_convertvector(__builtin_shuffle(s, alphas), Words)) + 128;
    x = (x + (x >> 8)) >> 8;
    const Sixteen out = s + __builtin_convertvector(x, Sixteen);
    std::memcpy(dst + i, &out, sizeof out);
  }
}

std::vector<uint32_t> opaqueArgb(const Bitmap& photo) {
  std::vector<uint32_t> out(size_t(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    const uint8_t* s = photo.scanline(y);
    for (int x = 0; x < kWidth; ++x, s += 3)
      out[size_t(y) * kWidth + x] = 0xFF000000u | uint32_t(s[2]) << 16 | uint32_t(s[1]) << 8 | s[0];
  }
  return out;
}

}  // namespace

int main() {
  cpu_set_t allowed;
  sched_getaffinity(0, sizeof allowed, &allowed);
  const int cores = CPU_COUNT(&allowed);

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

  // The same two pictures as premultiplied ARGB32 for the plain loop.
  const std::vector<uint32_t> backdrop = opaqueArgb(photo);
  std::vector<uint32_t> premultipliedTop(backdrop.size());
  for (int y = 0; y < kHeight; ++y) {
    const uint8_t* s = top.scanline(y);
    const uint8_t* a = top.alphaScanline(y);
    for (int x = 0; x < kWidth; ++x, s += 3) {
      uint32_t p = uint32_t(a[x]) << 24;
      for (int k = 0; k < 3; ++k) p |= uint32_t((s[k] * a[x] + 127) / 255) << (8 * k);
      premultipliedTop[size_t(y) * kWidth + x] = p;
    }
  }

  bench::useCores(allowed, 1);
  std::vector<uint32_t> plain = backdrop;
  const double baseline =
      bench::fastestCpuSeconds(5, [&] { plainOver(premultipliedTop.data(), plain.data(), plain.size()); });
  // Like the plain loop, the compositor writes into a picture that exists already (as a
  // view's does); a new picture each time adds the system's clearing of fresh memory.
  const QRect whole(0, 0, kWidth, kHeight), region(kWidth * 3 / 8, kHeight * 3 / 8, kWidth / 4, kHeight / 4);
  QImage canvas, part;
  const double oneCore = bench::fastestCpuSeconds(5, [&] { composeLayers(stack, whole, canvas); });
  const double regionOneCore = bench::fastestCpuSeconds(5, [&] { composeLayers(stack, region, part); });
  const double newPicture = bench::fastestCpuSeconds(3, [&] { composeLayers(stack); });
  const double oneCoreWall = bench::fastestSeconds(5, [&] { composeLayers(stack, whole, canvas); });
  bench::useCores(allowed, cores);
  const double allCores = bench::fastestSeconds(5, [&] { composeLayers(stack, whole, canvas); });

  report("plain_over_loop_24mp", megapixels / baseline, "MP/s", ">", 0);
  report("composite_normal_24mp", megapixels / oneCore, "MP/s", ">=", 0.6 * megapixels / baseline);
  report("composite_normal_24mp_new_picture", megapixels / newPicture, "MP/s", ">", 0);
  report("composite_normal_speed_vs_plain_loop", baseline / oneCore, "ratio", ">=", 0.6);
  char name[96];
  std::snprintf(name, sizeof name, "composite_normal_speedup_%d_cores", cores);
  report(name, oneCoreWall / allCores, "ratio", ">=", 1);
  report("composite_region_1_16_vs_whole", regionOneCore / oneCore, "ratio", "<=", 1.0 / 8);

  // Every operation's row function on the translucent layer over the opaque photo, one core.
  bench::useCores(allowed, 1);
  std::vector<uint32_t> dst;
  const double copy = bench::fastestCpuSeconds(3, [&] { dst = backdrop; });
  for (int i = 0; i < kRenderOperationCount; ++i) {
    const auto op = RenderOperation(i);
    const BlendRow row = blendRowFor(op, SourceLayout::Bgr24Alpha);
    const double seconds = bench::fastestCpuSeconds(3, [&] {
      dst = backdrop;
      for (int y = 0; y < kHeight; ++y)
        row(dst.data() + size_t(y) * kWidth, top.scanline(y), top.alphaScanline(y), kWidth, 1u << 16, y);
    });
    std::snprintf(name, sizeof name, "blend_%s", blendOperationName(op));
    report(name, megapixels / (seconds - copy), "MP/s", ">=", 150);
  }
  return 0;
}
