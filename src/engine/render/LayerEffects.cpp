#include "engine/render/LayerEffects.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace lumo {

namespace {

// Blurs and shadows are three box blurs in a row, which come close to a Gaussian; each
// box reaches a third of the radius, so together they reach the radius.
int boxRadius(double radius) { return radius > 0 ? std::max(1, int(std::lround(std::min(radius, 3000.0) / 3))) : 0; }

// One pass of a box blur of radius r along a line of n values `step` apart, with zeros
// beyond both ends.
void boxLine(uint8_t* line, int n, size_t step, int r, std::vector<uint8_t>& scratch) {
  scratch.resize(size_t(n));
  for (int i = 0; i < n; ++i) scratch[size_t(i)] = line[size_t(i) * step];
  const uint32_t width = uint32_t(2 * r + 1);
  uint32_t sum = 0;
  for (int i = 0; i <= std::min(r, n - 1); ++i) sum += scratch[size_t(i)];
  for (int i = 0; i < n; ++i) {
    line[size_t(i) * step] = uint8_t((sum + width / 2) / width);
    if (i + r + 1 < n) sum += scratch[size_t(i + r + 1)];
    if (i - r >= 0) sum -= scratch[size_t(i - r)];
  }
}

// Three box blurs of radius r over a w × h plane.
void blurPlane(std::vector<uint8_t>& plane, int w, int h, int r) {
  if (r <= 0) return;
  std::vector<uint8_t> scratch;
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < h; ++y) boxLine(plane.data() + size_t(y) * size_t(w), w, 1, r, scratch);
    for (int x = 0; x < w; ++x) boxLine(plane.data() + x, h, size_t(w), r, scratch);
  }
}

inline uint8_t* alphaAt(QImage& picture, int x, int y) { return picture.scanLine(y) + size_t(x) * 4 + 3; }

}  // namespace

void featherAlphaEdges(QImage& picture, int distance) {
  if (distance <= 0 || picture.isNull()) return;
  const int w = picture.width(), h = picture.height();
  // Chamfer distances (1 along, √2 across) to the nearest transparent pixel, two passes.
  constexpr float diagonal = 1.41421356f;
  std::vector<float> d(size_t(w) * size_t(h));
  auto at = [&](int x, int y) -> float { return x < 0 || y < 0 || x >= w || y >= h ? 0.0f : d[size_t(y) * w + x]; };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      float v = 0;
      if (*alphaAt(picture, x, y) != 0)
        v = std::min({at(x - 1, y) + 1, at(x, y - 1) + 1, at(x - 1, y - 1) + diagonal, at(x + 1, y - 1) + diagonal});
      d[size_t(y) * w + x] = v;
    }
  for (int y = h - 1; y >= 0; --y)
    for (int x = w - 1; x >= 0; --x) {
      float& v = d[size_t(y) * w + x];
      v = std::min({v, at(x + 1, y) + 1, at(x, y + 1) + 1, at(x + 1, y + 1) + diagonal, at(x - 1, y + 1) + diagonal});
    }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const float keep = std::min(1.0f, (d[size_t(y) * w + x] - 0.5f) / float(distance));
      uint8_t* a = alphaAt(picture, x, y);
      if (keep < 1) *a = uint8_t(std::lround(*a * std::max(0.0f, keep)));
    }
}

void applyInnerGlow(QImage& picture, double radius, RGB24 color) {
  const int r = boxRadius(radius);
  if (r == 0 || picture.isNull()) return;
  const int w = picture.width(), h = picture.height(), reach = 3 * r;
  const int pw = w + 2 * reach, ph = h + 2 * reach;
  // The transparency, with the surroundings transparent, blurred.
  std::vector<uint8_t> clear(size_t(pw) * size_t(ph), 255);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) clear[size_t(y + reach) * pw + x + reach] = uint8_t(255 - *alphaAt(picture, x, y));
  blurPlane(clear, pw, ph, r);
  const uint32_t glow[3] = {color.b, color.g, color.r};
  for (int y = 0; y < h; ++y) {
    uint8_t* p = picture.scanLine(y);
    for (int x = 0; x < w; ++x, p += 4) {
      const uint32_t g = (uint32_t(clear[size_t(y + reach) * pw + x + reach]) * p[3] + 127) / 255;
      if (g == 0) continue;
      for (int k = 0; k < 3; ++k) p[k] = uint8_t((p[k] * (255 - g) + glow[k] * g + 127) / 255);
    }
  }
}

QImage softShadow(const QImage& picture, double radius, int intensityPercent, RGB24 color, QPoint& topLeft) {
  if (picture.isNull() || intensityPercent <= 0) return {};
  const int r = boxRadius(radius), reach = 3 * r;
  const int w = picture.width(), h = picture.height(), pw = w + 2 * reach, ph = h + 2 * reach;
  std::vector<uint8_t> alpha(size_t(pw) * size_t(ph), 0);
  for (int y = 0; y < h; ++y) {
    const uint8_t* p = picture.constScanLine(y);
    for (int x = 0; x < w; ++x) alpha[size_t(y + reach) * pw + x + reach] = p[size_t(x) * 4 + 3];
  }
  blurPlane(alpha, pw, ph, r);
  QImage out(pw, ph, QImage::Format_ARGB32);
  if (out.isNull()) return out;
  const uint32_t rgb = uint32_t(color.r) << 16 | uint32_t(color.g) << 8 | color.b;
  const int64_t intensity = std::min(intensityPercent, 100000);
  for (int y = 0; y < ph; ++y) {
    auto* d = reinterpret_cast<uint32_t*>(out.scanLine(y));
    for (int x = 0; x < pw; ++x) {
      const int64_t a = std::min<int64_t>(255, (alpha[size_t(y) * pw + x] * intensity + 50) / 100);
      d[x] = uint32_t(a) << 24 | rgb;
    }
  }
  topLeft = QPoint(-reach, -reach);
  return out;
}

}  // namespace lumo
