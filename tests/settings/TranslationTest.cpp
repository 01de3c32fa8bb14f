#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "settings/Translation.h"

namespace lumo {
namespace {

// Three languages; the last group is incomplete and ignored.
const QByteArray kThree =
    "\xEF\xBB\xBF" "3\r\n"
    "English\r\nDeutsch\r\nFran\xC3\xA7" "ais\r\n"
    "en\r\nde\r\nfr\r\n"
    "Open\r\n\xC3\x96" "ffnen\r\nOuvrir\r\n"
    "Close\r\n\r\nFermer\r\n"
    "Open\r\nNICHT\r\nPAS\r\n"
    "Tail\r\n";

TEST(LanguageTable, ParsesGroupsOfOneLinePerLanguage) {
  const LanguageTable t = LanguageTable::parse(kThree);
  ASSERT_EQ(t.languageCount(), 3);
  EXPECT_EQ(t.entryCount(), 5);  // 16 lines: (16 - 1) / 3
  EXPECT_EQ(t.displayName(2), QString::fromUtf8("Fran\xC3\xA7" "ais"));
  EXPECT_EQ(t.code(1), "de");
  struct Case {
    const char* english;
    int language;
    QString expected;
  } cases[] = {
      {"Open", 1, QString::fromUtf8("\xC3\x96" "ffnen")},  // the first matching key wins
      {"Open", 2, "Ouvrir"},
      {"Open ", 1, "Open "},  // exact comparison: spaces and case count
      {"open", 1, "open"},
      {"Close", 1, "Close"},  // an empty translation shows the English text
      {"Close", 2, "Fermer"},
      {"English", 1, "Deutsch"},  // the name row takes part in the lookup
      {"Tail", 1, "Tail"},        // in the incomplete group
      {"Open", 0, "Open"},
  };
  for (const Case& c : cases) EXPECT_EQ(t.translate(c.english, c.language), c.expected) << c.english;
}

TEST(LanguageTable, FindsALanguageByCodeWithoutRegardToCase) {
  const LanguageTable t = LanguageTable::parse(kThree);
  EXPECT_EQ(t.languageOfCode("DE"), 1);
  EXPECT_EQ(t.languageOfCode("fr"), 2);
  EXPECT_EQ(t.languageOfCode("it"), 0);
}

TEST(LanguageTable, MalformedFilesGiveAnEmptyTable) {
  for (const QByteArray& bytes : {QByteArray(), QByteArray("x\nA\nB\n"), QByteArray("0\nA\n"),
                                  QByteArray("2\nEnglish\nDeutsch\nen\n"), QByteArray("-1\na\nb\n")})
    EXPECT_TRUE(LanguageTable::parse(bytes).isEmpty()) << bytes.toStdString();
  // LF line ends and no BOM work as well; two groups are enough.
  const LanguageTable t = LanguageTable::parse("2\nEnglish\nDeutsch\nen\nde");
  EXPECT_EQ(t.languageCount(), 2);
  EXPECT_EQ(t.code(1), "de");
}

TEST(Translation, LoadsFromTheFolderAndKeepsAnUnknownCode) {
  QTemporaryDir dir;
  QFile file(dir.filePath("transl.dt"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(kThree);
  file.close();
  LoadTranslationTable(dir.path(), "FR");
  EXPECT_EQ(translation().CurrentLanguageIndex, 2);
  EXPECT_EQ(TranslateText("Open"), "Ouvrir");
  LoadTranslationTable(dir.path(), "it");
  EXPECT_EQ(translation().CurrentLanguageIndex, 0);
  EXPECT_EQ(translation().CurrentLanguage, "it");
  EXPECT_EQ(TranslateText("Open"), "Open");
  LoadTranslationTable(dir.filePath("missing"), "de");
  EXPECT_TRUE(translation().TranslationTable.isEmpty());
  EXPECT_EQ(TranslateText("Open"), "Open");
}

TEST(Translation, DefaultCodesFollowTheInterfaceLanguage) {
  EXPECT_EQ(defaultLanguageCode(QLocale::German), "de");
  EXPECT_EQ(defaultLanguageCode(QLocale::Japanese), "jp");
  EXPECT_EQ(defaultLanguageCode(QLocale::Chinese), "cn");
  EXPECT_EQ(defaultLanguageCode(QLocale::Swedish), "en");
}

}  // namespace
}  // namespace lumo
