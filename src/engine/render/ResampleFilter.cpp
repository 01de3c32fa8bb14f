#include "engine/render/ResampleFilter.h"

#include "engine/render/Resample.h"

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

// Applies one axis of taps to `count` pixels of four float channels at `stride`.
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
  for (size_t k = 0; k < t.weights.size(); ++k) {
    const float* p = src + size_t(t.first + int(k)) * stride;
    const float w = t.weights[k];
    for (int c = 0; c < 4; ++c) acc[c] += p[c] * w;
  }
  std::copy_n(acc, 4, out);
}

}  // namespace

QImage resampleWithFilter(const QImage& source, int width, int height, ResampleFilter filter, QRect part) {
  if (source.isNull() || width <= 0 || height <= 0) return {};
  const QRect full(0, 0, width, height);
  part = part.isEmpty() ? full : part.intersected(full);
  if (part.isEmpty()) return {};
  const int index = std::clamp(int(filter), 0, kResampleFilterCount - 1);
  const FilterDef& f = kFilters[index];
  if (f.method == Method::Area) return resampleImage(source, width, height, part);

  const QImage::Format outFormat = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
                                       ? source.format()
                                       : QImage::Format_ARGB32_Premultiplied;
  const QImage src = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const int sw = src.width(), sh = src.height();
  const std::vector<Taps> cols = makeTaps(f, sw, width, part.left(), part.right() + 1);
  const std::vector<Taps> rows = makeTaps(f, sh, height, part.top(), part.bottom() + 1);
  int rowLo = sh, rowHi = -1;
  for (const Taps& t : rows) {
    rowLo = std::min(rowLo, t.first);
    rowHi = std::max(rowHi, t.first + int(t.weights.size()) - 1);
  }

  // Horizontal pass over the source rows the output needs, into floats.
  const int pw = part.width();
  std::vector<float> line(size_t(sw) * 4);
  std::vector<float> mid(size_t(rowHi - rowLo + 1) * size_t(pw) * 4);
  for (int y = rowLo; y <= rowHi; ++y) {
    const auto* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
    for (int x = 0; x < sw; ++x) {
      line[size_t(x) * 4 + 0] = float(qBlue(s[x]));
      line[size_t(x) * 4 + 1] = float(qGreen(s[x]));
      line[size_t(x) * 4 + 2] = float(qRed(s[x]));
      line[size_t(x) * 4 + 3] = float(qAlpha(s[x]));
    }
    float* m = &mid[size_t(y - rowLo) * size_t(pw) * 4];
    for (int x = 0; x < pw; ++x) apply(f, cols[size_t(x)], line.data(), 4, m + size_t(x) * 4);
  }

  // Vertical pass, rounded and clamped so that premultiplied colour never exceeds alpha.
  QImage out(part.size(), QImage::Format_ARGB32_Premultiplied);
  if (out.isNull()) return {};
  float px[4];
  for (int y = 0; y < part.height(); ++y) {
    const Taps& t = rows[size_t(y)];
    Taps shifted{t.first - rowLo, t.weights};
    auto* d = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < pw; ++x) {
      apply(f, shifted, &mid[size_t(x) * 4], size_t(pw) * 4, px);
      const int a = std::clamp(int(std::lround(px[3])), 0, 255);
      auto ch = [&](float v) { return std::clamp(int(std::lround(v)), 0, a); };
      d[x] = qRgba(ch(px[2]), ch(px[1]), ch(px[0]), a);
    }
  }
  return outFormat == QImage::Format_ARGB32_Premultiplied ? out : out.convertToFormat(outFormat);
}

}  // namespace lumo
