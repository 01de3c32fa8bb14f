// `lumo-project info FILE`: each version in file order with its name, size, layers and
// thumbnail; on a damaged file the error and the versions read before it, exit 1.
#include <cstdio>

#include <QString>
#include <QStringList>

#include "document/ProjectFile.h"
#include "projecttool/Commands.h"

namespace lumo {

namespace {

void printVersion(int number, const Version& v) {
  QStringList kinds;
  for (int i = 0; i < v.Layers.count(); ++i) kinds << QString::fromLatin1(layerKindName(v.Layers.at(i).kind())).toLower();
  const QString thumbnail = v.IO.ThumbnailSize.isEmpty()
                                ? QStringLiteral("none")
                                : QStringLiteral("%1 x %2").arg(v.IO.ThumbnailSize.width()).arg(v.IO.ThumbnailSize.height());
  std::printf("%d. \"%s\": %d x %d, %d layer%s (%s), thumbnail %s\n", number, qPrintable(v.VersionName), v.IO.Width,
              v.IO.Height, v.Layers.count(), v.Layers.count() == 1 ? "" : "s", qPrintable(kinds.join(QStringLiteral(", "))),
              qPrintable(thumbnail));
}

}  // namespace

int runInfoCommand(int argc, char** argv) {
  if (argc != 1) {
    std::fputs("usage: lumo-project info FILE.lmrd\n", stderr);
    return 2;
  }
  const QString fileName = QString::fromLocal8Bit(argv[0]);
  ProjectLoadOptions options;
  options.loadPixels = false;  // the properties tell all that is printed
  const ProjectLoadResult result = loadProjectFile(fileName, options);
  std::printf("%s: %zu version%s\n", argv[0], result.versions.size(), result.versions.size() == 1 ? "" : "s");
  for (size_t i = 0; i < result.versions.size(); ++i) printVersion(int(i) + 1, result.versions[i]);
  if (!result.ok()) {
    std::fprintf(stderr, "error: %s\n", qPrintable(result.error));
    return 1;
  }
  return 0;
}

}  // namespace lumo
