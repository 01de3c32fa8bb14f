#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include "document/LayerRecord.h"
#include "document/PixelDeflate.h"
#include "document/ProjectError.h"
#include "document/RawBitmapBlock.h"
#include "support/LeBytes.h"

namespace lumo {
namespace {

using test::LeBytes;

Bitmap smallBitmap() {
  Bitmap b(4, 3, PixelFormat::ie8g, 8);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) b.mutableScanline(y)[x] = uint8_t(y * 4 + x);
  return b;
}

// A legacy layer of stream version v, every field present at that version set to a
// value a new layer does not have. Returns the offset of the two pixel-position values.
size_t legacyFields(LeBytes& b, int32_t v) {
  b.u8(0).u8(0).i32(90);
  if (v > 6) b.f64(0.5);
  b.i32(11).i32(-12).u8(1).u8(1).u8(1).f64(3.0).u8(1);
  if (v > 2) b.u8(1);
  b.u8(4).i32(50).i32(60);
  if (v > 2) {
    b.u8(3).u8(1).i32(5).ascii("Ca\x80" "fe").i32(2).u8(7).u8(8).u8(1);
  }
  if (v > 3) b.u8(0);
  if (v > 5) b.u8(1);
  if (v > 7) b.i32(13);
  if (v > 8) b.f64(0.25).f64(0.75).f64(30.0).i32(3).u8(1);
  return b.size();
}

void expectLegacyFields(const ImageLayer& l, const ImageLayer& before, int32_t v) {
  EXPECT_FALSE(l.fVisible);
  EXPECT_FALSE(l.fVisibleBox);
  EXPECT_EQ(l.fTransparency, 90);
  EXPECT_EQ(l.fOpacity, v > 6 ? 0.5 : before.fOpacity);
  EXPECT_EQ(l.PosX, 11);
  EXPECT_EQ(l.PosY, -12);
  EXPECT_TRUE(l.fCropped);
  EXPECT_TRUE(l.fLocked);
  EXPECT_EQ(l.Magnify, (MagnifyRecord{true, 3.0, 1, uint8_t(v > 2 ? 1 : 0)}));
  EXPECT_EQ(l.fOperation, RenderOperation::ielMul);
  EXPECT_EQ(l.Width, 50);
  EXPECT_EQ(l.Height, 60);
  EXPECT_EQ(l.fResampleFilter, v > 2 ? 3 : before.fResampleFilter);
  EXPECT_EQ(l.fName, v > 2 ? QStringLiteral("Ca\u20acfe") : before.fName);
  EXPECT_EQ(l.UserData, v > 2 ? QByteArray("\x07\x08") : QByteArray());
  EXPECT_EQ(l.fIsMask, v > 2);
  EXPECT_EQ(l.fSelectable, v > 3 ? false : before.fSelectable);
  EXPECT_EQ(l.fDrawOuter, v > 5);
  EXPECT_EQ(l.fAlphaEdgeFeathering, v > 7 ? 13 : before.fAlphaEdgeFeathering);
  EXPECT_EQ(l.fRotateCenterX, v > 8 ? 0.25 : before.fRotateCenterX);
  EXPECT_EQ(l.fRotate, v > 8 ? 30.0 : before.fRotate);
  EXPECT_EQ(l.fGroupIndex, v > 8 ? 3 : before.fGroupIndex);
  EXPECT_EQ(l.fSelected, v > 8);
  EXPECT_EQ(l.fClientAreaBox, IRect{});
}

// A legacy stream: some head bytes, the layer's fields, A and B, a marker where the
// record goes on, then the pixels at A + B.
LeBytes legacyStream(int32_t v, int32_t code, const std::vector<uint8_t>& pixels, size_t& fieldsStart,
                     size_t& resume) {
  LeBytes b;
  b.ascii("stream head ");
  fieldsStart = b.size();
  legacyFields(b, v);
  const size_t abAt = b.size();
  b.i32(0).i32(0);
  resume = b.size();
  b.ascii("NEXT");
  const size_t pixelsAt = b.size();
  if (code == -1 || code == -2) b.i32(int32_t(pixels.size()));
  b.raw(pixels);
  // A and B split the position between them.
  b.patchI32(abAt, int32_t(pixelsAt) - 5).patchI32(abAt + 4, 5);
  return b;
}

TEST(LegacyRecord, ReadsTheFieldsOfEveryVersionAndPixelsAtAPlusB) {
  const std::vector<uint8_t> raw = encodeRawBitmap(smallBitmap());
  const ByteBuffer z = deflateZlib(raw.data(), raw.size());
  const std::vector<uint8_t> deflated(z.begin(), z.end());
  const LayerStack owner;
  for (int32_t v : {1, 2, 3, 4, 6, 7, 8, 9, 6399}) {
    for (int32_t code : {-1, -2}) {
      SCOPED_TRACE(testing::Message() << "version " << v << " code " << code);
      size_t start = 0, resume = 0;
      const LeBytes b = legacyStream(v, code, code == -1 ? deflated : raw, start, resume);
      ImageLayer l;
      l.UserData = QByteArray("old");
      const ImageLayer before;
      ByteReader in(b.bytes().data(), b.size());
      in.seek(start);
      readLegacyLayerRecord(in, l, v, code, &owner);
      EXPECT_EQ(in.pos(), resume) << "goes on after A and B";
      expectLegacyFields(l, before, v);
      EXPECT_TRUE(l.bitmap.samePixels(smallBitmap()));
      EXPECT_TRUE(l.Changed);
    }
  }
}

TEST(LegacyRecord, EncodedPixelsAreDecoded) {
  QImage image(6, 5, QImage::Format_RGB32);
  image.fill(QColor(0, 200, 0));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(image.save(&buffer, "PNG"));
  size_t start = 0, resume = 0;
  const LeBytes b = legacyStream(2, 8, {png.begin(), png.end()}, start, resume);
  const LayerStack owner;
  ImageLayer l;
  ByteReader in(b.bytes().data(), b.size());
  in.seek(start);
  readLegacyLayerRecord(in, l, 2, 8, &owner);
  EXPECT_EQ(in.pos(), resume);
  ASSERT_EQ(l.bitmap.format(), PixelFormat::ie24RGB);
  EXPECT_EQ(l.bitmap.width(), 6);
  EXPECT_EQ(l.bitmap.scanline(4)[1], 200);
}

TEST(LegacyRecord, Failures) {
  const std::vector<uint8_t> raw = encodeRawBitmap(smallBitmap());
  const LayerStack owner;
  const auto errorOf = [&](const LeBytes& b, size_t start, const LayerStack* o) -> QString {
    ImageLayer l;
    ByteReader in(b.bytes().data(), b.size());
    in.seek(start);
    try {
      readLegacyLayerRecord(in, l, 9, -2, o);
    } catch (const ProjectError& e) {
      return e.text();
    }
    return QStringLiteral("(no error)");
  };
  size_t start = 0, resume = 0;
  const LeBytes good = legacyStream(9, -2, raw, start, resume);
  EXPECT_EQ(errorOf(good, start, &owner), QStringLiteral("(no error)"));
  EXPECT_EQ(errorOf(good, start, nullptr), ProjectErrorText::kOwnerNotAssigned);

  const size_t abAt = resume - 8;
  struct Patch {
    const char* what;
    size_t at;
    int32_t value;
  };
  const size_t nameAt = start + 46;  // the fields of version 9 before the name
  const Patch patches[] = {
      {"pixels before the stream", abAt + 4, -1000},
      {"pixels past the stream", abAt, 0x7FFFFFF0},
      {"A + B overflowing int32", abAt + 4, 0x7FFFFFF0},
      {"pixel size past the stream", resume + 4, 0x7FFFFFF0},
      {"name longer than the stream", nameAt, 0x7FFFFFF0},
      {"negative name length", nameAt, -1},
      {"user data longer than the stream", nameAt + 4 + 5, 0x7FFFFFF0},
  };
  for (const Patch& p : patches) {
    SCOPED_TRACE(p.what);
    LeBytes b = good;
    b.patchI32(p.at, p.value);
    EXPECT_EQ(errorOf(b, start, &owner), ProjectErrorText::kCorrupt);
  }
  for (size_t n = start; n < resume; ++n) {
    LeBytes cut;
    cut.raw(std::vector<uint8_t>(good.bytes().begin(), good.bytes().begin() + ptrdiff_t(n)));
    ASSERT_EQ(errorOf(cut, start, &owner), ProjectErrorText::kCorrupt) << "cut at " << n;
  }
}

}  // namespace
}  // namespace lumo
