#include "base/message_pump_qt.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <climits>

#include "base/logging.h"
#include "base/time_source.h"

namespace base {
namespace {

// The wake-up event crosses threads inside Qt's event queue, whose futex-based lock the thread
// sanitizer cannot see: the hand-over is told to it here, or every read of a posted event looks
// like a race with its allocation on the posting thread.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
void HandOverToLoopThread(QEvent* event) { __tsan_release(event); }
void TakeOverOnLoopThread(QEvent* event) { __tsan_acquire(event); }
#else
void HandOverToLoopThread(QEvent*) {}
void TakeOverOnLoopThread(QEvent*) {}
#endif

QEvent::Type PumpEventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

// Lives on the loop's thread and receives the "queue not empty" events.
class QueueReceiver final : public QObject {
 public:
  explicit QueueReceiver(MessagePumpQt* pump) : pump(pump) {}
  bool event(QEvent* event) override {
    TakeOverOnLoopThread(event);
    if (event->type() != PumpEventType()) return QObject::event(event);
    pump->HandleQueue();
    return true;
  }

 private:
  MessagePumpQt* const pump;
};

std::mutex gHooksLock;
MessageLoop::MessageProcessor& DefaultProcessor() {
  static MessageLoop::MessageProcessor processor;
  return processor;
}
MessageLoop::MessageFilter& Filter() {
  static MessageLoop::MessageFilter filter;
  return filter;
}

void DefaultProcess(const NativeMessage& message) {
  MessageLoop::MessageProcessor processor;
  {
    std::lock_guard<std::mutex> hold(gHooksLock);
    processor = DefaultProcessor();
  }
  if (processor) processor(message);
}

bool Filtered(const NativeMessage& message) {
  MessageLoop::MessageFilter filter;
  {
    std::lock_guard<std::mutex> hold(gHooksLock);
    filter = Filter();
  }
  return filter && filter(message);
}

}  // namespace

void MessageLoop::SetDefaultMessageProcessor(MessageProcessor processor) {
  std::lock_guard<std::mutex> hold(gHooksLock);
  DefaultProcessor() = std::move(processor);
}

void MessageLoop::SetMessageFilter(MessageFilter filter) {
  std::lock_guard<std::mutex> hold(gHooksLock);
  Filter() = std::move(filter);
}

MessagePumpQt::MessagePumpQt(MessageLoop* loop)
    : loop(loop), receiver(std::make_unique<QueueReceiver>(this)), delayTimer(std::make_unique<QTimer>()) {
  CHECK(QCoreApplication::instance()) << "a UI message loop needs a QCoreApplication";
  delayTimer->setSingleShot(true);
  delayTimer->setTimerType(Qt::PreciseTimer);
  QObject::connect(delayTimer.get(), &QTimer::timeout, [this] { ScheduleWork(); });
}

// Deleting the receiver drops its Qt events still posted; the queue goes with the pump.
MessagePumpQt::~MessagePumpQt() = default;

void MessagePumpQt::Run(MessagePumpDispatcher* dispatcher) {
  QEventLoop eventLoop;
  Frame frame;
  frame.dispatcher = dispatcher;
  frame.eventLoop = &eventLoop;
  frames.push_back(&frame);
  if (pendingQuit) {
    pendingQuit = false;
    frame.shouldQuit = true;
  }
  if (!frame.shouldQuit) {
    ScheduleWork();
    eventLoop.exec();
  }
  frames.pop_back();
  // Work the inner run left behind belongs to the outer one now.
  if (!frames.empty()) ScheduleWork();
}

MessagePumpQt::Frame* MessagePumpQt::InnermostRun() {
  for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
    if (!(*it)->nested) return *it;
  }
  return nullptr;
}

void MessagePumpQt::Quit() {
  Frame* frame = InnermostRun();
  if (!frame) return;
  frame->shouldQuit = true;
  frame->eventLoop->exit(0);
}

void MessagePumpQt::ScheduleWork() {
  if (haveWork.exchange(true, std::memory_order_acq_rel)) return;
  Entry entry;
  entry.wakeUp = true;
  Enqueue(entry);
}

