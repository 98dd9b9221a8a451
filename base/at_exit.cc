#include "base/at_exit.h"

#include <utility>

namespace base {
namespace {

// The innermost open scope. Scopes are opened and closed on the main thread.
std::mutex gScopeLock;
AtExitManager* gTopManager = nullptr;

}  // namespace

AtExitManager::AtExitManager() {
  std::lock_guard<std::mutex> hold(gScopeLock);
  outer = gTopManager;
  gTopManager = this;
}

AtExitManager::~AtExitManager() {
  ProcessCallbacksNow();
  std::lock_guard<std::mutex> hold(gScopeLock);
  gTopManager = outer;
}

bool AtExitManager::RegisterCallback(Callback callback) {
  std::lock_guard<std::mutex> hold(gScopeLock);
  if (!gTopManager) return false;
  std::lock_guard<std::mutex> holdStack(gTopManager->lock);
  gTopManager->stack.push_back(std::move(callback));
  return true;
}

void AtExitManager::ProcessCallbacksNow() {
  AtExitManager* manager;
  {
    std::lock_guard<std::mutex> hold(gScopeLock);
    manager = gTopManager;
  }
  if (!manager) return;
  // Callbacks run outside the lock: a callback may register another, which then runs too.
  for (;;) {
    Callback callback;
    {
      std::lock_guard<std::mutex> hold(manager->lock);
      if (manager->stack.empty()) return;
      callback = std::move(manager->stack.back());
      manager->stack.pop_back();
    }
    if (callback) callback();
  }
}

}  // namespace base
