#include "engine/text/RtfWriter.h"

#include <QHash>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <cmath>

#include "engine/text/RtfCodePage.h"

namespace lumo::text {

namespace {

int twipsOfPixels(double px) { return int(std::lround(px * 15)); }  // at 96 pixels per inch

void appendEscaped(QString& out, QStringView text) {
  for (const QChar qc : text) {
    const char16_t c = qc.unicode();
    if (c == u'\\' || c == u'{' || c == u'}') {
      out += u'\\';
      out += qc;
    } else if (c == u'\t') {
      out += u"\\tab ";
    } else if (c == QChar::LineSeparator) {
      out += u"\\line ";
    } else if (c == 0x00A0) {
      out += u"\\~";
    } else if (c >= 0x20 && c < 0x80) {
      out += qc;
    } else if (c < 0x20 || c == QChar::ObjectReplacementCharacter) {
      continue;  // control characters and embedded objects have no text
    } else if (const int b = cp1252Byte(c); b >= 0) {
      out += QStringLiteral("\\'%1").arg(b, 2, 16, QLatin1Char('0'));
    } else {
      out += QStringLiteral("\\u%1?").arg(int(int16_t(c)));
    }
  }
}

int numberFormatOf(QTextListFormat::Style style) {
  switch (style) {
    case QTextListFormat::ListDecimal: return 0;
    case QTextListFormat::ListUpperRoman: return 1;
    case QTextListFormat::ListLowerRoman: return 2;
    case QTextListFormat::ListUpperAlpha: return 3;
    case QTextListFormat::ListLowerAlpha: return 4;
    default: return 23;  // bullet
  }
}

int listLevel(const QTextList* list) { return std::clamp(list->format().indent() - 1, 0, 8); }

class Writer {
 public:
  explicit Writer(const QTextDocument& doc) : doc_(doc) {
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
      collect(b.charFormat());
      for (auto it = b.begin(); !it.atEnd(); ++it) collect(it.fragment().charFormat());
      if (QTextList* l = b.textList(); l && !listIndex_.contains(l)) {
        listIndex_.insert(l, int(lists_.size()) + 1);
        lists_.push_back(l);
      }
    }
  }

  QString run() {
    QString out = QStringLiteral("{\\rtf1\\ansi\\ansicpg1252\\uc1\n{\\fonttbl");
    for (qsizetype i = 0; i < fontNames_.size(); ++i) {
      out += QStringLiteral("{\\f%1\\fnil ").arg(i);
      appendEscaped(out, QString(fontNames_[i]).remove(QLatin1Char(';')));
      out += u";}";
    }
    out += u"}\n{\\colortbl ;";
    for (const QColor& c : colors_) out += QStringLiteral("\\red%1\\green%2\\blue%3;").arg(c.red()).arg(c.green()).arg(c.blue());
    out += u"}\n";
    writeListTables(out);
    for (QTextBlock b = doc_.begin(); b.isValid(); b = b.next()) {
      writeParagraph(out, b);
      for (auto it = b.begin(); !it.atEnd(); ++it) {
        const QTextFragment f = it.fragment();
        out += u'{';
        out += format(f.charFormat());
        appendEscaped(out, f.text());
        out += u'}';
      }
      // Every paragraph but the last ends in a paragraph mark; so does a last one that
      // is empty, which would not be there otherwise. An empty paragraph's mark carries
      // its format, so that its line keeps its height.
      if (b.length() == 1 && b != doc_.begin()) out += QLatin1Char('{') + format(b.charFormat()) + QLatin1String("\\par}\n");
      else if (b.next().isValid()) out += u"\\par\n";
    }
    out += u"}\n";
    return out;
  }

 private:
  void collect(const QTextCharFormat& f) {
    const QString family = f.fontFamilies().toStringList().value(0);
    if (!family.isEmpty() && !fonts_.contains(family)) {
      fonts_.insert(family, int(fontNames_.size()));
      fontNames_.push_back(family);
    }
    for (const int property : {int(QTextFormat::ForegroundBrush), int(QTextFormat::BackgroundBrush)}) {
      const QBrush brush = f.brushProperty(property);
      if (!f.hasProperty(property) || brush.style() == Qt::NoBrush) continue;
      const QRgb rgb = brush.color().rgb();
      if (!colorIndex_.contains(rgb)) {
        colorIndex_.insert(rgb, int(colors_.size()) + 1);
        colors_.push_back(brush.color());
      }
    }
  }

  int colorOf(const QTextCharFormat& f, int property) const {
    if (!f.hasProperty(property) || f.brushProperty(property).style() == Qt::NoBrush) return 0;
    return colorIndex_.value(f.brushProperty(property).color().rgb());
  }

