#include <gtest/gtest.h>

#include <functional>

#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

#include "engine/text/RtfReader.h"
#include "engine/text/RtfWriter.h"

namespace lumo::text {
namespace {

// Everything of a document that RTF carries, one line per paragraph and run.
QString describe(const QTextDocument& doc) {
  QString out;
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
    const QTextBlockFormat f = b.blockFormat();
    out += QStringLiteral("P align=%1 margins=%2,%3,%4,%5,%6 line=%7:%8")
               .arg(int(f.alignment() & Qt::AlignHorizontal_Mask))
               .arg(f.leftMargin())
               .arg(f.rightMargin())
               .arg(f.textIndent())
               .arg(f.topMargin())
               .arg(f.bottomMargin())
               .arg(f.lineHeightType())
               .arg(f.lineHeight());
    if (const QTextList* l = b.textList())
      out += QStringLiteral(" list=%1/%2 item=%3").arg(int(l->format().style())).arg(l->format().indent()).arg(l->itemNumber(b));
    out += u'\n';
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat c = it.fragment().charFormat();
      auto brush = [&](int p) { return c.hasProperty(p) ? c.brushProperty(p).color().name() : QStringLiteral("-"); };
      out += QStringLiteral("  [%1] font=%2 size=%3 b=%4 i=%5 u=%6 s=%7 v=%8 fg=%9 bg=%10\n")
                 .arg(it.fragment().text(), c.fontFamilies().toStringList().value(0))
                 .arg(c.fontPointSize())
                 .arg(c.fontWeight() >= QFont::DemiBold)
                 .arg(c.fontItalic())
                 .arg(c.fontUnderline())
                 .arg(c.fontStrikeOut())
                 .arg(int(c.verticalAlignment()))
                 .arg(brush(QTextFormat::ForegroundBrush), brush(QTextFormat::BackgroundBrush));
    }
  }
  return out;
}

// The fragment holding `text`, or an empty format when none does.
QTextCharFormat formatOf(const QTextDocument& doc, const QString& text) {
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
    for (auto it = b.begin(); !it.atEnd(); ++it)
      if (it.fragment().text().contains(text)) return it.fragment().charFormat();
  ADD_FAILURE() << "no run holds " << text.toStdString();
  return {};
}

struct Snippet {
  const char* name;
  const char* rtf;
  std::function<void(const QTextDocument&)> check;
};

