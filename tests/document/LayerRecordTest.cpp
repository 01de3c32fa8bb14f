#include <gtest/gtest.h>

#include <functional>

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

constexpr LayerKind kAllKinds[] = {LayerKind::ielkImage, LayerKind::ielkShape, LayerKind::ielkLine,
                                   LayerKind::ielkPolyline, LayerKind::ielkText, LayerKind::ielkAngle};

int32_t i32At(const std::vector<uint8_t>& b, size_t at) {
  int32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

QString errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ProjectError& e) {
    return e.text();
  }
  return QStringLiteral("(no error)");
}

// ---- Filling every field with a value of its own -------------------------------------

void fillCommon(Layer& l) {
  for (size_t i = 0; i < 16; ++i) l.fGuid[i] = uint8_t(0xC0 + i);
  l.Width = 41;
  l.Height = 23;
  l.PosX = -12;
  l.PosY = 17;
  l.fVisible = false;
  l.fVisibleBox = false;
  l.fSelectable = false;
  l.fTransparency = 128;
  l.fOpacity = 0.375;
  l.fFillOpacity = 0.625;
  l.fClientAreaBox = {1, 2, 30, 40};
  l.fCropped = true;
  l.fLocked = true;
  l.fOperation = RenderOperation::ielLuminosity2;
  l.UserData = QByteArray("\x01\x00\x02user", 7);
  l.fName = QStringLiteral("Layer \u00e9\u4e2d");
  l.fHint = QStringLiteral("a hint");
  l.fURL = QStringLiteral("https://example.org/x");
  l.fIsMask = true;
  l.fMaskInverted = true;
  l.fDrawOuter = true;
  l.fRotate = 33.25;
  l.fRotateCenterX = 0.125;
  l.fRotateCenterY = 0.875;
  l.fFlip = 3;
  l.fAlphaEdgeFeathering = 9;
  l.fSelected = true;
  l.fGroupIndex = 4;
  l.fAspectRatioLocked = true;
  l.fAntiAlias = false;
  l.fOriginalAspectRatio = 1.75;
  l.fTag = -77;
  l.fBorderColor = 0x123456;
  l.fBorderWidth = 6;
  l.fFillColor = 0x654321;
  l.fFillColor2 = 0x0A0B0C;
  l.fFillGradient = 11;
  l.SoftShadow = {true, 4.5, -2.25, 3.75, 70, {1, 2, 3}};
  l.InnerGlow = {true, 7.5, 1.5, -0.5, 30, {9, 8, 7}};
  l.fTextStyling = {3, 0x00FF00, 2, 100, 200, 0x0000FF, 5};
  l.fRulerMode = 2;
  l.fRulerUnits = 10;
  l.fScaleLocking = true;
  l.fModifiedDate = 45123.5;
}

void fillKind(Layer& layer) {
  if (auto* l = layerAs<ImageLayer>(&layer)) {
    l->Magnify = {true, 3.5, 1, 1};
    l->fResampleFilter = 7;
    l->fUseResampleFilter = true;
  } else if (auto* l = layerAs<ShapeLayer>(&layer)) {
    l->fShape = 115;
    l->fShapeModifier = -19;
  } else if (auto* l = layerAs<LineLayer>(&layer)) {
    l->fLineColor = 0x010203;
    l->fLineWidth = 5;
    l->fLineStyle = 6;
    l->fLineFillColor = 0x040506;
    l->fFont = {QStringLiteral("Serif"), 2, 0x070809, -21, fsBold | fsStrikeOut};
    l->fLabelText = QStringLiteral("label");
    l->fLabelAlignment = 2;
    l->fLabelPosition = 6;
    l->fLabelShape = 3;
    l->fReadOnly = true;
    l->fShapeSize = 33;
    l->fStartShape = 7;
    l->fEndShape = 4;
    l->fCurve = -0.5;
    l->fLabelHorzMargin = 1.25;
    l->fLabelVertMargin = 2.25;
    l->fTextOverflow = 2;
    l->fPoints = {DPoint{1.5, 2.5}, DPoint{100.25, -3.75}};
    l->fOffset = {5, 6, 7, 8};
  } else if (auto* l = layerAs<PolylineLayer>(&layer)) {
    l->Points = {{0, 0}, {500.5, 1000}, {1000, 250.25}};
    l->fPolylineClosed = true;
    l->fIsPath = true;
    l->fAutoSize = false;
    l->fLineStyle = 3;
  } else if (auto* l = layerAs<TextLayer>(&layer)) {
    l->fText = QStringLiteral("Hello\nworld");
    l->fRichText = QStringLiteral("{\\rtf1 x}");
    l->fEnableFormatting = true;
    l->fBorderShape = 40;
    l->fFont = {QStringLiteral("Mono"), 0, 0x111111, 24, fsItalic | fsUnderline};
    l->fAutoSize = true;
    l->fReadOnly = true;
    l->fAlignment = 3;
    l->fLayout = 2;
    l->fWordWrap = false;
    l->fHorzMargin = 4.5;
    l->fVertMargin = 5.5;
    l->fTextOverflow = 1;
    l->fBorderRotate = 12.5;
    l->fTextOffsetX = -3.5;
    l->fTextOffsetY = 8.5;
  } else if (auto* l = layerAs<AngleLayer>(&layer)) {
    l->fFont = {QStringLiteral("Sans"), 3, 0x222222, -9, fsBold};
    l->fLabelText = QStringLiteral("angle");
    l->fLabelDecimalPlaces = 2;
    l->fAngleMode = 3;
    l->fPoints = {IPoint{1, 2}, IPoint{-3, 4}, IPoint{50, 60}};
    l->fRealPosX = 1.5;
    l->fRealPosY = 2.5;
    l->fRealWidth = 30.5;
    l->fRealHeight = 40.5;
    l->fWasRotate = 15.0;
    l->fOffset = {9, 10, 11, 12};
    l->fSweepAngle = 123.5;
  }
}

