// The runtime's exit scope: the runtime's lazily created objects (the path cache, for one)
// register a callback that destroys them; closing the scope runs the callbacks, last registered
// first. Opened first thing in the program's run operation and closed last. Registration is
// guarded by a lock; the scope itself is opened and closed on the main thread.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

namespace base {

class AtExitManager {
 public:
  using Callback = std::function<void()>;

  AtExitManager();
  ~AtExitManager();  // runs the callbacks
  AtExitManager(const AtExitManager&) = delete;
  AtExitManager& operator=(const AtExitManager&) = delete;

  // Registers with the innermost open scope; false (and nothing registered) when none is open.
  static bool RegisterCallback(Callback callback);
  // Runs and forgets the callbacks registered so far, last first.
  static void ProcessCallbacksNow();

 private:
  std::mutex lock;
  std::vector<Callback> stack;
  AtExitManager* outer;
};

}  // namespace base
