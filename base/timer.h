// Repeating timers bound to a method of their receiver, run by the loop that was current when they
// were started.
//
// A timer belongs to the thread of that loop: start, stop and destroy it there. It is usually a
// member of its receiver, so destroying the receiver stops it. The period is measured from the
// start of one run to the start of the next; a late run is not made up for. Start on a running
// timer replaces its settings and restarts the period from now.
#pragma once

#include <cstdint>
#include <memory>

#include "base/location.h"
#include "base/task.h"

namespace base {

class MessageLoop;

class BaseTimer {
 public:
  BaseTimer() = default;
  virtual ~BaseTimer();
  BaseTimer(const BaseTimer&) = delete;
  BaseTimer& operator=(const BaseTimer&) = delete;

  bool IsRunning() const { return running; }
  // Clears the running flag; a run already posted finds it cleared and does nothing.
  void Stop();
  int64_t delay_microseconds() const { return delay; }
  const Location& location() const { return postedFrom; }

 protected:
  // Records the settings and posts the first run, due one delay from now.
  void StartInternal(const Location& from, int64_t delayMicroseconds, const Task& userTask);

 private:
  class PendingRun;
  friend class PendingRun;

  void PostNextRun();
  void OnRun();

  Task userTask;  // kept after Stop so the timer can be started again
  int64_t delay = 0;
  Location postedFrom;
  bool running = false;
  int64_t nextDue = 0;
  MessageLoop* loop = nullptr;
  // The one posted run that may still call back; cut loose on Stop, restart and destruction.
  PendingRun* pendingRun = nullptr;
};

template <class T>
class RepeatingTimer : public BaseTimer {
 public:
  using Method = void (T::*)();

  void Start(const Location& from, int64_t delayMicroseconds, T* receiver, Method method) {
    StartInternal(from, delayMicroseconds, Bind(method, receiver));
  }
};

}  // namespace base
