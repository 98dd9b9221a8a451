// A program that links the crash handling and crashes the way its first argument names:
//   null, nullcall, abort, exception, purecall, divide, fatal, threads, overflow,
//   module <library>
// Each crash happens in a function of its own name, which a debugger's backtrace of the dump
// must show. The crashing functions are kept out of the sanitizers' reach, so the crash happens
// as it would in a release build instead of being reported by them.
//
// Where nothing is allocated between the decision to crash and the crash itself (null, nullcall,
// abort, purecall, divide), every allocation from then on is the crash path's own, and the sanitizer's
// allocation hook writes "allocation in the crash path" to standard error for each.

#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

#include "app/crash_handlers.h"
#include "base/logging.h"
#include "base/message_loop.h"
#include "base/thread.h"

#define CRASH_FUNCTION extern "C" __attribute__((noinline, no_sanitize("address", "undefined")))

// The sanitizer runtimes' allocation hooks; absent (null) in a build without a sanitizer.
extern "C" __attribute__((weak)) int __sanitizer_install_malloc_and_free_hooks(
    void (*onAllocation)(const volatile void*, size_t), void (*onFree)(const volatile void*));

std::atomic<bool> gCrashing{false};

void OnAllocation(const volatile void*, size_t) {
  if (!gCrashing.load()) return;
  static const char kMessage[] = "allocation in the crash path\n";
  [[maybe_unused]] ssize_t ignored = write(2, kMessage, sizeof kMessage - 1);
}
void OnFree(const volatile void*) {}

CRASH_FUNCTION void CrashWithNullPointer() {
  volatile int* nowhere = nullptr;
  *nowhere = 7;
}

std::atomic<int> gAfterCall{0};

// A call through a null function pointer: the fault is at address 0, in no module at all.
CRASH_FUNCTION void CrashWithNullFunctionCall() {
  void (*volatile nowhere)() = nullptr;
  nowhere();
  gAfterCall.store(1);  // no tail call: the return address stays inside this function
}

CRASH_FUNCTION void CrashWithAbort() {
  std::abort();
}

CRASH_FUNCTION void CrashWithUncaughtException() {
  throw std::runtime_error("nobody catches this");
}

struct Shape {
  Shape() { Describe(); }
  virtual ~Shape() = default;
  void Describe() { Name(); }  // still a Shape while it is built: the pure call
  virtual void Name() = 0;
};
struct Circle : Shape {
  void Name() override {}
};

CRASH_FUNCTION void CrashWithPureCall() {
  Circle circle;
}

CRASH_FUNCTION void CrashWithDivisionByZero() {
  volatile int zero = 0;
  volatile int seven = 7;
  volatile int quotient = seven / zero;
  (void)quotient;
}

CRASH_FUNCTION void CrashWithFatalLog() {
  LOG(FATAL) << "a consistency check failed";
}

std::atomic<int> gReady{0};

CRASH_FUNCTION void CrashOnThread() {
  gReady.fetch_add(1);
  while (gReady.load() < 2) {
  }
  volatile int* nowhere = nullptr;
  *nowhere = 1;
}

CRASH_FUNCTION void CrashInTwoThreads() {
  std::thread first(CrashOnThread);
  std::thread second(CrashOnThread);
  first.join();
  second.join();
}

std::atomic<bool> gDeepEnough{false};

CRASH_FUNCTION int OverflowTheStack(int depth) {
  volatile char frame[1024];  // under a page: the overflow faults in the guard page
  frame[0] = static_cast<char>(depth);
  if (gDeepEnough.load()) return frame[0];
  return OverflowTheStack(depth + 1) + frame[0];
}

// A stack overflow on a thread of ours other than the main one: "ConvertWork" of a save.
CRASH_FUNCTION void CrashWithStackOverflowOnConvertWork() {
  // A stack small enough for a dump to hold all of it, so a debugger sees every frame.
  pthread_attr_t small;
  pthread_attr_init(&small);
  pthread_attr_setstacksize(&small, 512 * 1024);
  pthread_setattr_default_np(&small);
  base::Thread convert("ConvertWork");
  convert.Start();
  convert.message_loop()->PostTask(FROM_HERE, base::BindClosure([] { OverflowTheStack(0); }));
  convert.Stop();
}

CRASH_FUNCTION void CrashInsideModule(const char* library) {
  void* handle = dlopen(library, RTLD_NOW);
  if (!handle) {
    std::fprintf(stderr, "%s\n", dlerror());
    std::exit(3);
  }
  auto crash = reinterpret_cast<void (*)()>(dlsym(handle, "CrashInsideTheModule"));
  if (!crash) std::exit(4);
  crash();
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  crash::InstallCrashHandlers();
  const std::string kind = argv[1];
  if (__sanitizer_install_malloc_and_free_hooks)
    __sanitizer_install_malloc_and_free_hooks(&OnAllocation, &OnFree);
  const bool nothingAllocatesFromHere =
      kind == "null" || kind == "nullcall" || kind == "abort" || kind == "purecall" ||
      kind == "divide";
  gCrashing.store(nothingAllocatesFromHere);
  if (kind == "null") CrashWithNullPointer();
  if (kind == "nullcall") CrashWithNullFunctionCall();
  if (kind == "abort") CrashWithAbort();
  if (kind == "exception") CrashWithUncaughtException();
  if (kind == "purecall") CrashWithPureCall();
  if (kind == "divide") CrashWithDivisionByZero();
  if (kind == "fatal") CrashWithFatalLog();
  if (kind == "threads") CrashInTwoThreads();
  if (kind == "overflow") CrashWithStackOverflowOnConvertWork();
  if (kind == "module" && argc > 2) CrashInsideModule(argv[2]);
  return 2;
}
