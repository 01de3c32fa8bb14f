#include <gtest/gtest.h>

#include "document/VersionBlock.h"

namespace lumo {
namespace {

// Background image, a selected text layer, an unselected image layer.
Version threeLayers() {
  Version v;
  for (int i = 0; i < 2; ++i) {
    auto image = std::make_unique<ImageLayer>();
    image->bitmap = Bitmap(6, 4, PixelFormat::ie24RGB);
    image->bitmap.fill(uint8_t(40 * (i + 1)));
    image->Width = 6;
    image->Height = 4;
    image->fName = i ? QStringLiteral("photo") : QStringLiteral("background");
    v.Layers.add(std::move(image));
    if (i == 0) {
      auto text = std::make_unique<TextLayer>();
      text->fText = QStringLiteral("caption");
      text->fSelected = true;
      v.Layers.add(std::move(text));
    }
  }
  return v;
}

std::vector<QString> namesAndTexts(const LayerStack& s) {
  std::vector<QString> out;
  for (int i = 0; i < s.count(); ++i)
    out.push_back(s.at(i).isImage() ? s.at(i).fName : layerAs<TextLayer>(&s.at(i))->fText);
  return out;
}

TEST(VersionBlock, WhichLayersAreWritten) {
  struct Case {
    bool selectedOnly, leaveOutImages, leaveOutLayer0;
    std::vector<QString> expected;  // the layers a new version reads back
  };
  // The first record read becomes layer 0 unless the block says the background was left
  // out; then the records go on top of the new version's own empty background.
  const Case cases[] = {
      {false, false, false, {"background", "caption", "photo"}},
      {true, false, false, {"caption"}},
      {false, true, false, {"caption"}},
      {false, false, true, {"", "caption", "photo"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.selectedOnly << c.leaveOutImages << c.leaveOutLayer0);
    BlockWriteOptions o;
    o.selectedOnly = c.selectedOnly;
    o.leaveOutImageLayers = c.leaveOutImages;
    o.leaveOutLayer0 = c.leaveOutLayer0;
    std::vector<uint8_t> block;
    LayersSaveToStream(block, threeLayers(), o);
    ByteReader in(block.data(), block.size());
    Version back;
    ASSERT_TRUE(LayersLoadFromStream(in, back, false, {}));
    EXPECT_EQ(in.pos(), block.size());
    EXPECT_EQ(namesAndTexts(back.Layers), c.expected);
  }
}

TEST(VersionBlock, ProgressBeforeEveryLayer) {
  std::vector<int> written, read;
  BlockWriteOptions o;
  o.progress = [&](int p) { written.push_back(p); };
  std::vector<uint8_t> block;
  LayersSaveToStream(block, threeLayers(), o);
  EXPECT_EQ(written, (std::vector<int>{0, 25, 50, 75}));  // MulDiv(i + 1, 100, count + 1)
  ByteReader in(block.data(), block.size());
  Version back;
  ASSERT_TRUE(LayersLoadFromStream(in, back, false, [&](int p) { read.push_back(p); }));
  EXPECT_EQ(read, (std::vector<int>{0, 25, 50, 75}));
}

TEST(VersionBlock, AppendAddsTheLayersOnTop) {
  std::vector<uint8_t> block;
  LayersSaveToStream(block, threeLayers(), BlockWriteOptions{});
  Version target = threeLayers();
  ByteReader in(block.data(), block.size());
  ASSERT_TRUE(LayersLoadFromStream(in, target, true, {}));
  EXPECT_EQ(namesAndTexts(target.Layers),
            (std::vector<QString>{"background", "caption", "photo", "background", "caption", "photo"}));
  // Without append the block replaces every layer.
  ByteReader again(block.data(), block.size());
  ASSERT_TRUE(LayersLoadFromStream(again, target, false, {}));
  EXPECT_EQ(namesAndTexts(target.Layers), (std::vector<QString>{"background", "caption", "photo"}));
  EXPECT_EQ(target.Layers.currentIndex(), 0);
}

TEST(VersionBlock, HeadFillsTheParameters) {
  Version v = threeLayers();
  v.IO.IEN_Description = QStringLiteral("VersionName=x;");
  std::vector<uint8_t> block;
  BlockWriteOptions o;
  o.compression = 10008;
  LayersSaveToStream(block, v, o);
  ByteReader in(block.data(), block.size());
  Version back;
  ASSERT_TRUE(LayersLoadFromStream(in, back, false, {}));
  EXPECT_EQ(back.IO.IEN_Compression, 10008);
  EXPECT_EQ(back.IO.IEN_Version, 12200);
  EXPECT_EQ(back.IO.IEN_LayerCount, 3);
  EXPECT_EQ(back.IO.IEN_Description, QStringLiteral("VersionName=x;"));
  EXPECT_EQ(back.IO.Width, 6);
  EXPECT_EQ(back.IO.OriginalHeight, 4);
  // Pixels are stored deflated whatever the code asked for.
  EXPECT_TRUE(layerAs<ImageLayer>(&back.Layers.at(2))->bitmap.samePixels(
      layerAs<ImageLayer>(&v.Layers.at(2))->bitmap));
}

TEST(VersionBlock, NotALayerStream) {
  const std::string junk = "IMAGEENLAYERZ and then some more bytes";
  ByteReader in(reinterpret_cast<const uint8_t*>(junk.data()), junk.size());
  Version v;
  EXPECT_FALSE(LayersLoadFromStream(in, v, false, {}));
}

}  // namespace
}  // namespace lumo
