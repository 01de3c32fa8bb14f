#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "document/ProjectError.h"
#include "document/ProjectFile.h"

namespace lumo {
namespace {

Version makeVersion(const QString& name, int w, int h, uint8_t shade) {
  Version v;
  v.VersionName = name;
  auto bg = std::make_unique<ImageLayer>();
  bg->bitmap = Bitmap(w, h, PixelFormat::ie24RGB);
  bg->bitmap.fill(shade);
  bg->Width = w;
  bg->Height = h;
  v.Layers.add(std::move(bg));
  auto text = std::make_unique<TextLayer>();
  text->fText = name + QStringLiteral(" text");
  text->setRect(QRectF(2, 3, 10, 5));
  v.Layers.add(std::move(text));
  return v;
}

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

class ProjectFileTest : public testing::Test {
 protected:
  QTemporaryDir dir;
  QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
};

TEST_F(ProjectFileTest, VersionsComeBackInOrderWithTheirPixels) {
  std::vector<Version> versions;
  versions.push_back(makeVersion(QStringLiteral("Original"), 40, 30, 10));
  versions.push_back(makeVersion(QStringLiteral("Copy 1 of Original"), 40, 30, 120));
  versions.push_back(makeVersion(QStringLiteral("Grün"), 12, 8, 250));
  versions[1].LayersSnapToGrid = true;
  versions[1].LayersSnapDist = 33;
  std::vector<Version*> pointers{&versions[0], &versions[1], &versions[2]};
  ASSERT_EQ(saveProjectFile(path("three.lmrd"), pointers), QString());
  EXPECT_EQ(NextVersionOffset, 0);
  EXPECT_EQ(versions[0].IO.FileType, FileTypeCode::LMRD);

  const ProjectLoadResult r = loadProjectFile(path("three.lmrd"));
  ASSERT_TRUE(r.ok()) << r.error.toStdString();
  ASSERT_EQ(r.versions.size(), 3u);
  EXPECT_EQ(NextVersionOffset, 0);
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const Version& got = r.versions[i];
    EXPECT_EQ(got.VersionName, versions[i].VersionName);
    EXPECT_EQ(got.TheFileName, path("three.lmrd"));
    EXPECT_EQ(got.IO.FileType, FileTypeCode::LMRD);
    ASSERT_EQ(got.Layers.count(), 2);
    EXPECT_EQ(got.Layers.currentIndex(), 0);
    EXPECT_TRUE(layerAs<ImageLayer>(&got.Layers.at(0))->bitmap.samePixels(
        layerAs<ImageLayer>(&versions[i].Layers.at(0))->bitmap));
    EXPECT_EQ(layerAs<TextLayer>(&got.Layers.at(1))->fText, versions[i].VersionName + QStringLiteral(" text"));
  }
  EXPECT_TRUE(r.versions[1].LayersSnapToGrid);
  EXPECT_EQ(r.versions[1].LayersSnapDist, 33);
  EXPECT_EQ(r.versions[2].IO.Width, 12);
  EXPECT_EQ(r.versions[2].IO.Height, 8);
}

TEST_F(ProjectFileTest, UnnamedVersionBecomesOriginalAndSemicolonCutsTheName) {
  Version a = makeVersion(QString(), 6, 6, 1);
  Version b = makeVersion(QStringLiteral("left;right"), 6, 6, 2);
  ASSERT_EQ(saveProjectFile(path("names.lmrd"), {&a, &b}), QString());
  ProjectLoadOptions o;
  o.defaultVersionName = QStringLiteral("Original");
  const ProjectLoadResult r = loadProjectFile(path("names.lmrd"), o);
  ASSERT_EQ(r.versions.size(), 2u);
  EXPECT_EQ(r.versions[0].VersionName, QStringLiteral("Original"));
  EXPECT_EQ(r.versions[1].VersionName, QStringLiteral("left"));
}

TEST_F(ProjectFileTest, SavingAgainReplacesTheOldContents) {
  Version a = makeVersion(QStringLiteral("A"), 20, 20, 1), b = makeVersion(QStringLiteral("B"), 20, 20, 2);
  ASSERT_EQ(saveProjectFile(path("p.lmrd"), {&a, &b}), QString());
  ASSERT_EQ(saveProjectFile(path("p.lmrd"), {&b}), QString());
  const ProjectLoadResult r = loadProjectFile(path("p.lmrd"));
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r.versions.size(), 1u);
  EXPECT_EQ(r.versions[0].VersionName, QStringLiteral("B"));
}

