// `lumo-project pack OUT.lmrd IMAGE...`: one version per image, each a single image
// layer named after its file.
#include <cstdio>
#include <set>

#include <QFileInfo>

#include "document/ProjectFile.h"
#include "engine/io/ImageFile.h"
#include "projecttool/Commands.h"

namespace lumo {

namespace {

// The file name without folder and extension; ";" would end the name when it is read
// back, so it becomes ","; a name already taken gets " 2", " 3", ...
QString versionNameFor(const QString& path, std::set<QString>& taken) {
  QString base = QFileInfo(path).completeBaseName();
  base.replace(QLatin1Char(';'), QLatin1Char(','));
  QString name = base;
  for (int n = 2; taken.count(name); ++n) name = base + QStringLiteral(" %1").arg(n);
  taken.insert(name);
  return name;
}

}  // namespace

int runPackCommand(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: lumo-project pack OUT.lmrd IMAGE...\n", stderr);
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[0]);
  std::vector<Version> versions;
  std::set<QString> taken;
  for (int i = 1; i < argc; ++i) {
    const QString path = QString::fromLocal8Bit(argv[i]);
    Version v;
    auto layer = std::make_unique<ImageLayer>();
    QString error;
    if (!loadImageFile(path, layer->bitmap, v.IO, &error)) {
      std::fprintf(stderr, "error: %s: %s\n", qPrintable(path), qPrintable(error));
      return 1;
    }
    layer->Width = layer->bitmap.width();
    layer->Height = layer->bitmap.height();
    layer->fLocked = true;  // a background, as every new document's is
    v.Layers.add(std::move(layer));
    v.VersionName = versionNameFor(path, taken);
    v.IO.IEN_Compression = -1;
    versions.push_back(std::move(v));
  }
  std::vector<Version*> pointers;
  for (Version& v : versions) pointers.push_back(&v);
  if (const QString error = saveProjectFile(out, pointers); !error.isEmpty()) {
    std::fprintf(stderr, "error: %s\n", qPrintable(error));
    return 1;
  }
  std::printf("%s: %zu version%s\n", argv[0], versions.size(), versions.size() == 1 ? "" : "s");
  return 0;
}

}  // namespace lumo
