#include "engine/io/Metadata.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <variant>

#include <exiv2/exiv2.hpp>
#include <exiv2/webpimage.hpp>

#include <QStringDecoder>
#include <QStringList>

#include "engine/io/FileTypeRegistry.h"

namespace lumo {

namespace {

void initExiv2() {
  static std::once_flag once;
  static std::recursive_mutex xmpLock;  // the XMP toolkit is not thread-safe by itself
  std::call_once(once, [] {
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::XmpParser::initialize(
        [](void* lock, bool take) {
          auto* mutex = static_cast<std::recursive_mutex*>(lock);
          take ? mutex->lock() : mutex->unlock();
        },
        &xmpLock);
  });
}

// Whether a profile describes the pixels as the writers store them: grey formats stay
// grey, everything else becomes RGB.
bool profileFits(const QByteArray& icc, PixelFormat format) {
  const bool grey = format == PixelFormat::ie1g || format == PixelFormat::ie8g || format == PixelFormat::ie16g;
  return icc.size() >= 20 && icc.mid(16, 4) == (grey ? "GRAY" : "RGB ");
}

// Exiv2's own type for ours; 0 (none) when it has no writer for it.
int exivTypeOf(int32_t fileType) {
  switch (fileType) {
    case FileTypeCode::JPEG: return Exiv2::ImageType::jpeg;
    case FileTypeCode::TIFF: return Exiv2::ImageType::tiff;
    case FileTypeCode::PNG: return Exiv2::ImageType::png;
    case FileTypeCode::PSD: return Exiv2::ImageType::psd;
    case FileTypeCode::JP2: return Exiv2::ImageType::jp2;
    case FileTypeCode::WEBP: return Exiv2::ImageType::webp;
    default: return Exiv2::ImageType::none;
  }
}

// Strict UTF-8 when the bytes are UTF-8, else Latin-1: older files carry no charset.
QString decodeText(const std::string& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QByteArray raw = QByteArray::fromStdString(bytes);
  QString text = utf8(raw);
  return utf8.hasError() ? QString::fromLatin1(raw) : text;
}

std::string bytesOf(const Exiv2::Value& value) {
  std::string bytes(size_t(value.size()), '\0');
  if (!bytes.empty()) value.copy(reinterpret_cast<Exiv2::byte*>(bytes.data()), Exiv2::littleEndian);
  return bytes;
}

std::string untilNul(std::string s) {
  const size_t nul = s.find('\0');
  if (nul != std::string::npos) s.resize(nul);
  return s;
}

// ---- The EXIF fields of IOParams and their tags ----

using Member = std::variant<QString IOParams::*, int32_t IOParams::*, double IOParams::*,
                            std::vector<int32_t> IOParams::*>;

enum class Kind {
  Ascii,    // text
  Bytes,    // undefined bytes that are text ("0232")
  Ucs2,     // UTF-16LE bytes of the Windows tags
  Comment,  // text after a character-set prefix
  Dotted,   // bytes shown as "2.3.0.0"
  Number,   // component `component` of a numeric tag; a list member takes them all
};

struct Field {
  const char* key;
  Kind kind;
  Member member;
  int component = 0;
  double minimum = 0;  // smaller values cannot be written and leave the tag out
};

const Field kFields[] = {
    {"Exif.Image.ImageDescription", Kind::Ascii, &IOParams::EXIF_ImageDescription},
    {"Exif.Image.Make", Kind::Ascii, &IOParams::EXIF_Make},
    {"Exif.Image.Model", Kind::Ascii, &IOParams::EXIF_Model},
    {"Exif.Image.Orientation", Kind::Number, &IOParams::EXIF_Orientation, 0, 1},
    {"Exif.Image.XResolution", Kind::Number, &IOParams::EXIF_XResolution, 0, 1},
    {"Exif.Image.YResolution", Kind::Number, &IOParams::EXIF_YResolution, 0, 1},
    {"Exif.Image.Software", Kind::Ascii, &IOParams::EXIF_Software},
    {"Exif.Image.DateTime", Kind::Ascii, &IOParams::EXIF_DateTime},
    {"Exif.Image.Copyright", Kind::Ascii, &IOParams::EXIF_Copyright},
    {"Exif.Photo.ExposureTime", Kind::Number, &IOParams::EXIF_ExposureTime},
    {"Exif.Photo.FNumber", Kind::Number, &IOParams::EXIF_FNumber},
    {"Exif.Photo.ExposureProgram", Kind::Number, &IOParams::EXIF_ExposureProgram},
    {"Exif.Photo.ISOSpeedRatings", Kind::Number, &IOParams::EXIF_ISOSpeedRatings},
    {"Exif.Photo.ExifVersion", Kind::Bytes, &IOParams::EXIF_ExifVersion},
    {"Exif.Photo.DateTimeOriginal", Kind::Ascii, &IOParams::EXIF_DateTimeOriginal},
    {"Exif.Photo.DateTimeDigitized", Kind::Ascii, &IOParams::EXIF_DateTimeDigitized},
    {"Exif.Photo.CompressedBitsPerPixel", Kind::Number, &IOParams::EXIF_CompressedBitsPerPixel},
    {"Exif.Photo.ShutterSpeedValue", Kind::Number, &IOParams::EXIF_ShutterSpeedValue, 0, -HUGE_VAL},
    {"Exif.Photo.ApertureValue", Kind::Number, &IOParams::EXIF_ApertureValue},
    {"Exif.Photo.BrightnessValue", Kind::Number, &IOParams::EXIF_BrightnessValue, 0, -HUGE_VAL},
    {"Exif.Photo.ExposureBiasValue", Kind::Number, &IOParams::EXIF_ExposureBiasValue, 0, -HUGE_VAL},
    {"Exif.Photo.MaxApertureValue", Kind::Number, &IOParams::EXIF_MaxApertureValue},
    {"Exif.Photo.SubjectDistance", Kind::Number, &IOParams::EXIF_SubjectDistance},
    {"Exif.Photo.MeteringMode", Kind::Number, &IOParams::EXIF_MeteringMode},
    {"Exif.Photo.LightSource", Kind::Number, &IOParams::EXIF_LightSource},
    {"Exif.Photo.Flash", Kind::Number, &IOParams::EXIF_Flash},
    {"Exif.Photo.FocalLength", Kind::Number, &IOParams::EXIF_FocalLength},
    {"Exif.Photo.SubSecTime", Kind::Ascii, &IOParams::EXIF_SubsecTime},
    {"Exif.Photo.SubSecTimeOriginal", Kind::Ascii, &IOParams::EXIF_SubsecTimeOriginal},
    {"Exif.Photo.SubSecTimeDigitized", Kind::Ascii, &IOParams::EXIF_SubsecTimeDigitized},
    {"Exif.Photo.FlashpixVersion", Kind::Bytes, &IOParams::EXIF_FlashPixVersion},
    {"Exif.Photo.ColorSpace", Kind::Number, &IOParams::EXIF_ColorSpace},
    {"Exif.Photo.PixelXDimension", Kind::Number, &IOParams::EXIF_ExifImageWidth},
    {"Exif.Photo.PixelYDimension", Kind::Number, &IOParams::EXIF_ExifImageHeight},
    {"Exif.Photo.RelatedSoundFile", Kind::Ascii, &IOParams::EXIF_RelatedSoundFile},
    {"Exif.Photo.FocalPlaneXResolution", Kind::Number, &IOParams::EXIF_FocalPlaneXResolution},
    {"Exif.Photo.FocalPlaneYResolution", Kind::Number, &IOParams::EXIF_FocalPlaneYResolution},
    {"Exif.Photo.FocalPlaneResolutionUnit", Kind::Number, &IOParams::EXIF_FocalPlaneResolutionUnit},
    {"Exif.Photo.ExposureIndex", Kind::Number, &IOParams::EXIF_ExposureIndex},
    {"Exif.Photo.SensingMethod", Kind::Number, &IOParams::EXIF_SensingMethod},
    {"Exif.Photo.FileSource", Kind::Number, &IOParams::EXIF_FileSource},
    {"Exif.Photo.SceneType", Kind::Number, &IOParams::EXIF_SceneType},
    {"Exif.Photo.UserComment", Kind::Comment, &IOParams::EXIF_UserComment},
    {"Exif.Photo.CameraOwnerName", Kind::Ascii, &IOParams::EXIF_CameraOwnerName},
    {"Exif.Photo.BodySerialNumber", Kind::Ascii, &IOParams::EXIF_BodySerialNumber},
    {"Exif.Photo.LensMake", Kind::Ascii, &IOParams::EXIF_LensMake},
    {"Exif.Photo.LensModel", Kind::Ascii, &IOParams::EXIF_LensModel},
    {"Exif.Photo.LensSerialNumber", Kind::Ascii, &IOParams::EXIF_LensSerialNumber},
    {"Exif.Photo.Gamma", Kind::Number, &IOParams::EXIF_Gamma},
    {"Exif.Photo.SubjectArea", Kind::Number, &IOParams::EXIF_SubjectArea},
    {"Exif.Photo.SubjectLocation", Kind::Number, &IOParams::EXIF_SubjectLocationX, 0},
    {"Exif.Photo.SubjectLocation", Kind::Number, &IOParams::EXIF_SubjectLocationY, 1},
    {"Exif.Image.XPTitle", Kind::Ucs2, &IOParams::EXIF_XPTitle},
    {"Exif.Image.XPComment", Kind::Ucs2, &IOParams::EXIF_XPComment},
    {"Exif.Image.XPAuthor", Kind::Ucs2, &IOParams::EXIF_XPAuthor},
    {"Exif.Image.XPKeywords", Kind::Ucs2, &IOParams::EXIF_XPKeywords},
    {"Exif.Image.XPSubject", Kind::Ucs2, &IOParams::EXIF_XPSubject},
    {"Exif.GPSInfo.GPSVersionID", Kind::Dotted, &IOParams::EXIF_GPSVersionID},
    {"Exif.GPSInfo.GPSDateStamp", Kind::Ascii, &IOParams::EXIF_GPSDateStamp},
    {"Exif.GPSInfo.GPSAltitude", Kind::Number, &IOParams::EXIF_GPSAltitude},
    {"Exif.GPSInfo.GPSLatitude", Kind::Number, &IOParams::EXIF_GPSLatitudeDegrees, 0},
    {"Exif.GPSInfo.GPSLatitude", Kind::Number, &IOParams::EXIF_GPSLatitudeMinutes, 1},
    {"Exif.GPSInfo.GPSLatitude", Kind::Number, &IOParams::EXIF_GPSLatitudeSeconds, 2},
    {"Exif.GPSInfo.GPSLatitudeRef", Kind::Ascii, &IOParams::EXIF_GPSLatitudeRef},
    {"Exif.GPSInfo.GPSLongitude", Kind::Number, &IOParams::EXIF_GPSLongitudeDegrees, 0},
    {"Exif.GPSInfo.GPSLongitude", Kind::Number, &IOParams::EXIF_GPSLongitudeMinutes, 1},
    {"Exif.GPSInfo.GPSLongitude", Kind::Number, &IOParams::EXIF_GPSLongitudeSeconds, 2},
    {"Exif.GPSInfo.GPSLongitudeRef", Kind::Ascii, &IOParams::EXIF_GPSLongitudeRef},
};

bool isRational(Exiv2::TypeId type) { return type == Exiv2::unsignedRational || type == Exiv2::signedRational; }

// A rational component as a real; nothing for a zero denominator.
std::optional<double> rationalAt(const Exiv2::Value& value, long i) {
  if (value.typeId() == Exiv2::unsignedRational) {
    const auto* v = dynamic_cast<const Exiv2::URationalValue*>(&value);
    if (!v || v->value_.at(size_t(i)).second == 0) return std::nullopt;
    return double(v->value_.at(size_t(i)).first) / double(v->value_.at(size_t(i)).second);
  }
  const Exiv2::Rational r = value.toRational(i);
  if (r.second == 0) return std::nullopt;
  return double(r.first) / double(r.second);
}

void readField(const Field& f, const Exiv2::Value& value, IOParams& p) {
  const long count = value.count();
  switch (f.kind) {
    case Kind::Ascii:
      p.*std::get<QString IOParams::*>(f.member) = decodeText(untilNul(value.toString()));
      return;
    case Kind::Bytes:
      p.*std::get<QString IOParams::*>(f.member) = QString::fromLatin1(untilNul(bytesOf(value)));
      return;
    case Kind::Ucs2: {
      const std::string b = bytesOf(value);
      QString text;
      for (size_t i = 0; i + 1 < b.size(); i += 2) {
        const char16_t c = char16_t(uint8_t(b[i]) | uint8_t(b[i + 1]) << 8);
        if (!c) break;
        text.append(QChar(c));
      }
      p.*std::get<QString IOParams::*>(f.member) = text;
      return;
    }
    case Kind::Comment: {
      const auto* comment = dynamic_cast<const Exiv2::CommentValue*>(&value);
      p.*std::get<QString IOParams::*>(f.member) =
          QString::fromStdString(comment ? comment->comment() : value.toString()).trimmed();
      return;
    }
    case Kind::Dotted: {
      QStringList parts;
      for (long i = 0; i < count; ++i) parts << QString::number(value.toLong(i));
      p.*std::get<QString IOParams::*>(f.member) = parts.join('.');
      return;
    }
    case Kind::Number:
      break;
  }
  if (auto list = std::get_if<std::vector<int32_t> IOParams::*>(&f.member)) {
    auto& out = p.**list;
    out.clear();
    for (long i = 0; i < count; ++i) out.push_back(int32_t(value.toLong(i)));
    return;
  }
  if (f.component >= count) return;
  std::optional<double> v;
  if (isRational(value.typeId())) v = rationalAt(value, f.component);
  else v = double(value.toFloat(f.component));
  if (!v || !std::isfinite(*v)) return;
  if (auto real = std::get_if<double IOParams::*>(&f.member)) p.**real = *v;
  else if (std::fabs(*v) < double(INT32_MAX)) p.*std::get<int32_t IOParams::*>(f.member) = int32_t(*v);
}

void readFields(const Exiv2::ExifData& exif, IOParams& p) {
  for (const Field& f : kFields) {
    const auto pos = exif.findKey(Exiv2::ExifKey(f.key));
    if (pos != exif.end()) readField(f, pos->value(), p);
  }
}

bool sameField(const Field& f, const IOParams& a, const IOParams& b) {
  return std::visit(
      [&](auto member) {
        if constexpr (std::is_same_v<decltype(member), double IOParams::*>)
          return (std::isnan(a.*member) && std::isnan(b.*member)) || a.*member == b.*member;
        else
          return a.*member == b.*member;
      },
      f.member);
}

// The fraction nearest `v` with a denominator up to 10^6 (continued fractions): exact
// for what cameras write (1/250, 28/10).
std::optional<std::pair<int64_t, int64_t>> fraction(double v, int64_t largest) {
  const double x0 = std::fabs(v);
  if (!std::isfinite(v) || x0 > double(largest)) return std::nullopt;
  int64_t h0 = 0, h1 = 1, k0 = 1, k1 = 0;
  double x = x0;
  for (int i = 0; i < 64; ++i) {
    const double a = std::floor(x);
    const double h2 = a * double(h1) + double(h0), k2 = a * double(k1) + double(k0);
    if (k2 > 1e6 || h2 > double(largest)) break;
    h0 = h1, k0 = k1;
    h1 = int64_t(h2), k1 = int64_t(k2);
    if (std::fabs(x0 - double(h1) / double(k1)) <= 1e-12 * x0 || x - a < 1e-12) break;
    x = 1.0 / (x - a);
  }
  if (k1 == 0) return std::nullopt;
  return std::make_pair(v < 0 ? -h1 : h1, k1);
}

// The text Exiv2 reads for `values` in `type`; nothing when a value does not fit it.
std::optional<std::string> numbersText(const std::vector<double>& values, Exiv2::TypeId type) {
  std::string text;
  for (double v : values) {
    if (!text.empty()) text += ' ';
    if (!std::isfinite(v)) return std::nullopt;
    if (isRational(type)) {
      const bool sign = type == Exiv2::signedRational;
      if (!sign && v < 0) return std::nullopt;
      const auto r = fraction(v, sign ? INT32_MAX : UINT32_MAX);
      if (!r) return std::nullopt;
      text += std::to_string(r->first) + '/' + std::to_string(r->second);
      continue;
    }
    const long long n = std::llround(v);
    const long long top = type == Exiv2::unsignedByte || type == Exiv2::undefined ? 255
                          : type == Exiv2::unsignedShort                         ? 65535
                          : type == Exiv2::signedShort                           ? 32767
                          : type == Exiv2::signedLong                            ? INT32_MAX
                                                                                 : UINT32_MAX;
    const long long bottom = type == Exiv2::signedShort ? -32768 : type == Exiv2::signedLong ? INT32_MIN : 0;
    if (n < bottom || n > top) return std::nullopt;
    text += std::to_string(n);
  }
  return text;
}

// Replaces the tag of `group` (the fields of one key) by the values in `p`; a value the
// tag cannot hold, or an empty one, leaves the tag out.
void writeGroup(const std::vector<const Field*>& group, const IOParams& p, Exiv2::ExifData& exif) {
  const Field& f = *group.front();
  const Exiv2::ExifKey key(f.key);
  Exiv2::TypeId type = key.defaultTypeId();
  if (auto pos = exif.findKey(key); pos != exif.end()) {
    if (f.kind == Kind::Number && pos->typeId() != Exiv2::undefined) type = pos->typeId();
    exif.erase(pos);
  }
  const QString* text = std::holds_alternative<QString IOParams::*>(f.member)
                            ? &(p.*std::get<QString IOParams::*>(f.member))
                            : nullptr;
  if (text && text->isEmpty()) return;
  switch (f.kind) {
    case Kind::Ascii:
      exif[f.key] = text->toStdString();
      return;
    case Kind::Bytes:
    case Kind::Ucs2: {
      std::string bytes = f.kind == Kind::Bytes ? text->toLatin1().toStdString() : std::string();
      if (f.kind == Kind::Ucs2) {
        for (const QChar c : *text) bytes += {char(c.unicode() & 0xFF), char(c.unicode() >> 8)};
        bytes += std::string(2, '\0');
      }
      Exiv2::DataValue value(f.kind == Kind::Bytes ? Exiv2::undefined : Exiv2::unsignedByte);
      value.read(reinterpret_cast<const Exiv2::byte*>(bytes.data()), long(bytes.size()), Exiv2::littleEndian);
      exif.add(key, &value);
      return;
    }
    case Kind::Comment: {
      bool ascii = true;
      for (const QChar c : *text) ascii = ascii && c.unicode() < 128;
      Exiv2::CommentValue value;
      if (value.read(std::string(ascii ? "charset=Ascii " : "charset=Unicode ") + text->toStdString()) == 0)
        exif.add(key, &value);
      return;
    }
    case Kind::Dotted: {
      std::vector<double> parts;
      for (const QString& part : text->split('.')) {
        bool ok = false;
        parts.push_back(part.trimmed().toInt(&ok));
        if (!ok) return;
      }
      if (const auto numbers = numbersText(parts, Exiv2::unsignedByte)) {
        Exiv2::DataValue value(Exiv2::unsignedByte);
        if (value.read(*numbers) == 0) exif.add(key, &value);
      }
      return;
    }
    case Kind::Number:
      break;
  }
  std::vector<double> values;
  for (const Field* g : group) {
    if (auto list = std::get_if<std::vector<int32_t> IOParams::*>(&g->member)) {
      for (int32_t n : p.**list) values.push_back(n);
      continue;
    }
    double v;
    if (auto real = std::get_if<double IOParams::*>(&g->member)) {
      v = p.**real;
    } else {
      const int32_t n = p.*std::get<int32_t IOParams::*>(g->member);
      v = n == kNoExifInt ? NAN : n;
    }
    if (std::isnan(v) || v < g->minimum) return;
    values.push_back(v);
  }
  if (values.empty()) return;
  const auto numbers = numbersText(values, type);
  if (!numbers) return;
  Exiv2::Value::AutoPtr value = Exiv2::Value::create(type);
  if (value->read(*numbers) == 0) exif.add(key, value.get());
}

// Sets a tag that is present to a number; leaves it out when absent.
void updateIfPresent(Exiv2::ExifData& exif, const char* key, const std::string& value) {
  const auto pos = exif.findKey(Exiv2::ExifKey(key));
  if (pos != exif.end()) pos->setValue(value);
}

void updateIfPresent(Exiv2::XmpData& xmp, const char* key, int value) {
  const auto pos = xmp.findKey(Exiv2::XmpKey(key));
  if (pos != xmp.end()) pos->setValue(std::to_string(value));
}

// The pixel dimensions that EXIF and XMP carry become `width` × `height`.
void describeSize(Exiv2::ExifData& exif, int width, int height) {
  for (const auto& [key, n] :
       {std::pair{"Exif.Photo.PixelXDimension", width}, std::pair{"Exif.Photo.PixelYDimension", height}}) {
    const auto pos = exif.findKey(Exiv2::ExifKey(key));
    if (pos == exif.end()) continue;
    // A short cannot hold every size.
    Exiv2::ULongValue value;
    value.value_.push_back(uint32_t(n));
    pos->setValue(&value);
  }
}

void describeSize(Exiv2::XmpData& xmp, int width, int height) {
  updateIfPresent(xmp, "Xmp.exif.PixelXDimension", width);
  updateIfPresent(xmp, "Xmp.exif.PixelYDimension", height);
  updateIfPresent(xmp, "Xmp.tiff.ImageWidth", width);
  updateIfPresent(xmp, "Xmp.tiff.ImageLength", height);
}

Exiv2::ExifData decodeExif(const QByteArray& raw) {
  Exiv2::ExifData exif;
  if (!raw.isEmpty())
    Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte*>(raw.constData()), uint32_t(raw.size()));
  return exif;
}

// ---- Reading ----

// Whether a tag of a file's EXIF travels to the saved file. Tags of the file's own
// layout (strips, tiles, sample format), of its other sub-images and of the thumbnail
// (which shows the pixels as they were) stay behind; the profile, IPTC and XMP have
// fields of their own.
bool travels(const Exiv2::Exifdatum& d) {
  static const uint16_t kLayout[] = {
      0x00FE, 0x00FF, 0x0100, 0x0101, 0x0102, 0x0103, 0x0106, 0x0107, 0x0108, 0x0109, 0x010A, 0x0111,
      0x0115, 0x0116, 0x0117, 0x0118, 0x0119, 0x011C, 0x0122, 0x0123, 0x0124, 0x0125, 0x0129, 0x013D,
      0x0140, 0x0142, 0x0143, 0x0144, 0x0145, 0x014A, 0x014C, 0x0152, 0x0153, 0x0154, 0x0155, 0x0200,
      0x0201, 0x0202, 0x0211, 0x0212, 0x0214, 0x02BC, 0x83BB, 0x8649, 0x8773};
  const std::string group = d.groupName();
  if (group == "Image") return std::find(std::begin(kLayout), std::end(kLayout), d.tag()) == std::end(kLayout);
  return group == "Photo" || group == "GPSInfo" || group == "Iop" || group == "MakerNote" ||
         Exiv2::ExifTags::isMakerGroup(group);
}

void readExif(const Exiv2::ExifData& found, bool turned, int width, int height, IOParams& p) {
  Exiv2::ExifData exif;
  for (const Exiv2::Exifdatum& d : found)
    if (travels(d)) exif.add(d);
  if (exif.empty()) return;
  if (turned) {
    updateIfPresent(exif, "Exif.Image.Orientation", "1");
    describeSize(exif, width, height);
  }
  // Kept as a TIFF structure, which has no size limit (unlike the JPEG segment); the
  // fields come from what was kept, so that only an edit makes them differ from it.
  Exiv2::MemIo io;
  Exiv2::IptcData noIptc;
  Exiv2::XmpData noXmp;
  Exiv2::TiffParser::encode(io, nullptr, 0, Exiv2::littleEndian, exif, noIptc, noXmp);
  if (io.size() == 0) return;
  p.EXIF_Raw = QByteArray(qsizetype(io.size()), Qt::Uninitialized);
  io.seek(0, Exiv2::BasicIo::beg);
  if (io.read(reinterpret_cast<Exiv2::byte*>(p.EXIF_Raw.data()), long(p.EXIF_Raw.size())) != long(p.EXIF_Raw.size()))
    throw std::runtime_error("cannot keep the EXIF block");
  readFields(decodeExif(p.EXIF_Raw), p);
  p.EXIF_HasEXIFData = true;
}

void readIptc(const Exiv2::IptcData& iptc, IOParams& p) {
  for (const Exiv2::Iptcdatum& d : iptc) {
    // Numbers (the record versions) as decimals; everything else as the stored bytes.
    const bool number = d.typeId() == Exiv2::unsignedShort;
    const QString value = number ? QString::fromStdString(d.toString()) : decodeText(bytesOf(d.value()));
    p.IPTC_Info.push_back({int32_t(d.record()), int32_t(d.tag()), value});
  }
}

void readXmp(Exiv2::Image& image, bool turned, int width, int height, IOParams& p) {
  const std::string& packet = image.xmpPacket();
  if (packet.empty()) return;
  Exiv2::XmpData xmp = image.xmpData();
  const auto orientation = xmp.findKey(Exiv2::XmpKey("Xmp.tiff.Orientation"));
  std::string rewritten;
  if (turned && orientation != xmp.end()) {
    orientation->setValue("1");
    describeSize(xmp, width, height);
    if (Exiv2::XmpParser::encode(rewritten, xmp) != 0) rewritten.clear();
  }
  p.XMP_Packet = QByteArray::fromStdString(rewritten.empty() ? packet : rewritten);
}

// ---- Writing ----

void buildExif(const IOParams& p, int width, int height, Exiv2::ExifData& exif) {
  exif = decodeExif(p.EXIF_Raw);
  IOParams kept;
  readFields(exif, kept);
  const size_t n = std::size(kFields);
  for (size_t i = 0; i < n;) {
    std::vector<const Field*> group{&kFields[i]};
    while (i + group.size() < n && !std::strcmp(kFields[i + group.size()].key, kFields[i].key))
      group.push_back(&kFields[i + group.size()]);
    bool changed = false;
    for (const Field* f : group) changed = changed || !sameField(*f, p, kept);
    if (changed) writeGroup(group, p, exif);
    i += group.size();
  }
  describeSize(exif, width, height);
  // The resolution follows the image, unless it was edited.
  bool resolution = false;
  for (const auto& [key, dpi, edited] :
       {std::tuple{"Exif.Image.XResolution", p.DpiX, p.EXIF_XResolution != kept.EXIF_XResolution},
        {"Exif.Image.YResolution", p.DpiY, p.EXIF_YResolution != kept.EXIF_YResolution}}) {
    const auto pos = exif.findKey(Exiv2::ExifKey(key));
    if (pos == exif.end() || edited || dpi <= 0) continue;
    pos->setValue(std::to_string(dpi) + "/1");
    resolution = true;
  }
  if (resolution) exif["Exif.Image.ResolutionUnit"] = uint16_t(2);
}

bool buildIptc(const IOParams& p, Exiv2::IptcData& iptc, QString& error) {
  bool wide = false;
  const IptcRecord* charset = nullptr;
  for (const IptcRecord& r : p.IPTC_Info) {
    if (r.record < 1 || r.record > 255 || r.dataset < 0 || r.dataset > 255) {
      error = QString("%1:%2 is not an IPTC data set").arg(r.record).arg(r.dataset);
      return false;
    }
    if (r.record == 1 && r.dataset == 90) {  // the character set, decided below
      charset = &r;
      continue;
    }
    const Exiv2::IptcKey key(uint16_t(r.dataset), uint16_t(r.record));
    const std::string bytes = r.value.toStdString();
    for (char c : bytes) wide = wide || uint8_t(c) >= 0x80;
    Exiv2::UShortValue number;
    Exiv2::StringValue text(bytes);
    const bool isNumber = Exiv2::IptcDataSets::dataSetType(uint16_t(r.dataset), uint16_t(r.record)) ==
                              Exiv2::unsignedShort &&
                          number.read(bytes) == 0 && number.count() == 1;
    if (iptc.add(key, isNumber ? static_cast<Exiv2::Value*>(&number) : &text) != 0) {
      error = QString("the IPTC data set %1:%2 may occur only once").arg(r.record).arg(r.dataset);
      return false;
    }
  }
  // Texts are written as UTF-8, which the character-set data set must then say.
  if (wide || charset) {
    Exiv2::StringValue value(wide ? std::string("\x1b%G") : charset->value.toLatin1().toStdString());
    iptc.add(Exiv2::IptcKey(90, 1), &value);
  }
  return true;
}

void setXmp(const IOParams& p, const Exiv2::ExifData* exif, int width, int height, Exiv2::Image& image) {
  Exiv2::XmpData xmp;
  if (Exiv2::XmpParser::decode(xmp, p.XMP_Packet.toStdString()) != 0 || xmp.empty()) {
    image.setXmpPacket(p.XMP_Packet.toStdString());
    image.writeXmpFromPacket(true);
    return;
  }
  describeSize(xmp, width, height);
  if (exif) {  // one orientation for both, the EXIF one (which an edit may have changed)
    const auto pos = exif->findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (pos != exif->end()) updateIfPresent(xmp, "Xmp.tiff.Orientation", int(pos->toLong()));
  }
  image.setXmpData(xmp);
}

// Writers make room by leaving tags out (a JPEG segment holds 64 KB); a save that lost a
// field, the IPTC data, the XMP or the profile must not pass for one that kept them.
// Other tags that do not fit (large maker notes) may be left out.
void verify(Exiv2::Image& written, const Exiv2::ExifData* exif, long iptcCount, bool xmp, bool icc) {
  Exiv2::BasicIo& io = written.io();
  const Exiv2::byte* bytes = io.mmap();
  struct Unmap {
    Exiv2::BasicIo& io;
    ~Unmap() { io.munmap(); }
  } unmap{io};
  auto back = Exiv2::ImageFactory::open(bytes, long(io.size()));
  back->readMetadata();
  if (exif) {
    IOParams meant, found;
    readFields(*exif, meant);
    readFields(back->exifData(), found);
    for (const Field& f : kFields)
      if (!sameField(f, meant, IOParams{}) && !sameField(f, meant, found))
        throw std::runtime_error(std::string("the file type has no room for ") + f.key);
  }
  if (back->iptcData().count() < iptcCount) throw std::runtime_error("the file type has no room for all IPTC data");
  if (xmp && back->xmpPacket().empty()) throw std::runtime_error("the file type has no room for the XMP data");
  if (icc && !back->iccProfileDefined()) throw std::runtime_error("the file type has no room for the colour profile");
}

}  // namespace

