#include "engine/text/RtfReader.h"

#include <QHash>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <algorithm>
#include <map>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/text/RtfCodePage.h"

namespace lumo::text {

namespace {

constexpr size_t kMaxDepth = 200;
constexpr int kMaxTwips = 31680;  // 22 inches, beyond any page
constexpr int kMaxHalfPoints = 3276;
constexpr size_t kMaxTableEntries = 32768;
constexpr int kMaxFontName = 256;
constexpr int kMaxListLevels = 9;

// Where the text of a group goes.
enum class Dest : uint8_t { Text, Skip, FontTable, ColorTable, ListTable, ListOverrides, Pn };

struct CharState {
  int font = -1;       // font table number, -1 none
  int halfPoints = 0;  // 0: not given
  int fg = 0, bg = 0;  // colour table index, 0: automatic
  bool bold = false, italic = false, underline = false, strike = false;
  int8_t script = 0;  // 1 superscript, -1 subscript
  friend bool operator==(const CharState&, const CharState&) = default;
};

struct ParaState {
  Qt::Alignment align = Qt::AlignLeft;
  int li = 0, ri = 0, fi = 0, sb = 0, sa = 0, sl = 0;  // twips
  bool slMult = false;
  int ls = 0, ilvl = 0;  // list override number (0: none) and level
  int pnStyle = 0, pnLevel = 0;  // paragraph numbering of older writers (\pn), 0: none
};

struct State {
  Dest dest = Dest::Text;
  CharState ch;
  ParaState para;
  int uc = 1;  // fallback characters after \u
};

enum class Kw : uint8_t {
  // destinations
  FontTable, ColorTable, ListTable, ListOverrideTable, Pn, SkipDest, Fldrslt,
  // document
  Rtf, Ansicpg, Mac, Pc, Pca, Deff, Fcharset, Cpg, Red, Green, Blue,
  List, ListLevel, LevelNfc, ListId, ListOverride,
  PnLvlBlt, PnLvlBody, PnLvl, PnLvlCont, PnDec, PnUcRm, PnLcRm, PnUcLtr, PnLcLtr,
  // characters
  Plain, F, Fs, Cf, Cb, B, I, Ul, UlNone, Strike, Super, Sub, NoSuperSub, Uc, U,
  // paragraphs
  Par, Pard, Ql, Qc, Qr, Qj, Li, Ri, Fi, Sb, Sa, Sl, SlMult, Ls, Ilvl,
  // special characters
  Line, Tab, Cell, EmDash, EnDash, Bullet, LQuote, RQuote, LDblQuote, RDblQuote, EmSpace, EnSpace,
  QmSpace, Zwj, Zwnj, Bin,
};

const std::unordered_map<std::string_view, Kw>& keywords() {
  static const std::unordered_map<std::string_view, Kw> table = [] {
    std::unordered_map<std::string_view, Kw> t = {
        {"fonttbl", Kw::FontTable}, {"colortbl", Kw::ColorTable}, {"listtable", Kw::ListTable},
        {"listoverridetable", Kw::ListOverrideTable}, {"pn", Kw::Pn}, {"fldrslt", Kw::Fldrslt},
        {"rtf", Kw::Rtf}, {"ansicpg", Kw::Ansicpg}, {"mac", Kw::Mac}, {"pc", Kw::Pc}, {"pca", Kw::Pca},
        {"deff", Kw::Deff}, {"fcharset", Kw::Fcharset}, {"cpg", Kw::Cpg}, {"red", Kw::Red},
        {"green", Kw::Green}, {"blue", Kw::Blue}, {"list", Kw::List}, {"listlevel", Kw::ListLevel},
        {"levelnfc", Kw::LevelNfc}, {"levelnfcn", Kw::LevelNfc}, {"listid", Kw::ListId},
        {"listoverride", Kw::ListOverride}, {"pnlvlblt", Kw::PnLvlBlt}, {"pnlvlbody", Kw::PnLvlBody},
        {"pnlvl", Kw::PnLvl}, {"pnlvlcont", Kw::PnLvlCont}, {"pndec", Kw::PnDec}, {"pnucrm", Kw::PnUcRm},
        {"pnlcrm", Kw::PnLcRm}, {"pnucltr", Kw::PnUcLtr}, {"pnlcltr", Kw::PnLcLtr}, {"plain", Kw::Plain},
        {"f", Kw::F}, {"fs", Kw::Fs}, {"cf", Kw::Cf}, {"cb", Kw::Cb}, {"highlight", Kw::Cb}, {"b", Kw::B},
        {"i", Kw::I}, {"ulnone", Kw::UlNone}, {"strike", Kw::Strike}, {"striked", Kw::Strike},
        {"super", Kw::Super}, {"sub", Kw::Sub}, {"nosupersub", Kw::NoSuperSub}, {"uc", Kw::Uc}, {"u", Kw::U},
        {"par", Kw::Par}, {"sect", Kw::Par}, {"page", Kw::Par}, {"row", Kw::Par}, {"pard", Kw::Pard},
        {"ql", Kw::Ql}, {"qc", Kw::Qc}, {"qr", Kw::Qr}, {"qj", Kw::Qj}, {"qd", Kw::Qj}, {"li", Kw::Li},
        {"lin", Kw::Li}, {"ri", Kw::Ri}, {"rin", Kw::Ri}, {"fi", Kw::Fi}, {"sb", Kw::Sb}, {"sa", Kw::Sa},
        {"sl", Kw::Sl}, {"slmult", Kw::SlMult}, {"ls", Kw::Ls}, {"ilvl", Kw::Ilvl}, {"line", Kw::Line},
        {"tab", Kw::Tab}, {"cell", Kw::Cell}, {"emdash", Kw::EmDash}, {"endash", Kw::EnDash},
        {"bullet", Kw::Bullet}, {"lquote", Kw::LQuote}, {"rquote", Kw::RQuote},
        {"ldblquote", Kw::LDblQuote}, {"rdblquote", Kw::RDblQuote}, {"emspace", Kw::EmSpace},
        {"enspace", Kw::EnSpace}, {"qmspace", Kw::QmSpace}, {"zwj", Kw::Zwj}, {"zwnj", Kw::Zwnj},
        {"bin", Kw::Bin}};
    for (const char* u : {"ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave", "ulldash", "ulth",
                          "ulthd", "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave", "ulw",
                          "ulwave"})
      t.emplace(u, Kw::Ul);
    // Destinations whose text is not part of the document even when not marked \*.
    for (const char* d : {"stylesheet", "info", "pict", "object", "header", "headerl", "headerr", "headerf",
                          "footer", "footerl", "footerr", "footerf", "footnote", "pntext", "pntxta", "pntxtb",
                          "listtext", "fldinst", "filetbl", "revtbl", "shp", "shpinst", "nonshppict", "xe", "tc",
                          "txe", "template", "listname", "leveltext", "levelnumbers"})
      t.emplace(d, Kw::SkipDest);
    return t;
  }();
  return table;
}

int styleOfNumberFormat(int nfc, int level) {
  switch (nfc) {
    case 0: return QTextListFormat::ListDecimal;
    case 1: return QTextListFormat::ListUpperRoman;
    case 2: return QTextListFormat::ListLowerRoman;
    case 3: return QTextListFormat::ListUpperAlpha;
    case 4: return QTextListFormat::ListLowerAlpha;
    case 23:  // bullets: a disc, then a circle and a square on the deeper levels
      return level == 0 ? QTextListFormat::ListDisc : level == 1 ? QTextListFormat::ListCircle
                                                                 : QTextListFormat::ListSquare;
    case 255: return 0;  // no number
    default: return QTextListFormat::ListDecimal;
  }
}

double pixelsOfTwips(int twips) { return twips / 15.0; }  // at 96 pixels per inch

class Reader {
 public:
  Reader(QStringView rtf, QTextDocument& doc) : s_(rtf), cursor_(&doc) {}

