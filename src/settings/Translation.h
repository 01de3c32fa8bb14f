#pragma once
// The translation table: every text the user sees passes through TranslateText, which
// replaces the program's English text by its translation in the current language.
#include <QByteArray>
#include <QHash>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <vector>

namespace lumo {

// The contents of "transl.dt": one column per language in file order, each holding the
// language's display name (entry 0), its code (entry 1) and then its texts. Column 0 is
// English and its entries are the keys.
class LanguageTable {
 public:
  LanguageTable() = default;
  // Parses the file's bytes. Anything malformed (first line not a number, fewer than
  // two complete groups) gives an empty table, as does a language count of 0.
  static LanguageTable parse(const QByteArray& bytes);

  bool isEmpty() const { return columns_.empty(); }
  int languageCount() const { return int(columns_.size()); }
  int entryCount() const { return columns_.empty() ? 0 : int(columns_.front().size()); }
  QString displayName(int language) const { return columns_.at(size_t(language)).at(0); }
  QString code(int language) const { return columns_.at(size_t(language)).at(1); }
  // The column whose code equals `code` without regard to case; 0 when none does.
  int languageOfCode(const QString& code) const;
  // `english` in `language`: the entry beside the first key equal to it (exactly), or
  // `english` itself when there is none or the translation is empty.
  QString translate(const QString& english, int language) const;

 private:
  std::vector<QStringList> columns_;
  QHash<QString, int> firstEntryOfKey_;  // the first entry of column 0 equal to each key
};

// The language code chosen when no setting names one, from the user interface language.
QString defaultLanguageCode(QLocale::Language language);

// The program's one table and current language.
struct Translation {
  LanguageTable TranslationTable;
  int CurrentLanguageIndex = 0;  // 0: English, nothing is replaced
  QString CurrentLanguage;       // the code as the settings keep it; may match no column
};
Translation& translation();

// Reads "transl.dt" from `folder` into the program's table, choosing the language of
// `storedCode` (the CurrentLanguage setting) when it is not empty, otherwise the
// system's. A missing or unreadable file leaves the table empty: the interface is then
// English.
void LoadTranslationTable(const QString& folder, const QString& storedCode);

QString TranslateText(const QString& english);

}  // namespace lumo
