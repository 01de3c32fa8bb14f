#include "SeedProjects.h"

#include "document/VersionBlock.h"

namespace lumo {

namespace {

Bitmap gradient(int w, int h, PixelFormat format, bool alpha) {
  Bitmap b(w, h, format);
  uint8_t* p = b.mutableBits();
  for (size_t i = 0; i < b.byteCount(); ++i) p[i] = uint8_t(i * 7);
  if (format == PixelFormat::ie8p) {
    std::vector<PaletteEntry> palette(256);
    for (int i = 0; i < 256; ++i) palette[size_t(i)] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)};
    b.setPalette(std::move(palette));
  }
  if (alpha) {
    b.addAlpha(255);
    uint8_t* a = b.mutableAlphaBits();
    for (int i = 0; i < w; ++i) a[i] = uint8_t(i * 40);
    b.setAlphaFull(false);
  }
  return b;
}

Version versionWithImage(const QString& name, int w, int h, PixelFormat format, bool alpha) {
  Version v;
  v.VersionName = name;
  auto bg = std::make_unique<ImageLayer>();
  bg->bitmap = gradient(w, h, format, alpha);
  bg->Width = w;
  bg->Height = h;
  v.Layers.add(std::move(bg));
  v.IO.IEN_Description = "VersionName=" + name + ";LockAspectRatio=2;SnapToGrid=0;GridCellSize=10;";
  return v;
}

std::vector<uint8_t> blocks(const std::vector<Version>& versions) {
  std::vector<uint8_t> out;
  for (const Version& v : versions) LayersSaveToStream(out, v, BlockWriteOptions{});
  return out;
}

}  // namespace

std::vector<std::pair<std::string, std::vector<uint8_t>>> makeSeedProjects() {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> seeds;
  seeds.emplace_back("rgb-4x3.lmrd", blocks({versionWithImage("Original", 4, 3, PixelFormat::ie24RGB, false)}));
  seeds.emplace_back("alpha-thumb-8x6.lmrd", blocks({versionWithImage("A;lpha", 8, 6, PixelFormat::ie24RGB, true)}));
  seeds.emplace_back("grey-and-palette.lmrd",
                     blocks({versionWithImage("Grey", 3, 3, PixelFormat::ie8g, false),
                             versionWithImage("Palette", 3, 2, PixelFormat::ie8p, false),
                             versionWithImage("Mono", 9, 2, PixelFormat::ie1g, false)}));

  Version all = versionWithImage("Every kind", 4, 4, PixelFormat::ie24RGB, false);
  for (int k = 1; k < kLayerKindCount; ++k) {
    auto layer = createLayer(LayerKind(k));
    layer->setRect(QRectF(1, 1, 2, 2));
    layer->fName = QStringLiteral("layer %1").arg(k);
    layer->UserData = QByteArray("\x01\x02", 2);
    if (auto* poly = layerAs<PolylineLayer>(layer.get())) poly->Points = {{0, 0}, {1, 1}, {0.5, 1}};
    if (auto* text = layerAs<TextLayer>(layer.get())) text->fText = QStringLiteral("Text");
    all.Layers.add(std::move(layer));
  }
  seeds.emplace_back("every-kind.lmrd", blocks({all}));
  return seeds;
}

}  // namespace lumo
