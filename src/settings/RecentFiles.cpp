#include "settings/RecentFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace lumo {

void RecentFiles::UpdateRecenttems(const QString& path) {
  if (path.isEmpty()) return;
  paths_.removeAll(path);
  paths_.prepend(path);
  while (paths_.size() > kMaxEntries) paths_.removeLast();
}

void RecentFiles::load(const QString& file) {
  paths_.clear();
  QFile in(file);
  if (!in.open(QIODevice::ReadOnly)) return;
  QByteArray bytes = in.readAll();
  if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
  for (QString line : QString::fromUtf8(bytes).split('\n')) {
    if (line.endsWith('\r')) line.chop(1);
    if (!line.trimmed().isEmpty() && paths_.size() < kMaxEntries) paths_ << line;
  }
}

bool RecentFiles::save(const QString& file) const {
  QDir().mkpath(QFileInfo(file).absolutePath());
  QSaveFile out(file);
  if (!out.open(QIODevice::WriteOnly)) return false;
  QByteArray bytes("\xEF\xBB\xBF");
  for (const QString& path : paths_) bytes += path.toUtf8() + "\r\n";
  return out.write(bytes) == bytes.size() && out.commit();
}

}  // namespace lumo
