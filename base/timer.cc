#include "base/timer.h"

#include "base/logging.h"
#include "base/message_loop.h"
#include "base/time_source.h"

namespace base {

// The posted run of a timer. It points back at the timer until the timer cuts it loose (Stop,
// restart, destruction) or it is destroyed unrun with its loop; both happen on the loop's thread.
class BaseTimer::PendingRun final : public Task::State {
 public:
  explicit PendingRun(BaseTimer* timer) : timer_(timer) {}
  ~PendingRun() override {
    if (timer_ && timer_->pendingRun_ == this) timer_->pendingRun_ = nullptr;
  }
  void Run() override {
    BaseTimer* timer = this->timer_;
    if (!timer) return;
    this->timer_ = nullptr;
    if (timer->pendingRun_ == this) timer->pendingRun_ = nullptr;
    timer->OnRun();  // may destroy the timer: touch nothing afterwards
  }
  void Abandon() { timer_ = nullptr; }

 private:
  BaseTimer* timer_;
};

BaseTimer::~BaseTimer() { Stop(); }

void BaseTimer::Stop() {
  running_ = false;
  if (pendingRun_) {
    pendingRun_->Abandon();
    pendingRun_ = nullptr;
  }
}

void BaseTimer::StartInternal(const Location& from, int64_t delayMicroseconds, const Task& userTask) {
  MessageLoop* loop = MessageLoop::current();
  CHECK(loop) << "a timer starts on a thread with a message loop";
  DCHECK(!running_ || loop == this->loop_) << "a running timer is restarted on its own loop's thread";
  location_ = from;
  delay_ = delayMicroseconds;
  this->userTask_ = userTask;
  this->loop_ = loop;
  running_ = true;
  PostNextRun();
}

void BaseTimer::PostNextRun() {
  if (pendingRun_) pendingRun_->Abandon();
  pendingRun_ = new PendingRun(this);
  nextDue_ = NowMicroseconds() + delay_;
  loop_->PostDelayedTask(location_, Task(pendingRun_), delay_);
}

void BaseTimer::OnRun() {
  if (!running_) return;
  // The next run is posted before the method runs, so the period runs start to start.
  PostNextRun();
  Task task = userTask_;  // the method may stop, restart or destroy this timer
  task.Run();
}

}  // namespace base