void expectSameCommon(const Layer& a, const Layer& b) {
  EXPECT_EQ(a.fGuid, b.fGuid);
  EXPECT_EQ(a.Width, b.Width);
  EXPECT_EQ(a.Height, b.Height);
  EXPECT_EQ(a.PosX, b.PosX);
  EXPECT_EQ(a.PosY, b.PosY);
  EXPECT_EQ(a.fVisible, b.fVisible);
  EXPECT_EQ(a.fVisibleBox, b.fVisibleBox);
  EXPECT_EQ(a.fSelectable, b.fSelectable);
  EXPECT_EQ(a.fTransparency, b.fTransparency);
  EXPECT_EQ(a.fOpacity, b.fOpacity);
  EXPECT_EQ(a.fFillOpacity, b.fFillOpacity);
  EXPECT_EQ(a.fClientAreaBox, b.fClientAreaBox);
  EXPECT_EQ(a.fCropped, b.fCropped);
  EXPECT_EQ(a.fLocked, b.fLocked);
  EXPECT_EQ(a.fOperation, b.fOperation);
  EXPECT_EQ(a.UserData, b.UserData);
  EXPECT_EQ(a.fName, b.fName);
  EXPECT_EQ(a.fHint, b.fHint);
  EXPECT_EQ(a.fURL, b.fURL);
  EXPECT_EQ(a.fIsMask, b.fIsMask);
  EXPECT_EQ(a.fMaskInverted, b.fMaskInverted);
  EXPECT_EQ(a.fDrawOuter, b.fDrawOuter);
  EXPECT_EQ(a.fRotate, b.fRotate);
  EXPECT_EQ(a.fRotateCenterX, b.fRotateCenterX);
  EXPECT_EQ(a.fRotateCenterY, b.fRotateCenterY);
  EXPECT_EQ(a.fFlip, b.fFlip);
  EXPECT_EQ(a.fAlphaEdgeFeathering, b.fAlphaEdgeFeathering);
  EXPECT_EQ(a.fSelected, b.fSelected);
  EXPECT_EQ(a.fGroupIndex, b.fGroupIndex);
  EXPECT_EQ(a.fAspectRatioLocked, b.fAspectRatioLocked);
  EXPECT_EQ(a.fAntiAlias, b.fAntiAlias);
  EXPECT_EQ(a.fOriginalAspectRatio, b.fOriginalAspectRatio);
  EXPECT_EQ(a.fTag, b.fTag);
  EXPECT_EQ(a.fBorderColor, b.fBorderColor);
  EXPECT_EQ(a.fBorderWidth, b.fBorderWidth);
  EXPECT_EQ(a.fFillColor, b.fFillColor);
  EXPECT_EQ(a.fFillColor2, b.fFillColor2);
  EXPECT_EQ(a.fFillGradient, b.fFillGradient);
  EXPECT_EQ(a.SoftShadow, b.SoftShadow);
  EXPECT_EQ(a.InnerGlow, b.InnerGlow);
  EXPECT_EQ(a.fTextStyling, b.fTextStyling);
  EXPECT_EQ(a.fRulerMode, b.fRulerMode);
  EXPECT_EQ(a.fRulerUnits, b.fRulerUnits);
  EXPECT_EQ(a.fScaleLocking, b.fScaleLocking);
  EXPECT_EQ(a.fModifiedDate, b.fModifiedDate);
}

void expectSameKind(const Layer& x, const Layer& y) {
  ASSERT_EQ(x.kind(), y.kind());
  if (auto* a = layerAs<ImageLayer>(&x)) {
    auto* b = layerAs<ImageLayer>(&y);
    EXPECT_EQ(a->Magnify, b->Magnify);
    EXPECT_EQ(a->fResampleFilter, b->fResampleFilter);
    EXPECT_EQ(a->fUseResampleFilter, b->fUseResampleFilter);
  } else if (auto* a = layerAs<ShapeLayer>(&x)) {
    auto* b = layerAs<ShapeLayer>(&y);
    EXPECT_EQ(a->fShape, b->fShape);
    EXPECT_EQ(a->fShapeModifier, b->fShapeModifier);
  } else if (auto* a = layerAs<LineLayer>(&x)) {
    auto* b = layerAs<LineLayer>(&y);
    EXPECT_EQ(a->fLineColor, b->fLineColor);
    EXPECT_EQ(a->fLineWidth, b->fLineWidth);
    EXPECT_EQ(a->fLineStyle, b->fLineStyle);
    EXPECT_EQ(a->fLineFillColor, b->fLineFillColor);
    EXPECT_EQ(a->fFont, b->fFont);
    EXPECT_EQ(a->fLabelText, b->fLabelText);
    EXPECT_EQ(a->fLabelAlignment, b->fLabelAlignment);
    EXPECT_EQ(a->fLabelPosition, b->fLabelPosition);
    EXPECT_EQ(a->fLabelShape, b->fLabelShape);
    EXPECT_EQ(a->fReadOnly, b->fReadOnly);
    EXPECT_EQ(a->fShapeSize, b->fShapeSize);
    EXPECT_EQ(a->fStartShape, b->fStartShape);
    EXPECT_EQ(a->fEndShape, b->fEndShape);
    EXPECT_EQ(a->fCurve, b->fCurve);
    EXPECT_EQ(a->fLabelHorzMargin, b->fLabelHorzMargin);
    EXPECT_EQ(a->fLabelVertMargin, b->fLabelVertMargin);
    EXPECT_EQ(a->fTextOverflow, b->fTextOverflow);
    EXPECT_EQ(a->fPoints, b->fPoints);
    EXPECT_EQ(a->fOffset, b->fOffset);
  } else if (auto* a = layerAs<PolylineLayer>(&x)) {
    auto* b = layerAs<PolylineLayer>(&y);
    EXPECT_EQ(a->Points, b->Points);
    EXPECT_EQ(a->fPolylineClosed, b->fPolylineClosed);
    EXPECT_EQ(a->fIsPath, b->fIsPath);
    EXPECT_EQ(a->fAutoSize, b->fAutoSize);
    EXPECT_EQ(a->fLineStyle, b->fLineStyle);
  } else if (auto* a = layerAs<TextLayer>(&x)) {
    auto* b = layerAs<TextLayer>(&y);
    EXPECT_EQ(a->fText, b->fText);
    EXPECT_EQ(a->fRichText, b->fRichText);
    EXPECT_EQ(a->fEnableFormatting, b->fEnableFormatting);
    EXPECT_EQ(a->fBorderShape, b->fBorderShape);
    EXPECT_EQ(a->fFont, b->fFont);
    EXPECT_EQ(a->fAutoSize, b->fAutoSize);
    EXPECT_EQ(a->fReadOnly, b->fReadOnly);
    EXPECT_EQ(a->fAlignment, b->fAlignment);
    EXPECT_EQ(a->fLayout, b->fLayout);
    EXPECT_EQ(a->fWordWrap, b->fWordWrap);
    EXPECT_EQ(a->fHorzMargin, b->fHorzMargin);
    EXPECT_EQ(a->fVertMargin, b->fVertMargin);
    EXPECT_EQ(a->fTextOverflow, b->fTextOverflow);
    EXPECT_EQ(a->fBorderRotate, b->fBorderRotate);
    EXPECT_EQ(a->fTextOffsetX, b->fTextOffsetX);
    EXPECT_EQ(a->fTextOffsetY, b->fTextOffsetY);
  } else if (auto* a = layerAs<AngleLayer>(&x)) {
    auto* b = layerAs<AngleLayer>(&y);
    EXPECT_EQ(a->fFont, b->fFont);
    EXPECT_EQ(a->fLabelText, b->fLabelText);
    EXPECT_EQ(a->fLabelDecimalPlaces, b->fLabelDecimalPlaces);
    EXPECT_EQ(a->fAngleMode, b->fAngleMode);
    EXPECT_EQ(a->fPoints, b->fPoints);
    EXPECT_EQ(a->fRealPosX, b->fRealPosX);
    EXPECT_EQ(a->fRealPosY, b->fRealPosY);
    EXPECT_EQ(a->fRealWidth, b->fRealWidth);
    EXPECT_EQ(a->fRealHeight, b->fRealHeight);
    EXPECT_EQ(a->fWasRotate, b->fWasRotate);
    EXPECT_EQ(a->fOffset, b->fOffset);
    EXPECT_EQ(a->fSweepAngle, b->fSweepAngle);
  }
}

