#include "platform/SingleInstance.h"

#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace lumo {

namespace {

// Messages: int32 kind, then for a hand-over the file name as UTF-16 code units ending
// in a null, for the wake-up message its two int32 values. The answer is one byte.
constexpr int32_t kHandOver = 0x004A;
constexpr qint64 kMaxMessage = 1 << 20;  // far beyond any path

QByteArray handOverMessage(const QString& file) {
  QByteArray out;
  QDataStream s(&out, QIODevice::WriteOnly);
  s.setByteOrder(QDataStream::LittleEndian);
  s << kHandOver;
  for (const QChar c : file) s << quint16(c.unicode());
  s << quint16(0);
  return out;
}

}  // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent) : QObject(parent), folder_(folder) {
  if (folder_.isEmpty()) folder_ = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder_.isEmpty()) folder_ = QDir::tempPath();
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::lockPath() const { return QDir(folder_).filePath(QString(kInstanceName) + ".lock"); }
QString SingleInstance::serverPath() const { return QDir(folder_).filePath(QString(kInstanceName) + ".socket"); }

bool SingleInstance::becomeFirst() {
  QDir().mkpath(folder_);
  lock_ = std::make_unique<QLockFile>(lockPath());
  lock_->setStaleLockTime(0);  // only a live holder counts; its age does not matter
  if (!lock_->tryLock(0)) {
    lock_.reset();
    return false;
  }
  // A socket left by a dead instance is ours to replace now that we hold the lock.
  QLocalServer::removeServer(serverPath());
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &SingleInstance::serve);
  return server_->listen(serverPath());
}

void SingleInstance::serve() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      // Read until the message is complete: a hand-over ends in a null code unit, the
      // wake-up message is 12 bytes.
      const QByteArray data = socket->peek(kMaxMessage);
      if (data.size() < 4) return;
      QDataStream s(data);
      s.setByteOrder(QDataStream::LittleEndian);
      int32_t kind = 0;
      s >> kind;
      if (kind == kWakeUpMessage) {
        if (data.size() < 12) return;
        int32_t w = 0, l = 0;
        s >> w >> l;
        socket->read(12);
        if (w == kWakeUpW && l == kWakeUpL) emit wakeUp();
      } else if (kind == kHandOver) {
        QString file;
        bool complete = false;
        while (!s.atEnd()) {
          quint16 unit = 0;
          s >> unit;
          if (s.status() != QDataStream::Ok) break;
          if (unit == 0) {
            complete = true;
            break;
          }
          file.append(QChar(unit));
        }
        if (!complete) {
          if (data.size() >= kMaxMessage) socket->abort();
          return;
        }
        socket->read(4 + 2 * (file.size() + 1));
        emit fileHandedOver(file);
      } else {
        socket->abort();
        return;
      }
      socket->write("\1", 1);
      socket->flush();
    });
  }
}

bool SingleInstance::send(const QByteArray& message, int timeoutMs) const {
  QLocalSocket socket;
  socket.connectToServer(serverPath());
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(message);
  if (!socket.waitForBytesWritten(timeoutMs)) return false;
  // The answer comes after the first instance has handled the message (a file may take
  // long to open), so it is awaited as long as the connection lives.
  while (socket.bytesAvailable() < 1)
    if (!socket.waitForReadyRead(timeoutMs)) return false;
  return true;
}

bool SingleInstance::handOverFile(const QString& file, int timeoutMs) const {
  return send(handOverMessage(file), timeoutMs);
}

bool SingleInstance::sendWakeUp(int32_t w, int32_t l, int timeoutMs) const {
  QByteArray out;
  QDataStream s(&out, QIODevice::WriteOnly);
  s.setByteOrder(QDataStream::LittleEndian);
  s << kWakeUpMessage << w << l;
  return send(out, timeoutMs);
}

}  // namespace lumo
