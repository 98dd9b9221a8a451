#include "app/activation_listener.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include "app/activation_request.h"

namespace {

// The notifiers are let go of from inside their own signal: Qt deletes them once it is done.
struct LaterDelete {
  void operator()(QSocketNotifier* notifier) const {
    notifier->setEnabled(false);
    notifier->deleteLater();
  }
};

}  // namespace

// One sender's connection: what it wrote so far, and the notifier that says when there is more.
struct ActivationListener::Connection {
  std::unique_ptr<QSocketNotifier, LaterDelete> readable;
  std::string received;
};

ActivationListener::ActivationListener(std::filesystem::path socketPath, RequestHandler onRequest)
    : socketPath(std::move(socketPath)), onRequest(std::move(onRequest)) {}

ActivationListener::~ActivationListener() {
  while (!connections.empty()) Close(connections.begin()->first);
  if (listening >= 0) {
    acceptNotifier.reset();
    close(listening);
    unlink(socketPath.c_str());
  }
}

bool ActivationListener::Listen() {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = socketPath.string();
  if (path.empty() || path.size() >= sizeof(address.sun_path) || listening >= 0) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  // A file left at the path by a killed instance; the path is ours (see the class comment).
  unlink(path.c_str());
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      chmod(path.c_str(), S_IRUSR | S_IWUSR) != 0 || listen(fd, 16) != 0) {
    close(fd);
    unlink(path.c_str());
    return false;
  }
  listening = fd;
  acceptNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  QObject::connect(acceptNotifier.get(), &QSocketNotifier::activated, [this] { TakeConnections(); });
  return true;
}

void ActivationListener::TakeConnections() {
  while (true) {
    const int fd = accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      // Out of descriptors, the pending connection would wake the loop at once again: it waits
      // until a connection of ours has closed.
      if (errno == EMFILE || errno == ENFILE) acceptNotifier->setEnabled(false);
      return;  // otherwise none left (EAGAIN), or a connection gone before it was taken
    }
    auto connection = std::make_unique<Connection>();
    connection->readable.reset(new QSocketNotifier(fd, QSocketNotifier::Read));
    QObject::connect(connection->readable.get(), &QSocketNotifier::activated,
                     [this, fd] { Read(fd); });
    connections[fd] = std::move(connection);
    Read(fd);  // the request may be there already
  }
}

void ActivationListener::Read(int fd) {
  const auto found = connections.find(fd);
  if (found == connections.end()) return;
  Connection& connection = *found->second;
  char buffer[1024];
  while (true) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
      connection.received.append(buffer, static_cast<size_t>(got));
      // A sender that never ends its line is not listened to for ever.
      if (connection.received.size() > 4 * kMaxActivationTokenLength) return Close(fd);
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    return Close(fd);  // the sender hung up, or the connection failed
  }
  bool isRequest = false;
  const std::optional<std::string> token = ParseActivationRequest(connection.received, &isRequest);
  if (!isRequest) {
    connection.received.clear();
    return;
  }
  if (!token) return;  // not all of it yet
  // One request per connection: whatever the sender writes afterwards is not looked at.
  connection.readable.reset();
  if (onRequest) onRequest(*token);
  // Answered only now, so the sender knows the window has handled the request.
  const ssize_t sent = send(fd, &kActivationHandledByte, 1, MSG_NOSIGNAL);
  (void)sent;  // a sender that gave up waiting misses its answer, nothing more
  Close(fd);
}

void ActivationListener::Close(int fd) {
  const auto found = connections.find(fd);
  if (found == connections.end()) return;
  found->second->readable.reset();
  connections.erase(found);
  close(fd);
  if (acceptNotifier) acceptNotifier->setEnabled(true);
}
