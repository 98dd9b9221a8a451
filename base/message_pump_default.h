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
  explicit MessagePumpDefault(MessageLoop* loop) : loop(loop) {}
  MessagePumpDefault(const MessagePumpDefault&) = delete;
  MessagePumpDefault& operator=(const MessagePumpDefault&) = delete;

  void Run(MessagePumpDispatcher* dispatcher) override;
  void Quit() override;
  void ScheduleWork() override;
  void ScheduleDelayedWork(int64_t due) override { delayedDue = due; }

 private:
  struct RunState {
    bool shouldQuit = false;
  };

  MessageLoop* const loop;  // owns this pump
  RunState* state = nullptr;
  int64_t delayedDue = 0;

  std::mutex lock;  // guards workScheduled
  std::condition_variable wake;
  bool workScheduled = false;
};

}  // namespace base
