// The filtered resampler reducing a 6000 x 4000 photo to 3000 x 2000 with the default
// filter, against the box (area) reduce of the base resampler in the same run, both on
// one core (processor time), and the filter's speed-up on all cores (wall time).
#include <cstdio>

#include <QImage>

#include "BenchReport.h"
#include "BenchCores.h"
#include "BenchPhoto.h"
#include "engine/render/Resample.h"
#include "engine/render/ResampleFilter.h"

using namespace lumo;

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

using bench::report;

}  // namespace

int main() {
  const Bitmap photo = bench::benchPhoto(kWidth, kHeight, 1);
  QImage picture(kWidth, kHeight, QImage::Format_ARGB32);
  for (int y = 0; y < kHeight; ++y) {
    const uint8_t* s = photo.scanline(y);
    auto* d = reinterpret_cast<QRgb*>(picture.scanLine(y));
    for (int x = 0; x < kWidth; ++x, s += 3) d[x] = qRgba(s[2], s[1], s[0], 255 - (x + y) % 64);
  }
  cpu_set_t allowed;
  sched_getaffinity(0, sizeof allowed, &allowed);
  const int cores = CPU_COUNT(&allowed);
  auto reduce = [&] { resampleWithFilter(picture, kWidth / 2, kHeight / 2, kDefaultResampleFilter); };
  bench::useCores(allowed, 1);
  const double box = bench::fastestCpuSeconds(3, [&] { resampleImage(picture, kWidth / 2, kHeight / 2); });
  const double filtered = bench::fastestCpuSeconds(3, reduce);
  const double filteredWall = bench::fastestSeconds(3, reduce);
  bench::useCores(allowed, cores);
  const double allCores = bench::fastestSeconds(3, reduce);
  report("resample_box_24mp_to_6mp", box * 1000, "ms", ">", 0);
  report("resample_default_filter_24mp_to_6mp", filtered * 1000, "ms", ">", 0);
  // The cubic reads 8 x 8 source pixels for each one made, the box 2 x 2.
  report("resample_default_filter_vs_box", filtered / box, "ratio", "<=", 4);
  char name[96];
  std::snprintf(name, sizeof name, "resample_default_filter_speedup_%d_cores", cores);
  report(name, filteredWall / allCores, "ratio", ">=", 1);
  return 0;
}
