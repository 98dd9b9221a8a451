#include "app/thread_alt_stacks.h"

#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace crash {
namespace {

using CreateFunction = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

std::atomic<bool> gNewThreadsGetStacks{false};

CreateFunction NextCreate() {
  static const CreateFunction next =
      reinterpret_cast<CreateFunction>(dlsym(RTLD_NEXT, "pthread_create"));
  return next;
}

size_t PageSize() {
  const long size = sysconf(_SC_PAGESIZE);
  return size > 0 ? static_cast<size_t>(size) : 4096;
}

// One mapping: a guard page, then the stack, so a handler that overflows it faults instead of
// writing over whatever lies below.
void* MapAltStack() {
  const size_t guard = PageSize();
  void* mapping = mmap(nullptr, guard + kAltStackSize, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mapping == MAP_FAILED) return nullptr;
  mprotect(mapping, guard, PROT_NONE);
  return mapping;
}

bool UseAltStack(void* mapping) {
  stack_t stack{};
  stack.ss_sp = static_cast<char*>(mapping) + PageSize();
  stack.ss_size = kAltStackSize;
  return sigaltstack(&stack, nullptr) == 0;
}

// A thread's alternate stack for the life of its start routine; unmapped when the routine
// returns or the thread ends through pthread_exit or cancellation (both unwind this frame).
class ThreadAltStack {
 public:
  ThreadAltStack() : mapping(MapAltStack()) {
    if (mapping && !UseAltStack(mapping)) {
      munmap(mapping, PageSize() + kAltStackSize);
      mapping = nullptr;
    }
  }
  ~ThreadAltStack() {
    if (!mapping) return;
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    munmap(mapping, PageSize() + kAltStackSize);
  }
  ThreadAltStack(const ThreadAltStack&) = delete;
  ThreadAltStack& operator=(const ThreadAltStack&) = delete;

 private:
  void* mapping;
};

struct StartRecord {
  void* (*routine)(void*);
  void* argument;
};

void* StartWithAltStack(void* raw) {
  const StartRecord start = *static_cast<StartRecord*>(raw);
  std::free(raw);
  ThreadAltStack stack;
  return start.routine(start.argument);
}

}  // namespace

bool SetUpAltStackForThisThread() {
  void* mapping = MapAltStack();
  if (!mapping) return false;
  if (UseAltStack(mapping)) return true;
  munmap(mapping, PageSize() + kAltStackSize);
  return false;
}

void GiveNewThreadsAltStacks() {
  NextCreate();  // looked up now, outside any thread start
  gNewThreadsGetStacks.store(true);
}

}  // namespace crash

extern "C" __attribute__((visibility("default"))) int pthread_create(
    pthread_t* thread, const pthread_attr_t* attributes, void* (*routine)(void*), void* argument) {
  const crash::CreateFunction next = crash::NextCreate();
  if (!next) return EAGAIN;
  if (!crash::gNewThreadsGetStacks.load()) return next(thread, attributes, routine, argument);
  auto* start = static_cast<crash::StartRecord*>(std::malloc(sizeof(crash::StartRecord)));
  if (!start) return next(thread, attributes, routine, argument);
  *start = {routine, argument};
  const int result = next(thread, attributes, &crash::StartWithAltStack, start);
  if (result != 0) std::free(start);
  return result;
}
