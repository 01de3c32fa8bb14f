#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "document/ProjectFile.h"
#include "engine/io/FileTypeRegistry.h"
#include "engine/io/ImageFile.h"
#include "engine/pixels/PixelConvert.h"

namespace lumo {
namespace {

struct ToolRun {
  int exitCode;
  QString out, err;
};

ToolRun tool(const QStringList& arguments) {
  QProcess p;
  p.start(QStringLiteral(LUMO_PROJECT_TOOL), arguments);
  p.waitForFinished(30000);
  return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()), QString::fromLocal8Bit(p.readAllStandardError())};
}

ToolRun info(const QString& file) { return tool({QStringLiteral("info"), file}); }

Version version(const QString& name, int w, int h) {
  Version v;
  v.VersionName = name;
  auto bg = std::make_unique<ImageLayer>();
  bg->bitmap = Bitmap(w, h, PixelFormat::ie24RGB);
  bg->Width = w;
  bg->Height = h;
  v.Layers.add(std::move(bg));
  return v;
}

TEST(InfoCommand, ListsEveryVersionAndReportsDamage) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("p.lmrd"));
  Version a = version(QStringLiteral("Original"), 500, 300), b = version(QStringLiteral("Warm"), 4, 4);
  b.Layers.add(createLayer(LayerKind::ielkText));
  ASSERT_EQ(saveProjectFile(file, {&a, &b}), QString());

  ToolRun r = info(file);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(r.out, file + QStringLiteral(": 2 versions\n"
                                         "1. \"Original\": 500 x 300, 1 layer (image), thumbnail 416 x 250\n"
                                         "2. \"Warm\": 4 x 4, 2 layers (image, text), thumbnail none\n"));

  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::Append));
  f.write("junk after the last block");
  f.close();
  r = info(file);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.out.contains(QStringLiteral("2. \"Warm\"")));
  EXPECT_EQ(r.err, QStringLiteral("error: File stream is corrupt\n"));
}

TEST(ExtractCommand, WritesEveryVersionFlattenedUnderASafeName) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("trip.lmrd"));
  Version a = version(QStringLiteral("Original"), 6, 4), b = version(QStringLiteral("a/b: c?"), 6, 4),
          c = version(QStringLiteral("Original"), 3, 2);
  layerAs<ImageLayer>(&b.Layers.at(0))->bitmap.fill(200);
  ASSERT_EQ(saveProjectFile(file, {&a, &b, &c}), QString());

  const QString out = dir.filePath(QStringLiteral("out"));
  const ToolRun r = tool({QStringLiteral("extract"), file, out});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QStringList names = QDir(out).entryList(QDir::Files, QDir::Name);
  EXPECT_EQ(names, (QStringList{"trip_Original 2.png", "trip_Original.png", "trip_a_b_ c_.png"}));
  const QImage second(QDir(out).filePath(QStringLiteral("trip_a_b_ c_.png")));
  ASSERT_EQ(second.size(), QSize(6, 4));
  EXPECT_EQ(second.pixelColor(2, 2), QColor(200, 200, 200));
  EXPECT_EQ(QImage(QDir(out).filePath(QStringLiteral("trip_Original 2.png"))).size(), QSize(3, 2));

}

// Each type the registry writes as one image comes out of that type's own writer; the
// others are refused before anything is written.
TEST(ExtractCommand, WritesEveryWritableTypeAndRefusesTheRest) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("trip.lmrd"));
  Version a = version(QStringLiteral("Original"), 6, 4);
  layerAs<ImageLayer>(&a.Layers.at(0))->bitmap.fill(200);
  ASSERT_EQ(saveProjectFile(file, {&a}), QString());

  for (const FileTypeInfo& type : fileTypes()) {
    if (!type.writes || type.code == FileTypeCode::LMRD) continue;
    const QString ext = type.extensions.first().toLower();
    const QString out = dir.filePath(ext);
    const ToolRun r = tool({QStringLiteral("extract"), file, out, QStringLiteral("--format"), ext});
    ASSERT_EQ(r.exitCode, 0) << ext.toStdString() << ": " << r.err.toStdString();
    const QString target = QDir(out).filePath(QStringLiteral("trip_Original.") + ext);
    EXPECT_EQ(r.out, target + QLatin1Char('\n'));
    EXPECT_EQ(detectFileTypeOfFile(target), type.code) << ext.toStdString();
    if (!type.reads) continue;
    Bitmap back;
    IOParams params;
    QString error;
    ASSERT_TRUE(loadImageFile(target, back, params, &error)) << ext.toStdString() << ": " << error.toStdString();
    ASSERT_EQ(back.width(), 6) << ext.toStdString();
    ASSERT_EQ(back.height(), 4) << ext.toStdString();
    const Bitmap rgb = convertToRGB24(back);
    const uint8_t* pixel = rgb.scanline(2) + 2 * 3;
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(pixel[c], 200, 3) << ext.toStdString();  // JPEG within a few levels
  }

  struct Refusal {
    const char* format;
    const char* reason;
  } refusals[] = {{"nope", "it is not a known image file type"},
                  {"cr2", "saving Camera RAW files is not supported"},
                  {"lmrd", "a project holds versions, not one image"}};
  for (const auto& [format, reason] : refusals) {
    const QString out = dir.filePath(QStringLiteral("refused"));
    const ToolRun r = tool({QStringLiteral("extract"), file, out, QStringLiteral("--format"), QString::fromLatin1(format)});
    EXPECT_EQ(r.exitCode, 2) << format;
    EXPECT_EQ(r.err, QStringLiteral("error: cannot write the format \"%1\": %2\n").arg(format, reason));
    EXPECT_FALSE(QDir(out).exists()) << format;
  }
}

TEST(PackCommand, OneVersionPerImageNamedAfterItsFile) {
  QTemporaryDir dir;
  QImage red(8, 6, QImage::Format_RGB32), blue(5, 5, QImage::Format_RGB32);
  red.fill(Qt::red);
  blue.fill(Qt::blue);
  const QString a = dir.filePath(QStringLiteral("beach;sunset.png")), b = dir.filePath(QStringLiteral("x/beach;sunset.png"));
  QDir(dir.path()).mkpath(QStringLiteral("x"));
  ASSERT_TRUE(red.save(a));
  ASSERT_TRUE(blue.save(b));
  const QString out = dir.filePath(QStringLiteral("packed.lmrd"));
  const ToolRun r = tool({QStringLiteral("pack"), out, a, b});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

  const ProjectLoadResult p = loadProjectFile(out);
  ASSERT_TRUE(p.ok()) << p.error.toStdString();
  ASSERT_EQ(p.versions.size(), 2u);
  EXPECT_EQ(p.versions[0].VersionName, QStringLiteral("beach,sunset"));
  EXPECT_EQ(p.versions[1].VersionName, QStringLiteral("beach,sunset 2"));
  EXPECT_EQ(p.versions[1].Layers.count(), 1);
  EXPECT_EQ(p.versions[1].IO.Width, 5);
  EXPECT_EQ(info(out).exitCode, 0);

  EXPECT_EQ(tool({QStringLiteral("pack"), out, dir.filePath(QStringLiteral("missing.png"))}).exitCode, 1);
  EXPECT_TRUE(loadProjectFile(out).ok());  // a failed pack leaves the earlier file
}

}  // namespace
}  // namespace lumo