const Snippet kSnippets[] = {
    {"bold run", R"({\rtf1\ansi{\fonttbl{\f0 Arial;}}\f0 plain {\b bold} \b still\b0  off})",
     [](const QTextDocument& d) {
       EXPECT_EQ(d.toPlainText(), QStringLiteral("plain bold still off"));
       EXPECT_EQ(formatOf(d, "bold").fontWeight(), QFont::Bold);
       EXPECT_EQ(formatOf(d, "still").fontWeight(), QFont::Bold);
       EXPECT_EQ(formatOf(d, "plain").fontWeight(), QFont::Normal);
       EXPECT_EQ(formatOf(d, "off").fontWeight(), QFont::Normal);
     }},
    {"two fonts and sizes",
     R"({\rtf1\ansi\deff0{\fonttbl{\f0\fswiss\fcharset0 Arial;}{\f1\froman Times New Roman;}}\fs24 sans \f1\fs37 serif})",
     [](const QTextDocument& d) {
       EXPECT_EQ(formatOf(d, "sans").fontFamilies().toStringList(), QStringList{"Arial"});
       EXPECT_EQ(formatOf(d, "sans").fontPointSize(), 12);
       EXPECT_EQ(formatOf(d, "serif").fontFamilies().toStringList(), QStringList{"Times New Roman"});
       EXPECT_EQ(formatOf(d, "serif").fontPointSize(), 18.5);
     }},
    {"colours", R"({\rtf1{\colortbl ;\red255\green0\blue0;\red0\green0\blue255;}\cf1 red \cf2\highlight1 blue\cf0\highlight0  auto})",
     [](const QTextDocument& d) {
       EXPECT_EQ(formatOf(d, "red").foreground().color(), QColor(255, 0, 0));
       EXPECT_EQ(formatOf(d, "blue").foreground().color(), QColor(0, 0, 255));
       EXPECT_EQ(formatOf(d, "blue").background().color(), QColor(255, 0, 0));
       EXPECT_FALSE(formatOf(d, "auto").hasProperty(QTextFormat::ForegroundBrush));
       EXPECT_FALSE(formatOf(d, "auto").hasProperty(QTextFormat::BackgroundBrush));
     }},
    {"italic, underline, strike, scripts", R"({\rtf1 {\i it}{\ul under\ulnone  no}{\strike gone}{\super up}{\sub down}})",
     [](const QTextDocument& d) {
       EXPECT_TRUE(formatOf(d, "it").fontItalic());
       EXPECT_TRUE(formatOf(d, "under").fontUnderline());
       EXPECT_FALSE(formatOf(d, "no").fontUnderline());
       EXPECT_TRUE(formatOf(d, "gone").fontStrikeOut());
       EXPECT_EQ(formatOf(d, "up").verticalAlignment(), QTextCharFormat::AlignSuperScript);
       EXPECT_EQ(formatOf(d, "down").verticalAlignment(), QTextCharFormat::AlignSubScript);
     }},
    {"paragraph alignment", R"({\rtf1\pard\qc centred\par\pard\qr right\par\qj both\par\pard left\par})",
     [](const QTextDocument& d) {
       ASSERT_EQ(d.blockCount(), 4);
       EXPECT_EQ(d.findBlockByNumber(0).blockFormat().alignment(), Qt::AlignHCenter);
       EXPECT_EQ(d.findBlockByNumber(1).blockFormat().alignment(), Qt::AlignRight);
       EXPECT_EQ(d.findBlockByNumber(2).blockFormat().alignment(), Qt::AlignJustify);
       EXPECT_EQ(d.findBlockByNumber(3).blockFormat().alignment(), Qt::AlignLeft);
     }},
    {"bullets of older writers",
     R"({\rtf1{\pntext\f1\'B7\tab}{\*\pn\pnlvlblt\pnf1\pnindent0{\pntxtb\'B7}}\fi-720\li720 one\par
{\pntext\f1\'B7\tab}two\par
\pard plain\par
{\pntext 1.\tab}{\*\pn\pnlvlbody\pnf0\pnindent0\pnstart1\pndec{\pntxta.}}\fi-360\li720 first\par})",
     [](const QTextDocument& d) {
       ASSERT_EQ(d.blockCount(), 4);
       EXPECT_EQ(d.toPlainText(), QStringLiteral("one\ntwo\nplain\nfirst"));
       const QTextList* bullets = d.findBlockByNumber(0).textList();
       ASSERT_TRUE(bullets);
       EXPECT_EQ(bullets->format().style(), QTextListFormat::ListDisc);
       EXPECT_EQ(d.findBlockByNumber(1).textList(), bullets);
       EXPECT_FALSE(d.findBlockByNumber(2).textList());
       ASSERT_TRUE(d.findBlockByNumber(3).textList());
       EXPECT_EQ(d.findBlockByNumber(3).textList()->format().style(), QTextListFormat::ListDecimal);
     }},
    {"numbered list through the list tables",
     R"({\rtf1{\*\listtable{\list\listtemplateid7{\listlevel\levelnfc0{\leveltext\'02\'00.;}{\levelnumbers\'01;}}{\listlevel\levelnfc4{\leveltext\'02\'01);}{\levelnumbers\'01;}}\listid42}}
{\*\listoverridetable{\listoverride\listid42\listoverridecount0\ls3}}
\pard\ls3\ilvl0{\listtext 1.\tab}first\par
\ls3\ilvl1{\listtext a)\tab}sub\par
\ls3\ilvl0{\listtext 2.\tab}second\par\pard after})",
     [](const QTextDocument& d) {
       ASSERT_EQ(d.blockCount(), 4);
       EXPECT_EQ(d.toPlainText(), QStringLiteral("first\nsub\nsecond\nafter"));
       const QTextList* top = d.findBlockByNumber(0).textList();
       ASSERT_TRUE(top);
       EXPECT_EQ(top->format().style(), QTextListFormat::ListDecimal);
       EXPECT_EQ(d.findBlockByNumber(2).textList(), top);
       EXPECT_EQ(top->itemText(d.findBlockByNumber(2)), QStringLiteral("2."));
       ASSERT_TRUE(d.findBlockByNumber(1).textList());
       EXPECT_EQ(d.findBlockByNumber(1).textList()->format().style(), QTextListFormat::ListLowerAlpha);
       EXPECT_EQ(d.findBlockByNumber(1).textList()->format().indent(), 2);
       EXPECT_FALSE(d.findBlockByNumber(3).textList());
     }},
    {"line spacing, indents and spacing",
     R"({\rtf1\pard\sl360\slmult1 half\par\pard\sl-480\slmult0 exact\par\pard\sl300 least\par\pard\li720\ri360\fi-240\sb120\sa60 indented})",
     [](const QTextDocument& d) {
       ASSERT_EQ(d.blockCount(), 4);
       const QTextBlockFormat half = d.findBlockByNumber(0).blockFormat();
       EXPECT_EQ(half.lineHeightType(), QTextBlockFormat::ProportionalHeight);
       EXPECT_EQ(half.lineHeight(), 150);
       EXPECT_EQ(d.findBlockByNumber(1).blockFormat().lineHeightType(), QTextBlockFormat::FixedHeight);
       EXPECT_EQ(d.findBlockByNumber(1).blockFormat().lineHeight(), 32);
       EXPECT_EQ(d.findBlockByNumber(2).blockFormat().lineHeightType(), QTextBlockFormat::MinimumHeight);
       const QTextBlockFormat in = d.findBlockByNumber(3).blockFormat();
       EXPECT_EQ(in.leftMargin(), 48);
       EXPECT_EQ(in.rightMargin(), 24);
       EXPECT_EQ(in.textIndent(), -16);
       EXPECT_EQ(in.topMargin(), 8);
       EXPECT_EQ(in.bottomMargin(), 4);
     }},
    {"unicode and code pages",
     R"({\rtf1\ansi\ansicpg1252\uc1 caf\'e9 \u8364? \u-10179?\u-8704? \'80\'93{\uc2\u20320\'c4\'e3}!{\uc0\u945}})",
     [](const QTextDocument& d) {
       EXPECT_EQ(d.toPlainText(), QString::fromUtf8("café € \xF0\x9F\x98\x80 €“你!α"));
     }},
    {"font character sets",
     R"({\rtf1\ansi{\fonttbl{\f0\fcharset204 Arial;}{\f1\fcharset161 Arial Greek;}}\f0 \'cf\'f0\'e8 \f1\'e2})",
     [](const QTextDocument& d) { EXPECT_EQ(d.toPlainText(), QString::fromUtf8("При β")); }},
    {"escapes, special characters and breaks", R"({\rtf1 a\\b\{c\}d\~e\tab f\line g\emdash\bullet\ldblquote x\rdblquote})",
     [](const QTextDocument& d) {
       EXPECT_EQ(d.toRawText(), QString::fromUtf8("a\\b{c}d\u00A0e\tf\u2028g—•“x”"));
       EXPECT_EQ(d.blockCount(), 1);
     }},
    {"destinations left out",
     R"({\rtf1{\*\generator Writer 1.0;}{\info{\title Secret}{\author Me}}{\stylesheet{\s0 Normal;}}{\*\unknown hidden}{\field{\*\fldinst HYPERLINK "x"}{\fldrslt link}} shown{\pict\bin4 {}{} x}})",
     [](const QTextDocument& d) { EXPECT_EQ(d.toPlainText(), QStringLiteral("link shown")); }},
    {"a rich-text editor's document",
     R"({\rtf1\ansi\ansicpg1252\deff0\nouicompat\deflang1033{\fonttbl{\f0\fnil\fcharset0 Arial;}{\f1\fnil\fcharset2 Symbol;}}
{\colortbl ;\red255\green0\blue0;}
{\*\generator Riched20 10.0.19041}\viewkind4\uc1 
\pard\cf1\f0\fs76\lang9 Headline\par
\pard\sl360\slmult1\qc\cf0\fs24 centred\par
}
)",
     [](const QTextDocument& d) {
       ASSERT_EQ(d.blockCount(), 2);
       EXPECT_EQ(d.toPlainText(), QStringLiteral("Headline\ncentred"));
       const QTextCharFormat head = formatOf(d, "Headline");
       EXPECT_EQ(head.fontFamilies().toStringList(), QStringList{"Arial"});
       EXPECT_EQ(head.fontPointSize(), 38);
       EXPECT_EQ(head.foreground().color(), QColor(255, 0, 0));
       const QTextBlockFormat second = d.findBlockByNumber(1).blockFormat();
       EXPECT_EQ(second.alignment(), Qt::AlignHCenter);
       EXPECT_EQ(second.lineHeight(), 150);
       EXPECT_FALSE(formatOf(d, "centred").hasProperty(QTextFormat::ForegroundBrush));
     }},
    {"empty paragraphs keep their size", R"({\rtf1\fs48 top\par\par{\fs20\par}bottom})",
     [](const QTextDocument& d) {
       ASSERT_EQ(d.blockCount(), 4);
       EXPECT_EQ(d.findBlockByNumber(1).charFormat().fontPointSize(), 24);
       EXPECT_EQ(d.findBlockByNumber(2).charFormat().fontPointSize(), 10);
     }},
};

