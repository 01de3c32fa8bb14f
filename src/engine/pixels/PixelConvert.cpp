#include "engine/pixels/PixelConvert.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "engine/pixels/Quantize.h"

namespace lumo {
namespace {

using F = PixelFormat;

// The stored 16-bit formats are little-endian whatever the host.
uint16_t load16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void store16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
uint16_t widen(uint8_t v) { return uint16_t(v * 257); }
uint8_t narrow(uint16_t v) { return uint8_t((v + 128u) / 257u); }  // v / 257, rounded

void setGrey(uint8_t* bgr, uint8_t v) { bgr[0] = bgr[1] = bgr[2] = v; }
uint8_t greyOf(const uint8_t* bgr) { return luminance(bgr[0], bgr[1], bgr[2]); }

// The converted bitmap keeps the source's alpha plane (shared, not copied) and the
// stored properties; the palette count only means something for ie8p.
void carryOver(const Bitmap& from, Bitmap& to) {
  to.shareAlphaFrom(from);
  to.info() = from.info();
  to.info().paletteUsed = to.format() == F::ie8p ? int(to.palette().size()) : 0;
}

// A bitmap of `target` with the source's size and alignment, filled row by row by
// `row(sourceRow, targetRow, width)`.
template <class RowFn>
Bitmap convertRows(const Bitmap& source, PixelFormat target, RowFn row) {
  Bitmap out(source.width(), source.height(), target, source.bitAlignment());
  uint8_t* bits = out.mutableBits();
  for (int y = 0; y < source.height(); ++y) row(source.scanline(y), bits + out.rowBytes() * size_t(y), source.width());
  carryOver(source, out);
  return out;
}

// Float grey runs from info().blackValue to whiteValue; an unusable range means 0..1.
struct FloatRange {
  double black = 0.0, span = 1.0;
};
FloatRange floatRange(const BitmapInfo& info) {
  const double span = info.whiteValue - info.blackValue;
  if (!std::isfinite(info.blackValue) || !std::isfinite(span) || span == 0.0) return {};
  return {info.blackValue, span};
}

// sRGB (D65) <-> CIELab, table-driven where a photo would spend its time: decoding the
// gamma is a table of 256 linear values; encoding rounds in the encoded scale against
// the 255 linear values halfway between neighbouring codes, starting from a table fine
// enough that the answer is at most one code further; the cube root of Lab is a table
// with linear interpolation (error far below one step of the stored L).
namespace lab {

constexpr double kWhite[3] = {0.95047, 1.0, 1.08883};  // X, Y, Z of D65
constexpr double kDelta = 6.0 / 29.0;
constexpr int kBins = 4096;  // more than the steepest slope of the encoding, 12.92 x 255

double srgbToLinear(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double f(double t) { return t > kDelta * kDelta * kDelta ? std::cbrt(t) : t / (3 * kDelta * kDelta) + 4.0 / 29.0; }
double fInverse(double t) { return t > kDelta ? t * t * t : 3 * kDelta * kDelta * (t - 4.0 / 29.0); }

struct Tables {
  std::array<double, 256> linear{};
  std::array<double, 255> midpoints{};
  std::array<uint8_t, kBins + 1> codeBelow{};  // code of the bin's lower edge
  std::array<double, kBins + 1> f{};
};

const Tables& tables() {
  static const Tables tables = [] {
    Tables t;
    for (int i = 0; i < 256; ++i) t.linear[size_t(i)] = srgbToLinear(i / 255.0);
    for (int i = 0; i < 255; ++i) t.midpoints[size_t(i)] = srgbToLinear((i + 0.5) / 255.0);
    for (int i = 0; i <= kBins; ++i) {
      const double v = double(i) / kBins;
      t.codeBelow[size_t(i)] = uint8_t(std::upper_bound(t.midpoints.begin(), t.midpoints.end(), v) - t.midpoints.begin());
      t.f[size_t(i)] = f(v);
    }
    return t;
  }();
  return tables;
}

uint8_t linearToSrgb(double v) {
  if (!(v > 0.0)) return 0;
  if (v >= 1.0) return 255;
  const Tables& t = tables();
  size_t code = t.codeBelow[size_t(v * kBins)];
  while (code < 255 && v >= t.midpoints[code]) ++code;
  return uint8_t(code);
}

double fromTable(double v) {
  const double pos = std::clamp(v, 0.0, 1.0) * kBins;
  const size_t i = std::min(size_t(pos), size_t(kBins - 1));
  const auto& table = tables().f;
  return table[i] + (table[i + 1] - table[i]) * (pos - double(i));
}

int8_t toSigned(double v) { return int8_t(std::clamp(std::lround(v), -128L, 127L)); }

void fromBgr(const uint8_t* bgr, uint8_t* out) {
  const auto& lin = tables().linear;
  const double r = lin[bgr[2]], g = lin[bgr[1]], b = lin[bgr[0]];
  const double x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / kWhite[0];
  const double y = (0.2126729 * r + 0.7151522 * g + 0.0721750 * b) / kWhite[1];
  const double z = (0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / kWhite[2];
  const double fx = fromTable(x), fy = fromTable(y), fz = fromTable(z);
  const double l = 116 * fy - 16;
  out[0] = uint8_t(std::clamp(std::lround(l * 255.0 / 100.0), 0L, 255L));
  out[1] = uint8_t(toSigned(500 * (fx - fy)));
  out[2] = uint8_t(toSigned(200 * (fy - fz)));
}

void toBgr(const uint8_t* in, uint8_t* bgr) {
  const double fy = (in[0] * 100.0 / 255.0 + 16) / 116;
  const double fx = fy + int8_t(in[1]) / 500.0;
  const double fz = fy - int8_t(in[2]) / 200.0;
  const double x = fInverse(fx) * kWhite[0], y = fInverse(fy) * kWhite[1], z = fInverse(fz) * kWhite[2];
  bgr[2] = linearToSrgb(3.2404542 * x - 1.5371385 * y - 0.4985314 * z);
  bgr[1] = linearToSrgb(-0.9692660 * x + 1.8760108 * y + 0.0415560 * z);
  bgr[0] = linearToSrgb(0.0556434 * x - 0.2040259 * y + 1.0572252 * z);
}

}  // namespace lab

void checkTarget(PixelFormat target) {
  if (target == F::ieNull || !isValidPixelFormat(int(target))) throw std::invalid_argument("no pixel format to convert to");
}

}  // namespace

uint8_t luminance(uint8_t b, uint8_t g, uint8_t r) {
  // 0.299, 0.587, 0.114 in 16-bit fixed point; the weights sum to exactly 65536, so
  // grey stays grey.
  return uint8_t((19595u * r + 38470u * g + 7471u * b + 32768u) >> 16);
}

Bitmap convertToRGB24(const Bitmap& source) {
  if (source.format() == F::ie24RGB) return source;
  if (source.isNull()) return Bitmap(0, 0, F::ie24RGB, source.bitAlignment());

  switch (source.format()) {
    case F::ie1g:
      return convertRows(source, F::ie24RGB, [](const uint8_t* s, uint8_t* d, int w) {
        for (int x = 0; x < w; ++x) setGrey(d + 3 * x, (s[x >> 3] >> (7 - (x & 7)) & 1) ? 255 : 0);
      });
    case F::ie8p: {
      const std::vector<PaletteEntry>& palette = source.palette();
      return convertRows(source, F::ie24RGB, [&palette](const uint8_t* s, uint8_t* d, int w) {
        for (int x = 0; x < w; ++x, d += 3) {
          // An index past the palette shows black rather than reading beyond it.
          const PaletteEntry c = s[x] < palette.size() ? palette[s[x]] : PaletteEntry{};
          d[0] = c.b, d[1] = c.g, d[2] = c.r;
        }
      });
    }
    case F::ie8g:
      return convertRows(source, F::ie24RGB, [](const uint8_t* s, uint8_t* d, int w) {
        for (int x = 0; x < w; ++x) setGrey(d + 3 * x, s[x]);
      });
    case F::ie16g:
      return convertRows(source, F::ie24RGB, [](const uint8_t* s, uint8_t* d, int w) {
        for (int x = 0; x < w; ++x) setGrey(d + 3 * x, narrow(load16(s + 2 * x)));
      });
    case F::ie32f: {
      const FloatRange range = floatRange(source.info());
      return convertRows(source, F::ie24RGB, [range](const uint8_t* s, uint8_t* d, int w) {
        for (int x = 0; x < w; ++x) {
          float v;
          std::memcpy(&v, s + 4 * x, sizeof v);
          const double t = (double(v) - range.black) / range.span;
          setGrey(d + 3 * x, std::isnan(t) ? 0 : uint8_t(std::lround(std::clamp(t, 0.0, 1.0) * 255.0)));
        }
      });
    }
    case F::ieCMYK:
      return convertRows(source, F::ie24RGB, [](const uint8_t* s, uint8_t* d, int w) {
        for (int x = 0; x < w; ++x, s += 4, d += 3) {
          const int k = s[3];
          d[0] = uint8_t(255 - std::min(255, s[2] + k));
          d[1] = uint8_t(255 - std::min(255, s[1] + k));
          d[2] = uint8_t(255 - std::min(255, s[0] + k));
        }
      });
    case F::ie48RGB:
      return convertRows(source, F::ie24RGB, [](const uint8_t* s, uint8_t* d, int w) {
        for (int x = 0; x < w; ++x, s += 6, d += 3) {
          d[0] = narrow(load16(s + 4));
          d[1] = narrow(load16(s + 2));
          d[2] = narrow(load16(s));
        }
      });
    case F::ieCIELab:
      return convertRows(source, F::ie24RGB, [](const uint8_t* s, uint8_t* d, int w) {
        for (int x = 0; x < w; ++x) lab::toBgr(s + 3 * x, d + 3 * x);
      });
    case F::ie32RGB:
      return convertRows(source, F::ie24RGB, [](const uint8_t* s, uint8_t* d, int w) {
        for (int x = 0; x < w; ++x) std::memcpy(d + 3 * x, s + 4 * x, 3);
      });
    case F::ieNull:
    case F::ie24RGB:
      break;
  }
  throw std::invalid_argument("unknown pixel format");
}

Bitmap convertFromRGB24(const Bitmap& rgb24, PixelFormat target) {
  if (rgb24.format() != F::ie24RGB && !rgb24.isNull()) throw std::invalid_argument("convertFromRGB24 needs an ie24RGB bitmap");
  checkTarget(target);
  if (target == F::ie24RGB) return rgb24;
  if (rgb24.isNull()) return Bitmap(0, 0, target, rgb24.bitAlignment());

  switch (target) {
    case F::ie1g:
      return convertRows(rgb24, target, [](const uint8_t* s, uint8_t* d, int w) {
        for (int x = 0; x < w; ++x)
          if (greyOf(s + 3 * x) >= 128) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
      });
    case F::ie8p: {
      Bitmap out = quantizeToPalette(rgb24);
      carryOver(rgb24, out);
      return out;
    }
    case F::ie8g:
      return convertRows(rgb24, target, [](const uint8_t* s, uint8_t* d, int w) {
        for (int x = 0; x < w; ++x) d[x] = greyOf(s + 3 * x);
      });
    case F::ie16g:
      return convertRows(rgb24, target, [](const uint8_t* s, uint8_t* d, int w) {
        for (int x = 0; x < w; ++x) store16(d + 2 * x, widen(greyOf(s + 3 * x)));
      });
    case F::ie32f: {
      const FloatRange range = floatRange(rgb24.info());
      return convertRows(rgb24, target, [range](const uint8_t* s, uint8_t* d, int w) {
        for (int x = 0; x < w; ++x) {
          const float v = float(range.black + greyOf(s + 3 * x) / 255.0 * range.span);
          std::memcpy(d + 4 * x, &v, sizeof v);
        }
      });
    }
    case F::ieCMYK:
      // Without colour management CMYK is the complement of RGB with all the grey taken
      // into black (full under-colour removal). It is lossless both ways, and a device
      // profile can replace it later without touching the stored pixels.
      return convertRows(rgb24, target, [](const uint8_t* s, uint8_t* d, int w) {
        for (int x = 0; x < w; ++x, s += 3, d += 4) {
          const uint8_t c = uint8_t(255 - s[2]), m = uint8_t(255 - s[1]), y = uint8_t(255 - s[0]);
          const uint8_t k = std::min({c, m, y});
          d[0] = uint8_t(c - k), d[1] = uint8_t(m - k), d[2] = uint8_t(y - k), d[3] = k;
        }
      });
    case F::ie48RGB:
      return convertRows(rgb24, target, [](const uint8_t* s, uint8_t* d, int w) {
        for (int x = 0; x < w; ++x, s += 3, d += 6) {
          store16(d, widen(s[2]));
          store16(d + 2, widen(s[1]));
          store16(d + 4, widen(s[0]));
        }
      });
    case F::ieCIELab:
      return convertRows(rgb24, target, [](const uint8_t* s, uint8_t* d, int w) {
        for (int x = 0; x < w; ++x) lab::fromBgr(s + 3 * x, d + 3 * x);
      });
    case F::ie32RGB:
      // The unused byte is written as 255 so that views taking it for alpha see opaque pixels.
      return convertRows(rgb24, target, [](const uint8_t* s, uint8_t* d, int w) {
        for (int x = 0; x < w; ++x, s += 3, d += 4) {
          std::memcpy(d, s, 3);
          d[3] = 255;
        }
      });
    case F::ieNull:
    case F::ie24RGB:
      break;
  }
  throw std::invalid_argument("unknown pixel format");
}

Bitmap convertPixelFormat(const Bitmap& source, PixelFormat target) {
  if (source.format() == target) return source;
  checkTarget(target);
  return convertFromRGB24(convertToRGB24(source), target);
}

}  // namespace lumo
