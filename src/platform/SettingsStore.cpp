#include "platform/SettingsStore.h"

#include <cstring>

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace lumo {

namespace {
// Every value is stored as "<kind>:<content>" in the one group of the key.
constexpr char kGroup[] = "Lumora";
constexpr char kInt[] = "dword", kText[] = "sz", kBinary[] = "binary";
}  // namespace

QString SettingsStore::defaultPath() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).filePath("Lumora/Lumora.ini");
}

SettingsStore::SettingsStore(const QString& path) : path_(path), settings_(new QSettings(path, QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() { delete settings_; }

bool SettingsStore::exists() const {
  return !settings_->childGroups().isEmpty() || !settings_->allKeys().isEmpty();
}

bool SettingsStore::contains(const QString& name) const { return settings_->contains(QString(kGroup) + "/" + name); }

std::optional<QString> SettingsStore::tagged(const QString& name, const char* kind) const {
  const QVariant v = settings_->value(QString(kGroup) + "/" + name);
  if (!v.isValid()) return std::nullopt;
  const QString text = v.toString();
  const QString prefix = QString(kind) + ":";
  if (!text.startsWith(prefix)) return std::nullopt;
  return text.mid(prefix.size());
}

void SettingsStore::put(const QString& name, const char* kind, const QString& value) {
  settings_->setValue(QString(kGroup) + "/" + name, QString(kind) + ":" + value);
}

std::optional<int32_t> SettingsStore::readInt(const QString& name) const {
  const auto text = tagged(name, kInt);
  if (!text) return std::nullopt;
  bool ok = false;
  const qlonglong v = text->toLongLong(&ok);
  if (!ok || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return int32_t(v);
}

std::optional<QString> SettingsStore::readText(const QString& name) const { return tagged(name, kText); }

std::optional<QByteArray> SettingsStore::readBinary(const QString& name) const {
  const auto text = tagged(name, kBinary);
  if (!text) return std::nullopt;
  const auto decoded = QByteArray::fromBase64Encoding(text->toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded) return std::nullopt;
  return *decoded;
}

std::optional<double> SettingsStore::readDouble(const QString& name) const {
  const auto bytes = readBinary(name);
  if (!bytes || bytes->size() != 8) return std::nullopt;
  static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
  double v;
  std::memcpy(&v, bytes->constData(), 8);
  return v;
}

void SettingsStore::writeInt(const QString& name, int32_t value) { put(name, kInt, QString::number(value)); }
void SettingsStore::writeText(const QString& name, const QString& value) { put(name, kText, value); }
void SettingsStore::writeBinary(const QString& name, const QByteArray& value) {
  put(name, kBinary, QString::fromLatin1(value.toBase64()));
}
void SettingsStore::writeDouble(const QString& name, double value) {
  writeBinary(name, QByteArray(reinterpret_cast<const char*>(&value), 8));
}

bool SettingsStore::flush() {
  QDir().mkpath(QFileInfo(path_).absolutePath());
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

}  // namespace lumo