std::unique_ptr<Layer> filledLayer(LayerKind kind) {
  auto l = createLayer(kind);
  fillCommon(*l);
  fillKind(*l);
  return l;
}

Bitmap testBitmap(int w, int h, bool alpha) {
  Bitmap b(w, h, PixelFormat::ie24RGB);
  uint8_t* p = b.mutableBits();
  for (size_t i = 0; i < b.byteCount(); ++i) p[i] = uint8_t(i * 13);
  if (alpha) {
    b.addAlpha();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) b.mutableAlphaScanline(y)[x] = uint8_t(x * 40 + y);
    b.setAlphaFull(false);
  }
  return b;
}

// Reads one record the way the version loader does: peek the kind, make a layer, read.
std::unique_ptr<Layer> readNext(ByteReader& in, std::vector<PendingPixels>* pending = nullptr) {
  auto layer = createLayer(peekLayerKind(in));
  readLayerRecord(in, *layer, pending);
  return layer;
}

// ---- Round trips of what the writer stores --------------------------------------------

TEST(LayerRecord, EveryKindRoundTripsWithEveryField) {
  for (LayerKind kind : kAllKinds) {
    SCOPED_TRACE(layerKindName(kind));
    const auto original = filledLayer(kind);
    if (auto* image = layerAs<ImageLayer>(original.get())) image->bitmap = testBitmap(7, 3, true);
    const auto follower = filledLayer(LayerKind::ielkShape);
    std::vector<uint8_t> bytes;
    ByteWriter out(bytes);
    writeLayerRecord(out, *original, -1);
    const size_t second = bytes.size();
    writeLayerRecord(out, *follower, -1);

    EXPECT_EQ(i32At(bytes, 0), int32_t(second)) << "record length = bytes to the next record";
    EXPECT_EQ(i32At(bytes, 4), 12200);
    EXPECT_EQ(i32At(bytes, 8), int32_t(kind));
    ByteReader in(bytes.data(), bytes.size());
    EXPECT_EQ(peekLayerKind(in), kind);
    EXPECT_EQ(in.pos(), 0u);
    const auto back = readNext(in);
    EXPECT_EQ(in.pos(), second);
    EXPECT_EQ(back->StoredSize, int32_t(second));
    EXPECT_TRUE(back->Changed);
    expectSameCommon(*original, *back);
    expectSameKind(*original, *back);
    if (auto* image = layerAs<ImageLayer>(back.get())) {
      EXPECT_TRUE(image->bitmap.samePixels(layerAs<ImageLayer>(original.get())->bitmap));
      EXPECT_FALSE(image->bitmap.alphaFull());
    }
    const auto next = readNext(in);
    expectSameCommon(*follower, *next);
    EXPECT_TRUE(in.atEnd());
  }
}

TEST(LayerRecord, SizesRoundHalfToEvenAndPositionsTruncate) {
  struct Case {
    double width, posX;
    int32_t storedWidth, storedX;
  };
  const Case cases[] = {{2.5, 3.7, 2, 3},  {3.5, -3.7, 4, -3}, {-2.5, 0.99, -2, 0},
                        {10.49, -0.5, 10, 0}, {10.51, 1e12, 11, INT32_MAX}};
  for (const Case& c : cases) {
    ShapeLayer l;
    l.Width = c.width;
    l.Height = c.width;
    l.PosX = c.posX;
    l.PosY = c.posX;
    std::vector<uint8_t> bytes;
    ByteWriter out(bytes);
    writeLayerRecord(out, l, -1);
    EXPECT_EQ(i32At(bytes, 28), c.storedWidth) << c.width;
    EXPECT_EQ(i32At(bytes, 32), c.storedWidth) << c.width;
    EXPECT_EQ(i32At(bytes, 59), c.storedX) << c.posX;
    EXPECT_EQ(i32At(bytes, 63), c.storedX) << c.posX;
  }
}

