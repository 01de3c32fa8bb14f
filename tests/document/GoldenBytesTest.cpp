// A two-version project is saved and its bytes are compared, field by field, with bytes
// assembled here by an encoder of our own. Every field of every layer kind carries a
// value that differs from its default, so a field written in the wrong place, width,
// order or rounding shows up by name.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

#include "document/ProjectFile.h"
#include "support/LeBytes.h"

namespace lumo {
namespace {

using test::LeBytes;

// ---------------------------------------------------------------------------------
// Expected layout: a tree of named spans.

struct Span {
  enum class Type {
    Bytes,     // exactly `bytes`
    Group,     // `children` one after another (a version block)
    Record,    // int32 length of the whole record, then `children`
    Deflated,  // int32 N, then N bytes of a zlib stream that inflates to `children`
  };
  Type type = Type::Bytes;
  std::string name;
  std::vector<uint8_t> bytes;
  std::vector<Span> children;
};

// Appends named fields to a span list, encoding them as the stored format does.
class Fields {
 public:
  explicit Fields(std::vector<Span>& out, std::string prefix = {}) : out_(out), prefix_(std::move(prefix)) {}

  Fields sub(const std::string& prefix) { return Fields(out_, prefix_ + prefix + "."); }

  void put(const std::string& name, const LeBytes& b) { out_.push_back({Span::Type::Bytes, prefix_ + name, b.bytes(), {}}); }
  void u8(const std::string& name, uint8_t v) { put(name, LeBytes().u8(v)); }
  void boolean(const std::string& name, bool v) { put(name, LeBytes().u8(v ? 1 : 0)); }
  void i32(const std::string& name, int32_t v) { put(name, LeBytes().i32(v)); }
  void color(const std::string& name, TColor c) { put(name, LeBytes().i32(int32_t(c))); }
  void f64(const std::string& name, double v) { put(name, LeBytes().f64(v)); }
  void ascii(const std::string& name, const std::string& s) { put(name, LeBytes().ascii(s)); }
  void wide(const std::string& name, const QString& s) { put(name, LeBytes().wide(s.toStdU16String())); }
  void raw(const std::string& name, std::vector<uint8_t> v) { put(name, LeBytes().raw(v)); }
  void zeros(const std::string& name, size_t n) { put(name, LeBytes().zeros(n)); }

  void dpoint(const std::string& name, DPoint p) { f64(name + ".x", p.x); f64(name + ".y", p.y); }
  void ipoint(const std::string& name, IPoint p) { i32(name + ".x", p.x); i32(name + ".y", p.y); }
  void irect(const std::string& name, IRect r) {
    i32(name + ".left", r.left);
    i32(name + ".top", r.top);
    i32(name + ".right", r.right);
    i32(name + ".bottom", r.bottom);
  }

  // A nested span, filled through the returned fields before anything else is added here.
  Fields nested(Span::Type type, const std::string& name) {
    out_.push_back({type, prefix_ + name, {}, {}});
    return Fields(out_.back().children, prefix_ + name + "/");
  }