void MessagePumpQt::ScheduleDelayedWork(int64_t due) {
  if (due == 0) {
    delayTimer->stop();
    return;
  }
  const int64_t wait = due - NowMicroseconds();
  // Round up: a timer that fires a little early would find nothing due and sleep again.
  const int64_t ms = wait <= 0 ? 0 : (wait + 999) / 1000;
  delayTimer->start(static_cast<int>(ms > INT_MAX ? INT_MAX : ms));
}

void MessagePumpQt::PostNativeMessage(const NativeMessage& message) {
  Entry entry;
  entry.message = message;
  Enqueue(entry);
}

void MessagePumpQt::Enqueue(const Entry& entry) {
  {
    std::lock_guard<std::mutex> hold(lock);
    queue.push_back(entry);
  }
  PostQueueEventIfNeeded();
}

void MessagePumpQt::PostQueueEventIfNeeded() {
  bool post = false;
  {
    std::lock_guard<std::mutex> hold(lock);
    if (!queue.empty() && !qtEventPosted) post = qtEventPosted = true;
  }
  if (post) {
    auto* event = new QEvent(PumpEventType());
    HandOverToLoopThread(event);
    QCoreApplication::postEvent(receiver.get(), event);
  }
}

void MessagePumpQt::PushNestedScope(std::function<void()> onQuit) {
  auto frame = std::make_unique<Frame>();
  frame->nested = true;
  frame->onQuit = std::move(onQuit);
  frames.push_back(frame.get());
  nestedFrames.push_back(std::move(frame));
}

void MessagePumpQt::PopNestedScope() {
  CHECK(!nestedFrames.empty() && !frames.empty() && frames.back() == nestedFrames.back().get())
      << "nested pump scopes must end in reverse order";
  frames.pop_back();
  nestedFrames.pop_back();
  // Messages left behind (a re-posted WM_QUIT, for one) are the outer loop's now.
  PostQueueEventIfNeeded();
}

void MessagePumpQt::HandleQueue() {
  size_t budget;
  {
    std::lock_guard<std::mutex> hold(lock);
    qtEventPosted = false;
    budget = queue.size();
  }
  // Only what was queued on entry: Qt's own events (painting, input) get their turn in between.
  while (budget-- > 0) {
    Frame* frame = frames.empty() ? nullptr : frames.back();
    if (frame && frame->shouldQuit) break;  // the rest is for the loop outside the ending one
    Entry entry;
    {
      std::lock_guard<std::mutex> hold(lock);
      if (queue.empty()) break;
      entry = queue.front();
      queue.pop_front();
    }
    Process(entry, frame);
  }
  PostQueueEventIfNeeded();
}

void MessagePumpQt::Process(const Entry& entry, Frame* frame) {
  if (entry.wakeUp) {
    HandleWakeUp(frame);
    return;
  }
  const NativeMessage& message = entry.message;
  if (message.message == WM_QUIT) {
    if (!frame) {
      // Nothing runs: the next Run takes it, as a quit message waits in a Win32 queue.
      pendingQuit = true;
      return;
    }
    frame->shouldQuit = true;
    if (frame->nested) {
      // The pump outside this nested one must see the quit too.
      Enqueue(entry);
      std::function<void()> onQuit = frame->onQuit;
      if (onQuit) onQuit();
    } else {
      if (frames.size() > 1) Enqueue(entry);
      frame->eventLoop->exit(static_cast<int>(message.wParam));
    }
    return;
  }
  if (Filtered(message)) return;
  if (!frame || frame->nested || !frame->dispatcher) {
    DefaultProcess(message);
    return;
  }
  const uint32_t action = frame->dispatcher->Dispatch(message);
  if (action & MessagePumpDispatcher::kDispatchQuit) {
    frame->shouldQuit = true;
    frame->eventLoop->exit(0);
  }
  if (action & MessagePumpDispatcher::kDispatchDefault) DefaultProcess(message);
}

void MessagePumpQt::HandleWakeUp(Frame* frame) {
  // Cleared first: work posted while this runs must queue a wake-up of its own.
  haveWork.store(false, std::memory_order_release);
  bool didWork = loop->DoWork();
  if (frame && frame->shouldQuit) {
    if (didWork) ScheduleWork();
    return;
  }
  int64_t nextDue = 0;
  didWork |= loop->DoDelayedWork(&nextDue);
  // One task per wake-up, so that native messages and Qt's events interleave with tasks.
  if (didWork) ScheduleWork();
  ScheduleDelayedWork(nextDue);
}

}  // namespace base