MetadataSupport metadataSupport(int32_t fileType) {
  const int type = exivTypeOf(fileType);
  if (type == Exiv2::ImageType::none) return {};
  const auto writes = [&](Exiv2::MetadataId id) {
    return (Exiv2::ImageFactory::checkMode(type, id) & Exiv2::amWrite) != 0;
  };
  // Exiv2 does not declare profiles; it writes them into these (APP2, iCCP, the TIFF
  // tag, ICCP, the colr box).
  const bool icc = fileType == FileTypeCode::JPEG || fileType == FileTypeCode::PNG || fileType == FileTypeCode::TIFF ||
                   fileType == FileTypeCode::WEBP || fileType == FileTypeCode::JP2;
  return {writes(Exiv2::mdExif), writes(Exiv2::mdIptc), writes(Exiv2::mdXmp), icc};
}

void clearExif(IOParams& params) {
  const IOParams none;
  for (const Field& f : kFields) std::visit([&](auto member) { params.*member = none.*member; }, f.member);
  params.EXIF_Raw.clear();
  params.EXIF_HasEXIFData = false;
}

void clearMetadata(IOParams& params) {
  clearExif(params);
  params.IPTC_Info.clear();
  params.XMP_Packet.clear();
  params.InputICCProfile.clear();
}

