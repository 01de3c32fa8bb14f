#include "RtfReaderFuzz.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <cstdlib>
#include <functional>

#include "engine/text/RtfReader.h"
#include "engine/text/RtfWriter.h"

namespace lumo {

void fuzzRtfReader(const uint8_t* data, size_t size) {
  QTextDocument doc;
  if (!text::readRtf(QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size)), doc)) return;
  QTextDocument again;
  if (!text::readRtf(text::writeRtf(doc), again) || again.toRawText() != doc.toRawText()) std::abort();
}

std::vector<std::pair<std::string, std::vector<uint8_t>>> makeSeedRtf() {
  auto seed = [](const char* name, const std::function<void(QTextCursor&)>& fill) {
    QTextDocument doc;
    QTextCursor c(&doc);
    fill(c);
    const QByteArray rtf = text::writeRtf(doc).toLatin1();
    return std::pair{std::string(name), std::vector<uint8_t>(rtf.begin(), rtf.end())};
  };
  QTextCharFormat bold, red, serif;
  bold.setFontWeight(QFont::Bold);
  red.setForeground(QColor(255, 0, 0));
  red.setBackground(QColor(255, 255, 0));
  serif.setFontFamilies({QStringLiteral("Times New Roman")});
  serif.setFontPointSize(18);
  serif.setFontItalic(true);
  QTextBlockFormat centred, spaced;
  centred.setAlignment(Qt::AlignHCenter);
  spaced.setLineHeight(150, QTextBlockFormat::ProportionalHeight);
  spaced.setLeftMargin(24);
  return {
      seed("runs.rtf", [&](QTextCursor& c) {
        c.insertText(QStringLiteral("plain "));
        c.insertText(QStringLiteral("bold "), bold);
        c.insertText(QStringLiteral("red "), red);
        c.insertText(QStringLiteral("serif"), serif);
      }),
      seed("paragraphs.rtf", [&](QTextCursor& c) {
        c.insertText(QStringLiteral("left"));
        c.insertBlock(centred);
        c.insertText(QStringLiteral("centred"));
        c.insertBlock(spaced);
        c.insertText(QStringLiteral("spaced\tand\u2028broken"));
      }),
      seed("lists.rtf", [&](QTextCursor& c) {
        c.createList(QTextListFormat::ListDisc);
        c.insertText(QStringLiteral("bullet"));
        c.insertBlock();
        c.insertText(QStringLiteral("bullet"));
        c.insertBlock(QTextBlockFormat());
        c.insertList(QTextListFormat::ListDecimal);
        c.insertText(QStringLiteral("number"));
      }),
      seed("unicode.rtf", [&](QTextCursor& c) { c.insertText(QString::fromUtf8("café € при 你好 😀 {\\}")); }),
  };
}

}  // namespace lumo
