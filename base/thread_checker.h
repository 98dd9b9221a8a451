// ThreadChecker: the one way this program checks that an object is used on the thread it belongs
// to. A checker binds to the thread that creates it; DetachFromThread unbinds it, and the next
// thread that asks binds it again (an object built on one thread and handed to another, such as a
// player whose worker starts after the constructor returned). CalledOnValidThread is true on the
// bound thread. Any thread may ask; the binding is one atomic, so two first askers cannot both win.
//
// Most checks are for debug builds only and cost nothing in a release build, as DCHECK does:
//
//   class Label {
//     void SetText(const std::wstring& text) {
//       DCHECK_CALLED_ON_VALID_THREAD(threadChecker) << "labels belong to the UI thread";
//       ...
//     }
//     THREAD_CHECKER(threadChecker);
//   };
//
// THREAD_CHECKER declares nothing in a release build, and there the other two macros do not look
// at their argument. A check that must also hold in a release build uses a base::ThreadChecker
// member directly: CHECK(checker.CalledOnValidThread()).
//
// Header only, standard library only: the plug-ins (tvplayer.so, codecs.so) include it too and
// link nothing of base, so a failed check does not go through base's logging. It prints one
// "Check failed" line to standard error and ends the process with SIGTRAP, which the crash
// handler turns into a dump, as a failed CHECK does.
#pragma once

#include <atomic>
#include <csignal>
#include <signal.h>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>

namespace base {

class ThreadChecker {
 public:
  ThreadChecker() : owner(std::this_thread::get_id()) {}
  ThreadChecker(const ThreadChecker&) = delete;
  ThreadChecker& operator=(const ThreadChecker&) = delete;

  // True on the bound thread; a detached checker binds to the caller and answers true.
  bool CalledOnValidThread() const {
    const std::thread::id self = std::this_thread::get_id();
    std::thread::id bound = owner.load(std::memory_order_acquire);
    if (bound == std::thread::id()) {
      if (owner.compare_exchange_strong(bound, self, std::memory_order_acq_rel)) return true;
      // Another thread bound it first; `bound` now holds that thread.
    }
    return bound == self;
  }

  // Unbinds; the next thread that asks becomes the owner.
  void DetachFromThread() { owner.store(std::thread::id(), std::memory_order_release); }

 private:
  mutable std::atomic<std::thread::id> owner;
};

namespace internal {

// Collects the message of a failed check and ends the process when it goes out of scope.
class ThreadCheckFailure {
 public:
  ThreadCheckFailure(const char* file, int line, const char* checker) {
    message << "[FATAL:" << file << '(' << line << ")] Check failed: " << checker
            << " (used on a thread it does not belong to). ";
  }
  ThreadCheckFailure(const ThreadCheckFailure&) = delete;
  ThreadCheckFailure& operator=(const ThreadCheckFailure&) = delete;
  ~ThreadCheckFailure() {
    message << '\n';
    const std::string line = message.str();
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    // As a failed CHECK does: a thread with the trap blocked would otherwise end through abort().
    sigset_t trap;
    sigemptyset(&trap);
    sigaddset(&trap, SIGTRAP);
    pthread_sigmask(SIG_UNBLOCK, &trap, nullptr);
    std::raise(SIGTRAP);
    // A crash handler that returned, or a debugger that let the trap go: end anyway.
    std::signal(SIGTRAP, SIG_DFL);
    std::raise(SIGTRAP);
    std::abort();
  }
  std::ostream& stream() { return message; }

 private:
  std::ostringstream message;
};

// Swallows the stream of a check that passed or is compiled out.
struct ThreadCheckVoidify {
  void operator&(std::ostream&) {}
};

// Takes (and drops) whatever a compiled-out check streams.
struct NullThreadCheckStream {
  template <typename T>
  NullThreadCheckStream& operator<<(const T&) {
    return *this;
  }
};
struct NullThreadCheckVoidify {
  void operator&(const NullThreadCheckStream&) {}
};

}  // namespace internal
}  // namespace base

#ifdef NDEBUG
#define THREAD_CHECKER(name) static_assert(true, "")
#define DCHECK_CALLED_ON_VALID_THREAD(name) \
  true ? (void)0 : ::base::internal::NullThreadCheckVoidify() & ::base::internal::NullThreadCheckStream()
#define DETACH_FROM_THREAD(name) static_cast<void>(0)
#else
#define THREAD_CHECKER(name) ::base::ThreadChecker name
#define DCHECK_CALLED_ON_VALID_THREAD(name)                                                   \
  (name).CalledOnValidThread()                                                                \
      ? (void)0                                                                               \
      : ::base::internal::ThreadCheckVoidify() &                                              \
            ::base::internal::ThreadCheckFailure(__FILE__, __LINE__, #name ".CalledOnValidThread()") \
                .stream()
#define DETACH_FROM_THREAD(name) (name).DetachFromThread()
#endif
