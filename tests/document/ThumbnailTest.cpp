#include <gtest/gtest.h>

#include "document/Thumbnail.h"
#include "document/VersionBlock.h"

namespace lumo {
namespace {

TEST(Thumbnail, SizeRules) {
  struct Case {
    int w, h;
    std::optional<QSize> expected;
  };
  const Case cases[] = {
      {400, 1000, QSize(250, 625)},  {1000, 400, QSize(625, 250)}, {1000, 200, QSize(1000, 200)},
      {200, 100, QSize(200, 100)},   {4, 1000, std::nullopt},      {1000, 4, std::nullopt},
      {5, 5, QSize(5, 5)},           {250, 250, QSize(250, 250)},  {251, 251, QSize(250, 250)},
      {6000, 4000, QSize(375, 250)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
    EXPECT_EQ(thumbnailSizeFor(c.w, c.h), c.expected);
  }
  EXPECT_EQ(thumbnailSizeFor(100, 100, 0), std::nullopt);
}

Version photo(int w, int h) {
  Version v;
  auto bg = std::make_unique<ImageLayer>();
  bg->bitmap = Bitmap(w, h, PixelFormat::ie24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = bg->bitmap.mutableScanline(y) + 3 * x;
      p[0] = 0, p[1] = 0, p[2] = 255;  // red
    }
  bg->Width = w;
  bg->Height = h;
  v.Layers.add(std::move(bg));
  return v;
}

TEST(Thumbnail, BlockCarriesDecodableJpegOfTheMergedImage) {
  std::vector<uint8_t> block;
  LayersSaveToStream(block, photo(1000, 400), BlockWriteOptions{});
  ByteReader in(block.data(), block.size());
  BlockHead head;
  ASSERT_TRUE(readBlockHead(in, head, true, true));
  ASSERT_TRUE(head.hasThumbnail);
  EXPECT_EQ(head.thumbnailSize, QSize(625, 250));
  ASSERT_EQ(head.thumbnail.size(), QSize(625, 250));
  const QColor c = head.thumbnail.pixelColor(300, 100);
  EXPECT_GT(c.red(), 240);
  EXPECT_LT(c.green(), 20);
  // The stored JPEG is a complete JFIF file.
  const size_t lengthAt = 25 + 8 + 4 + 2;  // head, width, height, empty description, two flags
  EXPECT_EQ(block[lengthAt + 4], 0xFF);
  EXPECT_EQ(block[lengthAt + 5], 0xD8);
}

TEST(Thumbnail, NoneBelowFivePixels) {
  std::vector<uint8_t> block;
  LayersSaveToStream(block, photo(4, 100), BlockWriteOptions{});
  ByteReader in(block.data(), block.size());
  BlockHead head;
  ASSERT_TRUE(readBlockHead(in, head, true, false));
  EXPECT_FALSE(head.hasThumbnail);
  // The first layer record follows the has-thumbnail byte directly.
  EXPECT_EQ(in.pos(), size_t(25 + 8 + 4 + 2));
}

TEST(Thumbnail, SingleLayerWithoutBackgroundIsSquare) {
  Version v = photo(40, 20);
  auto top = std::make_unique<ImageLayer>();
  top->bitmap = Bitmap(30, 10, PixelFormat::ie24RGB);
  top->Width = 30;
  top->Height = 10;
  top->fSelected = true;
  v.Layers.add(std::move(top));
  BlockWriteOptions o;
  o.leaveOutLayer0 = true;
  std::vector<uint8_t> block;
  LayersSaveToStream(block, v, o);
  ByteReader in(block.data(), block.size());
  BlockHead head;
  ASSERT_TRUE(readBlockHead(in, head, true, true));
  EXPECT_FALSE(head.backgroundStored);
  EXPECT_EQ(head.layerCount, 1);
  EXPECT_EQ(head.thumbnail.size(), QSize(250, 250));
}

}  // namespace
}  // namespace lumo
