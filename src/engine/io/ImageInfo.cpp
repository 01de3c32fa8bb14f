#include "engine/io/ImageInfo.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <limits>

#include <QFile>
#include <QStringList>

#include "engine/io/Metadata.h"
#include "engine/pixels/PixelConvert.h"

namespace lumo {

QString ColorDepthText::text(const std::function<QString(const QString&)>& translate) const {
  const QString pattern = translate ? translate(key) : key;
  return key.contains("%1") ? pattern.arg(number) : pattern;
}

ColorDepthText colorDepthText(int bitsPerPixel) {
  if (bitsPerPixel < 1) return {};
  if (bitsPerPixel == 1) return {"Black and white (%1 colors)", 2};
  if (bitsPerPixel <= 8) return {"%1 colors", int64_t(1) << bitsPerPixel};
  if (bitsPerPixel == 12) return {"%1 colors", 4096};
  if (bitsPerPixel == 15 || bitsPerPixel == 16) return {"%1 colors", 65536};
  return {"%1 bits", bitsPerPixel};
}

uint32_t countDistinctColors(const Bitmap& image) {
  if (image.isNull()) return 0;
  const int w = image.width(), h = image.height();
  switch (image.format()) {
    case PixelFormat::ie1g: {
      bool seen[2] = {false, false};
      for (int y = 0; y < h && !(seen[0] && seen[1]); ++y)
        for (int x = 0; x < w; ++x) seen[(image.scanline(y)[x >> 3] >> (7 - (x & 7))) & 1] = true;
      return uint32_t(seen[0]) + uint32_t(seen[1]);
    }
    case PixelFormat::ie8g: {
      std::array<bool, 256> seen{};
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) seen[image.scanline(y)[x]] = true;
      return uint32_t(std::count(seen.begin(), seen.end(), true));
    }
    case PixelFormat::ie8p: {
      // Entries in use, then the colours among them: a palette may repeat a colour.
      std::array<bool, 256> used{};
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) used[image.scanline(y)[x]] = true;
      std::vector<uint32_t> colours;
      for (size_t i = 0; i < used.size(); ++i) {
        if (!used[i]) continue;
        const PaletteEntry e = i < image.palette().size() ? image.palette()[i] : PaletteEntry{};
        colours.push_back(uint32_t(e.b) | uint32_t(e.g) << 8 | uint32_t(e.r) << 16);
      }
      std::sort(colours.begin(), colours.end());
      return uint32_t(std::unique(colours.begin(), colours.end()) - colours.begin());
    }
    case PixelFormat::ie24RGB:
    case PixelFormat::ie32RGB: {
      const size_t step = image.format() == PixelFormat::ie24RGB ? 3 : 4;
      std::vector<uint64_t> seen(size_t(1) << 18);  // one bit for each of the 2^24 colours
      for (int y = 0; y < h; ++y) {
        const uint8_t* p = image.scanline(y);
        for (int x = 0; x < w; ++x, p += step) {
          const uint32_t c = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
          seen[c >> 6] |= uint64_t(1) << (c & 63);
        }
      }
      uint32_t n = 0;
      for (uint64_t word : seen) n += uint32_t(std::popcount(word));
      return n;
    }
    default:
      return countDistinctColors(convertToRGB24(image));
  }
}

namespace {

// The example tables of the JPEG standard (Annex K), row by row.
constexpr std::array<uint8_t, 64> kLuminance = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,  14, 13, 16, 24,  40,  57,
    69, 56, 14, 17, 22,  29,  51,  87,  80, 62, 18, 22, 37,  56,  68,  109, 103, 77, 24, 35,  55,  64,
    81, 104, 113, 92, 49, 64,  78,  87,  103, 121, 120, 101, 72, 92, 95,  98,  112, 100, 103, 99};
constexpr std::array<uint8_t, 64> kChrominance = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
// Where the n-th value of a stored (zigzag) table sits in a row-by-row table.
constexpr std::array<uint8_t, 64> kZigzag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// A standard value scaled to `quality` as encoders commonly do it.
int scaled(int value, int quality) {
  const int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
  return std::clamp((value * scale + 50) / 100, 1, 255);
}

}  // namespace

