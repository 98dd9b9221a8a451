// The task loop of one thread: an incoming queue any thread may post to, a delayed queue ordered
// by due time, and for the UI kind the "native messages" of the program's windows.
//
// One loop per thread, reachable from that thread through MessageLoop::current(). The thread that
// created a loop owns it and is the only one that may run, quit or destroy it; PostTask,
// PostDelayedTask and PostNativeMessage are safe from any thread. Destroying a loop discards
// every task and message still queued without running it.
//
// TYPE_DEFAULT waits on a condition variable. TYPE_UI runs inside Qt's event loop (a
// QCoreApplication must exist on the thread): posted tasks and messages wake Qt, due tasks are
// driven by a Qt timer, and a nested Qt loop (a modal dialog) keeps running this loop's tasks and
// timers exactly while the nestable-tasks flag is true (see nested_pump_hooks.h).
//
// Native messages are what a Win32 PostMessage becomes. Each one taken from the queue is handled
// in this order: WM_QUIT ends the innermost run (and is posted again for an outer one); the loop's
// own wake-up does pending work; a message the message filter claims is skipped; any other goes
// to the run's dispatcher, whose result bits may end the run and/or ask for default processing.
// Without a dispatcher (or inside a NestedPumpScope) every message gets default processing.
// Tasks keep their order among tasks and messages among messages; the two queues are not ordered
// against each other, so a WM_QUIT may end a run before tasks posted ahead of it have run.
// While no Run is active (a test spinning QCoreApplication::processEvents), messages still get
// default processing and tasks run when the flag allows; a WM_QUIT then waits for the next Run.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <string>
#include <vector>

#include "base/location.h"
#include "base/task.h"
#include "base/thread_checker.h"
#include "base/win_types.h"

namespace base {

struct NativeMessage {
  HWND hwnd = 0;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// Receives every native message a run of the UI loop takes from its queue (but the quit message,
// the loop's own wake-up and filtered messages). Called on the loop's thread.
class MessagePumpDispatcher {
 public:
  // Result bits of Dispatch; 0 means carry on, nothing more to do.
  static constexpr uint32_t kDispatchQuit = 1;     // end the run after this message
  static constexpr uint32_t kDispatchDefault = 2;  // give the message default processing

  virtual ~MessagePumpDispatcher() = default;
  virtual uint32_t Dispatch(const NativeMessage& message) = 0;
};

class MessagePump;

class MessageLoop {
 public:
  enum Type { TYPE_DEFAULT, TYPE_UI };

  // What "translate and dispatch" means: delivery to the window. Installed by the UI library.
  using MessageProcessor = std::function<void(const NativeMessage&)>;
  // Claims a message (returns true) so that nobody else sees it.
  using MessageFilter = std::function<bool(const NativeMessage&)>;

  explicit MessageLoop(Type type = TYPE_DEFAULT);
  ~MessageLoop();
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  // The calling thread's loop, or null.
  static MessageLoop* current();

  Type type() const { return loopType; }

  // Any thread. Wakes the loop; the task runs on the loop's thread in posting order.
  void PostTask(const Location& from, const Task& task);
  // Any thread. Due delayMicroseconds from now (0 or less: as PostTask); earliest due runs first,
  // equal due times in posting order.
  void PostDelayedTask(const Location& from, const Task& task, int64_t delayMicroseconds);
  // Any thread; UI kind only (false for the default kind). Messages are handled in posting order.
  bool PostNativeMessage(const NativeMessage& message);

  void set_thread_name(const std::string& name) { threadName = name; }
  const std::string& thread_name() const { return threadName; }

  // Cleared while a task runs; a loop looks at its tasks only while it is true. Setting it to
  // true wakes the loop so that queued work is looked at (also from inside a nested Qt loop).
  void SetNestableTasksAllowed(bool allowed);
  bool NestableTasksAllowed() const { return nestableTasksAllowed; }

  // True while a nested pump of the UI library runs (the before/after-pump hooks keep it).
  void set_os_modal_loop(bool modal) { osModalLoop = modal; }
  bool os_modal_loop() const { return osModalLoop; }

  // Runs until Quit (or, for the UI kind, WM_QUIT or a dispatcher's kDispatchQuit). May nest.
  void Run();
  // UI kind: hands every native message to the dispatcher (borrowed for the run).
  void RunWithDispatcher(MessagePumpDispatcher* dispatcher);
  // Runs the tasks that are ready now (due delayed tasks included), then returns; native
  // messages are left to the pump. Handy in tests.
  void RunUntilIdle();
  // Ends the innermost Run of this loop once the current task returns. Loop's own thread only.
  void Quit();
  bool is_running() const { return runDepth > 0; }

  // Process-wide hooks of the UI kind, set by the UI library on the UI thread.
  static void SetDefaultMessageProcessor(MessageProcessor processor);
  static void SetMessageFilter(MessageFilter filter);

 private:
  friend class MessagePumpDefault;
  friend class MessagePumpQt;
  friend class NestedPumpScope;

  struct PendingTask {
    Task task;
    Location from;
    int64_t due = 0;  // 0: run as soon as possible
    uint64_t sequence = 0;
  };
  struct LaterDue {
    bool operator()(const PendingTask& a, const PendingTask& b) const {
      return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
    }
  };

  void AddToIncomingQueue(const Location& from, const Task& task, int64_t due);
  void RunInternal(MessagePumpDispatcher* dispatcher);
  // Called by the pump on the loop's thread. Each runs at most one task and says whether it did.
  bool DoWork();
  bool DoDelayedWork(int64_t* nextDue);
  void RunTask(const PendingTask& pending);
  void ReloadWorkQueue();

  const Type loopType;
  // The creating thread: the only one that may run, quit or destroy the loop (checked in every
  // build, since a loop driven from two threads corrupts its queues).
  ThreadChecker ownerThread;
  std::string threadName;
  bool nestableTasksAllowed = true;
  bool osModalLoop = false;
  int runDepth = 0;

  std::mutex incomingLock;  // guards incomingQueue and nextSequence
  std::vector<PendingTask> incomingQueue;
  uint64_t nextSequence = 0;

  // Touched by the loop's thread only.
  std::deque<PendingTask> workQueue;
  std::priority_queue<PendingTask, std::vector<PendingTask>, LaterDue> delayedQueue;

  std::unique_ptr<MessagePump> pump;
};

// Posts WM_QUIT with the exit code to the calling thread's UI loop; false when there is none.
bool PostQuitMessage(int exitCode);

// Marks a pump of the UI library's own (a modal window, a dialog, a message box) on the UI thread.
// While the innermost scope lives, native messages taken from the queue get default processing
// directly (no dispatcher), and a WM_QUIT ends that pump by calling onQuit and is posted again for
// the loop outside it. Create it on the loop's thread, around the nested QEventLoop::exec.
class NestedPumpScope {
 public:
  explicit NestedPumpScope(std::function<void()> onQuit);
  ~NestedPumpScope();
  NestedPumpScope(const NestedPumpScope&) = delete;
  NestedPumpScope& operator=(const NestedPumpScope&) = delete;

 private:
  MessageLoop* loop;
};

}  // namespace base