  void run() {
    cursor_.beginEditBlock();
    while (i_ < s_.size()) {
      const QChar c = s_[i_];
      if (c == u'\\' && i_ + 1 < s_.size() && s_[i_ + 1] == u'\'') {
        i_ += 2;
        hexByte();
        continue;
      }
      flushBytes();
      ++i_;
      if (c == u'{') {
        openGroup();
      } else if (c == u'}') {
        if (!closeGroup()) break;  // the document's own group has ended
      } else if (c == u'\\') {
        control();
      } else if (c != u'\r' && c != u'\n') {
        groupStart_ = false;
        if (!skipFallback() && !skipping()) text(c);
      }
    }
    flushBytes();
    flushText();
    if (!needBlock_) finishBlock(current());
    cursor_.endEditBlock();
  }

 private:
  struct Font {
    QString name;
    int codePage = 0;
  };
  struct Override {
    int listId = 0, ls = 0;
  };

  const State& current() const { return stack_.empty() ? last_ : stack_.back(); }
  State& state() { return stack_.empty() ? last_ : stack_.back(); }
  bool skipping() const { return overflow_ > 0 || current().dest == Dest::Skip; }

  void openGroup() {
    skipChars_ = 0;
    groupStart_ = true;
    starMark_ = false;
    if (overflow_ > 0 || stack_.size() >= kMaxDepth) ++overflow_;
    else stack_.push_back(current());
  }