 private:
  std::vector<Span>& out_;
  std::string prefix_;
};

// ---------------------------------------------------------------------------------
// The expected bytes, encoded here part by part, independently of the writer.

// Nearest integer, halves to the even neighbour.
int32_t roundHalfEven(double v) {
  const double r = std::round(v);
  if (std::fabs(v - std::trunc(v)) == 0.5) return int32_t(2.0 * std::round(v / 2.0));
  return int32_t(r);
}

int32_t truncToward0(double v) { return int32_t(std::trunc(v)); }

void expectShadow(Fields f, const ShadowRecord& s) {
  f.boolean("Enabled", s.Enabled);
  f.f64("Radius", s.Radius);
  f.f64("OffsetX", s.OffsetX);
  f.f64("OffsetY", s.OffsetY);
  f.i32("Intensity", s.Intensity);
  f.put("ShadowColor", LeBytes().u8(s.ShadowColor.b).u8(s.ShadowColor.g).u8(s.ShadowColor.r));
}

void expectFont(Fields f, const FontRecord& font) {
  f.wide("Name", font.Name);
  f.u8("Charset", font.Charset);
  f.color("Color", font.Color);
  f.i32("Height", font.Height);
  f.u8("Style", font.Style);
}

// Fields 2 ... 55 (the record length is the Record span's own).
void expectCommonPart(Fields f, const Layer& l) {
  f.i32("record version", 12200);
  f.i32("kind", int32_t(l.kind()));
  f.raw("fGuid", std::vector<uint8_t>(l.fGuid.begin(), l.fGuid.end()));
  f.i32("width", roundHalfEven(l.Width));
  f.i32("height", roundHalfEven(l.Height));
  f.boolean("fVisible", l.fVisible);
  f.boolean("fVisibleBox", l.fVisibleBox);
  f.boolean("fSelectable", l.fSelectable);
  f.i32("fTransparency", l.fTransparency);
  f.f64("fOpacity", l.fOpacity);
  f.f64("fFillOpacity", l.fFillOpacity);
  f.i32("position X", truncToward0(l.PosX));
  f.i32("position Y", truncToward0(l.PosY));
  f.irect("fClientAreaBox", l.fClientAreaBox);
  f.boolean("fCropped", l.fCropped);
  f.boolean("fLocked", l.fLocked);
  f.u8("fOperation", uint8_t(l.fOperation));
  f.i32("fUserDataLen", int32_t(l.UserData.size()));
  if (!l.UserData.isEmpty()) f.raw("user data", std::vector<uint8_t>(l.UserData.begin(), l.UserData.end()));
  f.wide("fName", l.fName);
  f.wide("fHint", l.fHint);
  f.wide("fURL", l.fURL);
  f.boolean("fIsMask", l.fIsMask);
  f.boolean("fMaskInverted", l.fMaskInverted);
  f.boolean("fDrawOuter", l.fDrawOuter);
  f.f64("fRotate", l.fRotate);
  f.f64("fRotateCenterX", l.fRotateCenterX);
  f.f64("fRotateCenterY", l.fRotateCenterY);
  f.u8("fFlip", l.fFlip);
  f.i32("fAlphaEdgeFeathering", l.fAlphaEdgeFeathering);
  f.boolean("fSelected", l.fSelected);
  f.i32("fGroupIndex", l.fGroupIndex);
  f.boolean("fAspectRatioLocked", l.fAspectRatioLocked);
  f.boolean("fAntiAlias", l.fAntiAlias);
  f.f64("fOriginalAspectRatio", l.fOriginalAspectRatio);
  f.i32("fTag", l.fTag);
  f.color("fBorderColor", l.fBorderColor);
  f.i32("fBorderWidth", l.fBorderWidth);
  f.color("fFillColor", l.fFillColor);
  f.color("fFillColor2", l.fFillColor2);
  f.u8("fFillGradient", l.fFillGradient);
  expectShadow(f.sub("SoftShadow"), l.SoftShadow);
  expectShadow(f.sub("InnerGlow"), l.InnerGlow);
  const TextStyling& t = l.fTextStyling;
  f.i32("text border width", t.BorderWidth);
  f.color("text border colour", t.BorderColor);
  f.u8("text border line join", t.BorderLineJoin);
  f.i32("FillTransparency1", t.FillTransparency1);
  f.i32("FillTransparency2", t.FillTransparency2);
  f.color("FillColor2", t.FillColor2);
  f.u8("FillGradient", t.FillGradient);
  f.u8("fRulerMode", l.fRulerMode);
  f.u8("fRulerUnits", l.fRulerUnits);
  f.boolean("fScaleLocking", l.fScaleLocking);
  f.f64("fModifiedDate", l.fModifiedDate);
}

int bitsPerPixelOf(PixelFormat format) {
  switch (format) {
    case PixelFormat::ie1g: return 1;
    case PixelFormat::ie8p:
    case PixelFormat::ie8g: return 8;
    case PixelFormat::ie16g: return 16;
    case PixelFormat::ie24RGB: return 24;
    case PixelFormat::ie32f:
    case PixelFormat::ieCMYK:
    case PixelFormat::ie32RGB: return 32;
    case PixelFormat::ie48RGB: return 48;
    case PixelFormat::ieCIELab: return 24;
    case PixelFormat::ieNull: return 0;
  }
  return 0;
}

size_t paddedRow(int width, int bits, int alignment) {
  return size_t((int64_t(width) * bits + alignment - 1) / alignment * alignment / 8);
}

void expectRawBitmap(Fields f, const Bitmap& bm) {
  f.ascii("magic", "TIEBITMAPRAW");
  f.i32("version", 0);
  f.i32("palette count", int32_t(bm.palette().size()));
  LeBytes palette;
  for (const PaletteEntry& e : bm.palette()) palette.u8(e.b).u8(e.g).u8(e.r);
  f.put("palette", palette);
  f.i32("width", bm.width());
  f.i32("height", bm.height());
  f.u8("pixel format", uint8_t(bm.format()));
  f.boolean("fFull", bm.info().full);
  f.i32("fPaletteUsed", bm.info().paletteUsed);
  f.f64("fBlackValue", bm.info().blackValue);
  f.f64("fWhiteValue", bm.info().whiteValue);
  for (int i = 0; i < 4; ++i) f.i32("fChannelOffset[" + std::to_string(i) + "]", bm.info().channelOffset[size_t(i)]);
  f.boolean("fEnableChannelOffset", bm.info().enableChannelOffset);
  f.i32("fContrast", bm.info().contrast);
  f.i32("fBitAlignment", bm.bitAlignment());
  const size_t rowLen = paddedRow(bm.width(), bitsPerPixelOf(bm.format()), bm.bitAlignment());
  for (int y = 0; y < bm.height(); ++y)
    f.raw("row " + std::to_string(y), std::vector<uint8_t>(bm.scanline(y), bm.scanline(y) + rowLen));
  f.boolean("has alpha", bm.hasAlpha());
  if (!bm.hasAlpha()) return;
  const size_t alphaLen = paddedRow(bm.width(), 8, bm.bitAlignment());
  for (int y = 0; y < bm.height(); ++y)
    f.raw("alpha row " + std::to_string(y), std::vector<uint8_t>(bm.alphaScanline(y), bm.alphaScanline(y) + alphaLen));
  f.boolean("alpha fFull", bm.alphaFull());
}

void expectImagePart(Fields f, const ImageLayer& l) {
  // The magnification record as it lies in memory, its filler zeroed.
  f.boolean("Magnify.Enabled", l.Magnify.Enabled);
  f.zeros("Magnify filler 1-7", 7);
  f.f64("Magnify.Rate", l.Magnify.Rate);
  f.u8("Magnify.Style", l.Magnify.Style);
  f.u8("Magnify.Source", l.Magnify.Source);
  f.zeros("Magnify filler 18-23", 6);
  f.u8("fResampleFilter", l.fResampleFilter);
  f.boolean("fUseResampleFilter", l.fUseResampleFilter);
  const bool hasPixels = l.bitmap.width() > 1;
  f.boolean("has pixels", hasPixels);
  f.i32("pixel code", -1);
  if (hasPixels) expectRawBitmap(f.nested(Span::Type::Deflated, "pixels"), l.bitmap);
}

void expectShapePart(Fields f, const ShapeLayer& l) {
  f.u8("fShape", l.fShape);
  f.i32("fShapeModifier", l.fShapeModifier);
}

void expectLinePart(Fields f, const LineLayer& l) {
  f.color("fLineColor", l.fLineColor);
  f.i32("fLineWidth", l.fLineWidth);
  f.u8("fLineStyle", l.fLineStyle);
  f.color("fLineFillColor", l.fLineFillColor);
  expectFont(f.sub("font"), l.fFont);
  f.wide("fLabelText", l.fLabelText);
  f.u8("fLabelAlignment", l.fLabelAlignment);
  f.u8("fLabelPosition", l.fLabelPosition);
  f.u8("fLabelShape", l.fLabelShape);
  f.boolean("fReadOnly", l.fReadOnly);
  f.i32("fShapeSize", l.fShapeSize);
  f.u8("fStartShape", l.fStartShape);
  f.u8("fEndShape", l.fEndShape);
  f.f64("fCurve", l.fCurve);
  f.f64("fLabelHorzMargin", l.fLabelHorzMargin);
  f.f64("fLabelVertMargin", l.fLabelVertMargin);
  f.u8("fTextOverflow", l.fTextOverflow);
  f.dpoint("fPoints[0]", l.fPoints[0]);
  f.dpoint("fPoints[1]", l.fPoints[1]);
  f.irect("fOffset", l.fOffset);
}

void expectPolylinePart(Fields f, const PolylineLayer& l) {
  f.i32("point count", int32_t(l.Points.size()));
  for (size_t i = 0; i < l.Points.size(); ++i) f.dpoint("point[" + std::to_string(i) + "]", l.Points[i]);
  f.boolean("fPolylineClosed", l.fPolylineClosed);
  f.boolean("fIsPath", l.fIsPath);
  f.boolean("fAutoSize", l.fAutoSize);
  f.u8("fLineStyle", l.fLineStyle);
}

void expectTextPart(Fields f, const TextLayer& l) {
  f.wide("fText", l.fText);
  f.wide("fRichText", l.fRichText);
  f.boolean("fEnableFormatting", l.fEnableFormatting);
  f.u8("fBorderShape", l.fBorderShape);
  expectFont(f.sub("font"), l.fFont);
  f.boolean("fAutoSize", l.fAutoSize);
  f.boolean("fReadOnly", l.fReadOnly);
  f.u8("fAlignment", l.fAlignment);
  f.u8("fLayout", l.fLayout);
  f.boolean("fWordWrap", l.fWordWrap);
  f.f64("fHorzMargin", l.fHorzMargin);
  f.f64("fVertMargin", l.fVertMargin);
  f.u8("fTextOverflow", l.fTextOverflow);
  f.f64("fBorderRotate", l.fBorderRotate);
  f.f64("fTextOffsetX", l.fTextOffsetX);
  f.f64("fTextOffsetY", l.fTextOffsetY);
}

void expectAnglePart(Fields f, const AngleLayer& l) {
  expectFont(f.sub("font"), l.fFont);
  f.wide("fLabelText", l.fLabelText);
  f.i32("fLabelDecimalPlaces", l.fLabelDecimalPlaces);
  f.u8("fAngleMode", l.fAngleMode);
  for (size_t i = 0; i < 3; ++i) f.ipoint("fPoints[" + std::to_string(i) + "]", l.fPoints[i]);
  f.f64("fRealPosX", l.fRealPosX);
  f.f64("fRealPosY", l.fRealPosY);
  f.f64("fRealWidth", l.fRealWidth);
  f.f64("fRealHeight", l.fRealHeight);
  f.f64("fWasRotate", l.fWasRotate);
  f.irect("fOffset", l.fOffset);
  f.f64("fSweepAngle", l.fSweepAngle);
}

void expectLayerRecord(Fields f, const Layer& l) {
  expectCommonPart(f, l);
  if (const auto* p = layerAs<ImageLayer>(&l)) expectImagePart(f, *p);
  if (const auto* p = layerAs<ShapeLayer>(&l)) expectShapePart(f, *p);
  if (const auto* p = layerAs<LineLayer>(&l)) expectLinePart(f, *p);
  if (const auto* p = layerAs<PolylineLayer>(&l)) expectPolylinePart(f, *p);
  if (const auto* p = layerAs<TextLayer>(&l)) expectTextPart(f, *p);
  if (const auto* p = layerAs<AngleLayer>(&l)) expectAnglePart(f, *p);
}

// The extent of a version: the union of its layers' rectangles. The fixtures keep its
// edges on whole pixels, so no rounding rule is involved.
QRectF layerExtent(const LayerStack& stack) {
  double left = 0, top = 0, right = 0, bottom = 0;
  for (int i = 0; i < stack.count(); ++i) {
    const Layer& l = stack.at(i);
    left = i == 0 ? l.PosX : std::min(left, l.PosX);
    top = i == 0 ? l.PosY : std::min(top, l.PosY);
    right = i == 0 ? l.PosX + l.Width : std::max(right, l.PosX + l.Width);
    bottom = i == 0 ? l.PosY + l.Height : std::max(bottom, l.PosY + l.Height);
  }
  return QRectF(QPointF(left, top), QPointF(right, bottom));
}

QString expectedDescription(const Version& v) {
  return QStringLiteral("VersionName=") + v.VersionName +
         QStringLiteral(";LockAspectRatio=") + QString::number(int(v.LayersResizeAspectRatio)) +
         QStringLiteral(";SnapToGrid=") + (v.LayersSnapToGrid ? QStringLiteral("-1") : QStringLiteral("0")) +
         QStringLiteral(";GridCellSize=") + QString::number(v.LayersSnapDist) + QStringLiteral(";");
}

void expectVersionBlock(Fields f, const Version& v) {
  const LayerStack& stack = v.Layers;
  f.ascii("magic", "IMAGEENLAYERS");
  f.i32("stream version", 12200);
  f.i32("compression code", -1);
  f.i32("layer count", stack.count());
  const QRectF extent = layerExtent(stack);
  f.i32("width", int32_t(extent.width()));
  f.i32("height", int32_t(extent.height()));
  f.wide("description", expectedDescription(v));
  f.boolean("background stored", true);
  f.boolean("has thumbnail", false);  // the merged image is under 5 pixels
  for (int i = 0; i < stack.count(); ++i) {
    const Layer& l = stack.at(i);
    const std::string name = "layer " + std::to_string(i) + " (" + layerKindName(l.kind()) + ")";
    expectLayerRecord(f.nested(Span::Type::Record, name), l);
  }
}

// ---------------------------------------------------------------------------------
// Walking the actual bytes along the expected spans.

std::string hex(const uint8_t* p, size_t n) {
  std::string s;
  char buf[4];
  for (size_t i = 0; i < n && i < 24; ++i) {
    std::snprintf(buf, sizeof buf, "%02X ", p[i]);
    s += buf;
  }
  if (n > 24) s += "...";
  return s;
}

int32_t readI32(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

struct Walker {
  std::string failure;  // the first mismatch; empty while everything matches
  std::vector<size_t> groupStarts;

  // `where` names the byte string (the file or an inflated block) for offsets.
  bool walk(const std::vector<Span>& spans, const uint8_t* data, size_t size, size_t& pos, const std::string& where) {
    for (const Span& s : spans)
      if (!walkOne(s, data, size, pos, where)) return false;
    return true;
  }

  bool fail(const std::string& name, const std::string& where, size_t offset, const std::string& what) {
    failure = "field '" + name + "' at " + where + " offset " + std::to_string(offset) + ": " + what;
    return false;
  }

  bool need(const Span& s, size_t n, size_t size, size_t pos, const std::string& where) {
    if (pos + n <= size) return true;
    return fail(s.name, where, pos, "the data ends " + std::to_string(size - pos) + " bytes into this " +
                                        std::to_string(n) + "-byte field");
  }

  bool walkOne(const Span& s, const uint8_t* data, size_t size, size_t& pos, const std::string& where) {
    switch (s.type) {
      case Span::Type::Bytes: {
        if (!need(s, s.bytes.size(), size, pos, where)) return false;
        for (size_t i = 0; i < s.bytes.size(); ++i)
          if (data[pos + i] != s.bytes[i])
            return fail(s.name, where, pos, "byte " + std::to_string(i) + " differs; expected " +
                                                hex(s.bytes.data(), s.bytes.size()) + "| actual " +
                                                hex(data + pos, s.bytes.size()));
        pos += s.bytes.size();
        return true;
      }
      case Span::Type::Group:
        groupStarts.push_back(pos);
        return walk(s.children, data, size, pos, where);
      case Span::Type::Record: {
        const Span lengthField{Span::Type::Bytes, s.name + "/record length", {}, {}};
        if (!need(lengthField, 4, size, pos, where)) return false;
        const size_t start = pos;
        const int32_t stored = readI32(data + pos);
        pos += 4;
        if (!walk(s.children, data, size, pos, where)) return false;
        if (stored != int32_t(pos - start))
          return fail(lengthField.name, where, start, "stored " + std::to_string(stored) + ", the record runs " +
                                                          std::to_string(pos - start) + " bytes");
        return true;
      }
      case Span::Type::Deflated: {
        const Span sizeField{Span::Type::Bytes, s.name + "/N", {}, {}};
        if (!need(sizeField, 4, size, pos, where)) return false;
        const int32_t n = readI32(data + pos);
        if (n < 0) return fail(sizeField.name, where, pos, "negative: " + std::to_string(n));
        pos += 4;
        if (!need(s, size_t(n), size, pos, where)) return false;
        size_t expectedSize = 0;
        for (const Span& c : s.children) expectedSize += c.bytes.size();
        // Room for more than expected, so that a longer block is told apart from a broken one.
        std::vector<uint8_t> inflated(expectedSize + 4096);
        uLongf outLen = uLongf(inflated.size());
        uLong inLen = uLong(n);
        const int rc = uncompress2(inflated.data(), &outLen, data + pos, &inLen);
        if (rc != Z_OK) return fail(s.name, where, pos, "not a complete zlib stream (zlib code " + std::to_string(rc) + ")");
        if (inLen != uLong(n))
          return fail(sizeField.name, where, pos - 4, "N is " + std::to_string(n) + " but the zlib stream takes " +
                                                          std::to_string(inLen) + " bytes");
        const std::string inner = "inflated " + s.name;
        size_t innerPos = 0;
        if (!walk(s.children, inflated.data(), outLen, innerPos, inner)) return false;
        if (innerPos != outLen)
          return fail(s.name, inner, innerPos, std::to_string(outLen - innerPos) + " bytes follow the raw bitmap block");
        pos += size_t(n);
        return true;
      }
    }
    return false;
  }
};

// ---------------------------------------------------------------------------------
// The document.

// Common fields, each away from its default; `n` varies them from layer to layer, and
// neighbouring Boolean fields get opposite values.
void setCommonFields(Layer& l, int n, double x, double y, double w, double h) {
  for (size_t i = 0; i < l.fGuid.size(); ++i) l.fGuid[i] = uint8_t(0x10 * n + i * 3 + 1);
  l.PosX = x;
  l.PosY = y;
  l.Width = w;
  l.Height = h;
  auto flag = [n](int k) { return (n + k) % 2 == 0; };
  l.fVisible = flag(0);
  l.fVisibleBox = flag(1);
  l.fSelectable = flag(0);
  l.fTransparency = 201 - n;
  l.fOpacity = 0.625 + n / 128.0;
  l.fFillOpacity = 0.3125 - n / 256.0;
  l.fClientAreaBox = {1 + n, -2 - n, 30 + n, 40 + n};
  l.fCropped = flag(1);
  l.fLocked = flag(0);
  l.fOperation = RenderOperation(43 - 5 * n);
  if (n != 6) l.UserData = QByteArray("\x00\xFF\x7F" "ud", 5) + QByteArray::number(n);
  static const char16_t* const names[] = {u"Hintergrund Ähre", u"Ellipse \u00E9t\u00E9", u"Linie \u2192 Pfeil",
                                          u"Polylinie \u00DF", u"Text \U0001F304", u"Winkel \u00B0",
                                          u"Maske \u00F8", u"Bild \u00E7"};
  l.fName = QString::fromUtf16(names[n % 8]);
  l.fHint = QStringLiteral("Hinweis %1 \u00FC").arg(n);
  if (n != 3) l.fURL = QStringLiteral("https://example.org/\u00E5/%1").arg(n);
  l.fIsMask = false;
  l.fMaskInverted = flag(1);
  l.fDrawOuter = flag(0);
  l.fRotate = 12.75 + n;
  l.fRotateCenterX = 0.25 + n / 64.0;
  l.fRotateCenterY = 0.875 - n / 64.0;
  l.fFlip = uint8_t(1 + n % 3);
  l.fAlphaEdgeFeathering = 3 + n;
  l.fSelected = flag(1);
  l.fGroupIndex = 7 + n;
  l.fAspectRatioLocked = flag(0);
  l.fAntiAlias = flag(1);
  l.fOriginalAspectRatio = 1.3125 + n / 32.0;
  l.fTag = -1000 - n;
  l.fBorderColor = rgbColor(uint8_t(0x11 + n), 0x22, 0x33);
  l.fBorderWidth = 4 + n;
  l.fFillColor = rgbColor(0x44, uint8_t(0x55 + n), 0x66);
  l.fFillColor2 = rgbColor(0x77, 0x88, uint8_t(0x99 + n));
  l.fFillGradient = uint8_t(2 + n);
  l.SoftShadow = {true, 3.25 + n, -1.5, 2.75, 60 + n, {0x0A, uint8_t(0x0B + n), 0x0C}};
  l.InnerGlow = {flag(0), 5.125, 0.5 + n, -4.25, 40 - n, {0xA0, 0xB0, uint8_t(0xC0 + n)}};
  l.fTextStyling = {2 + n, rgbColor(0x12, 0x34, uint8_t(0x56 + n)), uint8_t(1 + n % 2), 128 - n, 64 + n,
                    rgbColor(uint8_t(0x9A + n), 0xBC, 0xDE), uint8_t(3 + n)};
  l.fRulerMode = uint8_t(1 + n % 2);
  l.fRulerUnits = uint8_t(1 + n);
  l.fScaleLocking = flag(1);
  l.fModifiedDate = 45321.6875 + n;
}

FontRecord makeFont(int n) {
  FontRecord f;
  f.Name = QStringLiteral("DejaVu S\u00E4ns %1").arg(n);
  f.Charset = uint8_t(238 - n);
  f.Color = rgbColor(0x21, uint8_t(0x43 + n), 0x65);
  f.Height = -19 - n;
  f.Style = uint8_t(fsBold | fsUnderline | (n % 2 ? fsItalic : fsStrikeOut));
  return f;
}

template <class T>
T& addLayer(LayerStack& stack) {
  stack.add(createLayer(T::Kind));
  return *layerAs<T>(stack.current());
}

void setBitmapInfo(Bitmap& bm, int n) {
  BitmapInfo& i = bm.info();
  i.paletteUsed = 5 + n;
  i.blackValue = 0.125 + n;
  i.whiteValue = 0.875 + n;
  i.channelOffset = {1 + n, -2, 3, -4 - n};
  i.enableChannelOffset = true;
  i.contrast = 17 + n;
}

// 4x3 blue-green-red pixels with a partly transparent alpha plane; rows padded to 64
// bits, so every pixel row and alpha row carries padding.
Bitmap makeColourBitmapWithAlpha() {
  Bitmap bm(4, 3, PixelFormat::ie24RGB, 64);
  bm.addAlpha(255);
  for (int y = 0; y < 3; ++y) {
    uint8_t* row = bm.mutableScanline(y);
    for (int x = 0; x < 4; ++x) {
      row[3 * x + 0] = uint8_t(0x10 + 16 * x + y);  // blue
      row[3 * x + 1] = uint8_t(0x80 + 8 * y + x);   // green
      row[3 * x + 2] = uint8_t(0xF0 - 4 * x - y);   // red
      bm.mutableAlphaScanline(y)[x] = uint8_t(255 - 20 * (x + 4 * y));
    }
  }
  bm.setAlphaFull(false);
  bm.info().full = false;
  setBitmapInfo(bm, 0);
  return bm;
}

// 3x2 palette indexes without alpha; rows padded to 32 bits.
Bitmap makePaletteBitmap() {
  Bitmap bm(3, 2, PixelFormat::ie8p, 32);
  std::vector<PaletteEntry> palette(256);
  for (size_t i = 0; i < palette.size(); ++i) palette[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
  bm.setPalette(std::move(palette));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) bm.mutableScanline(y)[x] = uint8_t(200 + 3 * y + x);
  setBitmapInfo(bm, 1);
  return bm;
}

// Layer edges are chosen so that each version's extent has whole-pixel edges, while the
// layers' own positions show truncation toward zero (2.7, -1.5, -0.25, -1.9, -0.5) and
// their sizes rounding of halves to even (2.5, 3.5, 1.5, 0.5).
void makeVersion1(Version& v) {
  v.VersionName = QStringLiteral("Sonnenuntergang \u00FCber \u00C5lesund \U0001F305");
  v.LayersResizeAspectRatio = AspectRatioMode::iearAlways;
  v.LayersSnapToGrid = true;
  v.LayersSnapDist = 7;
  LayerStack& s = v.Layers;

  auto& bg = addLayer<ImageLayer>(s);
  setCommonFields(bg, 0, -2.0, -2.0, 4.0, 3.0);
  bg.Magnify = {true, 2.625, 1, 1};
  bg.fResampleFilter = 9;
  bg.fUseResampleFilter = true;
  bg.bitmap = makeColourBitmapWithAlpha();

  auto& shape = addLayer<ShapeLayer>(s);
  setCommonFields(shape, 1, -1.5, -0.25, 3.5, 1.25);
  shape.fShape = 113;
  shape.fShapeModifier = -37;

  auto& line = addLayer<LineLayer>(s);
  setCommonFields(line, 2, 0.7, -1.9, 1.2, 2.5);
  line.fLineColor = rgbColor(0x01, 0x02, 0x03);
  line.fLineWidth = 6;
  line.fLineStyle = 4;
  line.fLineFillColor = rgbColor(0xFE, 0xDC, 0xBA);
  line.fFont = makeFont(2);
  line.fLabelText = QStringLiteral("L\u00E4nge \u2248 12");
  line.fLabelAlignment = 2;
  line.fLabelPosition = 5;
  line.fLabelShape = 3;
  line.fReadOnly = true;
  line.fShapeSize = 14;
  line.fStartShape = 3;
  line.fEndShape = 6;
  line.fCurve = -0.4375;
  line.fLabelHorzMargin = 1.75;
  line.fLabelVertMargin = -2.125;
  line.fTextOverflow = 1;
  line.fPoints = {DPoint{0.125, -3.5}, DPoint{11.0625, 7.25}};
  line.fOffset = {-3, 4, -5, 6};
}

void makeVersion2(Version& v) {
  v.VersionName = QStringLiteral("Schwarzwei\u00DF \u2013 \u00E9preuve");
  v.LayersResizeAspectRatio = AspectRatioMode::iearDefault;
  v.LayersSnapToGrid = false;
  v.LayersSnapDist = 13;
  LayerStack& s = v.Layers;

  auto& bg = addLayer<ImageLayer>(s);
  setCommonFields(bg, 3, 0.0, 0.0, 3.0, 2.0);
  bg.Magnify = {false, 0.5625, 0, 1};
  bg.fResampleFilter = 4;
  bg.bitmap = makePaletteBitmap();

  auto& poly = addLayer<PolylineLayer>(s);
  setCommonFields(poly, 4, 2.7, 0.5, 0.25, 2.5);
  poly.Points = {{0.125, 0.875}, {-0.5, 1.0625}, {1000.75, -2.25}};
  poly.fPolylineClosed = true;
  poly.fIsPath = true;
  poly.fAutoSize = false;
  poly.fLineStyle = 2;

  auto& text = addLayer<TextLayer>(s);
  setCommonFields(text, 5, -1.0, -1.0, 3.5, 1.5);
  text.fText = QStringLiteral("Gr\u00FC\u00DFe aus K\u00F8benhavn \U0001F44B");
  text.fRichText = QStringLiteral("{\\rtf1 Gr\\'fc\\'dfe}");
  text.fEnableFormatting = true;
  text.fBorderShape = 5;
  text.fFont = makeFont(5);
  text.fAutoSize = true;
  text.fReadOnly = true;
  text.fAlignment = 3;
  text.fLayout = 2;
  text.fWordWrap = false;
  text.fHorzMargin = 2.375;
  text.fVertMargin = -0.625;
  text.fTextOverflow = 2;
  text.fBorderRotate = 33.5;
  text.fTextOffsetX = -1.25;
  text.fTextOffsetY = 4.75;

  auto& angle = addLayer<AngleLayer>(s);
  setCommonFields(angle, 6, -0.5, 1.2, 3.5, 0.5);
  angle.fFont = makeFont(6);
  angle.fLabelText = QStringLiteral("\u03B1 = %1\u00B0");
  angle.fLabelDecimalPlaces = 3;
  angle.fAngleMode = 2;
  angle.fPoints = {IPoint{-1, 2}, IPoint{30, -4}, IPoint{5, 60}};
  angle.fRealPosX = -0.5;
  angle.fRealPosY = 1.2;
  angle.fRealWidth = 3.5;
  angle.fRealHeight = 0.5;
  angle.fWasRotate = 17.125;
  angle.fOffset = {7, -8, 9, -10};
  angle.fSweepAngle = 123.4375;

  // A mask one pixel wide: its record has no pixels.
  auto& mask = addLayer<ImageLayer>(s);
  setCommonFields(mask, 7, 1.0, 1.0, 1.5, 0.5);
  mask.fIsMask = true;
  mask.Magnify = {true, 4.5, 0, 0};
  mask.fUseResampleFilter = true;
  mask.bitmap = Bitmap(1, 1, PixelFormat::ie8g, 8);
  mask.bitmap.fill(0x5A);
}

std::vector<size_t> occurrences(const QByteArray& bytes, const QByteArray& what) {
  std::vector<size_t> at;
  for (qsizetype i = bytes.indexOf(what); i >= 0; i = bytes.indexOf(what, i + 1)) at.push_back(size_t(i));
  return at;
}

TEST(GoldenBytesTest, SavedProjectHasExactlyTheBytesOfTheFormat) {
  Version v1, v2;
  makeVersion1(v1);
  makeVersion2(v2);
  for (const Version* v : {&v1, &v2}) {
    const QRectF e = layerExtent(v->Layers);
    ASSERT_TRUE(e.width() == std::trunc(e.width()) && e.height() == std::trunc(e.height()))
        << "fixture: the extent must have whole-pixel edges";
    ASSERT_LT(v->Layers.at(0).Width, 5.0);
    ASSERT_LT(v->Layers.at(0).Height, 5.0);
  }

  std::vector<Span> expected;
  Fields file(expected);
  expectVersionBlock(file.nested(Span::Type::Group, "block 1"), v1);
  expectVersionBlock(file.nested(Span::Type::Group, "block 2"), v2);

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("golden.lmrd"));
  ASSERT_EQ(saveProjectFile(path, {&v1, &v2}), QString());
  QFile saved(path);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QByteArray bytes = saved.readAll();
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
  const size_t size = size_t(bytes.size());

  Walker walker;
  size_t pos = 0;
  ASSERT_TRUE(walker.walk(expected, data, size, pos, "file")) << walker.failure;
  EXPECT_EQ(pos, size) << size - pos << " bytes follow the last block";

  // The second block begins at the first byte after the last record of the first,
  // and the magic appears nowhere else.
  ASSERT_EQ(walker.groupStarts.size(), 2u);
  EXPECT_EQ(occurrences(bytes, QByteArrayLiteral("IMAGEENLAYERS")), walker.groupStarts);
}

}  // namespace
}  // namespace lumo
