#include "app/activation_listener.h"

#include <QLocalSocket>
#include <memory>
#include <optional>
#include <utility>

#include "app/activation_request.h"

ActivationListener::ActivationListener(std::filesystem::path socketPath, RequestHandler onRequest)
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
    // The request line may come in pieces; what came so far lives as long as the connection.
    auto received = std::make_shared<std::string>();
    QObject::connect(socket, &QLocalSocket::readyRead, this,
                     [this, socket, received] { Answer(socket, received.get()); });
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (socket->bytesAvailable() > 0)
      Answer(socket, received.get());
  }
}

void ActivationListener::Answer(QLocalSocket* socket, std::string* received) {
  received->append(socket->readAll().toStdString());
  bool isRequest = false;
  const std::optional<std::string> token = ParseActivationRequest(*received, &isRequest);
  if (!token || !isRequest) {
    if (!isRequest) received->clear();
    return;
  }
  // One request per connection: whatever the sender writes afterwards is not looked at.
  QObject::disconnect(socket, nullptr, this, nullptr);
  if (onRequest)
    onRequest(*token);
  // Answered only now, so the sender knows the window has handled the request.
  socket->write(&kActivationHandledByte, 1);
  socket->flush();
  socket->disconnectFromServer();
}
