#include <cmath>
#include <limits>

#include "document/LayerRecord.h"
#include "document/PixelDeflate.h"
#include "document/ProjectError.h"
#include "document/RawBitmapBlock.h"

namespace lumo {

namespace {

// Stored sizes and positions are int32; a value beyond that range (or not a number)
// is clamped rather than left to an undefined conversion.
int32_t clampToInt32(double v) {
  if (std::isnan(v)) return 0;
  constexpr double lo = std::numeric_limits<int32_t>::min();
  constexpr double hi = std::numeric_limits<int32_t>::max();
  return int32_t(v < lo ? lo : v > hi ? hi : v);
}

// Nearest integer, halves to even (the default rounding mode).
int32_t roundHalfEven(double v) { return clampToInt32(std::nearbyint(v)); }
int32_t truncate(double v) { return clampToInt32(std::trunc(v)); }

void writeColor(ByteWriter& out, TColor c) { out.i32(int32_t(c)); }

void writeRect(ByteWriter& out, const IRect& r) {
  out.i32(r.left);
  out.i32(r.top);
  out.i32(r.right);
  out.i32(r.bottom);
}

void writeShadow(ByteWriter& out, const ShadowRecord& s) {
  out.boolean(s.Enabled);
  out.f64(s.Radius);
  out.f64(s.OffsetX);
  out.f64(s.OffsetY);
  out.i32(s.Intensity);
  out.u8(s.ShadowColor.b);
  out.u8(s.ShadowColor.g);
  out.u8(s.ShadowColor.r);
}

void writeFont(ByteWriter& out, const FontRecord& f) {
  out.wide(f.Name);
  out.u8(f.Charset);
  writeColor(out, f.Color);
  out.i32(f.Height);
  out.u8(f.Style);
}

void writeCommonPart(ByteWriter& out, const Layer& l) {
  out.i32(0);  // record length, filled in at the end
  out.i32(kLayerRecordVersion);
  out.i32(int32_t(l.kind()));
  out.bytes(l.fGuid.data(), l.fGuid.size());
  out.i32(roundHalfEven(l.Width));
  out.i32(roundHalfEven(l.Height));
  out.boolean(l.fVisible);
  out.boolean(l.fVisibleBox);
  out.boolean(l.fSelectable);
  out.i32(l.fTransparency);
  out.f64(l.fOpacity);
  out.f64(l.fFillOpacity);
  out.i32(truncate(l.PosX));
  out.i32(truncate(l.PosY));
  writeRect(out, l.fClientAreaBox);
  out.boolean(l.fCropped);
  out.boolean(l.fLocked);
  out.u8(uint8_t(l.fOperation));
  out.i32(int32_t(l.UserData.size()));
  if (!l.UserData.isEmpty()) out.bytes(l.UserData.constData(), size_t(l.UserData.size()));
  out.wide(l.fName);
  out.wide(l.fHint);
  out.wide(l.fURL);
  out.boolean(l.fIsMask);
  out.boolean(l.fMaskInverted);
  out.boolean(l.fDrawOuter);
  out.f64(l.fRotate);
  out.f64(l.fRotateCenterX);
  out.f64(l.fRotateCenterY);
  out.u8(l.fFlip);
  out.i32(l.fAlphaEdgeFeathering);
  out.boolean(l.fSelected);
  out.i32(l.fGroupIndex);
  out.boolean(l.fAspectRatioLocked);
  out.boolean(l.fAntiAlias);
  out.f64(l.fOriginalAspectRatio);
  out.i32(l.fTag);
  writeColor(out, l.fBorderColor);
  out.i32(l.fBorderWidth);
  writeColor(out, l.fFillColor);
  writeColor(out, l.fFillColor2);
  out.u8(l.fFillGradient);
  writeShadow(out, l.SoftShadow);
  writeShadow(out, l.InnerGlow);
  const TextStyling& t = l.fTextStyling;
  out.i32(t.BorderWidth);
  writeColor(out, t.BorderColor);
  out.u8(t.BorderLineJoin);
  out.i32(t.FillTransparency1);
  out.i32(t.FillTransparency2);
  writeColor(out, t.FillColor2);
  out.u8(t.FillGradient);
  out.u8(l.fRulerMode);
  out.u8(l.fRulerUnits);
  out.boolean(l.fScaleLocking);
  out.f64(l.fModifiedDate);
}

void writeImagePart(ByteWriter& out, const ImageLayer& l, bool metadataOnly,
                    const ByteBuffer* deflatedPixels) {
  // The magnification record as it lies in memory, fillers zero.
  const uint8_t filler[7] = {};
  out.boolean(l.Magnify.Enabled);
  out.bytes(filler, 7);
  out.f64(l.Magnify.Rate);
  out.u8(l.Magnify.Style);
  out.u8(l.Magnify.Source);
  out.bytes(filler, 6);
  out.u8(l.fResampleFilter);
  out.boolean(l.fUseResampleFilter);
  const bool hasPixels = !metadataOnly && l.bitmap.width() > 1;
  out.boolean(hasPixels);
  out.i32(-1);
  if (!hasPixels) return;
  ByteBuffer own;
  if (!deflatedPixels) {
    const std::vector<uint8_t> raw = encodeRawBitmap(l.bitmap);
    own = deflateZlib(raw.data(), raw.size());
    deflatedPixels = &own;
  }
  if (deflatedPixels->size() > size_t(std::numeric_limits<int32_t>::max()))
    throw ProjectError(QStringLiteral("The layer is too large to be stored"));
  out.i32(int32_t(deflatedPixels->size()));
  out.bytes(deflatedPixels->data(), deflatedPixels->size());
}

void writeShapePart(ByteWriter& out, const ShapeLayer& l) {
  out.u8(l.fShape);
  out.i32(l.fShapeModifier);
}

void writeLinePart(ByteWriter& out, const LineLayer& l) {
  writeColor(out, l.fLineColor);
  out.i32(l.fLineWidth);
  out.u8(l.fLineStyle);
  writeColor(out, l.fLineFillColor);
  writeFont(out, l.fFont);
  out.wide(l.fLabelText);
  out.u8(l.fLabelAlignment);
  out.u8(l.fLabelPosition);
  out.u8(l.fLabelShape);
  out.boolean(l.fReadOnly);
  out.i32(l.fShapeSize);
  out.u8(l.fStartShape);
  out.u8(l.fEndShape);
  out.f64(l.fCurve);
  out.f64(l.fLabelHorzMargin);
  out.f64(l.fLabelVertMargin);
  out.u8(l.fTextOverflow);
  for (const DPoint& p : l.fPoints) {
    out.f64(p.x);
    out.f64(p.y);
  }
  writeRect(out, l.fOffset);
}

void writePolylinePart(ByteWriter& out, const PolylineLayer& l) {
  out.i32(int32_t(l.Points.size()));
  for (const DPoint& p : l.Points) {
    out.f64(p.x);
    out.f64(p.y);
  }
  out.boolean(l.fPolylineClosed);
  out.boolean(l.fIsPath);
  out.boolean(l.fAutoSize);
  out.u8(l.fLineStyle);
}

void writeTextPart(ByteWriter& out, const TextLayer& l) {
  out.wide(l.fText);
  out.wide(l.fRichText);
  out.boolean(l.fEnableFormatting);
  out.u8(l.fBorderShape);
  writeFont(out, l.fFont);
  out.boolean(l.fAutoSize);
  out.boolean(l.fReadOnly);
  out.u8(l.fAlignment);
  out.u8(l.fLayout);
  out.boolean(l.fWordWrap);
  out.f64(l.fHorzMargin);
  out.f64(l.fVertMargin);
  out.u8(l.fTextOverflow);
  out.f64(l.fBorderRotate);
  out.f64(l.fTextOffsetX);
  out.f64(l.fTextOffsetY);
}

void writeAnglePart(ByteWriter& out, const AngleLayer& l) {
  writeFont(out, l.fFont);
  out.wide(l.fLabelText);
  out.i32(l.fLabelDecimalPlaces);
  out.u8(l.fAngleMode);
  for (const IPoint& p : l.fPoints) {
    out.i32(p.x);
    out.i32(p.y);
  }
  out.f64(l.fRealPosX);
  out.f64(l.fRealPosY);
  out.f64(l.fRealWidth);
  out.f64(l.fRealHeight);
  out.f64(l.fWasRotate);
  writeRect(out, l.fOffset);
  out.f64(l.fSweepAngle);
}

}  // namespace

// The compression code of the block chooses nothing here: every image layer is stored
// as a deflated raw bitmap (pixel code -1).
void writeLayerRecord(ByteWriter& out, const Layer& layer, int32_t /*compressionCode*/, bool metadataOnly,
                      const ByteBuffer* deflatedPixels) {
  const size_t start = out.pos();
  writeCommonPart(out, layer);
  switch (layer.kind()) {
    case LayerKind::ielkImage:
      writeImagePart(out, static_cast<const ImageLayer&>(layer), metadataOnly, deflatedPixels);
      break;
    case LayerKind::ielkShape: writeShapePart(out, static_cast<const ShapeLayer&>(layer)); break;
    case LayerKind::ielkLine: writeLinePart(out, static_cast<const LineLayer&>(layer)); break;
    case LayerKind::ielkPolyline: writePolylinePart(out, static_cast<const PolylineLayer&>(layer)); break;
    case LayerKind::ielkText: writeTextPart(out, static_cast<const TextLayer&>(layer)); break;
    case LayerKind::ielkAngle: writeAnglePart(out, static_cast<const AngleLayer&>(layer)); break;
  }
  const size_t length = out.pos() - start;
  if (length > size_t(std::numeric_limits<int32_t>::max()))
    throw ProjectError(QStringLiteral("The layer is too large to be stored"));
  out.patchI32(start, int32_t(length));
}

}  // namespace lumo
