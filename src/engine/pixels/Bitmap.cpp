#include "engine/pixels/Bitmap.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace lumo {

bool Bitmap::isValidAlignment(int bitAlignment) {
  return bitAlignment == 8 || bitAlignment == 16 || bitAlignment == 32 || bitAlignment == 64;
}

size_t Bitmap::rowLength(int width, PixelFormat format, int bitAlignment) {
  if (width <= 0 || !isValidAlignment(bitAlignment)) return 0;
  const uint64_t bits = uint64_t(width) * uint64_t(bitsPerPixel(format));
  const uint64_t a = uint64_t(bitAlignment);
  return size_t((bits + a - 1) / a * a / 8);
}

Bitmap::Bitmap(int width, int height, PixelFormat format, int bitAlignment)
    : width_(width), height_(height), format_(format), bitAlignment_(bitAlignment) {
  if (!isValidAlignment(bitAlignment)) throw std::invalid_argument("bit alignment must be 8, 16, 32 or 64");
  if (isNull()) {
    width_ = height_ = 0;
    return;
  }
  rowBytes_ = rowLength(width, format, bitAlignment);
  pixels_ = std::make_shared<Plane>(byteCount(), 0);
  if (format == PixelFormat::ie8p) palette_.resize(256);
}

Bitmap Bitmap::adoptRows(int width, int height, PixelFormat format, int bitAlignment, ByteBuffer&& buffer,
                         size_t offset) {
  Bitmap b;
  if (!isValidAlignment(bitAlignment)) throw std::invalid_argument("bit alignment must be 8, 16, 32 or 64");
  b.bitAlignment_ = bitAlignment;
  b.format_ = format;
  if (width <= 0 || height <= 0 || format == PixelFormat::ieNull) return b;
  b.width_ = width;
  b.height_ = height;
  b.rowBytes_ = rowLength(width, format, bitAlignment);
  if (offset > buffer.size() || buffer.size() - offset < b.byteCount())
    throw std::invalid_argument("buffer shorter than the rows it should hold");
  b.pixels_ = std::make_shared<Plane>(std::move(buffer));
  b.pixelOffset_ = offset;
  if (format == PixelFormat::ie8p) b.palette_.resize(256);
  return b;
}

void Bitmap::detach(std::shared_ptr<Plane>& plane) {
  if (plane && plane.use_count() > 1) plane = std::make_shared<Plane>(*plane);
}

uint8_t* Bitmap::mutableBits() {
  if (pixels_ && pixels_.use_count() > 1) {
    // A private copy holds the rows alone, whatever else an adopted plane carried.
    pixels_ = std::make_shared<Plane>(bits(), bits() + byteCount());
    pixelOffset_ = 0;
  }
  return pixels_ ? pixels_->data() + pixelOffset_ : nullptr;
}

uint8_t* Bitmap::mutableAlphaBits() {
  detach(alpha_);
  return alpha_ ? alpha_->data() : nullptr;
}

void Bitmap::fill(uint8_t value) {
  if (pixels_) std::fill(mutableBits(), mutableBits() + byteCount(), value);
}

void Bitmap::addAlpha(uint8_t value) {
  if (alpha_ || isNull()) return;
  alpha_ = std::make_shared<Plane>(alphaRowBytes() * size_t(height_), value);
  alphaFull_ = value == 255;
}

void Bitmap::removeAlpha() {
  alpha_.reset();
  alphaFull_ = true;
}

void Bitmap::shareAlphaFrom(const Bitmap& other) {
  if (other.width_ != width_ || other.height_ != height_ || other.bitAlignment_ != bitAlignment_)
    throw std::invalid_argument("alpha plane of a bitmap with another size or alignment");
  alpha_ = other.alpha_;
  alphaFull_ = other.alphaFull_;
}

bool Bitmap::isOpaque() const {
  if (!alpha_) return true;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* a = alphaScanline(y);
    if (!std::all_of(a, a + width_, [](uint8_t v) { return v == 255; })) return false;
  }
  return true;
}

bool Bitmap::samePixels(const Bitmap& other) const {
  if (width_ != other.width_ || height_ != other.height_ || format_ != other.format_) return false;
  if (palette_ != other.palette_ || hasAlpha() != other.hasAlpha()) return false;
  // Compare only the bits that belong to pixels, not the row padding.
  const size_t usedBits = size_t(width_) * size_t(bitsPerPixel(format_));
  const size_t fullBytes = usedBits / 8;
  const int restBits = int(usedBits % 8);
  for (int y = 0; y < height_; ++y) {
    const uint8_t* a = scanline(y);
    const uint8_t* b = other.scanline(y);
    if (std::memcmp(a, b, fullBytes) != 0) return false;
    if (restBits) {
      const uint8_t mask = uint8_t(0xFF << (8 - restBits));
      if ((a[fullBytes] & mask) != (b[fullBytes] & mask)) return false;
    }
    if (hasAlpha() && std::memcmp(alphaScanline(y), other.alphaScanline(y), size_t(width_)) != 0) return false;
  }
  return true;
}

}  // namespace lumo
