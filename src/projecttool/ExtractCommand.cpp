// `lumo-project extract FILE.lmrd OUTDIR [--format EXT]`: every version flattened into
// OUTDIR/<file name>_<version name>.<ext>, PNG unless asked otherwise, written by the
// program's own writer of that type with the save options the version carries.
#include <cstdio>
#include <cstring>
#include <set>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include "document/ProjectFile.h"
#include "engine/io/FileTypeRegistry.h"
#include "engine/io/ImageFile.h"
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

// Why `extension` names no type that is written as one image; empty when it does.
QString unwritableReason(const QString& extension) {
  const FileTypeInfo* type = fileTypeByExtension(extension);
  if (!type) return QStringLiteral("it is not a known image file type");
  if (type->code == FileTypeCode::LMRD) return QStringLiteral("a project holds versions, not one image");
  if (!type->writes) return QStringLiteral("saving %1 files is not supported").arg(type->name);
  return {};
}

}  // namespace

int runExtractCommand(int argc, char** argv) {
  if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--format") == 0)) return usage();
  const QString file = QString::fromLocal8Bit(argv[0]);
  const QDir outDir(QString::fromLocal8Bit(argv[1]));
  QString format = argc == 4 ? QString::fromLocal8Bit(argv[3]).toLower() : QStringLiteral("png");
  if (format.startsWith(QLatin1Char('.'))) format.remove(0, 1);
  if (const QString reason = unwritableReason(format); !reason.isEmpty()) {
    std::fprintf(stderr, "error: cannot write the format \"%s\": %s\n", qPrintable(format), qPrintable(reason));
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
    const QString target = outDir.filePath(name + QLatin1Char('.') + format);
    QString error;
    if (!saveImageFile(target, flattenedCopy(project.versions[i].Layers), project.versions[i].IO, &error)) {
      std::fprintf(stderr, "error: %s: %s\n", qPrintable(target), qPrintable(error));
      ++failures;
      continue;
    }
    std::printf("%s\n", qPrintable(target));
  }
  if (!project.ok()) std::fprintf(stderr, "error: %s\n", qPrintable(project.error));
  return project.ok() && failures == 0 ? 0 : 1;
}

}  // namespace lumo
