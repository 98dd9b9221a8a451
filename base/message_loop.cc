#include "base/message_loop.h"

#include <utility>

#include "base/logging.h"
#include "base/message_pump_default.h"
#include "base/message_pump_qt.h"
#include "base/time_source.h"

namespace base {
namespace {

thread_local MessageLoop* tlsCurrentLoop = nullptr;

}  // namespace

MessageLoop::MessageLoop(Type type) : type_(type) {
  CHECK(!tlsCurrentLoop) << "a thread has one message loop";
  if (type_ == TYPE_UI) {
    pump_ = std::make_unique<MessagePumpQt>(this);
  } else {
    pump_ = std::make_unique<MessagePumpDefault>(this);
  }
  tlsCurrentLoop = this;
}

MessageLoop::~MessageLoop() {
  CHECK(ownerThread.CalledOnValidThread()) << "a message loop is destroyed on its own thread";
  // Queued tasks are discarded unrun. Their destructors may post again, so empty the queues
  // until nothing is left.
  for (int round = 0; round < 100; ++round) {
    std::vector<PendingTask> incoming;
    {
      std::lock_guard<std::mutex> hold(incomingLock_);
      incoming.swap(incomingQueue_);
    }
    std::deque<PendingTask> work;
    work.swap(workQueue_);
    decltype(delayedQueue_) delayed;
    delayed.swap(delayedQueue_);
    if (incoming.empty() && work.empty() && delayed.empty()) break;
  }
  pump_.reset();
  tlsCurrentLoop = nullptr;
}

MessageLoop* MessageLoop::current() { return tlsCurrentLoop; }

void MessageLoop::PostTask(const Location& from, const Task& task) { AddToIncomingQueue(from, task, 0); }

void MessageLoop::PostDelayedTask(const Location& from, const Task& task, int64_t delayMicroseconds) {
  AddToIncomingQueue(from, task, delayMicroseconds > 0 ? NowMicroseconds() + delayMicroseconds : 0);
}

bool MessageLoop::PostNativeMessage(const NativeMessage& message) {
  if (type_ != TYPE_UI) {
    LOG(ERROR) << "native message " << message.message << " posted to a loop without a message queue";
    return false;
  }
  static_cast<MessagePumpQt*>(pump_.get())->PostNativeMessage(message);
  return true;
}

void MessageLoop::AddToIncomingQueue(const Location& from, const Task& task, int64_t due) {
  {
    std::lock_guard<std::mutex> hold(incomingLock_);
    incomingQueue_.push_back(PendingTask{task, from, due, nextSequence_++});
  }
  pump_->ScheduleWork();
}

void MessageLoop::SetNestableTasksAllowed(bool allowed) {
  DCHECK_CALLED_ON_VALID_THREAD(ownerThread)
      << "the nestable-tasks flag belongs to the loop's own thread";
  nestableTasksAllowed_ = allowed;
  if (allowed) pump_->ScheduleWork();
}

void MessageLoop::Run() { RunInternal(nullptr); }

void MessageLoop::RunWithDispatcher(MessagePumpDispatcher* dispatcher) {
  CHECK(type_ == TYPE_UI || !dispatcher) << "only a UI loop has messages to dispatch";
  RunInternal(dispatcher);
}

void MessageLoop::RunInternal(MessagePumpDispatcher* dispatcher) {
  CHECK(ownerThread.CalledOnValidThread()) << "a message loop runs on its own thread";
  ++runDepth_;
  pump_->Run(dispatcher);
  --runDepth_;
}

void MessageLoop::RunUntilIdle() {
  CHECK(ownerThread.CalledOnValidThread()) << "a message loop runs on its own thread";
  int64_t nextDue = 0;
  for (;;) {
    bool didWork = DoWork();
    didWork |= DoDelayedWork(&nextDue);
    if (!didWork) break;
  }
  pump_->ScheduleDelayedWork(nextDue);
}

void MessageLoop::Quit() {
  CHECK(ownerThread.CalledOnValidThread()) << "a message loop is quit from its own thread";
  pump_->Quit();
}

void MessageLoop::ReloadWorkQueue() {
  std::lock_guard<std::mutex> hold(incomingLock_);
  for (auto& pending : incomingQueue_) workQueue_.push_back(std::move(pending));
  incomingQueue_.clear();
}

bool MessageLoop::DoWork() {
  if (!nestableTasksAllowed_) return false;
  for (;;) {
    if (workQueue_.empty()) {
      ReloadWorkQueue();
      if (workQueue_.empty()) return false;
    }
    PendingTask pending = std::move(workQueue_.front());
    workQueue_.pop_front();
    if (pending.due > 0) {
      delayedQueue_.push(std::move(pending));
      continue;
    }
    RunTask(pending);
    return true;
  }
}

bool MessageLoop::DoDelayedWork(int64_t* nextDue) {
  *nextDue = 0;
  if (!nestableTasksAllowed_ || delayedQueue_.empty()) return false;
  if (delayedQueue_.top().due > NowMicroseconds()) {
    *nextDue = delayedQueue_.top().due;
    return false;
  }
  PendingTask pending = delayedQueue_.top();
  delayedQueue_.pop();
  if (!delayedQueue_.empty()) *nextDue = delayedQueue_.top().due;
  RunTask(pending);
  return true;
}

void MessageLoop::RunTask(const PendingTask& pending) {
  // A loop that the task starts inside itself runs no further tasks unless someone (the
  // nested-pump hooks) allows it again.
  nestableTasksAllowed_ = false;
  pending.task.Run();
  nestableTasksAllowed_ = true;
}

bool PostQuitMessage(int exitCode) {
  MessageLoop* loop = MessageLoop::current();
  if (!loop || loop->type() != MessageLoop::TYPE_UI) return false;
  return loop->PostNativeMessage(NativeMessage{0, WM_QUIT, static_cast<WPARAM>(exitCode), 0});
}

NestedPumpScope::NestedPumpScope(std::function<void()> onQuit) : loop_(MessageLoop::current()) {
  if (loop_ && loop_->type() == MessageLoop::TYPE_UI) {
    static_cast<MessagePumpQt*>(loop_->pump_.get())->PushNestedScope(std::move(onQuit));
  } else {
    loop_ = nullptr;
  }
}

NestedPumpScope::~NestedPumpScope() {
  if (loop_) static_cast<MessagePumpQt*>(loop_->pump_.get())->PopNestedScope();
}

}  // namespace base