TEST(Rtf, SnippetsReadAndWriteBackWithTheirFormatting) {
  for (const Snippet& s : kSnippets) {
    SCOPED_TRACE(s.name);
    QTextDocument doc;
    ASSERT_TRUE(readRtf(QString::fromUtf8(s.rtf), doc));
    s.check(doc);
    const QString written = writeRtf(doc);
    QTextDocument again;
    ASSERT_TRUE(readRtf(written, again));
    s.check(again);
    EXPECT_EQ(describe(again).toStdString(), describe(doc).toStdString()) << written.toStdString();
    // Written RTF is 7-bit, as RTF is meant to be.
    for (const QChar c : written) ASSERT_LT(c.unicode(), 0x80) << written.toStdString();
  }
}

TEST(Rtf, WriterEscapesWhatRtfReserves) {
  QTextDocument doc;
  doc.setPlainText(QString::fromUtf8("{\\}\t é€你😀"));
  const QString rtf = writeRtf(doc);
  EXPECT_TRUE(rtf.contains(QStringLiteral("\\{\\\\\\}\\tab ")));
  EXPECT_TRUE(rtf.contains(QStringLiteral("\\'e9\\'80\\u20320?\\u-10179?\\u-8704?")));
  QTextDocument back;
  ASSERT_TRUE(readRtf(rtf, back));
  EXPECT_EQ(back.toPlainText(), doc.toPlainText());
}

