// ProcessSingleton<T>: one lazily built object of T per process, reached by Get() from any
// thread. It backs the main window accessor.
//
// The slot is one word with three meanings: 0 = nothing yet, 1 = being built by some caller,
// anything else = the object. The first caller to swap 0 for 1 builds the object; the others
// spin, yielding the processor, until the builder publishes it, so concurrent first calls all
// get the same object and T's constructor runs once. When an ExitCallbackRegistry exists at
// the time of building, Destroy() is registered with it, so the object dies at shutdown.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "app/exit_callback_registry.h"

template <typename T>
class ProcessSingleton {
 public:
  ProcessSingleton() = delete;

  static T* Get() {
    std::uintptr_t value = slot.load(std::memory_order_acquire);
    if (value != kEmpty && value != kBuilding)
      return reinterpret_cast<T*>(value);

    std::uintptr_t expected = kEmpty;
    if (!slot.compare_exchange_strong(expected, kBuilding, std::memory_order_acquire)) {
      // Someone else is building it; wait for the result. Should the object be destroyed in
      // between, this returns null, as the slot then says.
      while ((value = slot.load(std::memory_order_acquire)) == kBuilding)
        std::this_thread::yield();
      return reinterpret_cast<T*>(value);
    }

    T* object = new T();
    slot.store(reinterpret_cast<std::uintptr_t>(object), std::memory_order_release);
    if (ExitCallbackRegistry* registry = ExitCallbackRegistry::Current())
      registry->Register(&ProcessSingleton::Destroy);
    return object;
  }

  // The object if one has been built, else null; never builds.
  static T* Peek() {
    std::uintptr_t value = slot.load(std::memory_order_acquire);
    return value == kBuilding ? nullptr : reinterpret_cast<T*>(value);
  }

  // Deletes the object, if there is one, and empties the slot. Main thread, at shutdown.
  static void Destroy() {
    std::uintptr_t value = slot.load(std::memory_order_acquire);
    if (value == kEmpty || value == kBuilding)
      return;
    // The slot is emptied only afterwards: a Get() reached from inside the destructor must not
    // start building a second object while the first one is still being torn down.
    delete reinterpret_cast<T*>(value);
    slot.store(kEmpty, std::memory_order_release);
  }

 private:
  static constexpr std::uintptr_t kEmpty = 0;
  static constexpr std::uintptr_t kBuilding = 1;
  static inline std::atomic<std::uintptr_t> slot{kEmpty};
};
