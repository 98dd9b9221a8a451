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

MessageLoop::MessageLoop(Type type) : loopType(type) {
  CHECK(!tlsCurrentLoop) << "a thread has one message loop";
  if (loopType == TYPE_UI) {
    pump = std::make_unique<MessagePumpQt>(this);
  } else {
    pump = std::make_unique<MessagePumpDefault>(this);
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
      std::lock_guard<std::mutex> hold(incomingLock);
      incoming.swap(incomingQueue);
    }
    std::deque<PendingTask> work;
    work.swap(workQueue);
    decltype(delayedQueue) delayed;
    delayed.swap(delayedQueue);
    if (incoming.empty() && work.empty() && delayed.empty()) break;
  }
  pump.reset();
  tlsCurrentLoop = nullptr;
}

MessageLoop* MessageLoop::current() { return tlsCurrentLoop; }

void MessageLoop::PostTask(const Location& from, const Task& task) { AddToIncomingQueue(from, task, 0); }

void MessageLoop::PostDelayedTask(const Location& from, const Task& task, int64_t delayMicroseconds) {
  AddToIncomingQueue(from, task, delayMicroseconds > 0 ? NowMicroseconds() + delayMicroseconds : 0);
}

bool MessageLoop::PostNativeMessage(const NativeMessage& message) {
  if (loopType != TYPE_UI) {
    LOG(ERROR) << "native message " << message.message << " posted to a loop without a message queue";
    return false;
  }
  static_cast<MessagePumpQt*>(pump.get())->PostNativeMessage(message);
  return true;
}

void MessageLoop::AddToIncomingQueue(const Location& from, const Task& task, int64_t due) {
  {
    std::lock_guard<std::mutex> hold(incomingLock);
    incomingQueue.push_back(PendingTask{task, from, due, nextSequence++});
  }
  pump->ScheduleWork();
}

void MessageLoop::SetNestableTasksAllowed(bool allowed) {
  DCHECK_CALLED_ON_VALID_THREAD(ownerThread)
      << "the nestable-tasks flag belongs to the loop's own thread";
  nestableTasksAllowed = allowed;
  if (allowed) pump->ScheduleWork();
}

void MessageLoop::Run() { RunInternal(nullptr); }

void MessageLoop::RunWithDispatcher(MessagePumpDispatcher* dispatcher) {
  CHECK(loopType == TYPE_UI || !dispatcher) << "only a UI loop has messages to dispatch";
  RunInternal(dispatcher);
}

void MessageLoop::RunInternal(MessagePumpDispatcher* dispatcher) {
  CHECK(ownerThread.CalledOnValidThread()) << "a message loop runs on its own thread";
  ++runDepth;
  pump->Run(dispatcher);
  --runDepth;
}

void MessageLoop::RunUntilIdle() {
  CHECK(ownerThread.CalledOnValidThread()) << "a message loop runs on its own thread";
  int64_t nextDue = 0;
  for (;;) {
    bool didWork = DoWork();
    didWork |= DoDelayedWork(&nextDue);
    if (!didWork) break;
  }
  pump->ScheduleDelayedWork(nextDue);
}

void MessageLoop::Quit() {
  CHECK(ownerThread.CalledOnValidThread()) << "a message loop is quit from its own thread";
  pump->Quit();
}

void MessageLoop::ReloadWorkQueue() {
  std::lock_guard<std::mutex> hold(incomingLock);
  for (auto& pending : incomingQueue) workQueue.push_back(std::move(pending));
  incomingQueue.clear();
}

bool MessageLoop::DoWork() {
  if (!nestableTasksAllowed) return false;
  for (;;) {
    if (workQueue.empty()) {
      ReloadWorkQueue();
      if (workQueue.empty()) return false;
    }
    PendingTask pending = std::move(workQueue.front());
    workQueue.pop_front();
    if (pending.due > 0) {
      delayedQueue.push(std::move(pending));
      continue;
    }
    RunTask(pending);
    return true;
  }
}

bool MessageLoop::DoDelayedWork(int64_t* nextDue) {
  *nextDue = 0;
  if (!nestableTasksAllowed || delayedQueue.empty()) return false;
  if (delayedQueue.top().due > NowMicroseconds()) {
    *nextDue = delayedQueue.top().due;
    return false;
  }
  PendingTask pending = delayedQueue.top();
  delayedQueue.pop();
  if (!delayedQueue.empty()) *nextDue = delayedQueue.top().due;
  RunTask(pending);
  return true;
}

void MessageLoop::RunTask(const PendingTask& pending) {
  // A loop that the task starts inside itself runs no further tasks unless someone (the
  // nested-pump hooks) allows it again.
  nestableTasksAllowed = false;
  pending.task.Run();
  nestableTasksAllowed = true;
}

bool PostQuitMessage(int exitCode) {
  MessageLoop* loop = MessageLoop::current();
  if (!loop || loop->type() != MessageLoop::TYPE_UI) return false;
  return loop->PostNativeMessage(NativeMessage{0, WM_QUIT, static_cast<WPARAM>(exitCode), 0});
}

NestedPumpScope::NestedPumpScope(std::function<void()> onQuit) : loop(MessageLoop::current()) {
  if (loop && loop->type() == MessageLoop::TYPE_UI) {
    static_cast<MessagePumpQt*>(loop->pump.get())->PushNestedScope(std::move(onQuit));
  } else {
    loop = nullptr;
  }
}

NestedPumpScope::~NestedPumpScope() {
  if (loop) static_cast<MessagePumpQt*>(loop->pump.get())->PopNestedScope();
}

}  // namespace base
