#pragma once
// One running instance per user. The first instance holds a lock file in the user's
// runtime folder (the kernel drops the lock when a process dies, so a crashed instance
// never blocks later starts) and listens on a local socket beside it. A later instance
// finds the lock taken and hands its file name, or a wake-up, to the first one over that
// socket, waiting until the first instance has dealt with it.
#include <cstdint>
#include <memory>

#include <QObject>
#include <QString>

class QLocalServer;
class QLockFile;

namespace lumo {

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  static constexpr char kInstanceName[] = "7EACV1BF-F1E0-4VD9-91E7-43467C5A2B6A";
  static constexpr int32_t kWakeUpMessage = 1026, kWakeUpW = 1111, kWakeUpL = 2222;

  // `folder` holds the lock and the socket; empty means the user's runtime folder.
  explicit SingleInstance(const QString& folder = QString(), QObject* parent = nullptr);
  ~SingleInstance() override;

  // Takes the lock and starts listening; false when another instance holds the lock.
  bool becomeFirst();

  // From a later instance: hand `file` over, or send the wake-up message with the two
  // values given. Returns once the first instance has answered; false when it could not
  // be reached within `timeoutMs` (still starting or closing), so nothing was delivered.
  bool handOverFile(const QString& file, int timeoutMs = 30000) const;
  bool sendWakeUp(int32_t w = kWakeUpW, int32_t l = kWakeUpL, int timeoutMs = 30000) const;

 signals:
  // Emitted in the first instance; the sender waits until the connected slots return.
  void fileHandedOver(const QString& file);
  void wakeUp();

 private:
  bool send(const QByteArray& message, int timeoutMs) const;
  void serve();
  QString lockPath() const;
  QString serverPath() const;

  QString folder_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer* server_ = nullptr;
};

}  // namespace lumo
