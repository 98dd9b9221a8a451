#include "app/activation_listener.h"

#include <QLocalSocket>
#include <utility>

#include "app/activation_request.h"

ActivationListener::ActivationListener(std::filesystem::path socketPath,
                                       std::function<void()> onRequest)
    : socketPath(std::move(socketPath)), onRequest(std::move(onRequest)) {
  QObject::connect(&server, &QLocalServer::newConnection, this,
                   [this] { TakeConnections(); });
}

ActivationListener::~ActivationListener() {
  server.close();  // removes the socket file
}

bool ActivationListener::Listen() {
  if (socketPath.empty())
    return false;
  const QString path = QString::fromStdString(socketPath.string());
  QLocalServer::removeServer(path);
  server.setSocketOptions(QLocalServer::UserAccessOption);
  return server.listen(path);
}

void ActivationListener::TakeConnections() {
  while (QLocalSocket* socket = server.nextPendingConnection()) {
    QObject::connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Answer(socket); });
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (socket->bytesAvailable() > 0)
      Answer(socket);
  }
}

void ActivationListener::Answer(QLocalSocket* socket) {
  const QByteArray received = socket->readAll();
  if (!received.contains(kActivationRequestByte))
    return;
  // One request per connection: whatever the sender writes afterwards is not looked at.
  QObject::disconnect(socket, nullptr, this, nullptr);
  if (onRequest)
    onRequest();
  // Answered only now, so the sender knows the window has handled the request.
  socket->write(&kActivationHandledByte, 1);
  socket->flush();
  socket->disconnectFromServer();
}
