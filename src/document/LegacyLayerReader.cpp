#include <array>

#include "document/EncodedPixels.h"
#include "document/LayerRecord.h"
#include "document/ProjectError.h"
#include "document/RawBitmapBlock.h"

namespace lumo {

namespace {

[[noreturn]] void corrupt() { throw ProjectError(ProjectErrorText::kCorrupt); }

// Names were stored in the Windows Western code page: Latin-1 except for 0x80-0x9F.
// Undefined bytes of that range map to the C1 control they have in Latin-1.
QString fromWindows1252(const uint8_t* p, size_t n) {
  static constexpr std::array<char16_t, 32> kHigh = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  QString s(qsizetype(n), Qt::Uninitialized);
  for (size_t i = 0; i < n; ++i) s[qsizetype(i)] = QChar(p[i] >= 0x80 && p[i] < 0xA0 ? kHigh[p[i] - 0x80] : p[i]);
  return s;
}

void readLegacyPixels(ByteReader& in, ImageLayer& l, int32_t compressionCode) {
  if (compressionCode == -1 || compressionCode == -2) {
    const int32_t n = in.i32();
    in.require(n);
    const uint8_t* data = in.take(size_t(n));
    if (compressionCode == -2) {
      decodeRawBitmap(data, size_t(n), l.bitmap);
    } else {
      inflateRawBitmap(data, size_t(n), l.bitmap);
    }
    return;
  }
  // These streams give the encoded image no length: the decoder gets the rest of the
  // stream and stops at the image's own end.
  const size_t n = in.remaining();
  l.bitmap = decodeEncodedPixels(in.take(n), n, l.fIsMask);
}

}  // namespace

void readLegacyLayerRecord(ByteReader& in, ImageLayer& l, int32_t v, int32_t compressionCode,
                           const LayerStack* owner) {
  if (!owner) throw ProjectError(ProjectErrorText::kOwnerNotAssigned);
  l.UserData.clear();
  l.fVisible = in.boolean();
  l.fVisibleBox = in.boolean();
  l.fTransparency = in.i32();
  if (v > 6) l.fOpacity = in.f64();
  l.PosX = in.i32();
  l.PosY = in.i32();
  l.fCropped = in.boolean();
  l.fLocked = in.boolean();
  l.Magnify.Enabled = in.boolean();
  l.Magnify.Rate = in.f64();
  l.Magnify.Style = in.u8();
  if (v > 2) l.Magnify.Source = in.u8();
  l.fOperation = RenderOperation(in.u8());
  l.Width = in.i32();
  l.Height = in.i32();
  if (v > 2) {
    l.fResampleFilter = in.u8();
    l.fUseResampleFilter = in.boolean();
    const int32_t nameLen = in.i32();
    in.require(nameLen);
    l.fName = fromWindows1252(in.take(size_t(nameLen)), size_t(nameLen));
    const int32_t userDataLen = in.i32();
    if (userDataLen > 0) {
      const uint8_t* p = in.take(size_t(userDataLen));
      l.UserData = QByteArray(reinterpret_cast<const char*>(p), userDataLen);
    }
    l.fIsMask = in.boolean();
  }
  if (v > 3) l.fSelectable = in.boolean();
  if (v > 5) l.fDrawOuter = in.boolean();
  if (v > 7) l.fAlphaEdgeFeathering = in.i32();
  if (v > 8) {
    l.fRotateCenterX = in.f64();
    l.fRotateCenterY = in.f64();
    l.fRotate = in.f64();
    l.fGroupIndex = in.i32();
    l.fSelected = in.boolean();
  }
  l.fClientAreaBox = IRect{};

  // The pixels lie elsewhere: at A + B, counted from the start of the stream (the first
  // byte `in` covers). The record itself goes on right after the two values.
  const int64_t a = in.i32();
  const int64_t b = in.i32();
  const size_t resume = in.pos();
  const int64_t at = a + b;
  if (at < 0 || uint64_t(at) > in.size()) corrupt();
  in.seek(size_t(at));
  readLegacyPixels(in, l, compressionCode);
  in.seek(resume);
  l.Changed = true;
}

}  // namespace lumo
