#include "document/PixelDeflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <cstring>
#include <memory>

#include "document/ProjectError.h"
#include "document/RawBitmapBlock.h"

namespace lumo {

namespace {

// libdeflate's level 1 has a matcher of its own: on camera photos, whose grain leaves
// few long matches, its streams are as small as zlib's default level makes them (on
// noiseless pictures up to about 3 % larger) at about three times zlib's speed.
constexpr int kDeflateLevel = 1;

struct CompressorFree {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct DecompressorFree {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

libdeflate_compressor* threadCompressor() {
  thread_local std::unique_ptr<libdeflate_compressor, CompressorFree> c(libdeflate_alloc_compressor(kDeflateLevel));
  return c.get();
}

libdeflate_decompressor* threadDecompressor() {
  thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> d(libdeflate_alloc_decompressor());
  return d.get();
}

[[noreturn]] void corrupt() { throw ProjectError(ProjectErrorText::kCorrupt); }

// Inflates the start of the stream until the raw block's header tells its largest
// size. Returns the bytes inflated so far; `maxSize` stays 0 when the block is not a
// raw bitmap block (then the caller has all it needs to see that).
struct InflateStream {
  z_stream zs{};
  InflateStream() {
    if (inflateInit(&zs) != Z_OK) throw std::bad_alloc();
  }
  ~InflateStream() { inflateEnd(&zs); }
};

ByteBuffer inflateHead(const uint8_t* data, size_t size, size_t& maxSize) {
  InflateStream stream;  // ended however the header turns out
  z_stream& zs = stream.zs;
  ByteBuffer head;
  zs.next_in = const_cast<Bytef*>(data);
  zs.avail_in = uInt(std::min<size_t>(size, 0xFFFFFFFFu));
  maxSize = 0;
  // Enough for the 12-byte magic and version first, then the whole header with its
  // palette; rawBitmapMaxSize says when it has seen enough.
  size_t want = 16;
  for (;;) {
    const size_t have = head.size();
    head.resize(want);
    zs.next_out = head.data() + have;
    zs.avail_out = uInt(want - have);
    const int rc = inflate(&zs, Z_SYNC_FLUSH);
    head.resize(want - zs.avail_out);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) corrupt();
    if (head.size() >= 16) {
      int32_t version;
      std::memcpy(&version, head.data() + 12, 4);
      if (std::memcmp(head.data(), "TIEBITMAPRAW", 12) != 0 || version < 0) break;
      if (auto m = rawBitmapMaxSize(head.data(), head.size())) {
        maxSize = *m;
        break;
      }
    }
    if (rc == Z_STREAM_END || head.size() < want) break;  // the stream ended inside the header
    want = want < 4096 ? 4096 : want * 2;
    if (want > (size_t(1) << 20)) break;  // no header is that long
  }
  return head;
}

}  // namespace

ByteBuffer deflateZlib(const uint8_t* data, size_t size) {
  libdeflate_compressor* c = threadCompressor();
  if (!c) throw std::bad_alloc();
  ByteBuffer out(libdeflate_zlib_compress_bound(c, size));
  const size_t n = libdeflate_zlib_compress(c, data, size, out.data(), out.size());
  if (n == 0) throw std::bad_alloc();  // cannot happen with the bound above
  out.resize(n);  // the unused tail of the bound stays reserved until the stream is written
  return out;
}

ByteBuffer inflateRawBitmapStream(const uint8_t* data, size_t size) {
  size_t maxSize = 0;
  ByteBuffer head = inflateHead(data, size, maxSize);
  if (maxSize == 0) return head;  // not a raw block, or cut short: the decoder says which
  // A stream of `size` bytes cannot hold more than this, whatever the header claims.
  const uint64_t limit = uint64_t(size) * kDeflateMaxRatio;
  if (maxSize > limit) maxSize = size_t(limit);
  ByteBuffer out(maxSize);
  size_t actualIn = 0, actualOut = 0;
  const auto rc = libdeflate_zlib_decompress_ex(threadDecompressor(), data, size, out.data(), out.size(), &actualIn,
                                                &actualOut);
  if (rc != LIBDEFLATE_SUCCESS) corrupt();
  out.resize(actualOut);
  return out;
}

}  // namespace lumo
