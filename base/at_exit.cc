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
  outer_ = gTopManager;
  gTopManager = this;
}

AtExitManager::~AtExitManager() {
  ProcessCallbacksNow();
  std::lock_guard<std::mutex> hold(gScopeLock);
  gTopManager = outer_;
}

bool AtExitManager::RegisterCallback(Callback callback) {
  std::lock_guard<std::mutex> hold(gScopeLock);
  if (!gTopManager) return false;
  std::lock_guard<std::mutex> holdStack(gTopManager->lock_);
  gTopManager->stack_.push_back(std::move(callback));
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
      std::lock_guard<std::mutex> hold(manager->lock_);
      if (manager->stack_.empty()) return;
      callback = std::move(manager->stack_.back());
      manager->stack_.pop_back();
    }
    if (callback) callback();
  }
}

}  // namespace base
