// The pump of loops of the default kind: waits on a condition variable until work is posted or
// the earliest delayed task is due. Internal to base; loop's thread but ScheduleWork.
#pragma once

#include <condition_variable>
#include <mutex>

#include "base/message_pump.h"

namespace base {

class MessageLoop;

class MessagePumpDefault final : public MessagePump {
 public:
  explicit MessagePumpDefault(MessageLoop* loop) : loop_(loop) {}
  MessagePumpDefault(const MessagePumpDefault&) = delete;
  MessagePumpDefault& operator=(const MessagePumpDefault&) = delete;

  void Run(MessagePumpDispatcher* dispatcher) override;
  void Quit() override;
  void ScheduleWork() override;
  void ScheduleDelayedWork(int64_t due) override { delayedDue_ = due; }

 private:
  struct RunState {
    bool shouldQuit = false;
  };

  MessageLoop* const loop_;  // owns this pump
  RunState* state_ = nullptr;
  int64_t delayedDue_ = 0;

  std::mutex lock_;  // guards workScheduled_
  std::condition_variable wake_;
  bool workScheduled_ = false;
};

}  // namespace base