TEST(Rtf, TextThatIsNotRtfIsRefused) {
  QTextDocument doc;
  doc.setPlainText(QStringLiteral("old"));
  for (const char* s : {"", "plain text", "{\\rt", "{\\pict}", "\\rtf1 x"}) {
    EXPECT_FALSE(readRtf(QString::fromLatin1(s), doc)) << s;
    EXPECT_TRUE(doc.isEmpty());
  }
  EXPECT_TRUE(readRtf(QStringLiteral("  \r\n{\\rtf1 ok}"), doc));
  EXPECT_EQ(doc.toPlainText(), QStringLiteral("ok"));
}

TEST(Rtf, HostileInputGivesASaneDocument) {
  QTextDocument doc;
  // Groups nested far beyond the limit: the deep part is left out, the rest is kept.
  const QString deep = QStringLiteral("{\\rtf1 before") + QString(100000, u'{') + QStringLiteral("lost") +
                       QString(100000, u'}') + QStringLiteral(" after}");
  ASSERT_TRUE(readRtf(deep, doc));
  EXPECT_EQ(doc.toPlainText(), QStringLiteral("before after"));

  // Numbers beyond every range are held to it.
  ASSERT_TRUE(readRtf(QStringLiteral("{\\rtf1\\fs99999999999999999 big\\fs-5  small\\li-99999999\\sl99999999999\\uc99999999\\u65 x y}"), doc));
  EXPECT_EQ(formatOf(doc, "big").fontPointSize(), 1638);
  EXPECT_FALSE(formatOf(doc, "small").hasProperty(QTextFormat::FontPointSize));
  EXPECT_EQ(doc.begin().blockFormat().leftMargin(), -2112);
  EXPECT_EQ(doc.toPlainText(), QStringLiteral("big smallA"));

  // Colour and font indices that no table holds are ignored; a \bin longer than the
  // text ends it.
  ASSERT_TRUE(readRtf(QStringLiteral("{\\rtf1{\\colortbl;}\\cf7\\f9\\highlight-3 text\\bin999999999999 {{{"), doc));
  EXPECT_EQ(doc.toPlainText(), QStringLiteral("text"));
  EXPECT_FALSE(formatOf(doc, "text").hasProperty(QTextFormat::ForegroundBrush));

  // Closing more groups than were opened ends the document.
  ASSERT_TRUE(readRtf(QStringLiteral("{\\rtf1 one}}} two"), doc));
  EXPECT_EQ(doc.toPlainText(), QStringLiteral("one"));

  // Many runs and paragraphs read in one pass.
  QString many = QStringLiteral("{\\rtf1 ");
  for (int i = 0; i < 20000; ++i) many += i % 7 ? QStringLiteral("{\\b x}{\\i y}") : QStringLiteral("\\par ");
  ASSERT_TRUE(readRtf(many + u'}', doc));
  EXPECT_EQ(doc.blockCount(), 20000 / 7 + 1);
}

// Every seed cut short at each length and with bytes changed all over: the reader
// never fails, and what it read writes out as RTF that reads back the same.
TEST(Rtf, DamagedInputReadsAndWritesBackSafely) {
  auto readWriteRead = [](const QString& rtf) {
    QTextDocument doc;
    if (!readRtf(rtf, doc)) return;
    const QString written = writeRtf(doc);
    QTextDocument again;
    ASSERT_TRUE(readRtf(written, again));
    ASSERT_EQ(describe(again).toStdString(), describe(doc).toStdString()) << rtf.toStdString();
  };
  const char noise[] = "{}\\'*;0-9 ab\xe9";
  for (const Snippet& s : kSnippets) {
    SCOPED_TRACE(s.name);
    const QString seed = QString::fromUtf8(s.rtf);
    for (qsizetype cut = 0; cut <= seed.size(); ++cut) readWriteRead(seed.left(cut));
    for (qsizetype at = 0; at < seed.size(); ++at) {
      QString mutated = seed;
      mutated[at] = QChar::fromLatin1(noise[at % (sizeof noise - 1)]);
      readWriteRead(mutated);
      readWriteRead(QString(seed).remove(at, 3));
    }
  }
}

}  // namespace
}  // namespace lumo::text