TEST_F(ProjectFileTest, FailureAtTheSecondBlockLeavesTheOldFileByteIdentical) {
  Version a = makeVersion(QStringLiteral("A"), 20, 20, 1);
  ASSERT_EQ(saveProjectFile(path("keep.lmrd"), {&a}), QString());
  const QByteArray before = readAll(path("keep.lmrd"));

  Version v1 = makeVersion(QStringLiteral("1"), 20, 20, 5), v2 = makeVersion(QStringLiteral("2"), 20, 20, 6),
          v3 = makeVersion(QStringLiteral("3"), 20, 20, 7);
  int blocksStarted = 0;
  const QString error = saveProjectFile(path("keep.lmrd"), {&v1, &v2, &v3}, [&](int percent) {
    if (percent == 0 && ++blocksStarted == 2) throw ProjectError(QStringLiteral("disk full"));
  });
  EXPECT_EQ(error, QStringLiteral("disk full"));
  EXPECT_EQ(readAll(path("keep.lmrd")), before);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("keep.lmrd")});
  EXPECT_EQ(NextVersionOffset, 0);
  EXPECT_NE(v1.IO.FileType, FileTypeCode::LMRD);  // nothing claims to be saved
}

TEST_F(ProjectFileTest, JunkAfterTheLastBlockIsReportedAndTheVersionsKept) {
  Version a = makeVersion(QStringLiteral("A"), 8, 8, 1), b = makeVersion(QStringLiteral("B"), 8, 8, 2);
  ASSERT_EQ(saveProjectFile(path("junk.lmrd"), {&a, &b}), QString());
  const QByteArray good = readAll(path("junk.lmrd"));
  for (const QByteArray& junk : {QByteArray(7, 'x'), QByteArray(5000, '\0'), QByteArray("IMAGEENLAYERS")}) {
    writeAll(path("junk.lmrd"), good + junk);
    const ProjectLoadResult r = loadProjectFile(path("junk.lmrd"));
    EXPECT_EQ(r.error, ProjectErrorText::kCorrupt);
    ASSERT_EQ(r.versions.size(), 2u);  // never thousands of empty versions
    EXPECT_EQ(r.versions[1].VersionName, QStringLiteral("B"));
  }
}

TEST_F(ProjectFileTest, NotAProjectAtAll) {
  writeAll(path("fake.lmrd"), QByteArray(100, 'z'));
  const ProjectLoadResult r = loadProjectFile(path("fake.lmrd"));
  EXPECT_EQ(r.error, ProjectErrorText::kCorrupt);
  EXPECT_TRUE(r.versions.empty());
}

TEST_F(ProjectFileTest, FilesThatCannotBeOpenedOrCreated) {
  const ProjectLoadResult r = loadProjectFile(path("missing.lmrd"));
  EXPECT_TRUE(r.error.startsWith(QStringLiteral("Cannot open file \"%1\". ").arg(path("missing.lmrd"))))
      << r.error.toStdString();
  Version a = makeVersion(QStringLiteral("A"), 8, 8, 1);
  const QString target = dir.filePath(QStringLiteral("no/such/folder/x.lmrd"));
  const QString e = saveProjectFile(target, {&a});
  EXPECT_TRUE(e.startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(target))) << e.toStdString();
}

TEST_F(ProjectFileTest, ThumbnailOnlyRead) {
  Version a = makeVersion(QStringLiteral("A"), 500, 300, 200);
  ASSERT_EQ(saveProjectFile(path("t.lmrd"), {&a}), QString());
  EXPECT_EQ(loadProjectThumbnail(path("t.lmrd")).size(), QSize(416, 250));
  Version tiny = makeVersion(QStringLiteral("A"), 4, 4, 200);
  tiny.Layers.remove(1);
  ASSERT_EQ(saveProjectFile(path("tiny.lmrd"), {&tiny}), QString());
  EXPECT_TRUE(loadProjectThumbnail(path("tiny.lmrd")).isNull());
  // Without a thumbnail the load goes on and reads the block itself.
  ProjectLoadOptions o;
  o.params.IEN_GetThumbnail = true;
  const ProjectLoadResult r = loadProjectFile(path("tiny.lmrd"), o);
  EXPECT_FALSE(r.thumbnailOnly);
  ASSERT_EQ(r.versions.size(), 1u);
  EXPECT_EQ(layerAs<ImageLayer>(&r.versions[0].Layers.at(0))->bitmap.width(), 4);
}

TEST_F(ProjectFileTest, PropertiesOnlyLoadSkipsPixels) {
  Version a = makeVersion(QStringLiteral("A"), 30, 20, 9);
  ASSERT_EQ(saveProjectFile(path("p.lmrd"), {&a}), QString());
  ProjectLoadOptions o;
  o.loadPixels = false;
  const ProjectLoadResult r = loadProjectFile(path("p.lmrd"), o);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.versions[0].Layers.at(0).Width, 30);
  EXPECT_TRUE(layerAs<ImageLayer>(&r.versions[0].Layers.at(0))->bitmap.isNull());
}

}  // namespace
}  // namespace lumo
