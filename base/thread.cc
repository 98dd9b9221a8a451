#include "base/thread.h"

#include <system_error>

#include "base/logging.h"
#include "base/message_loop.h"
#include "base/thread_names.h"

namespace base {

Thread::Thread(const std::string& name) : name_(name) {}

Thread::~Thread() { Stop(); }

bool Thread::Start() {
  if (started_) return false;
  try {
    thread_ = std::thread(&Thread::ThreadMain, this);
  } catch (const std::system_error& error) {
    LOG(ERROR) << "thread " << name_ << " not created: " << error.what();
    return false;
  }
  std::unique_lock<std::mutex> hold(lock_);
  loopCreated_.wait(hold, [this] { return loop_ != nullptr; });
  started_ = true;
  return true;
}

void Thread::Stop() {
  if (!started_ || stopping_) return;
  CHECK(CurrentThreadId() != thread_id()) << "a thread cannot stop itself";
  {
    // Under the lock, so that a loop that ended on its own is not destroyed meanwhile; the
    // quit task then just goes away with it.
    std::lock_guard<std::mutex> hold(lock_);
    if (loop_) loop_->PostTask(FROM_HERE, BindClosure([] { MessageLoop::current()->Quit(); }));
  }
  stopping_ = true;
  thread_.join();
  {
    std::lock_guard<std::mutex> hold(lock_);
    threadId_ = 0;
  }
  started_ = false;
  stopping_ = false;
}

MessageLoop* Thread::message_loop() const {
  std::lock_guard<std::mutex> hold(lock_);
  return loop_;
}

pid_t Thread::thread_id() const {
  std::lock_guard<std::mutex> hold(lock_);
  return threadId_;
}

void Thread::ThreadMain() {
  const pid_t id = CurrentThreadId();
  SetCurrentThreadName(name_);
  auto loop = std::make_unique<MessageLoop>(MessageLoop::TYPE_DEFAULT);
  loop->set_thread_name(name_);
  {
    std::lock_guard<std::mutex> hold(lock_);
    threadId_ = id;
    this->loop_ = loop.get();
    running_.store(true, std::memory_order_release);
  }
  loopCreated_.notify_all();

  loop->Run();

  running_.store(false, std::memory_order_release);
  {
    std::lock_guard<std::mutex> hold(lock_);
    this->loop_ = nullptr;
  }
  loop.reset();  // tasks still queued are discarded here, on this thread
}

}  // namespace base
