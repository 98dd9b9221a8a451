#include "app/activation_request.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

class Socket {
 public:
  Socket() : socketFd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {}
  ~Socket() {
    if (socketFd >= 0)
      close(socketFd);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return socketFd; }

 private:
  int socketFd;
};

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` on the socket until the deadline; true when they came.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd watch{fd, events, 0};
    const int ready = poll(&watch, 1, MillisecondsLeft(deadline));
    if (ready > 0)
      return true;
    if (ready == 0 || errno != EINTR)
      return false;
  }
}

}  // namespace

std::filesystem::path ActivationSocketPath(const std::filesystem::path& folder,
                                           std::uint32_t windowHandle) {
  if (folder.empty() || windowHandle == 0)
    return {};
  char name[40];
  std::snprintf(name, sizeof name, "TaVioSonaclipActivate.%08x", windowHandle);
  return folder / name;
}

ActivationResult SendActivationRequest(const std::filesystem::path& socketPath,
                                       std::chrono::milliseconds limit) {
  const Clock::time_point deadline = Clock::now() + limit;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string& path = socketPath.native();
  if (path.empty() || path.size() >= sizeof address.sun_path)
    return ActivationResult::kNoListener;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

  Socket socket;
  if (socket.fd() < 0)
    return ActivationResult::kNoListener;

  // A full backlog (an instance that stopped accepting) refuses a non-blocking connect with
  // EAGAIN; that is a busy listener, so knock again until the deadline.
  for (;;) {
    if (connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
      break;
    if (errno == EINTR)
      continue;
    if (errno != EAGAIN)
      return ActivationResult::kNoListener;
    if (Clock::now() >= deadline)
      return ActivationResult::kUnanswered;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  for (;;) {
    if (send(socket.fd(), &kActivationRequestByte, 1, MSG_NOSIGNAL) == 1)
      break;
    if (errno == EINTR)
      continue;
    if (errno != EAGAIN || !WaitFor(socket.fd(), POLLOUT, deadline))
      return ActivationResult::kUnanswered;
  }

  for (;;) {
    char answer = 0;
    const ssize_t got = recv(socket.fd(), &answer, 1, 0);
    if (got == 1)
      return answer == kActivationHandledByte ? ActivationResult::kHandled
                                              : ActivationResult::kUnanswered;
    if (got == 0)
      return ActivationResult::kUnanswered;  // hung up without answering
    if (errno == EINTR)
      continue;
    if (errno != EAGAIN || !WaitFor(socket.fd(), POLLIN, deadline))
      return ActivationResult::kUnanswered;
  }
}
