#include "engine/text/RtfCodePage.h"

#include <QStringDecoder>
#include <array>
#include <map>
#include <memory>

namespace lumo::text {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80 … 0x9F; the five unused bytes read as
// the control characters of the same value, as the platform's own conversion does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString decodeCp1252(const QByteArray& bytes) {
  QString out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const uint8_t b = uint8_t(ch);
    out.append(QChar(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b)));
  }
  return out;
}

}  // namespace

int codePageOfCharset(int charset) {
  switch (charset) {
    case 77: return 10000;  // Mac Roman
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    default: return 0;
  }
}

QString decodeCodePage(int codePage, const QByteArray& bytes) {
  if (codePage == 1252 || codePage <= 0) return decodeCp1252(bytes);
  if (codePage == 65001) return QString::fromUtf8(bytes);
  // One decoder per code page and thread, made when first needed.
  thread_local std::map<int, std::unique_ptr<QStringDecoder>> decoders;
  auto it = decoders.find(codePage);
  if (it == decoders.end()) {
    const QByteArray name = codePage == 10000 ? QByteArray("macintosh") : "windows-" + QByteArray::number(codePage);
    auto decoder = std::make_unique<QStringDecoder>(name.constData(), QStringDecoder::Flag::Stateless);
    it = decoders.emplace(codePage, decoder->isValid() ? std::move(decoder) : nullptr).first;
  }
  if (!it->second) return decodeCp1252(bytes);
  return it->second->decode(bytes);
}

int cp1252Byte(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (size_t i = 0; i < kCp1252High.size(); ++i)
    if (kCp1252High[i] == c) return int(0x80 + i);
  return -1;
}

}  // namespace lumo::text
