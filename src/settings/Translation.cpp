#include "settings/Translation.h"

#include <QDir>
#include <QFile>

namespace lumo {

LanguageTable LanguageTable::parse(const QByteArray& bytes) {
  QByteArray text = bytes;
  if (text.startsWith("\xEF\xBB\xBF")) text.remove(0, 3);
  QStringList lines = QString::fromUtf8(text).split('\n');
  for (QString& line : lines)
    if (line.endsWith('\r')) line.chop(1);
  if (!text.isEmpty() && text.endsWith('\n')) lines.removeLast();  // the last line's end
  if (lines.isEmpty()) return {};
  bool ok = false;
  const int n = lines.front().trimmed().toInt(&ok);
  if (!ok || n <= 0) return {};
  const int m = int((lines.size() - 1) / n);
  if (m < 2) return {};
  LanguageTable table;
  table.columns_.assign(size_t(n), QStringList());
  for (int language = 0; language < n; ++language) {
    QStringList& column = table.columns_[size_t(language)];
    column.reserve(m);
    for (int entry = 0; entry < m; ++entry) column << lines.at(1 + entry * n + language);
  }
  const QStringList& keys = table.columns_.front();
  // Walking backwards leaves each key at its first entry, as a walk from the top finds it.
  for (int entry = m - 1; entry >= 0; --entry) table.firstEntryOfKey_[keys.at(entry)] = entry;
  return table;
}

int LanguageTable::languageOfCode(const QString& code) const {
  for (int language = 0; language < languageCount(); ++language)
    if (this->code(language).compare(code, Qt::CaseInsensitive) == 0) return language;
  return 0;
}

QString LanguageTable::translate(const QString& english, int language) const {
  if (language <= 0 || language >= languageCount()) return english;
  const auto found = firstEntryOfKey_.constFind(english);
  if (found == firstEntryOfKey_.constEnd()) return english;
  const QString& translated = columns_[size_t(language)].at(found.value());
  return translated.isEmpty() ? english : translated;
}

QString defaultLanguageCode(QLocale::Language language) {
  switch (language) {
    case QLocale::Arabic: return "ar";
    case QLocale::Chinese: return "cn";
    case QLocale::Czech: return "cs";
    case QLocale::German: return "de";
    case QLocale::Greek: return "el";
    case QLocale::Spanish: return "es";
    case QLocale::French: return "fr";
    case QLocale::Hungarian: return "hu";
    case QLocale::Italian: return "it";
    case QLocale::Japanese: return "jp";
    case QLocale::Korean: return "kr";
    case QLocale::Dutch: return "nl";
    case QLocale::Polish: return "pl";
    case QLocale::Portuguese: return "pt";
    case QLocale::Turkish: return "tr";
    default: return "en";
  }
}

Translation& translation() {
  static Translation state;
  return state;
}

void LoadTranslationTable(const QString& folder, const QString& storedCode) {
  Translation& t = translation();
  const QStringList uiLanguages = QLocale::system().uiLanguages();
  t.CurrentLanguage = !storedCode.isEmpty() ? storedCode
                      : uiLanguages.isEmpty() ? defaultLanguageCode(QLocale::system().language())
                                              : defaultLanguageCode(QLocale(uiLanguages.front()).language());
  t.TranslationTable = {};
  t.CurrentLanguageIndex = 0;
  QFile file(QDir(folder).filePath("transl.dt"));
  if (!file.open(QIODevice::ReadOnly)) return;
  t.TranslationTable = LanguageTable::parse(file.readAll());
  t.CurrentLanguageIndex = t.TranslationTable.languageOfCode(t.CurrentLanguage);
}

QString TranslateText(const QString& english) {
  const Translation& t = translation();
  return t.TranslationTable.translate(english, t.CurrentLanguageIndex);
}

}  // namespace lumo