int estimateJpegQuality(const uint8_t* data, size_t size) {
  // Tables by their number (0 luminance, 1 ... 3 chrominance), row by row.
  std::array<std::array<int, 64>, 4> tables{};
  std::array<bool, 4> found{};
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return -1;
  size_t at = 2;
  while (at + 4 <= size) {
    if (data[at] != 0xFF) return -1;
    const uint8_t marker = data[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) break;  // the scan begins: no tables before it are left
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
      at += 2;
      continue;
    }
    const size_t length = size_t(data[at + 2]) << 8 | data[at + 3];
    if (length < 2 || at + 2 + length > size) return -1;
    if (marker == 0xDB) {
      size_t p = at + 4;
      const size_t end = at + 2 + length;
      while (p < end) {
        const int precision = data[p] >> 4, id = data[p] & 0x0F;
        const size_t bytes = precision ? 128 : 64;
        if (id > 3 || p + 1 + bytes > end) return -1;
        for (size_t i = 0; i < 64; ++i)
          tables[size_t(id)][kZigzag[i]] = precision ? data[p + 1 + 2 * i] << 8 | data[p + 2 + 2 * i] : data[p + 1 + i];
        found[size_t(id)] = true;
        p += 1 + bytes;
      }
    }
    at += 2 + length;
  }
  if (!std::count(found.begin(), found.end(), true)) return -1;
  int best = -1;
  long bestError = std::numeric_limits<long>::max();
  for (int q = 1; q <= 100; ++q) {
    long error = 0;
    for (size_t t = 0; t < 4; ++t) {
      if (!found[t]) continue;
      const auto& standard = t == 0 ? kLuminance : kChrominance;
      for (size_t i = 0; i < 64; ++i) error += std::labs(long(tables[t][i]) - scaled(standard[i], q));
    }
    if (error < bestError) {
      bestError = error;
      best = q;
    }
  }
  return best;
}

int estimateJpegQualityOfFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() <= 0) return -1;
  const uint8_t* data = file.map(0, file.size());
  if (data) return estimateJpegQuality(data, size_t(file.size()));
  const QByteArray bytes = file.readAll();
  return estimateJpegQuality(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
}

bool canCarryIptc(int32_t fileType) { return metadataSupport(fileType).iptc; }

const std::vector<IptcField>& iptcFields() {
  static const std::vector<IptcField> fields = {
      {5, "Object Name", false},
      {7, "Edit Status", false},
      {10, "Urgency", false},
      {15, "Category", false},
      {20, "Supplemental Categories", true},
      {22, "Fixture Identifier", false},
      {25, "Keywords", true},
      {40, "Special Instructions", false},
      {55, "Date Created", false},
      {60, "Time Created", false},
      {80, "By-line", true},
      {85, "By-line Title", true},
      {90, "City", false},
      {92, "Sub-location", false},
      {95, "Province/State", false},
      {100, "Country Code", false},
      {101, "Country", false},
      {103, "Original Transmission Reference", false},
      {105, "Headline", false},
      {110, "Credit", false},
      {115, "Source", false},
      {116, "Copyright Notice", false},
      {118, "Contact", true},
      {120, "Caption/Abstract", false},
      {122, "Writer/Editor", true},
  };
  return fields;
}

namespace {

bool isField(const IptcRecord& r, const IptcField& field) { return r.record == 2 && r.dataset == field.dataset; }

}  // namespace

QString iptcFieldText(const std::vector<IptcRecord>& records, const IptcField& field) {
  QStringList values;
  for (const IptcRecord& r : records)
    if (isField(r, field)) values << r.value;
  return values.join("; ");
}

void setIptcFieldText(std::vector<IptcRecord>& records, const IptcField& field, const QString& text) {
  const auto ofField = [&](const IptcRecord& r) { return isField(r, field); };
  const size_t place = size_t(std::find_if(records.begin(), records.end(), ofField) - records.begin());
  std::erase_if(records, ofField);
  std::vector<IptcRecord> added;
  for (const QString& part : field.repeatable ? text.split(';') : QStringList{text})
    if (!part.trimmed().isEmpty()) added.push_back({2, field.dataset, part.trimmed()});
  records.insert(records.begin() + std::ptrdiff_t(std::min(place, records.size())), added.begin(), added.end());
}

}  // namespace lumo
