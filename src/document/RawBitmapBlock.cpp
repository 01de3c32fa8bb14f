#include "document/RawBitmapBlock.h"

#include <cstring>

#include "document/ByteStream.h"
#include "document/PixelDeflate.h"
#include "document/ProjectError.h"

namespace lumo {

namespace {

constexpr char kMagic[] = "TIEBITMAPRAW";
constexpr size_t kMagicSize = 12;
constexpr int32_t kMaxPaletteEntries = 256;
// Magic, version and palette count.
constexpr size_t kLeadSize = kMagicSize + 4 + 4;
// Width to bit alignment, after the palette.
constexpr size_t kTailSize = 4 + 4 + 1 + 1 + 4 + 8 + 8 + 16 + 1 + 4 + 4;

[[noreturn]] void corrupt() { throw ProjectError(ProjectErrorText::kCorrupt); }

struct RawHeader {
  int32_t paletteCount = 0;
  int32_t width = 0;
  int32_t height = 0;
  PixelFormat format = PixelFormat::ieNull;
  int32_t bitAlignment = 32;
  size_t headerSize = 0;  // bytes up to the first pixel row
  size_t rowBytes = 0;
  size_t alphaRowBytes = 0;

  bool isNull() const { return width == 0 || height == 0 || format == PixelFormat::ieNull; }
  size_t pixelBytes() const { return isNull() ? 0 : rowBytes * size_t(height); }
  size_t alphaBytes() const { return isNull() ? 0 : alphaRowBytes * size_t(height); }
};

bool isRawBlock(const uint8_t* data, size_t size) {
  if (size < kMagicSize + 4) return false;
  int32_t version;
  std::memcpy(&version, data + kMagicSize, 4);
  return std::memcmp(data, kMagic, kMagicSize) == 0 && version >= 0;
}

// Reads and checks the header of a block known to carry the magic. Returns false when
// `size` bytes are too few to hold it; throws when it cannot describe a stored bitmap.
bool parseHeader(const uint8_t* data, size_t size, RawHeader& h) {
  if (size < kLeadSize) return false;
  ByteReader in(data, size);
  in.skip(kMagicSize + 4);
  h.paletteCount = in.i32();
  if (h.paletteCount < 0 || h.paletteCount > kMaxPaletteEntries) corrupt();
  h.headerSize = kLeadSize + size_t(h.paletteCount) * 3 + kTailSize;
  if (size < h.headerSize) return false;
  in.skip(size_t(h.paletteCount) * 3);
  h.width = in.i32();
  h.height = in.i32();
  const uint8_t format = in.u8();
  in.seek(h.headerSize - 4);
  h.bitAlignment = in.i32();
  if (h.width < 0 || h.height < 0 || !isValidPixelFormat(format) || !Bitmap::isValidAlignment(h.bitAlignment)) corrupt();
  if (int64_t(h.width) * int64_t(h.height) > kMaxStoredPixels) corrupt();
  h.format = PixelFormat(format);
  h.rowBytes = Bitmap::rowLength(h.width, h.format, h.bitAlignment);
  h.alphaRowBytes = Bitmap::rowLength(h.width, PixelFormat::ie8g, h.bitAlignment);
  return true;
}

}  // namespace

// Rows go out exactly as the bitmap holds them, padded to its bit alignment, which the
// block's fBitAlignment field records. The alpha rows use that same alignment: the
// block has no field of its own for them, and the bitmap pads its alpha plane alike.
std::vector<uint8_t> encodeRawBitmap(const Bitmap& bitmap) {
  std::vector<uint8_t> buffer;
  encodeRawBitmap(bitmap, buffer);
  return buffer;
}

void encodeRawBitmap(const Bitmap& bitmap, std::vector<uint8_t>& buffer) {
  buffer.clear();
  buffer.reserve(kLeadSize + bitmap.palette().size() * 3 + kTailSize + bitmap.byteCount() + 2 +
                 (bitmap.hasAlpha() ? bitmap.alphaRowBytes() * size_t(bitmap.height()) : 0));
  ByteWriter out(buffer);
  const BitmapInfo& info = bitmap.info();
  out.bytes(kMagic, kMagicSize);
  out.i32(0);
  out.i32(int32_t(bitmap.palette().size()));
  for (const PaletteEntry& e : bitmap.palette()) {
    out.u8(e.b);
    out.u8(e.g);
    out.u8(e.r);
  }
  out.i32(bitmap.width());
  out.i32(bitmap.height());
  out.u8(uint8_t(bitmap.format()));
  out.boolean(info.full);
  out.i32(info.paletteUsed);
  out.f64(info.blackValue);
  out.f64(info.whiteValue);
  for (int32_t offset : info.channelOffset) out.i32(offset);
  out.boolean(info.enableChannelOffset);
  out.i32(info.contrast);
  out.i32(bitmap.bitAlignment());
  if (!bitmap.isNull()) out.bytes(bitmap.bits(), bitmap.byteCount());
  const bool alpha = bitmap.hasAlpha() && !bitmap.isNull();
  out.boolean(alpha);
  if (alpha) {
    out.bytes(bitmap.alphaBits(), bitmap.alphaRowBytes() * size_t(bitmap.height()));
    out.boolean(bitmap.alphaFull());
  }
}

std::optional<size_t> rawBitmapMaxSize(const uint8_t* head, size_t headSize) {
  if (headSize < kMagicSize + 4) return std::nullopt;
  // A block the decoder will not take needs no more than what tells it so.
  if (!isRawBlock(head, headSize)) return kMagicSize + 4;
  RawHeader h;
  if (!parseHeader(head, headSize, h)) return std::nullopt;
  return h.headerSize + h.pixelBytes() + 1 + h.alphaBytes() + 1;
}

namespace {

// Everything a raw block says, checked against its size, with where its rows lie.
struct ParsedBlock {
  RawHeader h;
  std::vector<PaletteEntry> palette;
  BitmapInfo info;
  size_t rowsOffset = 0;
  const uint8_t* alphaRows = nullptr;
  bool alphaFull = true;
};

// Returns false when the magic differs or the version is negative.
bool parseBlock(const uint8_t* data, size_t size, ParsedBlock& p) {
  if (size < kMagicSize + 4) corrupt();
  if (!isRawBlock(data, size)) return false;
  RawHeader& h = p.h;
  if (!parseHeader(data, size, h)) corrupt();

  ByteReader in(data, size);
  in.skip(kLeadSize);
  p.palette.resize(size_t(h.paletteCount));
  for (PaletteEntry& e : p.palette) {
    e.b = in.u8();
    e.g = in.u8();
    e.r = in.u8();
  }
  in.skip(4 + 4 + 1);  // width, height, format: parsed above
  BitmapInfo& info = p.info;
  info.full = in.boolean();
  info.paletteUsed = in.i32();
  info.blackValue = in.f64();
  info.whiteValue = in.f64();
  for (int32_t& offset : info.channelOffset) offset = in.i32();
  info.enableChannelOffset = in.boolean();
  info.contrast = in.i32();
  in.skip(4);  // bit alignment

  // Everything the rows need must be there before the planes are allocated.
  in.require(int64_t(h.pixelBytes()) + 1);
  p.rowsOffset = in.pos();
  in.skip(h.pixelBytes());
  if (in.boolean()) {
    in.require(int64_t(h.alphaBytes()) + 1);
    p.alphaRows = in.take(h.alphaBytes());
    p.alphaFull = in.boolean();
  }
  // An 8-bit palette bitmap always has 256 entries, so that no pixel value can index
  // past the palette; a shorter stored palette is completed with black.
  if (h.format == PixelFormat::ie8p && p.palette.size() < size_t(kMaxPaletteEntries))
    p.palette.resize(kMaxPaletteEntries);
  return true;
}

// Gives a bitmap whose pixel rows are in place the block's palette, info and alpha.
void finish(ParsedBlock& p, Bitmap& bitmap, Bitmap& out) {
  bitmap.setPalette(std::move(p.palette));
  bitmap.info() = p.info;
  if (!bitmap.isNull() && p.alphaRows) {
    bitmap.addAlpha();
    std::memcpy(bitmap.mutableAlphaBits(), p.alphaRows, p.h.alphaBytes());
    bitmap.setAlphaFull(p.alphaFull);
  }
  out = std::move(bitmap);
}

}  // namespace

bool decodeRawBitmap(const uint8_t* data, size_t size, Bitmap& out) {
  ParsedBlock p;
  if (!parseBlock(data, size, p)) return false;
  const RawHeader& h = p.h;
  Bitmap bitmap = h.isNull() ? Bitmap(0, 0, h.format, h.bitAlignment)
                             : Bitmap(h.width, h.height, h.format, h.bitAlignment);
  if (!bitmap.isNull()) std::memcpy(bitmap.mutableBits(), data + p.rowsOffset, h.pixelBytes());
  finish(p, bitmap, out);
  return true;
}

bool decodeRawBitmap(ByteBuffer&& block, Bitmap& out) {
  ParsedBlock p;
  if (!parseBlock(block.data(), block.size(), p)) return false;
  const RawHeader& h = p.h;
  if (h.isNull()) {
    Bitmap null(0, 0, h.format, h.bitAlignment);
    finish(p, null, out);
    return true;
  }
  // Alpha rows are copied out before the block becomes the pixel plane.
  ByteBuffer alpha;
  if (p.alphaRows) alpha.assign(p.alphaRows, p.alphaRows + h.alphaBytes());
  p.alphaRows = alpha.empty() ? nullptr : alpha.data();
  Bitmap bitmap = Bitmap::adoptRows(h.width, h.height, h.format, h.bitAlignment, std::move(block), p.rowsOffset);
  finish(p, bitmap, out);
  return true;
}

bool inflateRawBitmap(const uint8_t* data, size_t size, Bitmap& out) {
  return decodeRawBitmap(inflateRawBitmapStream(data, size), out);
}

}  // namespace lumo