TEST(LayerRecord, EmptyUserDataIsALengthOfZeroAlone) {
  ShapeLayer l;
  l.fName = QStringLiteral("N");
  std::vector<uint8_t> bytes;
  ByteWriter out(bytes);
  writeLayerRecord(out, l, -1);
  EXPECT_EQ(i32At(bytes, 86), 0);
  EXPECT_EQ(i32At(bytes, 90), 1) << "the name follows the length directly";
  EXPECT_EQ(bytes[94], 'N');

  ShapeLayer back;
  back.UserData = QByteArray("old");
  ByteReader in(bytes.data(), bytes.size());
  readLayerRecord(in, back);
  EXPECT_TRUE(back.UserData.isEmpty()) << "earlier user data is freed";
}

TEST(LayerRecord, NarrowOrMetadataOnlyImageStoresNoPixels) {
  struct Case {
    int width;
    bool metadataOnly;
  };
  for (const Case c : {Case{1, false}, Case{0, false}, Case{8, true}}) {
    SCOPED_TRACE(c.width);
    auto l = filledLayer(LayerKind::ielkImage);
    auto& image = static_cast<ImageLayer&>(*l);
    if (c.width > 0) image.bitmap = testBitmap(c.width, 5, false);
    std::vector<uint8_t> bytes;
    ByteWriter out(bytes);
    writeLayerRecord(out, image, 10003, c.metadataOnly);
    EXPECT_EQ(bytes[bytes.size() - 5], 0) << "has pixels";
    EXPECT_EQ(i32At(bytes, bytes.size() - 4), -1) << "pixel code";

    ImageLayer back;
    back.bitmap = testBitmap(3, 3, true);
    const Bitmap before = back.bitmap;
    ByteReader in(bytes.data(), bytes.size());
    readLayerRecord(in, back);
    expectSameCommon(image, back);
    expectSameKind(image, back);
    EXPECT_TRUE(back.bitmap.sharesPixelsWith(before)) << "no new pixels";
    EXPECT_TRUE(in.atEnd());
  }
}

TEST(LayerRecord, ImagePixelsWithAndWithoutAlphaAndQueuedInflation) {
  for (bool alpha : {false, true}) {
    SCOPED_TRACE(alpha);
    ImageLayer l;
    l.bitmap = testBitmap(9, 4, alpha);
    std::vector<uint8_t> bytes;
    ByteWriter out(bytes);
    // Any compression code still stores a deflated raw block.
    writeLayerRecord(out, l, 10008);
    // The deflated block runs to the end of the record, after its int32 size.
    std::vector<uint8_t> head;
    ByteWriter headOut(head);
    writeLayerRecord(headOut, l, -1, true);
    const size_t n = bytes.size() - head.size() - 4;
    EXPECT_EQ(i32At(bytes, head.size()), int32_t(n));
    const ByteBuffer raw = inflateRawBitmapStream(bytes.data() + head.size() + 4, n);
    const size_t alphaPart = alpha ? l.bitmap.alphaRowBytes() * 4 + 1 : 0;
    EXPECT_EQ(raw[raw.size() - 1 - alphaPart], alpha ? 1 : 0) << "has alpha, then the alpha rows and their full flag";

    ImageLayer direct;
    ByteReader in(bytes.data(), bytes.size());
    readLayerRecord(in, direct);
    EXPECT_TRUE(direct.bitmap.samePixels(l.bitmap));
    EXPECT_EQ(direct.bitmap.hasAlpha(), alpha);

    ImageLayer queued;
    std::vector<PendingPixels> pending;
    ByteReader again(bytes.data(), bytes.size());
    readLayerRecord(again, queued, &pending);
    EXPECT_TRUE(again.atEnd());
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].layer, &queued);
    EXPECT_TRUE(queued.bitmap.isNull()) << "queued, not yet inflated";
    inflatePendingPixels(pending);
    EXPECT_TRUE(queued.bitmap.samePixels(l.bitmap));
  }
}

TEST(LayerRecord, GivenDeflatedPixelsAreStoredAsTheyAre) {
  ImageLayer l;
  l.bitmap = testBitmap(4, 4, false);
  const std::vector<uint8_t> raw = encodeRawBitmap(testBitmap(6, 2, true));
  const ByteBuffer deflated = deflateZlib(raw.data(), raw.size());
  std::vector<uint8_t> bytes;
  ByteWriter out(bytes);
  writeLayerRecord(out, l, -1, false, &deflated);
  ASSERT_GE(bytes.size(), deflated.size() + 4);
  EXPECT_EQ(i32At(bytes, bytes.size() - deflated.size() - 4), int32_t(deflated.size()));
  EXPECT_TRUE(std::equal(deflated.begin(), deflated.end(), bytes.end() - ptrdiff_t(deflated.size())));
}

// ---- Records built by hand, as older versions stored them -----------------------------

// The common part of record version r with values distinct from a new layer's.
LeBytes handCommon(int32_t r, LayerKind kind, bool isMask = false) {
  LeBytes b;
  b.i32(0).i32(r).i32(int32_t(kind));
  for (int i = 0; i < 16; ++i) b.u8(uint8_t(i + 1));
  b.i32(30).i32(20).u8(0).u8(0).u8(0).i32(100).f64(0.5);
  if (r > 8002) b.f64(0.25);
  b.i32(7).i32(9).i32(1).i32(2).i32(3).i32(4).u8(1).u8(1).u8(14);
  b.i32(3).ascii("abc").wide(u"Name");
  if (r > 10099) b.wide(u"Hint");
  if (r > 9999) b.wide(u"URL");
  b.u8(isMask ? 1 : 0);
  if (r > 8002) b.u8(1);
  b.u8(1).f64(45.0).f64(0.25).f64(0.75);
  if (r > 8999) b.u8(3);
  b.i32(6).u8(1).i32(2).u8(1).u8(0).f64(1.5);
  if (r > 7000) b.i32(77);
  b.i32(0x112233).i32(4).i32(0x445566).i32(0x778899);
  b.u8(r > 9999 ? 5 : 3);
  const auto shadow = [&](uint8_t base) {
    b.u8(1).f64(3.5);
    if (r > 10100) b.f64(2.5).f64(-1.5);
    else b.i32(2).i32(-1);
    b.i32(60 + base).u8(base).u8(uint8_t(base + 1)).u8(uint8_t(base + 2));
  };
  shadow(1);
  if (r > 9009) shadow(10);
  if (r > 9999) b.i32(3).i32(0x0000AA).u8(1).i32(10).i32(20).i32(0x0000BB).u8(2);
  if (r > 10100) b.u8(1).u8(4);
  if (r > 11309) b.u8(1);
  else if (r > 10309) b.u8(0xEE);
  if (r > 11449) b.f64(45000.5);
  return b;
}