  bool closeGroup() {
    skipChars_ = 0;
    groupStart_ = starMark_ = false;
    if (overflow_ > 0) {
      --overflow_;
      return true;
    }
    if (stack_.empty()) return false;
    const State closed = stack_.back();
    stack_.pop_back();
    if (closed.dest == Dest::FontTable) commitFont();
    if (closed.dest == Dest::Pn && !stack_.empty() && stack_.back().dest == Dest::Text) {
      ParaState& p = stack_.back().para;
      p.pnStyle = pnKind_ == Kw::PnLvlBlt   ? styleOfNumberFormat(23, pnLevel_)
                  : pnKind_ == Kw::PnLvlCont ? 0
                                             : (pnNumber_ ? pnNumber_ : int(QTextListFormat::ListDecimal));
      p.pnLevel = pnLevel_;
    }
    if (stack_.empty()) last_ = closed;
    return !stack_.empty();
  }

  // The fallback characters after \u are skipped; each character, escaped byte, control
  // word or symbol counts as one.
  bool skipFallback() {
    if (skipChars_ <= 0) return false;
    --skipChars_;
    return true;
  }

  void hexByte() {
    int value = 0, digits = 0;
    for (; digits < 2 && i_ < s_.size(); ++digits, ++i_) {
      const char16_t c = s_[i_].unicode();
      const int d = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10
                  : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
      if (d < 0) break;
      value = value * 16 + d;
    }
    groupStart_ = false;
    if (skipFallback() || skipping() || digits == 0) return;
    bytes_.append(char(value));
  }

  int codePage() const {
    const State& st = current();
    if (st.dest == Dest::FontTable && fontCodePage_) return fontCodePage_;
    const auto it = fonts_.constFind(st.ch.font);
    return it != fonts_.cend() && it->codePage ? it->codePage : ansiCodePage_;
  }

  void flushBytes() {
    if (bytes_.isEmpty()) return;
    const QString decoded = decodeCodePage(codePage(), bytes_);
    bytes_.clear();
    for (const QChar c : decoded) text(c);
  }

