#include "base/thread_names.h"

#include <map>
#include <mutex>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace base {
namespace {

std::mutex& RegistryLock() {
  static std::mutex lock;
  return lock;
}

// Leaked on purpose: threads may still name themselves while the process exits.
std::map<pid_t, std::string>& Registry() {
  static auto* names = new std::map<pid_t, std::string>;
  return *names;
}

}  // namespace

pid_t CurrentThreadId() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

void SetCurrentThreadName(const std::string& name) {
  const pid_t id = CurrentThreadId();
  {
    std::lock_guard<std::mutex> hold(RegistryLock());
    Registry()[id] = name;
  }
  if (id == ::getpid()) return;  // the main thread's kernel name is the process's name
  // The kernel keeps 15 bytes and a terminator; longer names are refused, so cut them.
  ::pthread_setname_np(::pthread_self(), name.substr(0, 15).c_str());
}

std::string GetThreadName(pid_t threadId) {
  std::lock_guard<std::mutex> hold(RegistryLock());
  auto it = Registry().find(threadId);
  return it == Registry().end() ? std::string() : it->second;
}

}  // namespace base
