// The part of a MessageLoop that waits and wakes: a condition variable for the default kind, Qt's
// event loop for the UI kind. Internal to base; MessageLoop owns its pump and calls it from the
// loop's thread, except ScheduleWork, which any thread may call.
#pragma once

#include <cstdint>

namespace base {

class MessagePumpDispatcher;

class MessagePump {
 public:
  virtual ~MessagePump() = default;
  // Runs until Quit; may nest.
  virtual void Run(MessagePumpDispatcher* dispatcher) = 0;
  // Ends the innermost Run once the work in hand returns.
  virtual void Quit() = 0;
  // Something was posted: look at the queues soon. Any thread.
  virtual void ScheduleWork() = 0;
  // The earliest delayed task is due at this time (0: none).
  virtual void ScheduleDelayedWork(int64_t due) = 0;
};

}  // namespace base
