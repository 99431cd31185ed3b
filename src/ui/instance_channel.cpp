#include "ui/instance_channel.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace kip {

namespace {
constexpr char kRaiseRequest[] = "raise\n";
}

InstanceChannel::InstanceChannel(const QString& runtimeDir, QObject* parent)
    : QObject(parent), m_runtimeDir(runtimeDir) {}

QString InstanceChannel::socketPath(const QString& runtimeDir) { return runtimeDir + "/KipLauncher.socket"; }

bool InstanceChannel::listen() {
  const QString path = socketPath(m_runtimeDir);
  QLocalServer::removeServer(path);
  m_server = new QLocalServer(this);
  m_server->setSocketOptions(QLocalServer::UserAccessOption);
  connect(m_server, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (socket->readAll().startsWith("raise")) emit raiseRequested();
        socket->disconnectFromServer();
      });
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
  });
  return m_server->listen(path);
}

bool InstanceChannel::askToRaise(const QString& runtimeDir, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(socketPath(runtimeDir));
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(kRaiseRequest);
  const bool sent = socket.waitForBytesWritten(timeoutMs);
  socket.waitForDisconnected(timeoutMs);
  return sent;
}

}  // namespace kip