void expectHandCommon(const Layer& l, const Layer& before, int32_t r) {
  EXPECT_EQ(l.fGuid[0], 1);
  EXPECT_EQ(l.fGuid[15], 16);
  EXPECT_EQ(l.Width, 30);
  EXPECT_EQ(l.Height, 20);
  EXPECT_FALSE(l.fVisible);
  EXPECT_FALSE(l.fSelectable);
  EXPECT_EQ(l.fTransparency, 100);
  EXPECT_EQ(l.fOpacity, 0.5);
  EXPECT_EQ(l.fFillOpacity, r > 8002 ? 0.25 : before.fFillOpacity);
  EXPECT_EQ(l.PosX, 7);
  EXPECT_EQ(l.PosY, 9);
  EXPECT_EQ(l.fClientAreaBox, (IRect{1, 2, 3, 4}));
  EXPECT_EQ(l.fOperation, RenderOperation::ielOverlay);
  EXPECT_EQ(l.UserData, QByteArray("abc"));
  EXPECT_EQ(l.fName, QStringLiteral("Name"));
  EXPECT_EQ(l.fHint, r > 10099 ? QStringLiteral("Hint") : before.fHint);
  EXPECT_EQ(l.fURL, r > 9999 ? QStringLiteral("URL") : before.fURL);
  EXPECT_EQ(l.fMaskInverted, r > 8002 ? true : before.fMaskInverted);
  EXPECT_TRUE(l.fDrawOuter);
  if (l.kind() != LayerKind::ielkLine || r >= 9000) {
    EXPECT_EQ(l.fRotate, 45.0);
  }
  EXPECT_EQ(l.fRotateCenterY, 0.75);
  EXPECT_EQ(l.fFlip, r > 8999 ? 3 : before.fFlip);
  EXPECT_EQ(l.fAlphaEdgeFeathering, 6);
  EXPECT_EQ(l.fGroupIndex, 2);
  EXPECT_FALSE(l.fAntiAlias);
  EXPECT_EQ(l.fOriginalAspectRatio, 1.5);
  EXPECT_EQ(l.fTag, r > 7000 ? 77 : before.fTag);
  EXPECT_EQ(l.fFillColor2, 0x778899u);
  EXPECT_EQ(l.fFillGradient, r > 9999 ? 5 : 4);
  const double ox = r > 10100 ? 2.5 : 2, oy = r > 10100 ? -1.5 : -1;
  EXPECT_EQ(l.SoftShadow, (ShadowRecord{true, 3.5, ox, oy, 61, {1, 2, 3}}));
  if (r > 9009) EXPECT_EQ(l.InnerGlow, (ShadowRecord{true, 3.5, ox, oy, 70, {10, 11, 12}}));
  else EXPECT_EQ(l.InnerGlow, before.InnerGlow);
  if (r > 9999) EXPECT_EQ(l.fTextStyling, (TextStyling{3, 0xAA, 1, 10, 20, 0xBB, 2}));
  else EXPECT_EQ(l.fTextStyling, before.fTextStyling);
  EXPECT_EQ(l.fScaleLocking, r > 11309);
  EXPECT_EQ(l.fModifiedDate, r > 11449 ? 45000.5 : before.fModifiedDate);
  EXPECT_TRUE(l.Changed);
}

void handFont(LeBytes& b) { b.wide(u"Old").u8(4).i32(0x0C0B0A).i32(-13).u8(fsItalic); }
const FontRecord kHandFont{QStringLiteral("Old"), 4, 0x0C0B0A, -13, fsItalic};

// Appends the kind part of record version r; ruler pairs of old records say "on", units 5.
void handKind(LeBytes& b, LayerKind kind, int32_t r) {
  switch (kind) {
    case LayerKind::ielkImage:
      b.u8(1).zeros(7).f64(4.0).u8(1).u8(1).zeros(6).u8(9).u8(1);
      b.u8(1).i32(-2);
      {
        const std::vector<uint8_t> raw = encodeRawBitmap(testBitmap(5, 2, r % 2 == 0));
        b.i32(int32_t(raw.size())).raw(raw);
      }
      break;
    case LayerKind::ielkShape: b.u8(6).i32(-3); break;
    case LayerKind::ielkLine:
      b.i32(0x0000FF).i32(3);
      if (r > 12199) b.u8(4);
      b.i32(0x00FF00);
      handFont(b);
      b.wide(u"lbl").u8(1).u8(2).u8(3).u8(1).i32(15).u8(1).u8(2);
      if (r < 9000) {
        b.f64(99.0);
        if (r <= 7001) b.f64(98.0);
        if (r > 7000) b.u8(1);
      } else {
        b.f64(0.75);
      }
      if (r > 7999) b.f64(1.5).f64(2.5).u8(1);
      if (r >= 9000) b.f64(1).f64(2).f64(3).f64(4).i32(1).i32(1).i32(2).i32(2);
      if (r > 7003 && r < 10101) b.u8(1).u8(5);
      break;
    case LayerKind::ielkPolyline:
      b.i32(2);
      if (r <= 8005) b.i32(7).i32(9).i32(37).i32(19);  // the rectangle's corners
      else b.f64(10.5).f64(20.5).f64(30.5).f64(40.5);
      b.u8(1).u8(1);
      if (r > 7999) b.u8(0);
      if (r > 12199) b.u8(5);
      break;
    case LayerKind::ielkText:
      b.wide(u"txt");
      if (r >= 8006) b.wide(u"rich").u8(1);
      b.u8(5);
      handFont(b);
      b.u8(1).u8(1).u8(2).u8(1);
      if (r > 7999) b.u8(0).f64(1.25).f64(2.25).u8(2);
      if (r > 8001) b.f64(11.0);
      if (r > 9024) b.f64(-1.0).f64(-2.0);
      if (r > 7999 && r < 10101) b.u8(1).u8(5);
      break;
    case LayerKind::ielkAngle:
      handFont(b);
      b.wide(u"ang").i32(3).u8(2).i32(1).i32(2).i32(3).i32(4).i32(5).i32(6);
      b.f64(1).f64(2).f64(3).f64(4).f64(5).i32(7).i32(8).i32(9).i32(10);
      if (r > 10209) b.f64(270.0);
      break;
  }
}

