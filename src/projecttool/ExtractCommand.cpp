// `lumo-project extract FILE.lmrd OUTDIR [--format EXT]`: every version flattened into
// OUTDIR/<file name>_<version name>.<ext>, PNG unless asked otherwise.
#include <cstdio>
#include <cstring>
#include <set>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>

#include "document/ProjectFile.h"
#include "engine/pixels/QImageBridge.h"
#include "engine/render/FlattenedCopy.h"
#include "projecttool/Commands.h"

namespace lumo {

namespace {

int usage() {
  std::fputs("usage: lumo-project extract FILE.lmrd OUTDIR [--format EXT]\n", stderr);
  return 2;
}

// A version name as a file name: characters no file system takes become "_".
QString safeFileName(const QString& name) {
  QString out;
  for (QChar c : name.trimmed()) out += (c.unicode() < 32 || QStringLiteral("<>:\"/\\|?*").contains(c)) ? QChar('_') : c;
  while (out.endsWith(QLatin1Char('.'))) out.chop(1);  // a trailing dot vanishes on some systems
  return out;
}

}  // namespace

int runExtractCommand(int argc, char** argv) {
  if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--format") == 0)) return usage();
  const QString file = QString::fromLocal8Bit(argv[0]);
  const QDir outDir(QString::fromLocal8Bit(argv[1]));
  const QByteArray format = argc == 4 ? QByteArray(argv[3]).toLower() : QByteArray("png");
  if (!QImageWriter::supportedImageFormats().contains(format)) {
    std::fprintf(stderr, "error: cannot write the format \"%s\"\n", format.constData());
    return 2;
  }
  if (!outDir.exists() && !QDir().mkpath(outDir.path())) {
    std::fprintf(stderr, "error: cannot create the folder \"%s\"\n", qPrintable(outDir.path()));
    return 1;
  }
  // Text layers need fonts, and fonts need a GUI application, even without a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  int appArgc = 1;
  char appName[] = "lumo-project";
  char* appArgv[] = {appName, nullptr};
  QGuiApplication app(appArgc, appArgv);

  const ProjectLoadResult project = loadProjectFile(file);
  const QString base = QFileInfo(file).completeBaseName();
  std::set<QString> used;
  int failures = 0;
  for (size_t i = 0; i < project.versions.size(); ++i) {
    QString name = base + QLatin1Char('_') + safeFileName(project.versions[i].VersionName);
    // Two versions of one name must not overwrite each other.
    for (int n = 2; used.count(name.toLower()); ++n)
      name = base + QLatin1Char('_') + safeFileName(project.versions[i].VersionName) + QStringLiteral(" %1").arg(n);
    used.insert(name.toLower());
    const QString target = outDir.filePath(name + QLatin1Char('.') + QString::fromLatin1(format));
    const QImage picture = toQImage(flattenedCopy(project.versions[i].Layers));
    QImageWriter writer(target, format);
    if (picture.isNull() || !writer.write(picture)) {
      std::fprintf(stderr, "error: %s: %s\n", qPrintable(target), qPrintable(writer.errorString()));
      ++failures;
      continue;
    }
    std::printf("%s\n", qPrintable(target));
  }
  if (!project.ok()) std::fprintf(stderr, "error: %s\n", qPrintable(project.error));
  return project.ok() && failures == 0 ? 0 : 1;
}

}  // namespace lumo
