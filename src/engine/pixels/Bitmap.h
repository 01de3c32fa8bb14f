#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/pixels/PixelFormat.h"
#include "platform/PixelMemory.h"

namespace lumo {

// Takes large blocks from the pixel memory of the platform and leaves new elements
// uninitialised: pixel planes are written whole right after they are made, so zeroing
// them first would only cost time.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UninitializedAllocator<U>;
  };
  using std::allocator<T>::allocator;
  T* allocate(size_t n) { return static_cast<T*>(allocatePixelMemory(n * sizeof(T))); }
  void deallocate(T* p, size_t n) noexcept { freePixelMemory(p, n * sizeof(T)); }
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

// Bytes of a pixel plane, or of any large buffer that is filled right after it is made.
using ByteBuffer = std::vector<uint8_t, UninitializedAllocator<uint8_t>>;

struct PaletteEntry {
  uint8_t b = 0, g = 0, r = 0;
  friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

// The properties a stored bitmap carries besides its pixels. They travel with the
// bitmap so that a file of another writer is saved back as it came.
struct BitmapInfo {
  bool full = true;         // all alpha values are 255
  int32_t paletteUsed = 0;  // entries of the palette in use
  double blackValue = 0.0;  // range of float pixels
  double whiteValue = 1.0;
  std::array<int32_t, 4> channelOffset{};
  bool enableChannelOffset = false;
  int32_t contrast = 0;
  friend bool operator==(const BitmapInfo&, const BitmapInfo&) = default;
};

// A pixel buffer in one of the stored formats, with an optional separate 8-bit alpha
// plane. Rows run top-down and are padded to `bitAlignment` bits; the alpha plane is
// padded the same way. Planes are shared copy-on-write: copies share them until one
// side asks for mutable access.
class Bitmap {
 public:
  Bitmap() = default;
  // Pixels (and the palette of ie8p) start zeroed.
  Bitmap(int width, int height, PixelFormat format, int bitAlignment = 32);
  // A bitmap over rows already laid out in `buffer` from byte `offset` on, padded to
  // `bitAlignment`; the buffer becomes its pixel plane without a copy. The caller has
  // checked that the buffer holds every row.
  static Bitmap adoptRows(int width, int height, PixelFormat format, int bitAlignment, ByteBuffer&& buffer,
                          size_t offset);

  // Bytes of one row of `width` pixels of `format`, padded to `bitAlignment` bits
  // (8, 16, 32 or 64). Returns 0 for ieNull or an unusable alignment.
  static size_t rowLength(int width, PixelFormat format, int bitAlignment);
  static bool isValidAlignment(int bitAlignment);

  bool isNull() const { return width_ <= 0 || height_ <= 0 || format_ == PixelFormat::ieNull; }
  int width() const { return width_; }
  int height() const { return height_; }
  PixelFormat format() const { return format_; }
  int bitAlignment() const { return bitAlignment_; }
  size_t rowBytes() const { return rowBytes_; }
  size_t byteCount() const { return rowBytes_ * size_t(height_); }

  const uint8_t* bits() const { return pixels_ ? pixels_->data() + pixelOffset_ : nullptr; }
  const uint8_t* scanline(int y) const { return bits() + rowBytes_ * size_t(y); }
  uint8_t* mutableBits();
  uint8_t* mutableScanline(int y) { return mutableBits() + rowBytes_ * size_t(y); }
  void fill(uint8_t value);

  const std::vector<PaletteEntry>& palette() const { return palette_; }
  void setPalette(std::vector<PaletteEntry> palette) { palette_ = std::move(palette); }

  bool hasAlpha() const { return alpha_ != nullptr; }
  // Adds a plane set to `value` everywhere (keeps an existing plane).
  void addAlpha(uint8_t value = 255);
  void removeAlpha();
  // Takes `other`'s alpha plane, shared copy-on-write (drops this one's when `other` has
  // none). Both bitmaps must have the same size and bit alignment.
  void shareAlphaFrom(const Bitmap& other);
  const uint8_t* alphaBits() const { return alpha_ ? alpha_->data() : nullptr; }
  const uint8_t* alphaScanline(int y) const { return alphaBits() + alphaRowBytes() * size_t(y); }
  uint8_t* mutableAlphaBits();
  uint8_t* mutableAlphaScanline(int y) { return mutableAlphaBits() + alphaRowBytes() * size_t(y); }
  size_t alphaRowBytes() const { return rowLength(width_, PixelFormat::ie8g, bitAlignment_); }
  bool alphaFull() const { return alphaFull_; }
  void setAlphaFull(bool full) { alphaFull_ = full; }
  // True when there is no plane or every alpha value is 255.
  bool isOpaque() const;

  BitmapInfo& info() { return info_; }
  const BitmapInfo& info() const { return info_; }

  // Same planes in memory: a copy that nobody wrote to yet.
  bool sharesPixelsWith(const Bitmap& other) const { return pixels_ && pixels_ == other.pixels_; }
  bool sharesAlphaWith(const Bitmap& other) const { return alpha_ && alpha_ == other.alpha_; }
  // Pixel and alpha content equal (padding ignored), same format, size and palette.
  bool samePixels(const Bitmap& other) const;

  // Keeps the plane alive for a zero-copy view (QImage, cv::Mat).
  std::shared_ptr<const ByteBuffer> sharedPixels() const { return pixels_; }

 private:
  using Plane = ByteBuffer;
  static void detach(std::shared_ptr<Plane>& plane);

  int width_ = 0;
  int height_ = 0;
  PixelFormat format_ = PixelFormat::ieNull;
  int bitAlignment_ = 32;
  size_t rowBytes_ = 0;
  std::shared_ptr<Plane> pixels_;
  size_t pixelOffset_ = 0;  // where the rows start in an adopted plane
  std::shared_ptr<Plane> alpha_;
  bool alphaFull_ = true;
  std::vector<PaletteEntry> palette_;
  BitmapInfo info_;
};

}  // namespace lumo
