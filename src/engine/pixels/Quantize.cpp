#include "engine/pixels/Quantize.h"

#include <array>
#include <algorithm>
#include <limits>
#include <stdexcept>

namespace lumo {
namespace {

uint32_t packColour(const uint8_t* bgr) { return uint32_t(bgr[0]) | uint32_t(bgr[1]) << 8 | uint32_t(bgr[2]) << 16; }

// Colour -> palette index for a handful of exact colours: a small open-addressing table,
// at most a quarter full, so a probe rarely goes past the first slot.
class ExactColours {
 public:
  explicit ExactColours(int limit) : limit_(limit) { keys_.fill(kEmpty); }

  // The colour's index, adding it when new; -1 once there would be more than the limit.
  int indexOf(uint32_t colour) {
    size_t slot = (colour * 2654435761u) >> (32 - kSlotBits);
    while (keys_[slot] != kEmpty) {
      if (keys_[slot] == colour) return index_[slot];
      slot = (slot + 1) & (kSlots - 1);
    }
    if (int(palette_.size()) >= limit_) return -1;
    keys_[slot] = colour;
    index_[slot] = uint8_t(palette_.size());
    palette_.push_back({uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16)});
    return index_[slot];
  }

  const std::vector<PaletteEntry>& palette() const { return palette_; }

 private:
  static constexpr int kSlotBits = 10;
  static constexpr size_t kSlots = size_t(1) << kSlotBits;
  static constexpr uint32_t kEmpty = 0xFFFFFFFF;  // no packed colour has the top byte set
  int limit_;
  std::array<uint32_t, kSlots> keys_;
  std::array<uint8_t, kSlots> index_{};
  std::vector<PaletteEntry> palette_;
};

// Maps every pixel through an exact palette; false when the image has too many colours.
bool mapExactly(const Bitmap& rgb24, Bitmap& out, int maxColours) {
  ExactColours colours(maxColours);
  uint8_t* bits = out.mutableBits();
  for (int y = 0; y < rgb24.height(); ++y) {
    const uint8_t* s = rgb24.scanline(y);
    uint8_t* d = bits + out.rowBytes() * size_t(y);
    uint32_t last = std::numeric_limits<uint32_t>::max();
    int lastIndex = 0;
    for (int x = 0; x < rgb24.width(); ++x, s += 3) {
      const uint32_t c = packColour(s);
      if (c != last) {
        lastIndex = colours.indexOf(c);
        if (lastIndex < 0) return false;
        last = c;
      }
      d[x] = uint8_t(lastIndex);
    }
  }
  out.setPalette(colours.palette());
  return true;
}

// Median cut works on a histogram of 5 bits per channel; each cell keeps the sums of its
// exact colours so that palette entries are true means and box errors are exact.
constexpr int kCellBits = 5;

struct Cell {
  std::array<uint8_t, 3> key{};  // b, g, r at cell precision
  uint64_t count = 0;
  std::array<uint64_t, 3> sum{};
  std::array<uint64_t, 3> sumOfSquares{};
};

struct Box {
  size_t begin = 0, end = 0;  // range of cells
  uint64_t count = 0;
  std::array<uint64_t, 3> sum{};
  double error = 0;  // squared distance of its pixels from their mean
  size_t axis = 0;   // channel with the largest share of that error
  bool splittable() const { return end - begin > 1; }
};

std::vector<Cell> histogram(const Bitmap& rgb24) {
  constexpr int shift = 8 - kCellBits;
  constexpr size_t mask = (size_t(1) << kCellBits) - 1;
  std::vector<Cell> cells(size_t(1) << (3 * kCellBits));
  for (int y = 0; y < rgb24.height(); ++y) {
    const uint8_t* s = rgb24.scanline(y);
    for (int x = 0; x < rgb24.width(); ++x, s += 3) {
      Cell& c = cells[size_t(s[0] >> shift) | size_t(s[1] >> shift) << kCellBits | size_t(s[2] >> shift) << (2 * kCellBits)];
      ++c.count;
      for (size_t i = 0; i < 3; ++i) {
        c.sum[i] += s[i];
        c.sumOfSquares[i] += uint64_t(s[i]) * s[i];
      }
    }
  }
  for (size_t i = 0; i < cells.size(); ++i)
    cells[i].key = {uint8_t(i & mask), uint8_t(i >> kCellBits & mask), uint8_t(i >> (2 * kCellBits) & mask)};
  std::erase_if(cells, [](const Cell& c) { return c.count == 0; });
  return cells;
}

Box makeBox(const std::vector<Cell>& cells, size_t begin, size_t end) {
  Box box;
  box.begin = begin;
  box.end = end;
  std::array<uint64_t, 3> squares{};
  for (size_t i = begin; i < end; ++i) {
    box.count += cells[i].count;
    for (size_t a = 0; a < 3; ++a) {
      box.sum[a] += cells[i].sum[a];
      squares[a] += cells[i].sumOfSquares[a];
    }
  }
  double largest = -1;
  for (size_t a = 0; a < 3; ++a) {
    const double e = double(squares[a]) - double(box.sum[a]) * double(box.sum[a]) / double(box.count);
    box.error += e;
    if (e > largest) {
      largest = e;
      box.axis = a;
    }
  }
  return box;
}

std::vector<PaletteEntry> medianCut(std::vector<Cell> cells, int maxColours) {
  std::vector<Box> boxes{makeBox(cells, 0, cells.size())};
  while (int(boxes.size()) < maxColours) {
    // Split the box that costs most: large areas get fine steps, while a small spot of a
    // colour far from the rest still ends up with an entry of its own.
    Box* worst = nullptr;
    for (Box& b : boxes)
      if (b.splittable() && (!worst || b.error > worst->error)) worst = &b;
    if (!worst) break;  // every box is a single cell
    const Box box = *worst;
    const auto first = cells.begin() + std::ptrdiff_t(box.begin);
    const auto last = cells.begin() + std::ptrdiff_t(box.end);
    std::sort(first, last, [axis = box.axis](const Cell& a, const Cell& b) { return a.key[axis] < b.key[axis]; });
    // Cut at the median pixel, leaving at least one cell on each side.
    uint64_t below = cells[box.begin].count;
    size_t mid = box.begin + 1;
    while (mid + 1 < box.end && below < box.count / 2) below += cells[mid++].count;
    *worst = makeBox(cells, box.begin, mid);
    boxes.push_back(makeBox(cells, mid, box.end));
  }

  std::vector<PaletteEntry> palette;
  palette.reserve(boxes.size());
  for (const Box& b : boxes) {
    auto mean = [&b](size_t a) { return uint8_t((b.sum[a] + b.count / 2) / b.count); };
    palette.push_back({mean(0), mean(1), mean(2)});
  }
  return palette;
}

// Nearest palette entry, searched once per cell of 6 bits per channel (at the cell's
// centre) and remembered: a photo touches far fewer cells than it has pixels.
class NearestColour {
 public:
  explicit NearestColour(const std::vector<PaletteEntry>& palette)
      : palette_(palette), cache_(size_t(1) << (3 * kBits), -1) {}

