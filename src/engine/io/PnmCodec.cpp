// Portable any-map files: PBM, PGM and PPM in their text (P1-P3) and binary (P4-P6)
// forms, and PAM (P7), read and written here.
#include <algorithm>
#include <cstring>

#include "engine/io/ImageCodecs.h"
#include "engine/pixels/PixelConvert.h"

namespace lumo {

namespace {

bool isSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Reads the header tokens and the text samples; '#' starts a comment up to the line end.
struct Scanner {
  const uint8_t* d;
  size_t n;
  size_t pos;

  void skipSpaceAndComments() {
    while (pos < n) {
      if (d[pos] == '#') {
        while (pos < n && d[pos] != '\n' && d[pos] != '\r') ++pos;
      } else if (isSpace(d[pos])) {
        ++pos;
      } else {
        break;
      }
    }
  }
  // A decimal number of at most 9 digits, ended by white space, a comment or the end.
  bool number(uint32_t& value) {
    skipSpaceAndComments();
    value = 0;
    size_t digits = 0;
    while (pos < n && d[pos] >= '0' && d[pos] <= '9') {
      if (++digits > 9) return false;
      value = value * 10 + uint32_t(d[pos++] - '0');
    }
    return digits > 0 && (pos == n || isSpace(d[pos]) || d[pos] == '#');
  }
};

struct Header {
  int kind = 0;  // 1 ... 7 from the magic number
  uint32_t width = 0, height = 0, maxval = 1, depth = 1;
  bool alpha = false;
  size_t dataStart = 0;
};

bool fail(QString& error, const QString& message) {
  error = message;
  return false;
}

// P7: "WIDTH", "HEIGHT", "DEPTH", "MAXVAL", "TUPLTYPE" lines up to "ENDHDR".
bool readPamHeader(Scanner& s, Header& h, QString& error) {
  bool seen[4] = {};
  QByteArray tuple;
  for (;;) {
    s.skipSpaceAndComments();
    const size_t start = s.pos;
    while (s.pos < s.n && !isSpace(s.d[s.pos])) ++s.pos;
    const QByteArray key(reinterpret_cast<const char*>(s.d + start), qsizetype(s.pos - start));
    if (key.isEmpty()) return fail(error, "The PAM header has no ENDHDR line");
    if (key == "ENDHDR") break;
    if (key == "TUPLTYPE") {
      while (s.pos < s.n && (s.d[s.pos] == ' ' || s.d[s.pos] == '\t')) ++s.pos;
      const size_t from = s.pos;
      while (s.pos < s.n && s.d[s.pos] != '\n' && s.d[s.pos] != '\r') ++s.pos;
      tuple = QByteArray(reinterpret_cast<const char*>(s.d + from), qsizetype(s.pos - from)).trimmed();
      continue;
    }
    const char* const keys[] = {"WIDTH", "HEIGHT", "DEPTH", "MAXVAL"};
    uint32_t* const fields[] = {&h.width, &h.height, &h.depth, &h.maxval};
    const auto k = std::find(std::begin(keys), std::end(keys), key) - std::begin(keys);
    if (k == 4) return fail(error, QString("Unknown PAM header line \"%1\"").arg(QString::fromLatin1(key.left(40))));
    if (!s.number(*fields[k])) return fail(error, QString("The PAM %1 is not a number").arg(keys[k]));
    seen[k] = true;
  }
  if (!(seen[0] && seen[1] && seen[2] && seen[3]))
    return fail(error, "The PAM header lacks WIDTH, HEIGHT, DEPTH or MAXVAL");
  // The line break after ENDHDR ends the header.
  if (s.pos < s.n && s.d[s.pos] == '\r') ++s.pos;
  if (s.pos >= s.n || s.d[s.pos] != '\n') return fail(error, "The PAM header does not end with a line break");
  h.dataStart = s.pos + 1;
  if (h.depth < 1 || h.depth > 4) return fail(error, QString("PAM images of depth %1 are not supported").arg(h.depth));
  h.alpha = h.depth == 2 || h.depth == 4;
  if (!tuple.isEmpty()) {
    const bool knownTuple = tuple == "BLACKANDWHITE" || tuple == "GRAYSCALE" || tuple == "RGB" ||
                            tuple == "BLACKANDWHITE_ALPHA" || tuple == "GRAYSCALE_ALPHA" || tuple == "RGB_ALPHA";
    if (!knownTuple)
      return fail(error, QString("PAM tuple type \"%1\" is not supported").arg(QString::fromLatin1(tuple.left(40))));
    if (tuple.endsWith("_ALPHA") != h.alpha || tuple.startsWith("RGB") != (h.depth >= 3))
      return fail(error, "The PAM tuple type does not match its depth");
  }
  return true;
}

bool readHeader(const uint8_t* d, size_t n, Header& h, QString& error) {
  if (n < 3 || d[0] != 'P' || d[1] < '1' || d[1] > '7') return fail(error, "Not a portable any-map file");
  h.kind = d[1] - '0';
  Scanner s{d, n, 2};
  if (!isSpace(d[2]) && d[2] != '#') return fail(error, "Not a portable any-map file");
  if (h.kind == 7) {
    if (!readPamHeader(s, h, error)) return false;
  } else {
    if (!s.number(h.width) || !s.number(h.height)) return fail(error, "The header's width or height is not a number");
    if (h.kind != 1 && h.kind != 4 && !s.number(h.maxval))
      return fail(error, "The header's maximum value is not a number");
    h.depth = (h.kind == 3 || h.kind == 6) ? 3 : 1;
    // Exactly one white-space character separates the header from the samples.
    if (s.pos >= n) return fail(error, "The file ends inside its header");
    if (!isSpace(d[s.pos])) return fail(error, "The header does not end with white space");
    h.dataStart = s.pos + 1;
  }
  if (h.maxval < 1 || h.maxval > 65535)
    return fail(error, QString("The maximum value %1 is outside 1 ... 65535").arg(h.maxval));
  return true;
}

// A sample scaled from 0 ... maxval to 0 ... top (255 or 65535), rounded.
inline uint32_t scaled(uint32_t v, uint32_t maxval, uint32_t top) {
  return maxval == top ? v : (v * top + maxval / 2) / maxval;
}

}  // namespace

bool readPnm(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  Header h;
  if (!readHeader(data, size, h, error)) return false;
  const bool bits = h.kind == 1 || h.kind == 4 || (h.kind == 7 && h.maxval == 1 && h.depth <= 2);
  const bool wide = h.maxval > 255;
  const bool text = h.kind <= 3;
  const size_t sampleBytes = wide ? 2 : 1;
  // Packed bits in P4, one sample per byte or word otherwise; text needs at least one
  // character per sample.
  const double bytesPerPixel = h.kind == 4 ? 1.0 / 8.0 : double(h.depth * (text ? 1 : sampleBytes));
  if (!checkDeclaredSize(h.width, h.height, bytesPerPixel, size, error)) return false;
  const size_t left = size - std::min(size, h.dataStart);
  const uint64_t samples = uint64_t(h.width) * h.height * h.depth;
  const uint64_t needed = h.kind == 4 ? uint64_t((h.width + 7) / 8) * h.height : text ? samples : samples * sampleBytes;
  if (needed > left) return fail(error, "The file ends inside its pixel data");

  const int w = int(h.width), ht = int(h.height);
  const bool colour = h.depth >= 3;
  const PixelFormat format = bits && !h.alpha ? PixelFormat::ie1g
                             : colour         ? (wide ? PixelFormat::ie48RGB : PixelFormat::ie24RGB)
                                              : (wide ? PixelFormat::ie16g : PixelFormat::ie8g);
  Bitmap image(w, ht, format);
  if (h.alpha) image.addAlpha();
  const uint32_t top = wide ? 65535 : 255;
  const size_t colourSamples = colour ? 3 : 1;

  Scanner s{data, size, h.dataStart};
  const uint8_t* p = data + h.dataStart;
  // The next sample of the raster, checked against maxval.
  auto next = [&](uint32_t& v) -> bool {
    if (h.kind == 1) {  // digits may run together
      s.skipSpaceAndComments();
      if (s.pos >= s.n || (s.d[s.pos] != '0' && s.d[s.pos] != '1')) return false;
      v = uint32_t(s.d[s.pos++] - '0');
      return true;
    }
    if (text) {
      if (!s.number(v)) return false;
    } else if (wide) {
      v = uint32_t(p[0] << 8 | p[1]);
      p += 2;
    } else {
      v = *p++;
    }
    return v <= h.maxval;
  };

  for (int y = 0; y < ht; ++y) {
    uint8_t* row = image.mutableScanline(y);
    if (h.kind == 4) {
      // PBM: 1 is black, the bitmap's 1 is white.
      const size_t rowBytes = (h.width + 7) / 8;
      for (size_t i = 0; i < rowBytes; ++i) row[i] = uint8_t(~p[i]);
      if (w % 8) row[rowBytes - 1] &= uint8_t(0xFF << (8 - w % 8));
      p += rowBytes;
      continue;
    }
    uint8_t* alpha = h.alpha ? image.mutableAlphaScanline(y) : nullptr;
    for (int x = 0; x < w; ++x) {
      for (size_t c = 0; c < colourSamples; ++c) {
        uint32_t v;
        if (!next(v)) return fail(error, "A sample is missing, not a number or above the maximum value");
        if (format == PixelFormat::ie1g) {
          // P1 writes 1 for black; a PAM of maxval 1 writes 1 for white.
          if ((h.kind == 1) == (v == 0)) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
        } else if (wide) {
          const uint16_t word = uint16_t(scaled(v, h.maxval, top));
          std::memcpy(row + (size_t(x) * colourSamples + c) * 2, &word, 2);
        } else if (colour) {
          row[size_t(x) * 3 + 2 - c] = uint8_t(scaled(v, h.maxval, top));  // stored as blue, green, red
        } else {
          row[x] = uint8_t(scaled(v, h.maxval, top));
        }
      }
      if (alpha) {
        uint32_t v;
        if (!next(v)) return fail(error, "A sample is missing or above the maximum value");
        alpha[x] = uint8_t(scaled(v, h.maxval, 255));
      }
    }
  }
  if (h.alpha) image.setAlphaFull(image.isOpaque());
  params.BitsPerSample = format == PixelFormat::ie1g ? 1 : wide ? 16 : 8;
  params.SamplesPerPixel = int32_t(h.depth);
  out = std::move(image);
  return true;
}

// The extension chooses the flavour: "ppm" writes P6 (RGB), "pgm" P5 (grey, colour turned
// to grey by luminance), "pbm" P4 (a pixel is white when its luminance is at least half,
// 128 of 255, and black otherwise), "pnm" whichever of the three fits the image.
// 16-bit images keep 16 bits in PPM and PGM. PNM has no alpha: it is not stored.
bool writePnm(const Bitmap& image, const IOParams&, const QString& extension, QByteArray& out, QString& error) {
  int kind;
  if (extension == "ppm") {
    kind = 6;
  } else if (extension == "pgm") {
    kind = 5;
  } else if (extension == "pbm") {
    kind = 4;
  } else if (extension == "pnm") {
    const PixelFormat f = image.format();
    kind = f == PixelFormat::ie1g ? 4 : (f == PixelFormat::ie8g || f == PixelFormat::ie16g) ? 5 : 6;
  } else {
    error = QString("\"%1\" is not a portable any-map extension").arg(extension);
    return false;
  }
  const PixelFormat f = image.format();
  const bool wide = kind != 4 && (f == PixelFormat::ie16g || f == PixelFormat::ie48RGB);
  // 16-bit pixels are written word by word below (grey repeated for PPM, colour turned to
  // grey for PGM); everything else is converted first.
  const Bitmap px = kind == 4 ? convertPixelFormat(image, PixelFormat::ie1g)
                    : wide    ? image
                              : convertPixelFormat(image, kind == 5 ? PixelFormat::ie8g : PixelFormat::ie24RGB);
  const int w = px.width(), h = px.height();
  const QByteArray header = QString("P%1\n%2 %3\n%4")
                                .arg(kind)
                                .arg(w)
                                .arg(h)
                                .arg(wide        ? "65535\n"
                                     : kind == 4 ? ""
                                                 : "255\n")
                                .toLatin1();
  const size_t channels = kind == 6 ? 3 : 1;
  const size_t rowOut = kind == 4 ? size_t(w + 7) / 8 : size_t(w) * channels * (wide ? 2 : 1);
  out.clear();
  out.reserve(header.size() + qsizetype(rowOut * size_t(h)));
  out.append(header);
  QByteArray row(qsizetype(rowOut), '\0');
  auto* d = reinterpret_cast<uint8_t*>(row.data());
  auto word = [](const uint8_t* at) {
    uint16_t v;
    std::memcpy(&v, at, 2);
    return v;
  };
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = px.scanline(y);
    if (kind == 4) {
      for (size_t i = 0; i < rowOut; ++i) d[i] = uint8_t(~s[i]);
      if (w % 8) d[rowOut - 1] &= uint8_t(0xFF << (8 - w % 8));
    } else if (!wide && kind == 6) {
      for (int x = 0; x < w; ++x) {
        d[3 * x] = s[3 * x + 2];
        d[3 * x + 1] = s[3 * x + 1];
        d[3 * x + 2] = s[3 * x];
      }
    } else if (!wide) {
      std::memcpy(d, s, rowOut);
    } else {
      for (int x = 0; x < w; ++x) {
        for (size_t c = 0; c < channels; ++c) {
          uint16_t v;
          if (px.format() == PixelFormat::ie16g) {
            v = word(s + 2 * x);
          } else if (kind == 6) {
            v = word(s + 6 * x + 2 * c);
          } else {  // Rec. 601 weights as for 8-bit grey
            const uint64_t r = word(s + 6 * x), g = word(s + 6 * x + 2), b = word(s + 6 * x + 4);
            v = uint16_t((19595u * r + 38470u * g + 7471u * b + 32768u) >> 16);
          }
          d[(x * channels + c) * 2] = uint8_t(v >> 8);
          d[(x * channels + c) * 2 + 1] = uint8_t(v);
        }
      }
    }
    out.append(row);
  }
  return true;
}

}  // namespace lumo