  void control() {
    if (i_ >= s_.size()) return;
    const QChar c = s_[i_];
    if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))) {
      ++i_;
      symbol(c);
      return;
    }
    std::string word;
    while (i_ < s_.size() && ((s_[i_] >= u'a' && s_[i_] <= u'z') || (s_[i_] >= u'A' && s_[i_] <= u'Z'))) {
      if (word.size() < 32) word.push_back(char(s_[i_].unicode()));
      ++i_;
    }
    bool hasParam = false, negative = false;
    int64_t value = 0;
    if (i_ < s_.size() && s_[i_] == u'-' && i_ + 1 < s_.size() && s_[i_ + 1].isDigit()) {
      negative = true;
      ++i_;
    }
    while (i_ < s_.size() && s_[i_] >= u'0' && s_[i_] <= u'9') {
      hasParam = true;
      if (value < (int64_t(1) << 32)) value = value * 10 + (s_[i_].unicode() - u'0');
      ++i_;
    }
    if (i_ < s_.size() && s_[i_] == u' ') ++i_;
    value = std::clamp<int64_t>(negative ? -value : value, INT32_MIN, INT32_MAX);
    keyword(word, hasParam, int(value));
  }

  void symbol(QChar c) {
    if (c == u'*') {
      starMark_ = true;
      return;
    }
    groupStart_ = starMark_ = false;
    if (skipFallback() || skipping()) return;
    switch (c.unicode()) {
      case u'\\': case u'{': case u'}': text(c); break;
      case u'~': text(QChar(0x00A0)); break;
      case u'_': text(QChar(0x2011)); break;
      case u'\n': case u'\r': paragraph(); break;
      default: break;  // optional hyphen, index and formula marks
    }
  }

  void keyword(const std::string& word, bool hasParam, int v) {
    const bool star = std::exchange(starMark_, false);
    const bool atGroupStart = std::exchange(groupStart_, false);
    const auto it = keywords().find(word);
    if (it == keywords().end()) {
      if (star && atGroupStart && overflow_ == 0 && !stack_.empty()) stack_.back().dest = Dest::Skip;
      return;
    }
    const Kw k = it->second;
    if (k == Kw::Bin) {  // raw bytes follow the word
      i_ += std::min<qsizetype>(std::max(v, 0), s_.size() - i_);
      return;
    }
    if (skipFallback() || skipping()) return;
    State& st = state();
    if (atGroupStart && !stack_.empty() && destination(k, st)) return;
    const bool on = !hasParam || v != 0;
    auto twips = [&] { return std::clamp(v, -kMaxTwips, kMaxTwips); };
    switch (st.dest) {
      case Dest::FontTable: return fontTableWord(k, v);
      case Dest::ColorTable:
        if (k == Kw::Red || k == Kw::Green || k == Kw::Blue) {
          rgb_[k == Kw::Red ? 0 : k == Kw::Green ? 1 : 2] = std::clamp(v, 0, 255);
          rgbGiven_ = true;
        }
        return;
      case Dest::ListTable: return listTableWord(k, v);
      case Dest::ListOverrides: return overrideWord(k, v);
      case Dest::Pn: return pnWord(k, v);
      case Dest::Skip: return;
      case Dest::Text: break;
    }
    CharState& ch = st.ch;
    ParaState& para = st.para;
    switch (k) {
      case Kw::Ansicpg: if (v > 0) ansiCodePage_ = v; break;
      case Kw::Mac: ansiCodePage_ = 10000; break;
      case Kw::Pc: ansiCodePage_ = 437; break;
      case Kw::Pca: ansiCodePage_ = 850; break;
      case Kw::Deff:
        defaultFont_ = v;
        if (ch.font < 0) ch.font = v;
        break;
      case Kw::Plain: ch = CharState{.font = defaultFont_}; break;
      case Kw::F: ch.font = v; break;
      case Kw::Fs: ch.halfPoints = hasParam ? (v > 0 ? std::clamp(v, 2, kMaxHalfPoints) : 0) : 24; break;
      case Kw::Cf: ch.fg = std::max(v, 0); break;
      case Kw::Cb: ch.bg = std::max(v, 0); break;
      case Kw::B: ch.bold = on; break;
      case Kw::I: ch.italic = on; break;
      case Kw::Ul: ch.underline = on; break;
      case Kw::UlNone: ch.underline = false; break;
      case Kw::Strike: ch.strike = on; break;
      case Kw::Super: ch.script = 1; break;
      case Kw::Sub: ch.script = -1; break;
      case Kw::NoSuperSub: ch.script = 0; break;
      case Kw::Uc: st.uc = hasParam ? std::clamp(v, 0, 16) : 1; break;
      case Kw::U: {
        const int code = v < 0 ? v + 65536 : v;
        if (code > 0 && code <= 0xFFFF) text(QChar(char16_t(code)));
        skipChars_ = st.uc;
        break;
      }
      case Kw::Par: paragraph(); break;
      case Kw::Pard: para = ParaState{}; break;
      case Kw::Ql: para.align = Qt::AlignLeft; break;
      case Kw::Qc: para.align = Qt::AlignHCenter; break;
      case Kw::Qr: para.align = Qt::AlignRight; break;
      case Kw::Qj: para.align = Qt::AlignJustify; break;
      case Kw::Li: para.li = twips(); break;
      case Kw::Ri: para.ri = twips(); break;
      case Kw::Fi: para.fi = twips(); break;
      case Kw::Sb: para.sb = std::max(0, twips()); break;
      case Kw::Sa: para.sa = std::max(0, twips()); break;
      case Kw::Sl: para.sl = twips(); break;
      case Kw::SlMult: para.slMult = on; break;
      case Kw::Ls: para.ls = std::max(v, 0); break;
      case Kw::Ilvl: para.ilvl = std::clamp(v, 0, kMaxListLevels - 1); break;
      case Kw::Line: text(QChar(QChar::LineSeparator)); break;
      case Kw::Tab: case Kw::Cell: text(QChar(u'\t')); break;
      case Kw::EmDash: text(QChar(0x2014)); break;
      case Kw::EnDash: text(QChar(0x2013)); break;
      case Kw::Bullet: text(QChar(0x2022)); break;
      case Kw::LQuote: text(QChar(0x2018)); break;
      case Kw::RQuote: text(QChar(0x2019)); break;
      case Kw::LDblQuote: text(QChar(0x201C)); break;
      case Kw::RDblQuote: text(QChar(0x201D)); break;
      case Kw::EmSpace: text(QChar(0x2003)); break;
      case Kw::EnSpace: text(QChar(0x2002)); break;
      case Kw::QmSpace: text(QChar(0x2005)); break;
      case Kw::Zwj: text(QChar(0x200D)); break;
      case Kw::Zwnj: text(QChar(0x200C)); break;
      default: break;
    }
  }

  // A destination word at the start of a group sends the group's text elsewhere.
  bool destination(Kw k, State& st) {
    switch (k) {
      case Kw::FontTable: st.dest = Dest::FontTable; return true;
      case Kw::ColorTable:
        st.dest = Dest::ColorTable;
        rgbGiven_ = false;
        return true;
      case Kw::ListTable: st.dest = Dest::ListTable; return true;
      case Kw::ListOverrideTable: st.dest = Dest::ListOverrides; return true;
      case Kw::Pn:
        if (st.dest != Dest::Text) return false;
        st.dest = Dest::Pn;
        pnKind_ = Kw::PnLvlBody;
        pnNumber_ = pnLevel_ = 0;
        return true;
      case Kw::SkipDest: st.dest = Dest::Skip; return true;
      default: return false;
    }
  }

  void fontTableWord(Kw k, int v) {
    if (k == Kw::F) {
      commitFont();
      fontId_ = v;
    } else if (k == Kw::Fcharset) {
      fontCodePage_ = codePageOfCharset(v);
    } else if (k == Kw::Cpg) {
      fontCodePage_ = std::max(v, 0);
    }
  }

  void commitFont() {
    if (fontId_ >= 0 && (fonts_.contains(fontId_) || fonts_.size() < qsizetype(kMaxTableEntries)))
      fonts_.insert(fontId_, Font{fontName_.trimmed(), fontCodePage_});
    fontId_ = -1;
    fontName_.clear();
    fontCodePage_ = 0;
  }

  void listTableWord(Kw k, int v) {
    if (k == Kw::List) {
      if (lists_.size() < kMaxTableEntries) lists_.emplace_back();
      levelOpen_ = false;
    } else if (k == Kw::ListLevel && !lists_.empty()) {
      levelOpen_ = lists_.back().size() < size_t(kMaxListLevels);
      if (levelOpen_) lists_.back().push_back(QTextListFormat::ListDecimal);
    } else if (k == Kw::LevelNfc && levelOpen_) {
      std::vector<int>& levels = lists_.back();
      levels.back() = styleOfNumberFormat(v, int(levels.size()) - 1);
    } else if (k == Kw::ListId && !lists_.empty()) {
      listById_.insert(v, int(lists_.size()) - 1);
    }
  }

  void overrideWord(Kw k, int v) {
    if (k == Kw::ListOverride) {
      override_ = {};
      return;
    }
    if (k == Kw::ListId) override_.listId = v;
    else if (k == Kw::Ls) override_.ls = v;
    else return;
    if (override_.ls > 0 && (listOfOverride_.contains(override_.ls) || listOfOverride_.size() < qsizetype(kMaxTableEntries)))
      listOfOverride_.insert(override_.ls, override_.listId);
  }

  void pnWord(Kw k, int v) {
    switch (k) {
      case Kw::PnLvlBlt: case Kw::PnLvlBody: case Kw::PnLvlCont: pnKind_ = k; pnLevel_ = 0; break;
      case Kw::PnLvl:
        pnKind_ = Kw::PnLvlBody;
        pnLevel_ = std::clamp(v - 1, 0, kMaxListLevels - 1);
        break;
      case Kw::PnDec: pnNumber_ = QTextListFormat::ListDecimal; break;
      case Kw::PnUcRm: pnNumber_ = QTextListFormat::ListUpperRoman; break;
      case Kw::PnLcRm: pnNumber_ = QTextListFormat::ListLowerRoman; break;
      case Kw::PnUcLtr: pnNumber_ = QTextListFormat::ListUpperAlpha; break;
      case Kw::PnLcLtr: pnNumber_ = QTextListFormat::ListLowerAlpha; break;
      default: break;
    }
  }

  void text(QChar c) {
    // Line and paragraph breaks come only from their control words; embedded objects
    // are not read.
    if ((c.unicode() < 0x20 && c != u'\t') || c == QChar::ParagraphSeparator || c == QChar::ObjectReplacementCharacter)
      return;
    State& st = state();
    switch (st.dest) {
      case Dest::Text:
        if (!pending_.isEmpty() && !(pendingFormat_ == st.ch)) flushText();
        pendingFormat_ = st.ch;
        pending_.append(c);
        break;
      case Dest::FontTable:
        if (c == u';') commitFont();
        else if (fontName_.size() < kMaxFontName) fontName_.append(c);
        break;
      case Dest::ColorTable:
        if (c != u';') break;
        if (colors_.size() < kMaxTableEntries) colors_.push_back(rgbGiven_ ? QColor(rgb_[0], rgb_[1], rgb_[2]) : QColor());
        rgb_[0] = rgb_[1] = rgb_[2] = 0;
        rgbGiven_ = false;
        break;
      default: break;
    }
  }

  QTextCharFormat charFormat(const CharState& c) const {
    QTextCharFormat f;
    const auto font = fonts_.constFind(c.font);
    if (font != fonts_.cend() && !font->name.isEmpty()) f.setFontFamilies({font->name});
    if (c.halfPoints > 0) f.setFontPointSize(c.halfPoints / 2.0);
    f.setFontWeight(c.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(c.italic);
    f.setFontUnderline(c.underline);
    f.setFontStrikeOut(c.strike);
    if (c.script) f.setVerticalAlignment(c.script > 0 ? QTextCharFormat::AlignSuperScript : QTextCharFormat::AlignSubScript);
    if (c.fg > 0 && size_t(c.fg) < colors_.size() && colors_[c.fg].isValid()) f.setForeground(colors_[c.fg]);
    if (c.bg > 0 && size_t(c.bg) < colors_.size() && colors_[c.bg].isValid()) f.setBackground(colors_[c.bg]);
    return f;
  }

  // A paragraph mark ends the current paragraph; the next one begins with the next text.
  void ensureBlock() {
    if (!needBlock_) return;
    cursor_.insertBlock(QTextBlockFormat(), charFormat(current().ch));
    needBlock_ = false;
  }

  void flushText() {
    if (pending_.isEmpty()) return;
    ensureBlock();
    cursor_.insertText(pending_, charFormat(pendingFormat_));
    pending_.clear();
  }

  void paragraph() {
    flushText();
    ensureBlock();
    finishBlock(current());
    needBlock_ = true;
  }

  int listStyle(const ParaState& p, int& level) {
    if (p.ls <= 0) {
      level = p.pnLevel;
      return p.pnStyle;
    }
    level = p.ilvl;
    const auto entry = listOfOverride_.constFind(p.ls);
    const auto list = entry == listOfOverride_.cend() ? listById_.cend() : listById_.constFind(*entry);
    if (list == listById_.cend()) return styleOfNumberFormat(23, level);  // an unknown list shows bullets
    const std::vector<int>& levels = lists_[*list];
    return size_t(level) < levels.size() ? levels[level] : styleOfNumberFormat(23, level);
  }

  void finishBlock(const State& st) {
    const ParaState& p = st.para;
    int level = 0;
    const int style = listStyle(p, level);
    QTextBlockFormat bf;
    bf.setAlignment(p.align);
    // A list item's indent is the list's; its own first-line and left indents make
    // room for the bullet in the writer's page.
    if (!style) {
      bf.setLeftMargin(pixelsOfTwips(p.li));
      bf.setTextIndent(pixelsOfTwips(p.fi));
    }
    bf.setRightMargin(pixelsOfTwips(p.ri));
    bf.setTopMargin(pixelsOfTwips(p.sb));
    bf.setBottomMargin(pixelsOfTwips(p.sa));
    // \sl: with \slmult a multiple of single spacing (240 = single), without it at
    // least (positive) or exactly (negative) that many twips.
    if (p.sl > 0 && p.slMult) bf.setLineHeight(p.sl * 100.0 / 240, QTextBlockFormat::ProportionalHeight);
    else if (p.sl > 0) bf.setLineHeight(pixelsOfTwips(p.sl), QTextBlockFormat::MinimumHeight);
    else if (p.sl < 0) bf.setLineHeight(pixelsOfTwips(-p.sl), QTextBlockFormat::FixedHeight);
    cursor_.setBlockFormat(bf);
    if (cursor_.block().length() == 1) cursor_.setBlockCharFormat(charFormat(st.ch));  // an empty line keeps its size

    // Paragraphs of one list override, or for older writers paragraphs of one numbering
    // style in a row, are items of one list.
    auto& known = p.ls > 0 ? overrideLists_ : numberingLists_;
    if (!style) {
      numberingLists_.clear();
      return;
    }
    const std::tuple<int, int, int> key{p.ls, level, style};
    if (const auto it = known.find(key); it != known.end()) {
      it->second->add(cursor_.block());
    } else {
      QTextListFormat lf;
      lf.setStyle(QTextListFormat::Style(style));
      lf.setIndent(level + 1);
      known.emplace(key, cursor_.createList(lf));
    }
  }

  QStringView s_;
  qsizetype i_ = 0;
  QTextCursor cursor_;
  std::vector<State> stack_;
  State last_;               // the document group's state after it closed
  qsizetype overflow_ = 0;   // groups opened beyond the depth limit
  bool groupStart_ = false;  // nothing but \* since the last "{"
  bool starMark_ = false;
  int skipChars_ = 0;

  int ansiCodePage_ = 1252;
  int defaultFont_ = -1;
  QHash<int, Font> fonts_;
  int fontId_ = -1, fontCodePage_ = 0;
  QString fontName_;
  std::vector<QColor> colors_;
  int rgb_[3] = {0, 0, 0};
  bool rgbGiven_ = false;
  std::vector<std::vector<int>> lists_;  // of each list of the list table, the style of each level
  QHash<int, int> listById_;        // list id to its place in lists_
  QHash<int, int> listOfOverride_;  // override number (\ls) to list id
  Override override_;               // the override being read
  bool levelOpen_ = false;
  Kw pnKind_ = Kw::PnLvlBody;
  int pnNumber_ = 0, pnLevel_ = 0;
  std::map<std::tuple<int, int, int>, QTextList*> overrideLists_, numberingLists_;

  QString pending_;
  CharState pendingFormat_;
  QByteArray bytes_;
  bool needBlock_ = false;
};

}  // namespace

bool readRtf(QStringView rtf, QTextDocument& doc) {
  const bool undo = doc.isUndoRedoEnabled();
  doc.setUndoRedoEnabled(false);
  doc.clear();
  const QStringView head = rtf.trimmed();
  const bool isRtf = head.startsWith(u"{\\rtf");
  if (isRtf) Reader(head, doc).run();
  doc.setUndoRedoEnabled(undo);
  return isRtf;
}

}  // namespace lumo::text
