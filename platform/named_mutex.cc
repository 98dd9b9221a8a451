#include "platform/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace platform {

namespace {

// flock() has no time-out, so a timed wait asks again at this interval. Short enough that a
// start notices a freed mutex at once, long enough that twenty waiting starts cost nothing.
constexpr std::chrono::milliseconds kRetryInterval{5};

}  // namespace

std::unique_ptr<NamedMutex> NamedMutex::Open(const std::filesystem::path& folder,
                                             const std::string& name) {
  if (folder.empty() || name.empty() || name.find('/') != std::string::npos)
    return nullptr;
  const std::filesystem::path path = folder / name;
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0)
    return nullptr;
  return std::unique_ptr<NamedMutex>(new NamedMutex(fd));
}

NamedMutex::~NamedMutex() {
  close(fd);  // drops the lock, if held
}

NamedMutex::WaitResult NamedMutex::Wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      isHeld = true;
      return WaitResult::kAcquired;
    }
    if (errno == EINTR)
      continue;
    if (errno != EWOULDBLOCK)
      return WaitResult::kFailed;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline)
      return WaitResult::kTimedOut;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        kRetryInterval, deadline - now));
  }
}

void NamedMutex::Release() {
  if (!isHeld)
    return;
  flock(fd, LOCK_UN);
  isHeld = false;
}

}  // namespace platform
