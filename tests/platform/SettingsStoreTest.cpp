#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/SettingsStore.h"

namespace lumo {
namespace {

TEST(SettingsStore, ValuesSurviveInTheirKinds) {
  QTemporaryDir dir;
  const QString path = dir.filePath("config/Lumora.ini");
  {
    SettingsStore store(path);
    EXPECT_FALSE(store.exists());
    store.writeInt("JPEG_Quality", -7);
    store.writeText("CurrentLanguage", QString::fromUtf8("d\xC3\xA9; = [x]"));
    store.writeDouble("J2000_Rate", 0.95);
    store.writeBinary("Blob", QByteArray("\0\x01\xFF", 3));
    EXPECT_TRUE(store.flush());
  }
  SettingsStore store(path);
  EXPECT_TRUE(store.exists());
  EXPECT_EQ(store.readInt("JPEG_Quality"), -7);
  EXPECT_EQ(store.readText("CurrentLanguage"), QString::fromUtf8("d\xC3\xA9; = [x]"));
  EXPECT_EQ(store.readDouble("J2000_Rate"), 0.95);
  EXPECT_EQ(store.readBinary("Blob"), QByteArray("\0\x01\xFF", 3));
  EXPECT_FALSE(store.readInt("Missing").has_value());
}

TEST(SettingsStore, AValueOfTheWrongKindReadsAsMissing) {
  QTemporaryDir dir;
  SettingsStore store(dir.filePath("Lumora.ini"));
  store.writeText("JPEG_Quality", "80");
  store.writeBinary("J2000_Rate", QByteArray(4, '\0'));  // not 8 bytes
  store.writeInt("CurrentLanguage", 3);
  EXPECT_TRUE(store.contains("JPEG_Quality"));
  EXPECT_FALSE(store.readInt("JPEG_Quality").has_value());
  EXPECT_FALSE(store.readDouble("J2000_Rate").has_value());
  EXPECT_FALSE(store.readText("CurrentLanguage").has_value());
}

TEST(SettingsStore, AHandEditedOrDamagedFileKeepsTheDefaults) {
  QTemporaryDir dir;
  QFile file(dir.filePath("Lumora.ini"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("[Lumora]\nA=dword:12x\nB=dword:99999999999\nC=binary:@@@\nD=7\n\x01\x02garbage\n");
  file.close();
  SettingsStore store(file.fileName());
  for (const char* name : {"A", "B", "D"}) EXPECT_FALSE(store.readInt(name).has_value()) << name;
  EXPECT_FALSE(store.readBinary("C").has_value());
}

TEST(SettingsStore, AFailedWriteIsReported) {
  QTemporaryDir dir;
  QFile blocker(dir.filePath("blocker"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  SettingsStore store(dir.filePath("blocker/Lumora.ini"));  // its folder is a file
  store.writeInt("x", 1);
  EXPECT_FALSE(store.flush());
}

}  // namespace
}  // namespace lumo