LeBytes handRecord(int32_t r, LayerKind kind) {
  LeBytes b = handCommon(r, kind);
  handKind(b, kind, r);
  b.patchI32(0, int32_t(b.size()));
  return b;
}

void expectHandKind(const Layer& layer, const Layer& before, int32_t r) {
  const bool oldRuler = (layer.kind() == LayerKind::ielkLine && r > 7003 && r < 10101) ||
                        (layer.kind() == LayerKind::ielkText && r > 7999 && r < 10101);
  EXPECT_EQ(layer.fRulerMode, r > 10100 ? 1 : oldRuler ? 2 : before.fRulerMode);
  EXPECT_EQ(layer.fRulerUnits, r > 10100 ? 4 : oldRuler ? 5 : before.fRulerUnits);
  if (auto* l = layerAs<ImageLayer>(&layer)) {
    EXPECT_EQ(l->Magnify, (MagnifyRecord{true, 4.0, 1, 1}));
    EXPECT_EQ(l->fResampleFilter, 9);
    EXPECT_TRUE(l->bitmap.samePixels(testBitmap(5, 2, r % 2 == 0)));
  } else if (auto* l = layerAs<ShapeLayer>(&layer)) {
    EXPECT_EQ(l->fShape, 6);
    EXPECT_EQ(l->fShapeModifier, -3);
  } else if (auto* l = layerAs<LineLayer>(&layer)) {
    auto* b = layerAs<LineLayer>(&before);
    EXPECT_EQ(l->fLineWidth, 3);
    EXPECT_EQ(l->fLineStyle, r > 12199 ? 4 : b->fLineStyle);
    EXPECT_EQ(l->fLineFillColor, 0x00FF00u);
    EXPECT_EQ(l->fFont, kHandFont);
    EXPECT_EQ(l->fLabelText, QStringLiteral("lbl"));
    EXPECT_EQ(l->fShapeSize, 15);
    EXPECT_EQ(l->fEndShape, 2);
    EXPECT_EQ(l->fCurve, r >= 9000 ? 0.75 : b->fCurve);
    EXPECT_EQ(l->fLabelVertMargin, r > 7999 ? 2.5 : b->fLabelVertMargin);
    EXPECT_EQ(l->fTextOverflow, r > 7999 ? 1 : b->fTextOverflow);
    if (r >= 9000) {
      EXPECT_EQ(l->fPoints, (std::array<DPoint, 2>{DPoint{1, 2}, DPoint{3, 4}}));
      EXPECT_EQ(l->fOffset, (IRect{1, 1, 2, 2}));
    } else {
      // A line through the centre (22, 19) of the 30 x 20 rectangle at 45 degrees,
      // up and to the right, ending where it leaves the rectangle.
      EXPECT_NEAR(l->fPoints[0].x, 12, 1e-9);
      EXPECT_NEAR(l->fPoints[0].y, 29, 1e-9);
      EXPECT_NEAR(l->fPoints[1].x, 32, 1e-9);
      EXPECT_NEAR(l->fPoints[1].y, 9, 1e-9);
      EXPECT_EQ(l->fRotate, 0) << "the angle now lies in the points";
    }
  } else if (auto* l = layerAs<PolylineLayer>(&layer)) {
    auto* b = layerAs<PolylineLayer>(&before);
    if (r <= 8005)
      EXPECT_EQ(l->Points, (std::vector<DPoint>{{0, 0}, {1000, 500}}));
    else
      EXPECT_EQ(l->Points, (std::vector<DPoint>{{10.5, 20.5}, {30.5, 40.5}}));
    EXPECT_TRUE(l->fPolylineClosed);
    EXPECT_TRUE(l->fIsPath);
    EXPECT_EQ(l->fAutoSize, r > 7999 ? false : b->fAutoSize);
    EXPECT_EQ(l->fLineStyle, r > 12199 ? 5 : b->fLineStyle);
  } else if (auto* l = layerAs<TextLayer>(&layer)) {
    auto* b = layerAs<TextLayer>(&before);
    EXPECT_EQ(l->fText, QStringLiteral("txt"));
    EXPECT_EQ(l->fRichText, r >= 8006 ? QStringLiteral("rich") : b->fRichText);
    EXPECT_EQ(l->fEnableFormatting, r >= 8006);
    EXPECT_EQ(l->fBorderShape, 5);
    EXPECT_EQ(l->fFont, kHandFont);
    EXPECT_EQ(l->fLayout, 1);
    EXPECT_EQ(l->fWordWrap, r > 7999 ? false : b->fWordWrap);
    EXPECT_EQ(l->fVertMargin, r > 7999 ? 2.25 : b->fVertMargin);
    EXPECT_EQ(l->fTextOverflow, r > 7999 ? 2 : b->fTextOverflow);
    EXPECT_EQ(l->fBorderRotate, r > 8001 ? 11.0 : b->fBorderRotate);
    EXPECT_EQ(l->fTextOffsetY, r > 9024 ? -2.0 : b->fTextOffsetY);
  } else if (auto* l = layerAs<AngleLayer>(&layer)) {
    EXPECT_EQ(l->fFont, kHandFont);
    EXPECT_EQ(l->fLabelDecimalPlaces, 3);
    EXPECT_EQ(l->fPoints[2], (IPoint{5, 6}));
    EXPECT_EQ(l->fWasRotate, 5.0);
    EXPECT_EQ(l->fOffset, (IRect{7, 8, 9, 10}));
    EXPECT_EQ(l->fSweepAngle, r > 10209 ? 270.0 : -999.0);
  }
}

