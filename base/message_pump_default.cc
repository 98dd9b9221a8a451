#include "base/message_pump_default.h"

#include <chrono>

#include "base/message_loop.h"
#include "base/time_source.h"

namespace base {

void MessagePumpDefault::Run(MessagePumpDispatcher* /*dispatcher*/) {
  RunState state;
  RunState* outer = this->state_;
  this->state_ = &state;
  for (;;) {
    bool didWork = loop_->DoWork();
    if (state.shouldQuit) break;
    int64_t nextDue = 0;
    didWork |= loop_->DoDelayedWork(&nextDue);
    delayedDue_ = nextDue;
    if (state.shouldQuit) break;
    if (didWork) continue;

    std::unique_lock<std::mutex> hold(lock_);
    if (!workScheduled_) {
      if (delayedDue_ == 0) {
        wake_.wait(hold, [this] { return workScheduled_; });
      } else {
        const int64_t wait = delayedDue_ - NowMicroseconds();
        if (wait > 0) {
          wake_.wait_for(hold, std::chrono::microseconds(wait), [this] { return workScheduled_; });
        }
      }
    }
    workScheduled_ = false;
  }
  this->state_ = outer;
}

void MessagePumpDefault::Quit() {
  if (state_) state_->shouldQuit = true;
}

void MessagePumpDefault::ScheduleWork() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    workScheduled_ = true;
  }
  wake_.notify_one();
}

}  // namespace base
