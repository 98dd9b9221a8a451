#include "platform/process_scan.h"

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace platform {

namespace {

constexpr std::string_view kDeletedMark = " (deleted)";

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// True when the real, effective and saved user ids of the process are all `uid`.
bool RunsAs(pid_t pid, uid_t uid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Uid:", 0) != 0)
      continue;
    std::istringstream ids(line.substr(4));
    unsigned long real = 0, effective = 0, saved = 0;
    if (!(ids >> real >> effective >> saved))
      return false;
    return real == uid && effective == uid && saved == uid;
  }
  return false;
}

bool IsOwnNamed(pid_t pid, std::string_view name, uid_t uid) {
  return RunsAs(pid, uid) && SameNameIgnoringAsciiCase(ExecutableNameOf(pid), name);
}

struct FdCloser {
  void operator()(int* fd) const {
    close(*fd);
    delete fd;
  }
};
using UniqueFd = std::unique_ptr<int, FdCloser>;

UniqueFd PidFdOpen(pid_t pid) {
  const long fd = syscall(SYS_pidfd_open, pid, 0);
  if (fd < 0)
    return nullptr;
  return UniqueFd(new int(static_cast<int>(fd)));
}

bool Gone(pid_t pid) {
  // A zombie has released everything it held; only its parent still has to collect it.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text))
    return true;
  const size_t close = text.rfind(')');
  return close == std::string::npos || close + 2 >= text.size() || text[close + 2] == 'Z' ||
         text[close + 2] == 'X';
}

}  // namespace

bool SameNameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
      return false;
  }
  return true;
}

std::string ExecutableNameOf(pid_t pid) {
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  char target[4096];
  const ssize_t length = readlink(link.c_str(), target, sizeof target);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof target)
    return {};
  std::string_view path(target, static_cast<size_t>(length));
  if (path.size() > kDeletedMark.size() && path.ends_with(kDeletedMark))
    path.remove_suffix(kDeletedMark.size());
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::vector<pid_t> FindOwnProcessesNamed(std::string_view name, pid_t exceptPid) {
  std::vector<pid_t> found;
  if (name.empty())
    return found;
  std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), &closedir);
  if (!proc)
    return found;
  const uid_t uid = getuid();
  while (const dirent* entry = readdir(proc.get())) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0' || pid == exceptPid)
      continue;
    if (IsOwnNamed(static_cast<pid_t>(pid), name, uid))
      found.push_back(static_cast<pid_t>(pid));
  }
  return found;
}

int TerminateOwnProcessesNamed(std::string_view name, pid_t exceptPid,
                               std::chrono::milliseconds waitLimit) {
  const uid_t uid = getuid();
  std::vector<pid_t> ended;
  std::vector<UniqueFd> pinned;
  for (pid_t pid : FindOwnProcessesNamed(name, exceptPid)) {
    UniqueFd pidFd = PidFdOpen(pid);
    if (pidFd) {
      // Pinned: from here the id cannot pass to another process. Is it still the one we found?
      if (!IsOwnNamed(pid, name, uid))
        continue;
      if (syscall(SYS_pidfd_send_signal, *pidFd, SIGKILL, nullptr, 0) != 0)
        continue;
      pinned.push_back(std::move(pidFd));
    } else if (kill(pid, SIGKILL) != 0) {
      continue;  // cannot be ended; skipped
    }
    ended.push_back(pid);
  }

  // SIGKILL takes effect asynchronously; what the process held is released only when it has
  // exited. A pidfd turns readable then; without one, /proc tells.
  const auto deadline = std::chrono::steady_clock::now() + waitLimit;
  for (const UniqueFd& fd : pinned) {
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0)
        break;
      pollfd watch{*fd, POLLIN, 0};
      const int ready = poll(&watch, 1, static_cast<int>(left.count()));
      if (ready != 0 && !(ready < 0 && errno == EINTR))
        break;
    }
  }
  if (pinned.size() < ended.size()) {
    for (pid_t pid : ended) {
      while (!Gone(pid) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  return static_cast<int>(ended.size());
}

}  // namespace platform
