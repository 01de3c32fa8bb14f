#pragma once
// The per-user settings key: typed values (32-bit integers, texts, binary blocks) kept in
// an INI file in the user's configuration folder. Each value carries its kind, so a value
// of the wrong kind is told apart from a missing one and the caller keeps its default.
#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QString>

class QSettings;

namespace lumo {

class SettingsStore {
 public:
  // The store of this user; tests pass a file of their own.
  static QString defaultPath();
  explicit SettingsStore(const QString& path = defaultPath());
  ~SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // Whether the key exists at all (it does once anything was written).
  bool exists() const;
  bool contains(const QString& name) const;

  // A value of that kind, or nothing when missing or stored as another kind.
  std::optional<int32_t> readInt(const QString& name) const;
  std::optional<QString> readText(const QString& name) const;
  std::optional<QByteArray> readBinary(const QString& name) const;
  // A double stored as its 8 little-endian bytes; nothing unless exactly 8 bytes.
  std::optional<double> readDouble(const QString& name) const;

  void writeInt(const QString& name, int32_t value);
  void writeText(const QString& name, const QString& value);
  void writeBinary(const QString& name, const QByteArray& value);
  void writeDouble(const QString& name, double value);
  // Writes everything to disk; false when the file cannot be written (the previous
  // file then stays as it was).
  bool flush();

 private:
  std::optional<QString> tagged(const QString& name, const char* kind) const;
  void put(const QString& name, const char* kind, const QString& value);
  QString path_;
  QSettings* settings_;
};

}  // namespace lumo