void readMetadata(const uint8_t* data, size_t size, bool pixelsTurned, int width, int height, IOParams& params) {
  clearMetadata(params);
  if (size == 0 || size > size_t(LONG_MAX)) return;
  initExiv2();
  // Each kind on its own: what one of them throws does not cost the others.
  const auto guarded = [&](auto&& read, auto&& undo) {
    try {
      read();
    } catch (...) {
      undo();
    }
  };
  try {
    if (Exiv2::ImageFactory::getType(data, long(size)) == Exiv2::ImageType::none) return;
    auto image = Exiv2::ImageFactory::open(data, long(size));
    image->readMetadata();
    guarded([&] { readExif(image->exifData(), pixelsTurned, width, height, params); },
            [&] { clearExif(params); });
    guarded([&] { readIptc(image->iptcData(), params); }, [&] { params.IPTC_Info.clear(); });
    guarded([&] { readXmp(*image, pixelsTurned, width, height, params); }, [&] { params.XMP_Packet.clear(); });
    if (image->iccProfileDefined())
      params.InputICCProfile = QByteArray(reinterpret_cast<const char*>(image->iccProfile()->pData_),
                                          qsizetype(image->iccProfile()->size_));
  } catch (...) {
    // Unreadable metadata: the image loads without it.
  }
}

