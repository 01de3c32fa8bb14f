#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "document/EncodedPixels.h"
#include "document/LayerRecord.h"
#include "document/ProjectError.h"
#include "document/RawBitmapBlock.h"

namespace lumo {

namespace {

[[noreturn]] void corrupt() { throw ProjectError(ProjectErrorText::kCorrupt); }

constexpr int32_t kOldestRecordVersion = 6400;

void checkRecordVersion(int32_t version) {
  if (version > kLayerRecordVersion && version <= 50000) throw ProjectError(ProjectErrorText::kUnsupportedVersion);
  if (version < kOldestRecordVersion || version > kLayerRecordVersion) corrupt();
}

TColor readColor(ByteReader& in) { return TColor(uint32_t(in.i32())); }

IRect readRect(ByteReader& in) {
  IRect r;
  r.left = in.i32();
  r.top = in.i32();
  r.right = in.i32();
  r.bottom = in.i32();
  return r;
}

DPoint readDPoint(ByteReader& in) {
  DPoint p;
  p.x = in.f64();
  p.y = in.f64();
  return p;
}

void readShadow(ByteReader& in, ShadowRecord& s, int32_t r) {
  s.Enabled = in.boolean();
  s.Radius = in.f64();
  if (r > 10100) {
    s.OffsetX = in.f64();
    s.OffsetY = in.f64();
  } else {
    s.OffsetX = in.i32();
    s.OffsetY = in.i32();
  }
  s.Intensity = in.i32();
  s.ShadowColor.b = in.u8();
  s.ShadowColor.g = in.u8();
  s.ShadowColor.r = in.u8();
}

void readFont(ByteReader& in, FontRecord& f) {
  f.Name = in.wide();
  f.Charset = in.u8();
  f.Color = readColor(in);
  f.Height = in.i32();
  f.Style = in.u8();
}

// Records before 10101 kept the ruler in the kind part of line and text layers: a
// show-ruler byte and the units. They are the last two bytes of that kind part, after
// every field the record's version has.
void readOldRuler(ByteReader& in, Layer& l) {
  l.fRulerMode = in.u8() != 0 ? 2 : 0;
  l.fRulerUnits = in.u8();
}

void readCommonPart(ByteReader& in, Layer& l, int32_t r) {
  std::copy_n(in.take(16), 16, l.fGuid.begin());
  l.Width = in.i32();
  l.Height = in.i32();
  l.fVisible = in.boolean();
  l.fVisibleBox = in.boolean();
  l.fSelectable = in.boolean();
  l.fTransparency = in.i32();
  l.fOpacity = in.f64();
  if (r > 8002) l.fFillOpacity = in.f64();
  l.PosX = in.i32();
  l.PosY = in.i32();
  l.fClientAreaBox = readRect(in);
  l.fCropped = in.boolean();
  l.fLocked = in.boolean();
  l.fOperation = RenderOperation(in.u8());
  l.UserData.clear();
  const int32_t userDataLen = in.i32();
  if (userDataLen > 0) {
    const uint8_t* p = in.take(size_t(userDataLen));
    l.UserData = QByteArray(reinterpret_cast<const char*>(p), userDataLen);
  }
  l.fName = in.wide();
  if (r > 10099) l.fHint = in.wide();
  if (r > 9999) l.fURL = in.wide();
  l.fIsMask = in.boolean();
  if (r > 8002) l.fMaskInverted = in.boolean();
  l.fDrawOuter = in.boolean();
  l.fRotate = in.f64();
  l.fRotateCenterX = in.f64();
  l.fRotateCenterY = in.f64();
  if (r > 8999) l.fFlip = in.u8();
  l.fAlphaEdgeFeathering = in.i32();
  l.fSelected = in.boolean();
  l.fGroupIndex = in.i32();
  l.fAspectRatioLocked = in.boolean();
  l.fAntiAlias = in.boolean();
  l.fOriginalAspectRatio = in.f64();
  if (r > 7000) l.fTag = in.i32();
  l.fBorderColor = readColor(in);
  l.fBorderWidth = in.i32();
  l.fFillColor = readColor(in);
  l.fFillColor2 = readColor(in);
  if (r > 9999) {
    l.fFillGradient = in.u8();
  } else {
    // Older records numbered the gradients from the first direction, with 8 for none.
    const uint8_t g = in.u8();
    l.fFillGradient = g == 8 ? 0 : uint8_t(g + 1);
  }
  readShadow(in, l.SoftShadow, r);
  if (r > 9009) readShadow(in, l.InnerGlow, r);
  if (r > 9999) {
    TextStyling& t = l.fTextStyling;
    t.BorderWidth = in.i32();
    t.BorderColor = readColor(in);
    t.BorderLineJoin = in.u8();
    t.FillTransparency1 = in.i32();
    t.FillTransparency2 = in.i32();
    t.FillColor2 = readColor(in);
    t.FillGradient = in.u8();
  }
  if (r > 10100) {
    l.fRulerMode = in.u8();
    l.fRulerUnits = in.u8();
  }
  if (r > 11309)
    l.fScaleLocking = in.boolean();
  else if (r > 10309)
    in.u8();  // a byte these versions stored and nothing reads
  if (r > 11449) l.fModifiedDate = in.f64();
  l.Changed = true;
}

void readImagePart(ByteReader& in, ImageLayer& l, std::vector<PendingPixels>* pending) {
  l.Magnify.Enabled = in.boolean();
  in.skip(7);
  l.Magnify.Rate = in.f64();
  l.Magnify.Style = in.u8();
  l.Magnify.Source = in.u8();
  in.skip(6);
  l.fResampleFilter = in.u8();
  l.fUseResampleFilter = in.boolean();
  // Without pixels nothing after this flag is needed: the caller goes on at the end of
  // the record, whether or not the writer put a pixel code there.
  if (!in.boolean()) return;
  const int32_t code = in.i32();
  if (code == -1 || code == -2) {
    const int32_t n = in.i32();
    in.require(n);
    const uint8_t* data = in.take(size_t(n));
    if (code == -2) {
      decodeRawBitmap(data, size_t(n), l.bitmap);
    } else if (pending) {
      pending->push_back({&l, data, size_t(n)});
    } else {
      inflateRawBitmap(data, size_t(n), l.bitmap);
    }
    return;
  }
  // Any other code names the file type of an encoded image running to the end of the
  // record; the decoder recognises the format from the bytes.
  const size_t n = in.remaining();
  l.bitmap = decodeEncodedPixels(in.take(n), n, l.fIsMask);
}

void readShapePart(ByteReader& in, ShapeLayer& l) {
  l.fShape = in.u8();
  l.fShapeModifier = in.i32();
}

// Before 9000 a line had no end points of its own: it ran through the centre of the
// layer's rectangle at the layer's rotation angle (degrees, counter-clockwise on
// screen), from one edge of the rectangle to the opposite one. The end points, in image
// coordinates like those of newer records, are the two places where that line leaves
// the rectangle; the angle now lives in the points, so the layer itself is not rotated.
void legacyLineEnds(LineLayer& l) {
  const double cx = l.PosX + l.Width / 2;
  const double cy = l.PosY + l.Height / 2;
  const double a = l.fRotate * std::numbers::pi / 180;
  const double dx = std::cos(a), dy = -std::sin(a);
  // Distance from the centre to the rectangle's border along (dx, dy).
  double t = std::numeric_limits<double>::infinity();
  if (std::abs(dx) > 1e-12) t = std::min(t, std::abs(l.Width) / 2 / std::abs(dx));
  if (std::abs(dy) > 1e-12) t = std::min(t, std::abs(l.Height) / 2 / std::abs(dy));
  l.fPoints[0] = {cx - dx * t, cy - dy * t};
  l.fPoints[1] = {cx + dx * t, cy + dy * t};
  l.fOffset = IRect{};
  l.fRotate = 0;
}

void readLinePart(ByteReader& in, LineLayer& l, int32_t r) {
  l.fLineColor = readColor(in);
  l.fLineWidth = in.i32();
  if (r > 12199) l.fLineStyle = in.u8();
  l.fLineFillColor = readColor(in);
  readFont(in, l.fFont);
  l.fLabelText = in.wide();
  l.fLabelAlignment = in.u8();
  l.fLabelPosition = in.u8();
  l.fLabelShape = in.u8();
  l.fReadOnly = in.boolean();
  l.fShapeSize = in.i32();
  l.fStartShape = in.u8();
  l.fEndShape = in.u8();
  if (r < 9000) {
    in.f64();  // geometry of the old line, rebuilt from the rectangle below
    if (r <= 7001) in.f64();
    if (r > 7000) in.u8();
  } else {
    l.fCurve = in.f64();
  }
  if (r > 7999) {
    l.fLabelHorzMargin = in.f64();
    l.fLabelVertMargin = in.f64();
    l.fTextOverflow = in.u8();
  }
  if (r < 9000) {
    legacyLineEnds(l);
  } else {
    l.fPoints[0] = readDPoint(in);
    l.fPoints[1] = readDPoint(in);
    l.fOffset = readRect(in);
  }
  if (r > 7003 && r < 10101) readOldRuler(in, l);
}

// Polyline points span the layer's rectangle in this range on each axis.
constexpr double kPolylineRange = 1000.0;

void readPolylinePart(ByteReader& in, PolylineLayer& l, int32_t r) {
  const int32_t n = in.i32();
  const bool intPoints = r <= 8005;
  if (n < 0) corrupt();
  in.require(int64_t(n) * (intPoints ? 8 : 16));
  l.Points.assign(size_t(n), DPoint{});
  for (DPoint& p : l.Points) {
    if (intPoints) {
      // Older records stored image coordinates inside the layer's rectangle.
      const double x = in.i32(), y = in.i32();
      p.x = l.Width > 0 ? (x - l.PosX) * kPolylineRange / l.Width : 0;
      p.y = l.Height > 0 ? (y - l.PosY) * kPolylineRange / l.Height : 0;
    } else {
      p = readDPoint(in);
    }
  }
  l.fPolylineClosed = in.boolean();
  l.fIsPath = in.boolean();
  if (r > 7999) l.fAutoSize = in.boolean();
  if (r > 12199) l.fLineStyle = in.u8();
}

void readTextPart(ByteReader& in, TextLayer& l, int32_t r) {
  l.fText = in.wide();
  if (r >= 8006) {
    l.fRichText = in.wide();
    l.fEnableFormatting = in.boolean();
  } else {
    l.fEnableFormatting = false;
  }
  l.fBorderShape = in.u8();
  readFont(in, l.fFont);
  l.fAutoSize = in.boolean();
  l.fReadOnly = in.boolean();
  l.fAlignment = in.u8();
  l.fLayout = in.u8();
  if (r > 7999) {
    l.fWordWrap = in.boolean();
    l.fHorzMargin = in.f64();
    l.fVertMargin = in.f64();
    l.fTextOverflow = in.u8();
  }
  if (r > 8001) l.fBorderRotate = in.f64();
  if (r > 9024) {
    l.fTextOffsetX = in.f64();
    l.fTextOffsetY = in.f64();
  }
  if (r > 7999 && r < 10101) readOldRuler(in, l);
}

void readAnglePart(ByteReader& in, AngleLayer& l, int32_t r) {
  if (r < 8005) throw ProjectError(ProjectErrorText::kUnexpectedVersion);
  readFont(in, l.fFont);
  l.fLabelText = in.wide();
  l.fLabelDecimalPlaces = in.i32();
  l.fAngleMode = in.u8();
  for (IPoint& p : l.fPoints) {
    p.x = in.i32();
    p.y = in.i32();
  }
  l.fRealPosX = in.f64();
  l.fRealPosY = in.f64();
  l.fRealWidth = in.f64();
  l.fRealHeight = in.f64();
  l.fWasRotate = in.f64();
  l.fOffset = readRect(in);
  l.fSweepAngle = r > 10209 ? in.f64() : -999.0;
}

}  // namespace

LayerKind peekLayerKind(ByteReader& in) {
  const size_t start = in.pos();
  in.i32();  // record length
  checkRecordVersion(in.i32());
  const int32_t kind = in.i32();
  in.skip(16);  // identifier
  in.seek(start);
  if (kind < 0 || kind >= kLayerKindCount) corrupt();
  return LayerKind(kind);
}

// Every kind's fields are read within the record's stated length, and the reader goes
// on at the record's end, so a record that carries more than this reader knows is
// skipped as a whole.
void readLayerRecord(ByteReader& in, Layer& layer, std::vector<PendingPixels>* pending) {
  const size_t start = in.pos();
  const int32_t length = in.i32();
  const int32_t version = in.i32();
  checkRecordVersion(version);
  if (length < 8 || uint64_t(length) > in.size() - start) corrupt();
  layer.StoredSize = length;
  const size_t end = start + size_t(length);

  ByteReader rec(in.data(), end);
  rec.seek(in.pos());
  if (rec.i32() != int32_t(layer.kind())) corrupt();
  readCommonPart(rec, layer, version);
  switch (layer.kind()) {
    case LayerKind::ielkImage: readImagePart(rec, static_cast<ImageLayer&>(layer), pending); break;
    case LayerKind::ielkShape: readShapePart(rec, static_cast<ShapeLayer&>(layer)); break;
    case LayerKind::ielkLine: readLinePart(rec, static_cast<LineLayer&>(layer), version); break;
    case LayerKind::ielkPolyline: readPolylinePart(rec, static_cast<PolylineLayer&>(layer), version); break;
    case LayerKind::ielkText: readTextPart(rec, static_cast<TextLayer&>(layer), version); break;
    case LayerKind::ielkAngle: readAnglePart(rec, static_cast<AngleLayer&>(layer), version); break;
  }
  in.seek(end);
}

}  // namespace lumo
