#pragma once
#include <cstdint>

#include "engine/pixels/Bitmap.h"

namespace lumo::bench {

// A camera-like 24-bit photo of the given size: the "Path" wallpaper photo scaled up
// with light grain, so that it compresses about as a real photo does. `seed` varies the
// grain. Exits the program when the photo is not installed.
Bitmap benchPhoto(int width, int height, uint32_t seed);

// Seconds of the fastest of `runs` calls.
template <class Fn>
double fastestSeconds(int runs, Fn&& fn);

}  // namespace lumo::bench

#include <algorithm>
#include <chrono>

template <class Fn>
double lumo::bench::fastestSeconds(int runs, Fn&& fn) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}
