#include "base/timer.h"

#include "base/logging.h"
#include "base/message_loop.h"
#include "base/time_source.h"

namespace base {

// The posted run of a timer. It points back at the timer until the timer cuts it loose (Stop,
// restart, destruction) or it is destroyed unrun with its loop; both happen on the loop's thread.
class BaseTimer::PendingRun final : public Task::State {
 public:
  explicit PendingRun(BaseTimer* timer) : timer(timer) {}
  ~PendingRun() override {
    if (timer && timer->pendingRun == this) timer->pendingRun = nullptr;
  }
  void Run() override {
    BaseTimer* timer = this->timer;
    if (!timer) return;
    this->timer = nullptr;
    if (timer->pendingRun == this) timer->pendingRun = nullptr;
    timer->OnRun();  // may destroy the timer: touch nothing afterwards
  }
  void Abandon() { timer = nullptr; }

 private:
  BaseTimer* timer;
};

BaseTimer::~BaseTimer() { Stop(); }

void BaseTimer::Stop() {
  running = false;
  if (pendingRun) {
    pendingRun->Abandon();
    pendingRun = nullptr;
  }
}

void BaseTimer::StartInternal(const Location& from, int64_t delayMicroseconds, const Task& userTask) {
  MessageLoop* loop = MessageLoop::current();
  CHECK(loop) << "a timer starts on a thread with a message loop";
  DCHECK(!running || loop == this->loop) << "a running timer is restarted on its own loop's thread";
  postedFrom = from;
  delay = delayMicroseconds;
  this->userTask = userTask;
  this->loop = loop;
  running = true;
  PostNextRun();
}

void BaseTimer::PostNextRun() {
  if (pendingRun) pendingRun->Abandon();
  pendingRun = new PendingRun(this);
  nextDue = NowMicroseconds() + delay;
  loop->PostDelayedTask(postedFrom, Task(pendingRun), delay);
}

void BaseTimer::OnRun() {
  if (!running) return;
  // The next run is posted before the method runs, so the period runs start to start.
  PostNextRun();
  Task task = userTask;  // the method may stop, restart or destroy this timer
  task.Run();
}

}  // namespace base