TEST(LayerRecord, OlderRecordVersionsOfEveryKind) {
  const int32_t versions[] = {6400, 7000, 7001, 7002, 7004, 8000, 8002, 8003, 8005, 8006, 9000,
                              9010, 9025, 10000, 10100, 10101, 10210, 10310, 11309, 11310, 11450, 12199, 12200};
  for (int32_t r : versions) {
    for (LayerKind kind : kAllKinds) {
      if (kind == LayerKind::ielkAngle && r < 8005) continue;
      SCOPED_TRACE(testing::Message() << "version " << r << " " << layerKindName(kind));
      LeBytes b = handRecord(r, kind);
      const size_t end = b.size();
      b.raw(handRecord(12200, LayerKind::ielkShape).bytes());
      auto layer = createLayer(kind);
      const auto before = layer->clone();
      ByteReader in(b.bytes().data(), b.size());
      ASSERT_EQ(peekLayerKind(in), kind);
      readLayerRecord(in, *layer);
      EXPECT_EQ(in.pos(), end);
      expectHandCommon(*layer, *before, r);
      expectHandKind(*layer, *before, r);
      EXPECT_EQ(readNext(in)->kind(), LayerKind::ielkShape);
    }
  }
}

TEST(LayerRecord, OldGradientEightMeansNone) {
  LeBytes b = handCommon(9000, LayerKind::ielkShape);
  // At this version the common part ends with the gradient byte and a 24-byte soft
  // shadow (integer offsets, no inner glow).
  std::vector<uint8_t> bytes = b.bytes();
  bytes[bytes.size() - 25] = 8;
  LeBytes rec;
  rec.raw(bytes).u8(1).i32(2).patchI32(0, int32_t(bytes.size() + 5));
  ShapeLayer l;
  l.fFillGradient = 9;
  ByteReader in(rec.bytes().data(), rec.size());
  readLayerRecord(in, l);
  EXPECT_EQ(l.fFillGradient, 0);
}

TEST(LayerRecord, VersionErrors) {
  struct Case {
    int32_t version;
    QString text;
  };
  const Case cases[] = {{12201, ProjectErrorText::kUnsupportedVersion}, {50000, ProjectErrorText::kUnsupportedVersion},
                        {50001, ProjectErrorText::kCorrupt},            {6399, ProjectErrorText::kCorrupt},
                        {0, ProjectErrorText::kCorrupt},                {-12200, ProjectErrorText::kCorrupt}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    LeBytes b = handRecord(12200, LayerKind::ielkShape);
    b.patchI32(4, c.version);
    ByteReader peek(b.bytes().data(), b.size());
    EXPECT_EQ(errorOf([&] { peekLayerKind(peek); }), c.text);
    ShapeLayer l;
    ByteReader in(b.bytes().data(), b.size());
    EXPECT_EQ(errorOf([&] { readLayerRecord(in, l); }), c.text);
  }
  LeBytes angle = handCommon(8004, LayerKind::ielkAngle);
  handKind(angle, LayerKind::ielkAngle, 8005);
  angle.patchI32(0, int32_t(angle.size()));
  AngleLayer a;
  ByteReader in(angle.bytes().data(), angle.size());
  EXPECT_EQ(errorOf([&] { readLayerRecord(in, a); }), ProjectErrorText::kUnexpectedVersion);
}

// ---- Damaged records ------------------------------------------------------------------

TEST(LayerRecord, CutOrUnderstatedRecordsAreCorrupt) {
  for (LayerKind kind : kAllKinds) {
    SCOPED_TRACE(layerKindName(kind));
    const LeBytes full = handRecord(12200, kind);
    const std::vector<uint8_t>& bytes = full.bytes();
    for (size_t n = 0; n < bytes.size(); ++n) {
      auto l = createLayer(kind);
      ByteReader in(bytes.data(), n);
      ASSERT_EQ(errorOf([&] { readLayerRecord(in, *l); }), ProjectErrorText::kCorrupt) << "cut at " << n;
    }
    // The whole record is there, but its length says less: no field may run past it.
    for (int32_t length = 0; length < int32_t(bytes.size()); ++length) {
      LeBytes b = full;
      b.patchI32(0, length);
      auto l = createLayer(kind);
      ByteReader in(b.bytes().data(), b.size());
      ASSERT_EQ(errorOf([&] { readLayerRecord(in, *l); }), ProjectErrorText::kCorrupt) << "length " << length;
    }
  }
}

