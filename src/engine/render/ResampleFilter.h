#pragma once
#include <cstdint>

#include <QImage>
#include <QRect>

namespace lumo {

// The resampling filters, by the ordinal that layers, settings and commands store.
// Tags 15 and 16 are the filters numbered 15 and 16 (linear and cubic), whatever the
// captions of their commands say.
enum class ResampleFilter : uint8_t {
  rfNone,                // no filtering: each pixel takes its nearest source pixel
  rfTriangle,            // tent, radius 1
  rfHermite,             // smooth tent, radius 1
  rfBell,                // quadratic B-spline, radius 1.5
  rfBSpline,             // cubic B-spline, radius 2 (soft)
  rfLanczos3,            // windowed sinc, radius 3 (sharp)
  rfMitchell,            // Mitchell-Netravali cubic, B = C = 1/3
  rfNearest,             // nearest neighbour
  rfLinear,              // tent, widened when reducing
  rfFastLinear,          // tent at the source's own scale: quick, aliases when reducing
  rfBilinear,            // tent, widened when reducing
  rfBicubic,             // Catmull-Rom cubic, widened when reducing
  rfProjectBW,           // reducing keeps the darkest pixel of each area: black lines on white survive
  rfProjectWB,           // reducing keeps the lightest pixel of each area: white lines on black survive
  rfWICNearestNeighbor,  // nearest neighbour
  rfWICLinear,           // tent at the source's own scale
  rfWICCubic,            // Catmull-Rom at the source's own scale
  rfWICFant,             // area average when reducing, tent when enlarging
  rfWICCubicHQ,          // Catmull-Rom widened when reducing: the program's default
};
constexpr int kResampleFilterCount = 19;
constexpr ResampleFilter kDefaultResampleFilter = ResampleFilter::rfWICCubicHQ;

// `source` resized to width × height with the filter; only the part of that result
// inside `part` is made (the whole result when `part` is empty). ARGB32 in any of its
// three forms (RGB32, straight, premultiplied) comes back in the same form; any other
// format comes back premultiplied.
QImage resampleWithFilter(const QImage& source, int width, int height, ResampleFilter filter, QRect part = {});

}  // namespace lumo
