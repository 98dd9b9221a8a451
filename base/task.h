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
    std::atomic<int> refCount{0};
  };

  Task() = default;
  explicit Task(State* state) : state(state) { Acquire(); }
  Task(const Task& other) : state(other.state) { Acquire(); }
  Task(Task&& other) noexcept : state(std::exchange(other.state, nullptr)) {}
  Task& operator=(const Task& other) {
    Task copy(other);
    std::swap(state, copy.state);
    return *this;
  }
  Task& operator=(Task&& other) noexcept {
    Task moved(std::move(other));
    std::swap(state, moved.state);
    return *this;
  }
  ~Task() { Release(); }

  bool is_null() const { return state == nullptr; }
  explicit operator bool() const { return state != nullptr; }
  // Runs the bound call; a null task does nothing.
  void Run() const {
    if (state) state->Run();
  }
  void Reset() { Release(); }

 private:
  void Acquire() {
    if (state) state->refCount.fetch_add(1, std::memory_order_relaxed);
  }
  void Release() {
    if (state && state->refCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete state;
    state = nullptr;
  }

  State* state = nullptr;
};

namespace internal {

template <class T>
class MethodState final : public Task::State {
 public:
  MethodState(void (T::*method)(), T* receiver) : method(method), receiver(receiver) {}
  void Run() override { (receiver->*method)(); }

 private:
  void (T::*method)();
  T* receiver;
};

template <class T>
class MethodIntState final : public Task::State {
 public:
  MethodIntState(void (T::*method)(int), T* receiver, int arg)
      : method(method), receiver(receiver), arg(arg) {}
  void Run() override { (receiver->*method)(arg); }

 private:
  void (T::*method)(int);
  T* receiver;
  int arg;
};

class ClosureState final : public Task::State {
 public:
  explicit ClosureState(std::function<void()> closure) : closure(std::move(closure)) {}
  void Run() override {
    if (closure) closure();
  }

 private:
  std::function<void()> closure;
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