TEST(LayerRecord, AbsurdCountsAreRejectedWithoutAllocating) {
  const int32_t huge = 0x7FFFFFF0;
  const auto expectCorrupt = [](const LeBytes& b, LayerKind kind) {
    auto l = createLayer(kind);
    ByteReader in(b.bytes().data(), b.size());
    EXPECT_EQ(errorOf([&] { readLayerRecord(in, *l); }), ProjectErrorText::kCorrupt);
  };
  {
    LeBytes b = handRecord(12200, LayerKind::ielkShape);
    b.patchI32(86, huge);  // user data length
    expectCorrupt(b, LayerKind::ielkShape);
    b = handRecord(12200, LayerKind::ielkShape);
    b.patchI32(93, huge);  // name count, after 3 bytes of user data
    expectCorrupt(b, LayerKind::ielkShape);
    b.patchI32(93, -2);
    expectCorrupt(b, LayerKind::ielkShape);
  }
  {
    LeBytes b = handCommon(12200, LayerKind::ielkPolyline);
    const size_t countAt = b.size();
    handKind(b, LayerKind::ielkPolyline, 12200);
    b.patchI32(0, int32_t(b.size())).patchI32(countAt, huge);
    expectCorrupt(b, LayerKind::ielkPolyline);
    b.patchI32(countAt, -1);
    expectCorrupt(b, LayerKind::ielkPolyline);
  }
  for (int32_t code : {-1, -2}) {
    LeBytes b = handCommon(12200, LayerKind::ielkImage);
    b.zeros(26).u8(1).i32(code).i32(huge).zeros(64);
    b.patchI32(0, int32_t(b.size()));
    expectCorrupt(b, LayerKind::ielkImage);
  }
  {
    // A deflated block whose header claims a gigapixel.
    LeBytes raw;
    raw.ascii("TIEBITMAPRAW").i32(0).i32(0).i32(40000).i32(40000).u8(5).u8(1).i32(0).f64(0).f64(1);
    raw.zeros(16).u8(0).i32(0).i32(32);
    const ByteBuffer z = deflateZlib(raw.bytes().data(), raw.size());
    LeBytes b = handCommon(12200, LayerKind::ielkImage);
    b.zeros(26).u8(1).i32(-1).i32(int32_t(z.size())).raw(z);
    b.patchI32(0, int32_t(b.size()));
    expectCorrupt(b, LayerKind::ielkImage);
  }
}

TEST(LayerRecord, KindMustMatchTheLayerAndBeKnown) {
  LeBytes b = handRecord(12200, LayerKind::ielkShape);
  TextLayer text;
  ByteReader in(b.bytes().data(), b.size());
  EXPECT_EQ(errorOf([&] { readLayerRecord(in, text); }), ProjectErrorText::kCorrupt);
  b.patchI32(8, 6);
  ByteReader peek(b.bytes().data(), b.size());
  EXPECT_EQ(errorOf([&] { peekLayerKind(peek); }), ProjectErrorText::kCorrupt);
}

TEST(LayerRecord, LongerKindPartsAreSkippedToTheNextRecord) {
  for (LayerKind kind : {LayerKind::ielkImage, LayerKind::ielkShape}) {
    SCOPED_TRACE(layerKindName(kind));
    LeBytes b = handCommon(12200, kind);
    handKind(b, kind, 12200);
    b.ascii("fields of a later writer");
    b.patchI32(0, int32_t(b.size()));
    const size_t end = b.size();
    b.raw(handRecord(12200, LayerKind::ielkText).bytes());
    ByteReader in(b.bytes().data(), b.size());
    const auto first = readNext(in);
    EXPECT_EQ(in.pos(), end);
    const auto next = readNext(in);
    EXPECT_EQ(layerAs<TextLayer>(next.get())->fText, QStringLiteral("txt"));
    EXPECT_TRUE(in.atEnd());
  }
}

// ---- Pixels other writers stored as encoded images ------------------------------------

std::vector<uint8_t> encoded(const QImage& image, const char* format) {
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, format));
  return {data.begin(), data.end()};
}

LeBytes encodedRecord(int32_t code, const std::vector<uint8_t>& image, bool isMask) {
  LeBytes b = handCommon(12200, LayerKind::ielkImage, isMask);
  b.zeros(26).u8(1).i32(code).raw(image);
  b.patchI32(0, int32_t(b.size()));
  return b;
}

TEST(LayerRecord, EncodedImagesAreDecoded) {
  QImage red(8, 6, QImage::Format_RGB32);
  red.fill(QColor(250, 10, 10));
  QImage translucent(5, 4, QImage::Format_ARGB32);
  translucent.fill(QColor(0, 0, 255, 128));

  struct Case {
    const char* what;
    int32_t code;
    std::vector<uint8_t> bytes;
    bool isMask;
    PixelFormat format;
    int width;
    bool alpha;
  };
  const Case cases[] = {
      {"jpeg", 3, encoded(red, "JPEG"), false, PixelFormat::ie24RGB, 8, false},
      {"png with alpha", 8, encoded(translucent, "PNG"), false, PixelFormat::ie24RGB, 5, true},
      {"png under a wrong code", 3, encoded(red, "PNG"), false, PixelFormat::ie24RGB, 8, false},
      {"mask as grey", 3, encoded(red, "JPEG"), true, PixelFormat::ie8g, 8, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LeBytes b = encodedRecord(c.code, c.bytes, c.isMask);
    const size_t end = b.size();
    b.raw(handRecord(12200, LayerKind::ielkShape).bytes());
    ImageLayer l;
    ByteReader in(b.bytes().data(), b.size());
    readLayerRecord(in, l);
    EXPECT_EQ(in.pos(), end);
    ASSERT_EQ(l.bitmap.format(), c.format);
    EXPECT_EQ(l.bitmap.width(), c.width);
    EXPECT_EQ(l.bitmap.hasAlpha(), c.alpha);
    const uint8_t* px = l.bitmap.scanline(1);
    if (c.format == PixelFormat::ie8g) {
      EXPECT_NEAR(px[3], 80, 8);  // luminance of the red
    } else if (c.alpha) {
      EXPECT_EQ(px[0], 255);
      EXPECT_EQ(px[2], 0);
      EXPECT_EQ(l.bitmap.alphaScanline(1)[2], 128);
    } else {
      EXPECT_NEAR(px[2], 250, 6);  // red, in blue-green-red order
      EXPECT_NEAR(px[0], 10, 6);
    }
    EXPECT_EQ(readNext(in)->kind(), LayerKind::ielkShape);
  }
}

TEST(LayerRecord, UndecodableEncodedImageIsCorrupt) {
  const LeBytes b = encodedRecord(3, std::vector<uint8_t>(40, 0x5A), false);
  ImageLayer l;
  ByteReader in(b.bytes().data(), b.size());
  EXPECT_EQ(errorOf([&] { readLayerRecord(in, l); }), ProjectErrorText::kCorrupt);
}

}  // namespace
}  // namespace lumo