  QString format(const QTextCharFormat& f) const {
    QString s;
    const QString family = f.fontFamilies().toStringList().value(0);
    if (!family.isEmpty()) s += QStringLiteral("\\f%1").arg(fonts_.value(family));
    double points = 0;
    if (f.hasProperty(QTextFormat::FontPointSize)) points = f.fontPointSize();
    else if (f.hasProperty(QTextFormat::FontPixelSize)) points = f.intProperty(QTextFormat::FontPixelSize) * 0.75;
    if (points > 0) s += QStringLiteral("\\fs%1").arg(std::lround(points * 2));
    if (f.fontWeight() >= QFont::DemiBold) s += u"\\b";
    if (f.fontItalic()) s += u"\\i";
    if (f.fontUnderline()) s += u"\\ul";
    if (f.fontStrikeOut()) s += u"\\strike";
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript) s += u"\\super";
    else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript) s += u"\\sub";
    if (const int c = colorOf(f, QTextFormat::ForegroundBrush)) s += QStringLiteral("\\cf%1").arg(c);
    if (const int c = colorOf(f, QTextFormat::BackgroundBrush)) s += QStringLiteral("\\highlight%1").arg(c);
    return s.isEmpty() ? s : s + u' ';
  }

  // One list definition and override per list of the document, every level up to the
  // list's own numbered in its style.
  void writeListTables(QString& out) const {
    if (lists_.empty()) return;
    out += u"{\\*\\listtable";
    for (size_t n = 0; n < lists_.size(); ++n) {
      const int nfc = numberFormatOf(lists_[n]->format().style());
      out += QStringLiteral("{\\list\\listtemplateid%1\\listhybrid").arg(n + 1);
      for (int level = 0; level <= listLevel(lists_[n]); ++level) {
        out += QStringLiteral("{\\listlevel\\levelnfc%1\\levelnfcn%1\\leveljc0\\leveljcn0\\levelfollow0\\levelstartat1").arg(nfc);
        out += nfc == 23 ? QStringLiteral("{\\leveltext\\'01\\u8226 ?;}{\\levelnumbers;}")
                         : QStringLiteral("{\\leveltext\\'02\\'%1.;}{\\levelnumbers\\'01;}").arg(level, 2, 16, QLatin1Char('0'));
        out += QStringLiteral("\\fi-360\\li%1}").arg(720 * (level + 1));
      }
      out += QStringLiteral("\\listid%1}").arg(n + 1);
    }
    out += u"}\n{\\*\\listoverridetable";
    for (size_t n = 0; n < lists_.size(); ++n)
      out += QStringLiteral("{\\listoverride\\listid%1\\listoverridecount0\\ls%1}").arg(n + 1);
    out += u"}\n";
  }

  void writeParagraph(QString& out, const QTextBlock& b) {
    const QTextBlockFormat bf = b.blockFormat();
    out += u"\\pard";
    const Qt::Alignment align = bf.alignment() & Qt::AlignHorizontal_Mask;
    if (align & Qt::AlignHCenter) out += u"\\qc";
    else if (align & Qt::AlignJustify) out += u"\\qj";
    else if (align & (Qt::AlignRight | Qt::AlignTrailing)) out += u"\\qr";
    const QTextList* list = b.textList();
    if (list) {
      const int level = listLevel(list);
      out += QStringLiteral("\\fi-360\\li%1\\ls%2\\ilvl%3").arg(720 * (level + 1)).arg(listIndex_.value(list)).arg(level);
    } else {
      if (const int li = twipsOfPixels(bf.leftMargin())) out += QStringLiteral("\\li%1").arg(li);
      if (const int fi = twipsOfPixels(bf.textIndent())) out += QStringLiteral("\\fi%1").arg(fi);
    }
    if (const int ri = twipsOfPixels(bf.rightMargin())) out += QStringLiteral("\\ri%1").arg(ri);
    if (const int sb = twipsOfPixels(bf.topMargin())) out += QStringLiteral("\\sb%1").arg(sb);
    if (const int sa = twipsOfPixels(bf.bottomMargin())) out += QStringLiteral("\\sa%1").arg(sa);
    switch (bf.lineHeightType()) {
      case QTextBlockFormat::ProportionalHeight:
        out += QStringLiteral("\\sl%1\\slmult1").arg(std::lround(bf.lineHeight() * 240 / 100));
        break;
      case QTextBlockFormat::MinimumHeight:
        out += QStringLiteral("\\sl%1\\slmult0").arg(twipsOfPixels(bf.lineHeight()));
        break;
      case QTextBlockFormat::FixedHeight:
        out += QStringLiteral("\\sl-%1\\slmult0").arg(twipsOfPixels(bf.lineHeight()));
        break;
      default: break;
    }
    out += u' ';
    if (list) {
      // The item's marker as text, for readers that know no lists: a bullet, or the
      // item's number in arabic figures.
      const int number = ++itemsWritten_[list];
      out += QLatin1String("{\\listtext ") + format(b.charFormat());
      out += numberFormatOf(list->format().style()) == 23 ? QStringLiteral("\\u8226?") : QStringLiteral("%1.").arg(number);
      out += u"\\tab}";
    }
  }

  const QTextDocument& doc_;
  QHash<QString, int> fonts_;
  QStringList fontNames_;
  QHash<QRgb, int> colorIndex_;
  std::vector<QColor> colors_;
  QHash<const QTextList*, int> listIndex_;
  std::vector<const QTextList*> lists_;
  QHash<const QTextList*, int> itemsWritten_;
};

}  // namespace

QString writeRtf(const QTextDocument& doc) { return Writer(doc).run(); }

}  // namespace lumo::text
