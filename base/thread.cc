#include "base/thread.h"

#include <system_error>

#include "base/logging.h"
#include "base/message_loop.h"
#include "base/thread_names.h"

namespace base {

Thread::Thread(const std::string& name) : name(name) {}

Thread::~Thread() { Stop(); }

bool Thread::Start() {
  if (started) return false;
  try {
    thread = std::thread(&Thread::ThreadMain, this);
  } catch (const std::system_error& error) {
    LOG(ERROR) << "thread " << name << " not created: " << error.what();
    return false;
  }
  std::unique_lock<std::mutex> hold(lock);
  loopCreated.wait(hold, [this] { return loop != nullptr; });
  started = true;
  return true;
}

void Thread::Stop() {
  if (!started || stopping) return;
  CHECK(CurrentThreadId() != thread_id()) << "a thread cannot stop itself";
  {
    // Under the lock, so that a loop that ended on its own is not destroyed meanwhile; the
    // quit task then just goes away with it.
    std::lock_guard<std::mutex> hold(lock);
    if (loop) loop->PostTask(FROM_HERE, BindClosure([] { MessageLoop::current()->Quit(); }));
  }
  stopping = true;
  thread.join();
  {
    std::lock_guard<std::mutex> hold(lock);
    threadId = 0;
  }
  started = false;
  stopping = false;
}

MessageLoop* Thread::message_loop() const {
  std::lock_guard<std::mutex> hold(lock);
  return loop;
}

pid_t Thread::thread_id() const {
  std::lock_guard<std::mutex> hold(lock);
  return threadId;
}

void Thread::ThreadMain() {
  const pid_t id = CurrentThreadId();
  SetCurrentThreadName(name);
  auto loop = std::make_unique<MessageLoop>(MessageLoop::TYPE_DEFAULT);
  loop->set_thread_name(name);
  {
    std::lock_guard<std::mutex> hold(lock);
    threadId = id;
    this->loop = loop.get();
    running.store(true, std::memory_order_release);
  }
  loopCreated.notify_all();

  loop->Run();

  running.store(false, std::memory_order_release);
  {
    std::lock_guard<std::mutex> hold(lock);
    this->loop = nullptr;
  }
  loop.reset();  // tasks still queued are discarded here, on this thread
}

}  // namespace base
