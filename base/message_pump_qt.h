// The pump of the UI kind, on Qt's event loop. Native messages and the loop's own wake-ups share
// one queue, so they are handled in posting order; one Qt event stands for "the queue is not
// empty", and a precise single-shot QTimer for "the earliest delayed task is due". Runs nest: a
// stack of frames says who handles a message (a Run with its dispatcher, or a NestedPumpScope of
// the UI library). Internal to base; loop's thread but ScheduleWork and PostNativeMessage.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "base/message_loop.h"
#include "base/message_pump.h"

class QEventLoop;
class QObject;
class QTimer;

namespace base {

class MessagePumpQt final : public MessagePump {
 public:
  explicit MessagePumpQt(MessageLoop* loop);
  ~MessagePumpQt() override;
  MessagePumpQt(const MessagePumpQt&) = delete;
  MessagePumpQt& operator=(const MessagePumpQt&) = delete;

  void Run(MessagePumpDispatcher* dispatcher) override;
  void Quit() override;
  void ScheduleWork() override;
  void ScheduleDelayedWork(int64_t due) override;

  void PostNativeMessage(const NativeMessage& message);
  void PushNestedScope(std::function<void()> onQuit);
  void PopNestedScope();

  // Called by the Qt event that stands for a non-empty queue.
  void HandleQueue();

 private:
  struct Entry {
    NativeMessage message;
    bool wakeUp = false;
  };
  struct Frame {
    bool nested = false;
    MessagePumpDispatcher* dispatcher = nullptr;  // borrowed for the run
    QEventLoop* eventLoop = nullptr;              // of a Run frame
    bool shouldQuit = false;
    std::function<void()> onQuit;  // of a nested frame
  };

  void Enqueue(const Entry& entry);
  // Posts the Qt event that runs HandleQueue, unless the queue is empty or one is on its way.
  // Any thread.
  void PostQueueEventIfNeeded();
  void Process(const Entry& entry, Frame* frame);
  void HandleWakeUp(Frame* frame);
  Frame* InnermostRun();

  MessageLoop* const loop;  // owns this pump
  std::unique_ptr<QObject> receiver;
  std::unique_ptr<QTimer> delayTimer;

  std::mutex lock;  // guards queue and qtEventPosted
  std::deque<Entry> queue;
  bool qtEventPosted = false;

  std::atomic<bool> haveWork{false};  // a wake-up is queued and not yet handled

  // Loop's thread only.
  std::vector<Frame*> frames;
  std::vector<std::unique_ptr<Frame>> nestedFrames;
  bool pendingQuit = false;  // a WM_QUIT arrived while nothing ran
};

}  // namespace base