bool writeMetadata(int32_t fileType, const IOParams& params, const Bitmap& image, QByteArray& file,
                   QString& error) {
  const int width = image.width(), height = image.height();
  const MetadataSupport can = metadataSupport(fileType);
  const bool keep = !params.StripMetadata;
  const bool exif = keep && can.exif && params.EXIF_HasEXIFData;
  const bool iptc = keep && can.iptc && !params.IPTC_Info.empty();
  const bool xmp = keep && can.xmp && !params.XMP_Packet.isEmpty();
  const bool icc = can.icc && profileFits(params.InputICCProfile, image.format());
  if (!exif && !iptc && !xmp && !icc) return true;
  initExiv2();
  QString reason;
  try {
    auto target = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(file.constData()), long(file.size()));
    Exiv2::ExifData exifData;
    if (exif) {
      buildExif(params, width, height, exifData);
      target->setExifData(exifData);
    }
    if (iptc) {
      Exiv2::IptcData iptcData;
      if (!buildIptc(params, iptcData, reason)) throw std::invalid_argument("bad IPTC");
      target->setIptcData(iptcData);
    }
    if (xmp) setXmp(params, exif ? &exifData : nullptr, width, height, *target);
    if (icc) {
      Exiv2::DataBuf profile(reinterpret_cast<const Exiv2::byte*>(params.InputICCProfile.constData()),
                             long(params.InputICCProfile.size()));
      target->setIccProfile(profile, true);
    }
    target->writeMetadata();
    verify(*target, exif ? &exifData : nullptr, iptc ? target->iptcData().count() : 0, xmp, icc);
    Exiv2::BasicIo& io = target->io();
    if (io.open() != 0) throw std::runtime_error("cannot reopen the written file");
    QByteArray bytes(qsizetype(io.size()), Qt::Uninitialized);
    const long got = io.read(reinterpret_cast<Exiv2::byte*>(bytes.data()), long(bytes.size()));
    io.close();
    if (got != long(bytes.size())) throw std::runtime_error("cannot read the written file back");
    file = std::move(bytes);
    return true;
  } catch (const std::exception& e) {
    if (reason.isEmpty()) reason = QString::fromLocal8Bit(e.what());
  } catch (...) {
    reason = "unexpected failure";
  }
  error = QString("Cannot write the metadata of the image (%1); remove the metadata or choose another file type")
              .arg(reason);
  return false;
}

}  // namespace lumo
