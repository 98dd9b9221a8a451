// A bound callable without arguments: the unit of work a MessageLoop runs.
//
// A Task holds the receiver as a plain pointer: it neither owns nor retains it, so whoever posts
// one guarantees by structure that the receiver outlives the run (a thread is joined first, a
// timer stops in its owner's destructor). Copies share one state whose reference count is
// atomic, because a task is made on one thread and run and destroyed on another. A Task itself
// is not synchronised: one copy is used by one thread at a time.
#pragma once

#include <atomic>
#include <functional>
#include <utility>

namespace base {

class Task {
 public:
  // The shared, reference-counted part of a task. Subclasses hold the bound call.
  class State {
   public:
    virtual ~State() = default;
    virtual void Run() = 0;

   private:
    friend class Task;
    std::atomic<int> refCount_{0};
  };

  Task() = default;
  explicit Task(State* state) : state_(state) { Acquire(); }
  Task(const Task& other) : state_(other.state_) { Acquire(); }
  Task(Task&& other) noexcept : state_(std::exchange(other.state_, nullptr)) {}
  Task& operator=(const Task& other) {
    Task copy(other);
    std::swap(state_, copy.state_);
    return *this;
  }
  Task& operator=(Task&& other) noexcept {
    Task moved(std::move(other));
    std::swap(state_, moved.state_);
    return *this;
  }
  ~Task() { Release(); }

  bool is_null() const { return state_ == nullptr; }
  explicit operator bool() const { return state_ != nullptr; }
  // Runs the bound call; a null task does nothing.
  void Run() const {
    if (state_) state_->Run();
  }
  void Reset() { Release(); }

 private:
  void Acquire() {
    if (state_) state_->refCount_.fetch_add(1, std::memory_order_relaxed);
  }
  void Release() {
    if (state_ && state_->refCount_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete state_;
    state_ = nullptr;
  }

  State* state_ = nullptr;
};

namespace internal {

template <class T>
class MethodState final : public Task::State {
 public:
  MethodState(void (T::*method)(), T* receiver) : method_(method), receiver_(receiver) {}
  void Run() override { (receiver_->*method_)(); }

 private:
  void (T::*method_)();
  T* receiver_;
};

template <class T>
class MethodIntState final : public Task::State {
 public:
  MethodIntState(void (T::*method)(int), T* receiver, int arg)
      : method_(method), receiver_(receiver), arg_(arg) {}
  void Run() override { (receiver_->*method_)(arg_); }

 private:
  void (T::*method_)(int);
  T* receiver_;
  int arg_;
};

class ClosureState final : public Task::State {
 public:
  explicit ClosureState(std::function<void()> closure) : closure_(std::move(closure)) {}
  void Run() override {
    if (closure_) closure_();
  }

 private:
  std::function<void()> closure_;
};

}  // namespace internal

// receiver->method(); the receiver is not retained.
template <class T>
Task Bind(void (T::*method)(), T* receiver) {
  return Task(new internal::MethodState<T>(method, receiver));
}

// receiver->method(arg), with arg bound now; the receiver is not retained.
template <class T>
Task Bind(void (T::*method)(int), T* receiver, int arg) {
  return Task(new internal::MethodIntState<T>(method, receiver, arg));
}

// Any callable, for the runtime's and the UI library's own work.
inline Task BindClosure(std::function<void()> closure) {
  return Task(new internal::ClosureState(std::move(closure)));
}

}  // namespace base
