#pragma once
// The recent-files list: full paths, most recent first, at most 15, kept in "recent.txt"
// as UTF-8 with a byte-order mark, one path a line.
#include <QString>
#include <QStringList>

namespace lumo {

class RecentFiles {
 public:
  static constexpr int kMaxEntries = 15;

  // Puts `path` at the top; a path already listed moves there. An empty path only keeps
  // the list as it is.
  void UpdateRecenttems(const QString& path = QString());
  void clear() { paths_.clear(); }
  const QStringList& paths() const { return paths_; }

  // Reads the file (with or without a byte-order mark, CR LF or LF); a missing file
  // leaves the list empty. Blank lines are skipped and the list is cut to its limit.
  void load(const QString& file);
  // Writes the list, creating the folder when missing. False when it cannot be written.
  bool save(const QString& file) const;

 private:
  QStringList paths_;
};

}  // namespace lumo
