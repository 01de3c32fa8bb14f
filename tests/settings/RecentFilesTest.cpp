#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "settings/RecentFiles.h"

namespace lumo {
namespace {

TEST(RecentFiles, NewestFirstWithoutDuplicatesAndAtMostFifteen) {
  RecentFiles recent;
  for (int i = 0; i < 20; ++i) recent.UpdateRecenttems(QString("/p/%1.jpg").arg(i));
  ASSERT_EQ(recent.paths().size(), 15);
  EXPECT_EQ(recent.paths().front(), "/p/19.jpg");
  EXPECT_EQ(recent.paths().back(), "/p/5.jpg");
  recent.UpdateRecenttems("/p/10.jpg");  // already listed: moves to the top
  EXPECT_EQ(recent.paths().front(), "/p/10.jpg");
  EXPECT_EQ(recent.paths().size(), 15);
  EXPECT_EQ(recent.paths().count("/p/10.jpg"), 1);
  recent.UpdateRecenttems();
  EXPECT_EQ(recent.paths().front(), "/p/10.jpg");
}

TEST(RecentFiles, ReadsWithOrWithoutAByteOrderMarkAndWritesOne) {
  QTemporaryDir dir;
  const QString name = QString::fromUtf8("/photos/\xC3\xA9t\xC3\xA9.jpg");
  for (const QByteArray& head : {QByteArray("\xEF\xBB\xBF"), QByteArray()}) {
    QFile file(dir.filePath("recent.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(head + name.toUtf8() + "\r\n/b.png\n\n");
    file.close();
    RecentFiles recent;
    recent.load(file.fileName());
    EXPECT_EQ(recent.paths(), QStringList({name, "/b.png"}));
  }
  RecentFiles recent;
  recent.UpdateRecenttems("/b.png");
  recent.UpdateRecenttems(name);
  const QString saved = dir.filePath("new/folder/recent.txt");
  ASSERT_TRUE(recent.save(saved));
  QFile file(saved);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), "\xEF\xBB\xBF" + name.toUtf8() + "\r\n/b.png\r\n");
  RecentFiles missing;
  missing.load(dir.filePath("none.txt"));
  EXPECT_TRUE(missing.paths().isEmpty());
}

}  // namespace
}  // namespace lumo
