// NamedMutex: a mutex shared by every process of the user session that opens the same name,
// with the waits the single-instance probe needs (a time-out in milliseconds, "abandoned counts
// as acquired").
//
// It is an exclusive flock() on a file of that name in the session's runtime folder. The kernel
// drops the lock with the last descriptor of its holder, however the holder ends (SIGKILL too),
// so a dead owner never blocks anyone: its mutex simply reads as free, which is what the probe
// does with an abandoned one anyway. A stopped or hung holder keeps it, so waiters time out.
// The file stays behind when its holder exits and is harmless: it holds no state. The
// descriptor is close-on-exec, so a child process never inherits the claim.
//
// Owned by one thread of one process at a time; not recursive in count (a second Wait by the
// holder succeeds at once, one Release frees it).
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace platform {

class NamedMutex {
 public:
  enum class WaitResult { kAcquired, kTimedOut, kFailed };

  // Opens the mutex `name` in `folder`, creating it when no process has yet. Null when that is
  // impossible (no folder, a name with a slash, no permission).
  static std::unique_ptr<NamedMutex> Open(const std::filesystem::path& folder,
                                          const std::string& name);

  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // Takes the mutex, waiting at most `timeout` (zero: one attempt).
  WaitResult Wait(std::chrono::milliseconds timeout);
  // Gives it up if held; no effect otherwise.
  void Release();

  bool held() const { return isHeld; }

 private:
  explicit NamedMutex(int fd) : fd(fd) {}

  int fd;
  bool isHeld = false;
};

}  // namespace platform
