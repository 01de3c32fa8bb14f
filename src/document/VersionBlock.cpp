#include "document/VersionBlock.h"

#include <cmath>
#include <cstring>

#include "document/ProjectError.h"
#include "document/RawBitmapBlock.h"
#include "document/Thumbnail.h"

namespace lumo {

namespace {

int mulDiv(int a, int b, int c) { return c == 0 ? -1 : int((int64_t(a) * b + c / 2) / c); }

void report(const ProgressFn& progress, int percent) {
  if (progress) progress(percent);
}

// The smallest record any reader takes: length, version and kind.
constexpr int64_t kMinRecordSize = 12;

}  // namespace

bool isLayerWritten(const LayerStack& stack, int index, const BlockWriteOptions& o) {
  const Layer& layer = stack.at(index);
  if (o.selectedOnly && !layer.fSelected) return false;
  if (o.leaveOutImageLayers && layer.isImage()) return false;
  if (o.leaveOutLayer0 && index == 0) return false;
  return true;
}

void LayersSaveToStream(std::vector<uint8_t>& stream, const Version& version, const BlockWriteOptions& o) {
  report(o.progress, 0);
  // The PNG code is replaced by -1 only where PNG is written by the system's own
  // imaging component; our PNG codec is always the program's own, so codes stay.
  const LayerStack& stack = version.Layers;
  std::vector<int> written;
  for (int i = 0; i < stack.count(); ++i)
    if (isLayerWritten(stack, i, o)) written.push_back(i);

  ByteWriter out(stream);  // appends: every block goes after the ones before it
  out.bytes(kLayerStreamMagic, kLayerStreamMagicSize);
  out.i32(kLayerStreamVersion);
  out.i32(o.compression);
  out.i32(int32_t(written.size()));
  const QRectF extent = stack.boundingRect();
  out.i32(int32_t(std::lround(extent.width())));
  out.i32(int32_t(std::lround(extent.height())));
  out.wide(version.IO.IEN_Description);
  out.boolean(!o.leaveOutLayer0);

  const QImage thumbnail =
      o.writeThumbnail ? makeBlockThumbnail(stack, o.leaveOutLayer0, int(written.size()), o.thumbnailSize) : QImage();
  out.boolean(!thumbnail.isNull());
  if (!thumbnail.isNull()) {
    const size_t p = out.pos();
    out.i32(0);
    const std::vector<uint8_t> jpeg = encodeThumbnailJpeg(thumbnail);
    out.bytes(jpeg.data(), jpeg.size());
    out.patchI32(p, int32_t(out.pos() - p));
  }

  for (size_t k = 0; k < written.size(); ++k) {
    report(o.progress, mulDiv(int(k) + 1, 100, int(written.size()) + 1));
    const Layer& layer = stack.at(written[k]);
    writeLayerRecord(out, layer, o.compression, false, o.deflater ? o.deflater->wait(&layer) : nullptr);
  }
}

bool readBlockHead(ByteReader& in, BlockHead& head, bool readThumbnailPart, bool decodeThumbnail) {
  const uint8_t* start = in.take(25);
  if (std::memcmp(start, kLayerStreamMagic, kLayerStreamMagicSize) != 0) return false;
  std::memcpy(&head.version, start + 13, 4);
  std::memcpy(&head.compression, start + 17, 4);
  std::memcpy(&head.layerCount, start + 21, 4);
  if (head.version <= 0) return false;
  const int32_t v = head.version;
  if (v > 6999) {
    head.width = in.i32();
    head.height = in.i32();
    head.description = in.wide();
    head.backgroundStored = v > 8001 ? in.boolean() : true;
  }
  head.hasThumbnail = readThumbnailPart ? in.boolean() : false;
  if (head.hasThumbnail) {
    if (v > 7002) {
      const size_t p = in.pos();
      const int32_t length = in.i32();
      if (length < 4) throw ProjectError(ProjectErrorText::kCorrupt);
      in.require(int64_t(length) - 4);
      head.thumbnailSize = storedImageSize(in.data() + p + 4, size_t(length) - 4);
      if (decodeThumbnail) head.thumbnail = lumo::decodeThumbnail(in.data() + p + 4, size_t(length) - 4);
      in.seek(p + size_t(length));
    } else {
      // Early streams store a PNG without a length: its own chunks tell where it ends.
      const size_t p = in.pos();
      static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
      if (std::memcmp(in.take(8), sig, 8) != 0) throw ProjectError(ProjectErrorText::kCorrupt);
      for (;;) {
        const uint8_t* len = in.take(4);
        const uint32_t n = uint32_t(len[0]) << 24 | uint32_t(len[1]) << 16 | uint32_t(len[2]) << 8 | len[3];
        const uint8_t* type = in.take(4);
        in.require(int64_t(n) + 4);
        in.skip(size_t(n) + 4);
        if (std::memcmp(type, "IEND", 4) == 0) break;
      }
      head.thumbnailSize = storedImageSize(in.data() + p, in.pos() - p);
      if (decodeThumbnail) head.thumbnail = lumo::decodeThumbnail(in.data() + p, in.pos() - p);
    }
  }
  return true;
}

bool LayersLoadFromStream(ByteReader& in, Version& version, bool append, const ProgressFn& progress,
                          bool loadPixels) {
  BlockHead head;
  if (!readBlockHead(in, head, true, false)) return false;
  const int32_t v = head.version;
  IOParams& io = version.IO;
  io.IEN_Compression = head.compression;
  io.IEN_Version = v;
  io.IEN_LayerCount = head.layerCount;
  io.ImageCount = 1;
  if (v > 6999) {
    io.IEN_Description = head.description;
    io.Width = io.OriginalWidth = head.width;
    io.Height = io.OriginalHeight = head.height;
  }
  io.ThumbnailSize = head.thumbnailSize;
  // Every record takes at least a few bytes: a count the rest of the file cannot hold
  // is damage, found before anything is made for it.
  if (head.layerCount < 0 || int64_t(head.layerCount) * kMinRecordSize > int64_t(in.remaining()))
    throw ProjectError(ProjectErrorText::kCorrupt);

  report(progress, 0);
  LayerStack& stack = version.Layers;
  if (!append) stack.removeAllButBackground();
  if (stack.isEmpty()) stack.add(createLayer(LayerKind::ielkImage));

  std::vector<PendingPixels> pending;
  for (int32_t i = 0; i < head.layerCount; ++i) {
    report(progress, mulDiv(i + 1, 100, head.layerCount + 1));
    const LayerKind kind = v > 6399 ? peekLayerKind(in) : LayerKind::ielkImage;
    if (append || i > 0 || !head.backgroundStored) {
      stack.add(createLayer(kind));
    } else if (stack.at(0).kind() != kind) {
      // The background record is of another kind than the layer it is read into.
      stack.take(0);
      stack.insert(0, createLayer(kind));
    } else {
      stack.setCurrentIndex(0);
    }
    Layer& layer = *stack.current();
    if (v > 6399)
      readLayerRecord(in, layer, &pending);
    else
      readLegacyLayerRecord(in, static_cast<ImageLayer&>(layer), v, head.compression, &stack);
  }
  // The layers' pixels are inflated together, on all cores.
  if (loadPixels) inflatePendingPixels(pending);

  if (v < 7000) {
    const ImageLayer* bg = stack.background();
    io.Width = io.OriginalWidth = bg ? bg->bitmap.width() : 0;
    io.Height = io.OriginalHeight = bg ? bg->bitmap.height() : 0;
  }
  if (!append) stack.setCurrentIndex(0);
  return true;
}

}  // namespace lumo
