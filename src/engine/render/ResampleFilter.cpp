#include "engine/render/ResampleFilter.h"

#include "engine/render/Resample.h"
#include "platform/ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace lumo {

namespace {

double sinc(double x) {
  if (x == 0) return 1;
  x *= std::numbers::pi;
  return std::sin(x) / x;
}

// A cubic of the Mitchell-Netravali family.
double cubic(double x, double b, double c) {
  x = std::abs(x);
  if (x < 1) return ((12 - 9 * b - 6 * c) * x * x * x + (-18 + 12 * b + 6 * c) * x * x + (6 - 2 * b)) / 6;
  if (x < 2) return ((-b - 6 * c) * x * x * x + (6 * b + 30 * c) * x * x + (-12 * b - 48 * c) * x + (8 * b + 24 * c)) / 6;
  return 0;
}

// Area: the exact area average of the engine's base resampler (bilinear when enlarging).
enum class Method { Nearest, Kernel, Darkest, Lightest, Area };

struct FilterDef {
  Method method;
  double support;              // kernel radius in source pixels at scale 1
  double (*kernel)(double);    // nullptr unless Method::Kernel
  bool widenWhenReducing;      // the kernel grows with the reduction (no aliasing)
};

double tent(double x) { return std::max(0.0, 1 - std::abs(x)); }
double hermite(double x) {
  x = std::abs(x);
  return x < 1 ? (2 * x - 3) * x * x + 1 : 0;
}
double bell(double x) {
  x = std::abs(x);
  if (x < 0.5) return 0.75 - x * x;
  if (x < 1.5) return 0.5 * (x - 1.5) * (x - 1.5);
  return 0;
}
double bspline(double x) { return cubic(x, 1, 0); }
double lanczos3(double x) { return std::abs(x) < 3 ? sinc(x) * sinc(x / 3) : 0; }
double mitchell(double x) { return cubic(x, 1.0 / 3, 1.0 / 3); }
double catmullRom(double x) { return cubic(x, 0, 0.5); }

// Indexed by ResampleFilter.
const FilterDef kFilters[kResampleFilterCount] = {
    {Method::Nearest, 0, nullptr, false},    {Method::Kernel, 1, tent, true},
    {Method::Kernel, 1, hermite, true},      {Method::Kernel, 1.5, bell, true},
    {Method::Kernel, 2, bspline, true},      {Method::Kernel, 3, lanczos3, true},
    {Method::Kernel, 2, mitchell, true},     {Method::Nearest, 0, nullptr, false},
    {Method::Kernel, 1, tent, true},         {Method::Kernel, 1, tent, false},
    {Method::Kernel, 1, tent, true},         {Method::Kernel, 2, catmullRom, true},
    {Method::Darkest, 0, nullptr, false},    {Method::Lightest, 0, nullptr, false},
    {Method::Nearest, 0, nullptr, false},    {Method::Kernel, 1, tent, false},
    {Method::Kernel, 2, catmullRom, false},  {Method::Area, 0, nullptr, false},
    {Method::Kernel, 2, catmullRom, true},
};

// What one output pixel takes along one axis: source indices from `first`, weights.
struct Taps {
  int first = 0;
  std::vector<float> weights;
};

std::vector<Taps> makeTaps(const FilterDef& f, int srcN, int dstN, int from, int to) {
  const double scale = double(dstN) / srcN;
  std::vector<Taps> taps(size_t(std::max(0, to - from)));
  for (int o = from; o < to; ++o) {
    Taps& t = taps[size_t(o - from)];
    const double center = (o + 0.5) / scale;  // in source pixel units, pixel i spans [i, i+1)
    if (f.method != Method::Kernel) {
      if (f.method == Method::Nearest || scale >= 1) {
        t.first = std::clamp(int(std::floor(center)), 0, srcN - 1);
        t.weights = {1.0f};
      } else {  // the whole covered area, for the darkest or lightest pixel
        const int a = std::clamp(int(std::floor(o / scale)), 0, srcN - 1);
        const int b = std::clamp(int(std::ceil((o + 1) / scale)), a + 1, srcN);
        t.first = a;
        t.weights.assign(size_t(b - a), 1.0f);
      }
      continue;
    }
    double (*kernel)(double) = f.kernel;
    const double widen = f.widenWhenReducing && scale < 1 ? 1 / scale : 1;
    const double support = f.support * widen;
    const int a = int(std::floor(center - support)), b = int(std::ceil(center + support));
    std::vector<double> w;
    double sum = 0;
    for (int j = a; j <= b; ++j) {
      const double v = kernel((j + 0.5 - center) / widen);
      w.push_back(v);
      sum += v;
    }
    if (sum == 0) {  // a kernel narrower than the pixel grid: nearest
      t.first = std::clamp(int(std::floor(center)), 0, srcN - 1);
      t.weights = {1.0f};
      continue;
    }
    // Taps outside the image fold onto its edge pixels.
    const int lo = std::clamp(a, 0, srcN - 1), hi = std::clamp(b, 0, srcN - 1);
    t.first = lo;
    t.weights.assign(size_t(hi - lo + 1), 0.0f);
    for (int j = a; j <= b; ++j) t.weights[size_t(std::clamp(j, 0, srcN - 1) - lo)] += float(w[size_t(j - a)] / sum);
  }
  return taps;
}

// Applies one axis of taps to one pixel of four float channels, its source pixels
// `stride` floats apart.
void apply(const FilterDef& f, const Taps& t, const float* src, size_t stride, float* out) {
  if (f.method == Method::Darkest || f.method == Method::Lightest) {
    // The pixel whose colour is darkest (lightest), taken whole.
    const float* best = src + size_t(t.first) * stride;
    auto level = [](const float* p) { return p[0] + p[1] + p[2]; };
    for (size_t k = 1; k < t.weights.size(); ++k) {
      const float* p = src + size_t(t.first + int(k)) * stride;
      if (f.method == Method::Darkest ? level(p) < level(best) : level(p) > level(best)) best = p;
    }
    std::copy_n(best, 4, out);
    return;
  }
  float acc[4] = {0, 0, 0, 0};
  const float* p = src + size_t(t.first) * stride;
  for (size_t k = 0; k < t.weights.size(); ++k, p += stride) {
    const float w = t.weights[k];
    for (int c = 0; c < 4; ++c) acc[c] += p[c] * w;
  }
  std::copy_n(acc, 4, out);
}

// Source columns [from, to) of row `y` as premultiplied floats: blue, green, red, alpha.
void loadRow(const QImage& src, int y, int from, int to, bool straight, float* out) {
  const auto* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
  for (int x = from; x < to; ++x, out += 4) {
    const QRgb p = straight ? qPremultiply(s[x]) : s[x];
    out[0] = float(qBlue(p)), out[1] = float(qGreen(p)), out[2] = float(qRed(p)), out[3] = float(qAlpha(p));
  }
}

// Rounded and clamped so that premultiplied colour never exceeds alpha.
void storeRow(const float* in, int width, QRgb* out) {
  auto round = [](float v) { return v > 0 ? int(v + 0.5f) : 0; };
  for (int x = 0; x < width; ++x, in += 4) {
    const int a = std::min(255, round(in[3]));
    out[x] = qRgba(std::min(a, round(in[2])), std::min(a, round(in[1])), std::min(a, round(in[0])), a);
  }
}

// Output rows composed together by one thread.
constexpr int kBandRows = 16;

}  // namespace

