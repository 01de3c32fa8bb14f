#include "engine/render/Resample.h"

#include "engine/pixels/PixelConvert.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <vector>

namespace lumo {

namespace {

// Weights are fixed point with 15 fraction bits: a 16-bit sample times a weight, summed
// over weights that add up to one, stays below 2^32.
constexpr int kWeightBits = 15;
constexpr uint64_t kWeightOne = uint64_t(1) << kWeightBits;
constexpr uint32_t kHalf = uint32_t(1) << (kWeightBits - 1);

// The source samples that make each output sample along one axis.
struct Taps {
  std::vector<int> first;          // per output index: the first source index
  std::vector<size_t> begin;       // per output index, and one past the last: into weights
  std::vector<uint32_t> weights;   // each output's weights add up to exactly kWeightOne

  int count(int i) const { return int(begin[size_t(i) + 1] - begin[size_t(i)]); }
  const uint32_t* weightsOf(int i) const { return weights.data() + begin[size_t(i)]; }
  int last(int i) const { return first[size_t(i)] + count(i) - 1; }
};

// Turns exact integer weights with the given total into fixed point by rounding their
// running sum, so that the fixed-point weights add up to one exactly.
void addNormalized(Taps& taps, int first, const std::vector<uint64_t>& exact, uint64_t total) {
  taps.first.push_back(first);
  uint64_t sum = 0, previous = 0;
  for (uint64_t w : exact) {
    sum += w;
    const uint64_t upTo = (sum * kWeightOne + total / 2) / total;
    taps.weights.push_back(uint32_t(upTo - previous));
    previous = upTo;
  }
  taps.begin.push_back(taps.weights.size());
}

// Output indices [from, to) of an axis of `src` samples made `dst` long.
Taps axisTaps(int src, int dst, int from, int to) {
  Taps taps;
  taps.begin.push_back(0);
  std::vector<uint64_t> exact;
  for (int i = from; i < to; ++i) {
    exact.clear();
    if (dst == src) {
      exact.push_back(1);
      addNormalized(taps, i, exact, 1);
    } else if (dst < src) {
      // Box filter: in units of 1/dst source sample, output i covers [i*src, (i+1)*src)
      // and source j covers [j*dst, (j+1)*dst); each weight is the exact overlap.
      const int64_t lo = int64_t(i) * src, hi = int64_t(i + 1) * src;
      const int64_t j0 = lo / dst, j1 = (hi - 1) / dst;
      for (int64_t j = j0; j <= j1; ++j)
        exact.push_back(uint64_t(std::min(hi, (j + 1) * dst) - std::max(lo, j * dst)));
      addNormalized(taps, int(j0), exact, uint64_t(src));
    } else {
      // Bilinear: the output sample's centre at (2i+1)*src/(2*dst) - 1/2 in source
      // samples, clamped to the outermost source centres.
      const int64_t num = (2 * int64_t(i) + 1) * src - dst, den = 2 * int64_t(dst);
      int64_t j = num > 0 ? num / den : 0;
      int64_t rest = num > 0 ? num % den : 0;
      if (j >= src - 1) {
        j = src - 1;
        rest = 0;
      }
      exact.push_back(uint64_t(den - rest));
      if (rest) exact.push_back(uint64_t(rest));
      addNormalized(taps, int(j), exact, uint64_t(den));
    }
  }
  return taps;
}

// Samples are worked on as four 16-bit channels per pixel (blue, green, red, alpha) in
// premultiplied form, so that transparent pixels give no colour to their neighbours.
// Straight colours become colour × alpha (at most 65025), premultiplied ones value × 257.
void loadRow(const QRgb* in, int from, int to, bool straight, uint16_t* out) {
  for (int x = from; x < to; ++x, out += 4) {
    const QRgb p = in[x];
    const uint32_t a = qAlpha(p);
    const uint32_t k = straight ? a : 257;
    out[0] = uint16_t(qBlue(p) * k);
    out[1] = uint16_t(qGreen(p) * k);
    out[2] = uint16_t(qRed(p) * k);
    out[3] = uint16_t(a * 257);
  }
}

void storeRow(const uint16_t* in, int width, bool straight, QRgb* out) {
  for (int x = 0; x < width; ++x, in += 4) {
    const uint32_t a16 = in[3];
    const uint32_t a = (a16 + 128) / 257;
    uint32_t c[3];
    for (int i = 0; i < 3; ++i) {
      if (!straight) c[i] = std::min(a, (uint32_t(in[i]) + 128) / 257);  // rounding may not lift colour over alpha
      else c[i] = a16 ? std::min<uint32_t>(255, (uint32_t(in[i]) * 257 + a16 / 2) / a16) : 0;
    }
    out[x] = qRgba(int(c[2]), int(c[1]), int(c[0]), int(a));
  }
}

// One row through the horizontal taps: source row (already loaded from column `base`)
// into `out`, one pixel per output column.
void horizontalPass(const uint16_t* in, int base, const Taps& taps, uint16_t* out) {
  const int n = int(taps.first.size());
  for (int i = 0; i < n; ++i, out += 4) {
    const uint16_t* s = in + size_t(taps.first[size_t(i)] - base) * 4;
    const uint32_t* w = taps.weightsOf(i);
    const int k = taps.count(i);
    uint32_t b = kHalf, g = kHalf, r = kHalf, a = kHalf;
    for (int t = 0; t < k; ++t, s += 4) {
      b += s[0] * w[t];
      g += s[1] * w[t];
      r += s[2] * w[t];
      a += s[3] * w[t];
    }
    out[0] = uint16_t(b >> kWeightBits);
    out[1] = uint16_t(g >> kWeightBits);
    out[2] = uint16_t(r >> kWeightBits);
    out[3] = uint16_t(a >> kWeightBits);
  }
}

QImage resampleArgb(const QImage& source, int width, int height, const QRect& part) {
  const bool straight = source.format() == QImage::Format_ARGB32;
  const int sw = source.width(), sh = source.height();
  const Taps across = axisTaps(sw, width, part.left(), part.right() + 1);
  const Taps down = axisTaps(sh, height, part.top(), part.bottom() + 1);
  const int pw = part.width(), ph = part.height();
  const int srcFrom = across.first.front(), srcTo = across.last(pw - 1) + 1;

  QImage out(pw, ph, source.format());
  if (out.isNull()) return {};
  std::vector<uint16_t> loaded(size_t(srcTo - srcFrom) * 4);
  std::vector<uint32_t> sums(size_t(pw) * 4);
  std::vector<uint16_t> result(size_t(pw) * 4);
  // Horizontally resampled source rows, kept while later output rows still need them.
  std::deque<std::vector<uint16_t>> rows;
  int firstRow = down.first.front();

  for (int y = 0; y < ph; ++y) {
    const int top = down.first[size_t(y)], k = down.count(y);
    while (!rows.empty() && firstRow < top) {
      rows.pop_front();
      ++firstRow;
    }
    if (rows.empty()) firstRow = top;
    while (firstRow + int(rows.size()) < top + k) {
      const int sy = firstRow + int(rows.size());
      loadRow(reinterpret_cast<const QRgb*>(source.constScanLine(sy)), srcFrom, srcTo, straight, loaded.data());
      rows.emplace_back(size_t(pw) * 4);
      horizontalPass(loaded.data(), srcFrom, across, rows.back().data());
    }
    std::fill(sums.begin(), sums.end(), kHalf);
    const uint32_t* w = down.weightsOf(y);
    for (int t = 0; t < k; ++t) {
      const uint16_t* row = rows[size_t(top - firstRow + t)].data();
      const uint32_t wt = w[t];
      for (size_t i = 0; i < sums.size(); ++i) sums[i] += row[i] * wt;
    }
    for (size_t i = 0; i < sums.size(); ++i) result[i] = uint16_t(sums[i] >> kWeightBits);
    storeRow(result.data(), pw, straight, reinterpret_cast<QRgb*>(out.scanLine(y)));
  }
  return out;
}

bool isArgbFormat(QImage::Format f) {
  return f == QImage::Format_ARGB32 || f == QImage::Format_ARGB32_Premultiplied || f == QImage::Format_RGB32;
}

}  // namespace

QImage resampleImage(const QImage& source, int width, int height) {
  return resampleImage(source, width, height, QRect(0, 0, width, height));
}

QImage resampleImage(const QImage& source, int width, int height, const QRect& part) {
  if (source.isNull() || width <= 0 || height <= 0) return {};
  const QRect clipped = part.intersected(QRect(0, 0, width, height));
  if (clipped.isEmpty()) return {};
  // Other formats are worked on, and come back, as straight ARGB32.
  const QImage argb = isArgbFormat(source.format()) ? source : source.convertToFormat(QImage::Format_ARGB32);
  if (width == argb.width() && height == argb.height()) return argb.copy(clipped);
  return resampleArgb(argb, width, height, clipped);
}

Bitmap reduceBitmap(const Bitmap& source, int factor) {
  const Bitmap rgb = source.format() == PixelFormat::ie24RGB ? source : convertToRGB24(source);
  if (factor <= 1 || rgb.isNull()) return rgb;
  const int w = (rgb.width() + factor - 1) / factor, h = (rgb.height() + factor - 1) / factor;
  const bool alpha = rgb.hasAlpha();
  Bitmap out(w, h, PixelFormat::ie24RGB);
  if (alpha) out.addAlpha();
  // Per output column: alpha-weighted sums of blue, green, red, and the alpha sum.
  std::vector<uint64_t> sums(size_t(w) * 4);
  for (int oy = 0; oy < h; ++oy) {
    std::fill(sums.begin(), sums.end(), 0);
    const int y0 = oy * factor, y1 = std::min(rgb.height(), y0 + factor);
    for (int y = y0; y < y1; ++y) {
      const uint8_t* p = rgb.scanline(y);
      const uint8_t* a = alpha ? rgb.alphaScanline(y) : nullptr;
      for (int x = 0; x < rgb.width(); ++x, p += 3) {
        uint64_t* s = &sums[size_t(x / factor) * 4];
        const uint32_t weight = a ? a[x] : 255;
        s[0] += p[0] * weight;
        s[1] += p[1] * weight;
        s[2] += p[2] * weight;
        s[3] += weight;
      }
    }
    uint8_t* d = out.mutableScanline(oy);
    uint8_t* da = alpha ? out.mutableAlphaScanline(oy) : nullptr;
    for (int ox = 0; ox < w; ++ox, d += 3) {
      const uint64_t* s = &sums[size_t(ox) * 4];
      const int blockW = std::min(rgb.width(), (ox + 1) * factor) - ox * factor;
      const uint64_t pixels = uint64_t(blockW) * uint64_t(y1 - y0);
      for (int k = 0; k < 3; ++k) d[k] = uint8_t(s[3] ? (s[k] + s[3] / 2) / s[3] : 0);
      if (da) da[ox] = uint8_t((s[3] + pixels / 2) / pixels);
    }
  }
  if (alpha) out.setAlphaFull(out.isOpaque());
  return out;
}

}  // namespace lumo