  uint8_t operator()(const uint8_t* bgr) {
    constexpr int shift = 8 - kBits;
    int16_t& slot = cache_[size_t(bgr[0] >> shift) | size_t(bgr[1] >> shift) << kBits | size_t(bgr[2] >> shift) << (2 * kBits)];
    if (slot < 0) {
      constexpr int centre = 1 << (shift - 1);
      constexpr int cellMask = 0xFF & ~((1 << shift) - 1);
      slot = search((bgr[0] & cellMask) | centre, (bgr[1] & cellMask) | centre, (bgr[2] & cellMask) | centre);
    }
    return uint8_t(slot);
  }

 private:
  static constexpr int kBits = 6;

  int16_t search(int b, int g, int r) const {
    int best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (size_t i = 0; i < palette_.size(); ++i) {
      const int db = b - palette_[i].b, dg = g - palette_[i].g, dr = r - palette_[i].r;
      const int d = db * db + dg * dg + dr * dr;
      if (d < bestDistance) {
        bestDistance = d;
        best = int(i);
      }
    }
    return int16_t(best);
  }

  const std::vector<PaletteEntry>& palette_;
  std::vector<int16_t> cache_;
};

}  // namespace

Bitmap quantizeToPalette(const Bitmap& rgb24, int maxColours) {
  if (rgb24.format() != PixelFormat::ie24RGB) throw std::invalid_argument("quantizeToPalette needs an ie24RGB bitmap");
  if (maxColours < 1 || maxColours > 256) throw std::invalid_argument("a palette holds 1 to 256 colours");
  Bitmap out(rgb24.width(), rgb24.height(), PixelFormat::ie8p, rgb24.bitAlignment());
  if (out.isNull() || mapExactly(rgb24, out, maxColours)) return out;

  const std::vector<PaletteEntry> palette = medianCut(histogram(rgb24), maxColours);
  NearestColour nearest(palette);
  uint8_t* bits = out.mutableBits();
  for (int y = 0; y < rgb24.height(); ++y) {
    const uint8_t* s = rgb24.scanline(y);
    uint8_t* d = bits + out.rowBytes() * size_t(y);
    for (int x = 0; x < rgb24.width(); ++x, s += 3) d[x] = nearest(s);
  }
  out.setPalette(palette);
  return out;
}

}  // namespace lumo
