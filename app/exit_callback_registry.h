// ExitCallbackRegistry: the process-wide stack of functions that destroy the program's own
// singletons (the main window above all) at shutdown, last registered first.
//
// The run operation creates exactly one, early in start-up, and tears it down and deletes it at
// shutdown before the skin manager goes away, so everything it destroys can still reach the skin.
// While it lives it is reachable through Current(). Registration is safe from any thread;
// RunCallbacks belongs to the thread that owns the registry (the main thread).
#pragma once

#include <mutex>
#include <vector>

class ExitCallbackRegistry {
 public:
  using Callback = void (*)();

  // Becomes the process-wide registry. Only one may exist at a time.
  ExitCallbackRegistry();
  // Runs whatever is still registered, then stops being the process-wide registry.
  ~ExitCallbackRegistry();

  ExitCallbackRegistry(const ExitCallbackRegistry&) = delete;
  ExitCallbackRegistry& operator=(const ExitCallbackRegistry&) = delete;

  // The registry that exists now, or null before start-up made it and after shutdown deleted it.
  static ExitCallbackRegistry* Current();

  void Register(Callback callback);

  // Pops and calls every function, last registered first, until none is left. A function may
  // register another one; it runs in the same teardown. The lock is not held while a function
  // runs, so a destroyer that touches the registry cannot deadlock.
  void RunCallbacks();

 private:
  std::mutex lock;
  std::vector<Callback> stack;  // guarded by lock
};