QImage resampleWithFilter(const QImage& source, int width, int height, ResampleFilter filter, QRect part) {
  if (source.isNull() || width <= 0 || height <= 0) return {};
  const QRect full(0, 0, width, height);
  part = part.isEmpty() ? full : part.intersected(full);
  if (part.isEmpty()) return {};
  const int index = std::clamp(int(filter), 0, kResampleFilterCount - 1);
  const FilterDef& f = kFilters[index];
  if (f.method == Method::Area) return resampleImage(source, width, height, part);

  const QImage::Format format = source.format();
  const QImage::Format outFormat =
      format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ? format : QImage::Format_ARGB32_Premultiplied;
  // ARGB32 in any form is read as it is, row by row; other formats are converted first.
  const QImage src = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                             format == QImage::Format_ARGB32_Premultiplied
                         ? source
                         : source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const bool straight = src.format() == QImage::Format_ARGB32;
  const int sw = src.width(), sh = src.height();
  const std::vector<Taps> cols = makeTaps(f, sw, width, part.left(), part.right() + 1);
  const std::vector<Taps> rows = makeTaps(f, sh, height, part.top(), part.bottom() + 1);
  int colLo = sw, colHi = -1;
  for (const Taps& t : cols) {
    colLo = std::min(colLo, t.first);
    colHi = std::max(colHi, t.first + int(t.weights.size()) - 1);
  }
  // Horizontal taps as offsets into the loaded part of a row.
  std::vector<Taps> across = cols;
  for (Taps& t : across) t.first -= colLo;

  QImage out(part.size(), QImage::Format_ARGB32_Premultiplied);
  if (out.isNull()) return {};
  const int pw = part.width(), ph = part.height();
  const size_t rowFloats = size_t(pw) * 4;
  uchar* const bits = out.bits();
  const qsizetype stride = out.bytesPerLine();
  const bool weighted = f.method != Method::Darkest && f.method != Method::Lightest;
  parallelFor(size_t((ph + kBandRows - 1) / kBandRows), [&](size_t band) {
    const int y0 = int(band) * kBandRows, y1 = std::min(ph, y0 + kBandRows);
    int rowLo = sh, rowHi = -1;
    for (int y = y0; y < y1; ++y) {
      rowLo = std::min(rowLo, rows[size_t(y)].first);
      rowHi = std::max(rowHi, rows[size_t(y)].first + int(rows[size_t(y)].weights.size()) - 1);
    }
    // The band's source rows resampled across, then each output row from them.
    std::vector<float> line(size_t(colHi - colLo + 1) * 4), mid(size_t(rowHi - rowLo + 1) * rowFloats), acc(rowFloats);
    for (int sy = rowLo; sy <= rowHi; ++sy) {
      loadRow(src, sy, colLo, colHi + 1, straight, line.data());
      float* m = &mid[size_t(sy - rowLo) * rowFloats];
      for (int x = 0; x < pw; ++x) apply(f, across[size_t(x)], line.data(), 4, m + size_t(x) * 4);
    }
    for (int y = y0; y < y1; ++y) {
      const Taps& t = rows[size_t(y)];
      const float* first = &mid[size_t(t.first - rowLo) * rowFloats];
      if (weighted) {
        std::fill(acc.begin(), acc.end(), 0.0f);
        for (size_t k = 0; k < t.weights.size(); ++k) {
          const float w = t.weights[k];
          const float* r = first + k * rowFloats;
          for (size_t i = 0; i < rowFloats; ++i) acc[i] += r[i] * w;
        }
      } else {
        const Taps down{0, t.weights};
        for (int x = 0; x < pw; ++x) apply(f, down, first + size_t(x) * 4, rowFloats, &acc[size_t(x) * 4]);
      }
      storeRow(acc.data(), pw, reinterpret_cast<QRgb*>(bits + y * stride));
    }
  });
  return outFormat == QImage::Format_ARGB32_Premultiplied ? out : out.convertToFormat(outFormat);
}

}  // namespace lumo
