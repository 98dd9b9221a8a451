#include "app/activation_request.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

bool TravelsInAToken(char c) {
  return c > ' ' && c < 0x7F && c != '"' && c != '\\';
}

}  // namespace

std::string ValidActivationToken(std::string_view token) {
  if (token.size() > kMaxActivationTokenLength) return {};
  for (char c : token)
    if (!TravelsInAToken(c)) return {};
  return std::string(token);
}

std::string ActivationTokenFromEnvironment() {
  for (const char* name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
    const char* value = std::getenv(name);
    if (std::string token = ValidActivationToken(value ? value : ""); !token.empty()) return token;
  }
  return {};
}

std::optional<std::uint32_t> StartupTimestamp(std::string_view token) {
  const size_t mark = token.rfind("_TIME");
  if (mark == std::string_view::npos) return std::nullopt;
  const std::string_view digits = token.substr(mark + 5);
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  std::uint64_t time = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    time = time * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (time == 0 || time > UINT32_MAX) return std::nullopt;
  return static_cast<std::uint32_t>(time);
}

std::string ActivationRequestLine(std::string_view token) {
  std::string line(1, kActivationRequestByte);
  line += token;
  line += '\n';
  return line;
}

std::optional<std::string> ParseActivationRequest(std::string_view received, bool* isRequest) {
  *isRequest = !received.empty() && received.front() == kActivationRequestByte;
  if (received.empty()) return std::nullopt;
  if (!*isRequest) return std::string();
  const size_t end = received.find('\n');
  if (end == std::string_view::npos) {
    // A line longer than any token may be is a request without one.
    if (received.size() > kMaxActivationTokenLength + 1) return std::string();
    return std::nullopt;
  }
  return ValidActivationToken(received.substr(1, end - 1));
}

std::filesystem::path ActivationSocketPath(const std::filesystem::path& folder,
                                           std::uint32_t windowHandle) {
  if (folder.empty() || windowHandle == 0)
    return {};
  char name[40];
  std::snprintf(name, sizeof name, "TaVioSonaclipActivate.%08x", windowHandle);
  return folder / name;
}

ActivationResult SendActivationRequest(const std::filesystem::path& socketPath,
                                       std::chrono::milliseconds limit, std::string_view token) {
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

  const std::string line = ActivationRequestLine(ValidActivationToken(token));
  for (size_t sent = 0; sent < line.size();) {
    const ssize_t n = send(socket.fd(), line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n == 0 || errno != EAGAIN || !WaitFor(socket.fd(), POLLOUT, deadline))
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
