#include "base/message_pump_default.h"

#include <chrono>

#include "base/message_loop.h"
#include "base/time_source.h"

namespace base {

void MessagePumpDefault::Run(MessagePumpDispatcher* /*dispatcher*/) {
  RunState state;
  RunState* outer = this->state;
  this->state = &state;
  for (;;) {
    bool didWork = loop->DoWork();
    if (state.shouldQuit) break;
    int64_t nextDue = 0;
    didWork |= loop->DoDelayedWork(&nextDue);
    delayedDue = nextDue;
    if (state.shouldQuit) break;
    if (didWork) continue;

    std::unique_lock<std::mutex> hold(lock);
    if (!workScheduled) {
      if (delayedDue == 0) {
        wake.wait(hold, [this] { return workScheduled; });
      } else {
        const int64_t wait = delayedDue - NowMicroseconds();
        if (wait > 0) {
          wake.wait_for(hold, std::chrono::microseconds(wait), [this] { return workScheduled; });
        }
      }
    }
    workScheduled = false;
  }
  this->state = outer;
}

void MessagePumpDefault::Quit() {
  if (state) state->shouldQuit = true;
}

void MessagePumpDefault::ScheduleWork() {
  {
    std::lock_guard<std::mutex> hold(lock);
    workScheduled = true;
  }
  wake.notify_one();
}

}  // namespace base
