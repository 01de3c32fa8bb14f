// Saving and loading a three-version project of 6000 x 4000 photos, against zlib on the
// same pixel bytes in the same run.
#include <zlib.h>

#include <cstdio>
#include <cstring>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "BenchReport.h"
#include "BenchPhoto.h"
#include "document/PixelDeflate.h"
#include "document/ProjectFile.h"
#include "document/RawBitmapBlock.h"

using namespace lumo;

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

ByteBuffer zlibCompress(const std::vector<uint8_t>& raw) {
  uLongf n = compressBound(uLong(raw.size()));
  ByteBuffer out(n);
  if (compress2(out.data(), &n, raw.data(), uLong(raw.size()), 6) != Z_OK) std::abort();
  out.resize(n);
  return out;
}

std::vector<uint8_t> zlibUncompress(const ByteBuffer& stream, size_t rawSize) {
  std::vector<uint8_t> out(rawSize);
  uLongf n = uLongf(rawSize);
  if (uncompress(out.data(), &n, stream.data(), uLong(stream.size())) != Z_OK || n != rawSize) std::abort();
  return out;
}

using bench::report;

}  // namespace

int main() {
  std::printf("making a project of 3 versions, each 2 layers of %d x %d...\n", kWidth, kHeight);
  std::vector<Version> versions(3);
  for (int v = 0; v < 3; ++v) {
    versions[size_t(v)].VersionName = QStringLiteral("Version %1").arg(v + 1);
    for (int l = 0; l < 2; ++l) {
      auto layer = std::make_unique<ImageLayer>();
      layer->bitmap = bench::benchPhoto(kWidth, kHeight, uint32_t(v * 2 + l));
      layer->Width = kWidth;
      layer->Height = kHeight;
      layer->fOpacity = l ? 0.5 : 1.0;
      versions[size_t(v)].Layers.add(std::move(layer));
    }
  }
  std::vector<std::vector<uint8_t>> raws;
  for (const Version& v : versions)
    for (int i = 0; i < v.Layers.count(); ++i) raws.push_back(encodeRawBitmap(layerAs<ImageLayer>(&v.Layers.at(i))->bitmap));

  // One layer: zlib level 6 against our deflate, single stream, single thread.
  ByteBuffer zOne, ourOne;
  const double zlibOne = bench::fastestSeconds(2, [&] { zOne = zlibCompress(raws[0]); });
  const double ourOneT = bench::fastestSeconds(2, [&] { ourOne = deflateZlib(raws[0].data(), raws[0].size()); });
  std::printf("one layer: zlib %.2f s (%.1f MB/s, %.3f:1), ours %.2f s, %zu vs %zu bytes\n", zlibOne,
              raws[0].size() / zlibOne / 1e6, double(raws[0].size()) / zOne.size(), ourOneT, ourOne.size(), zOne.size());

  // Every stream: zlib single-threaded (the baseline of the whole save and load).
  std::vector<ByteBuffer> zStreams(raws.size());
  double zlibAll = 0, zlibInflateAll = 0;
  size_t zBytes = 0;
  for (size_t i = 0; i < raws.size(); ++i) {
    zlibAll += bench::fastestSeconds(1, [&] { zStreams[i] = zlibCompress(raws[i]); });
    zlibInflateAll += bench::fastestSeconds(1, [&] { zlibUncompress(zStreams[i], raws[i].size()); });
    zBytes += zStreams[i].size();
  }

  // Our streams, checked with zlib itself.
  std::vector<const LayerStack*> stacks;
  for (const Version& v : versions) stacks.push_back(&v.Layers);
  const LayerDeflater deflater(stacks);
  size_t k = 0, ourBytes = 0;
  for (const Version& v : versions)
    for (int i = 0; i < v.Layers.count(); ++i, ++k) {
      const ByteBuffer& stream = *deflater.wait(&v.Layers.at(i));
      ourBytes += stream.size();
      if (zlibUncompress(stream, raws[k].size()) != raws[k]) {
        std::fprintf(stderr, "zlib does not reproduce the pixels of stream %zu\n", k);
        return 1;
      }
    }
  std::printf("zlib's uncompress reproduces all %zu streams\n", k);

  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("bench.lmrd"));
  std::vector<Version*> pointers;
  for (Version& v : versions) pointers.push_back(&v);
  const double saveT = bench::fastestSeconds(2, [&] {
    if (QString e = saveProjectFile(file, pointers); !e.isEmpty()) {
      std::fprintf(stderr, "save failed: %s\n", qPrintable(e));
      std::exit(1);
    }
  });
  const qint64 fileSize = QFileInfo(file).size();
  ProjectLoadResult loaded;
  const double loadT = bench::fastestSeconds(2, [&] { loaded = loadProjectFile(file); });
  if (!loaded.ok() || loaded.versions.size() != 3 ||
      !layerAs<ImageLayer>(&loaded.versions[2].Layers.at(1))->bitmap.samePixels(
          layerAs<ImageLayer>(&versions[2].Layers.at(1))->bitmap)) {
    std::fprintf(stderr, "the project did not read back\n");
    return 1;
  }
  std::printf("project: zlib deflate %.2f s, save %.2f s; zlib inflate %.2f s, load %.2f s; file %lld bytes, "
              "zlib streams %zu, ours %zu\n",
              zlibAll, saveT, zlibInflateAll, loadT, (long long)fileSize, zBytes, ourBytes);

  report("layer_deflate_speedup", zlibOne / ourOneT, "x", ">=", 1.8);
  report("project_save_speedup", zlibAll / saveT, "x", ">=", 3);
  report("project_load_speedup", zlibInflateAll / loadT, "x", ">=", 1.7);
  report("project_size_vs_zlib", double(ourBytes) / double(zBytes), "ratio", "<=", 1.03);
  return 0;
}
