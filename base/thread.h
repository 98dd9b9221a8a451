// A named thread that runs a MessageLoop of the default kind.
//
// Owned by whoever starts it (the wrapper of a save owns "ConvertWork"); Start, Stop and the
// destructor are called from the owner's thread, never from the thread itself. Stop posts a quit
// task and joins: tasks queued before it still run, a running task is not interrupted (its owner
// makes it return first), delayed tasks still pending are discarded.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

namespace base {

class MessageLoop;

class Thread {
 public:
  explicit Thread(const std::string& name);
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Creates the thread and waits until its loop exists. False when the system refuses a thread.
  bool Start();
  // Quits the loop after the tasks queued so far and joins. Does nothing when not started.
  void Stop();
  // True from just before the loop runs until just after it ended. Any thread.
  bool IsRunning() const { return running.load(std::memory_order_acquire); }

  // The thread's loop for posting; null until started and after Stop. Valid until Stop.
  MessageLoop* message_loop() const;
  const std::string& thread_name() const { return name; }
  // The kernel id of the thread; 0 until started.
  pid_t thread_id() const;

 private:
  void ThreadMain();

  const std::string name;
  bool started = false;   // owner's thread only
  bool stopping = false;  // owner's thread only
  std::atomic<bool> running{false};
  std::thread thread;

  mutable std::mutex lock;  // guards loop and threadId, which the new thread publishes
  std::condition_variable loopCreated;
  MessageLoop* loop = nullptr;
  pid_t threadId = 0;
};

}  // namespace base
