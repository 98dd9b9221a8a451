#include "app/exit_callback_registry.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<ExitCallbackRegistry*> g_registry{nullptr};
}  // namespace

ExitCallbackRegistry::ExitCallbackRegistry() {
  ExitCallbackRegistry* expected = nullptr;
  // Two registries would split the singletons between two teardowns; that is a programming
  // error we want to see at once rather than as a leak or a double delete at exit.
  if (!g_registry.compare_exchange_strong(expected, this, std::memory_order_acq_rel))
    std::abort();
}

ExitCallbackRegistry::~ExitCallbackRegistry() {
  RunCallbacks();
  g_registry.store(nullptr, std::memory_order_release);
}

ExitCallbackRegistry* ExitCallbackRegistry::Current() {
  return g_registry.load(std::memory_order_acquire);
}

void ExitCallbackRegistry::Register(Callback callback) {
  if (!callback)
    return;
  std::lock_guard<std::mutex> hold(lock);
  stack.push_back(callback);
}

void ExitCallbackRegistry::RunCallbacks() {
  for (;;) {
    Callback next = nullptr;
    {
      std::lock_guard<std::mutex> hold(lock);
      if (stack.empty())
        break;
      next = stack.back();
      stack.pop_back();
    }
    next();
  }
}
