// The monotonic clock every MessageLoop and timer of the process reads, in microseconds.
//
// Production code uses the steady clock. Tests replace it with a ManualTimeSource so that delayed
// tasks and timers become due exactly when the test says, without sleeping. After moving a
// manual clock, poke the loop (post any task) so it looks at its delayed queue again.
// Any thread may read the clock; install or remove a test clock only while no loop is waiting on
// a due time that depends on it.
#pragma once

#include <atomic>
#include <cstdint>

namespace base {

class TimeSource {
 public:
  virtual ~TimeSource() = default;
  virtual int64_t NowMicroseconds() const = 0;
};

// A clock that moves only when told to. Thread-safe.
class ManualTimeSource final : public TimeSource {
 public:
  explicit ManualTimeSource(int64_t start = 1'000'000) : now(start) {}
  int64_t NowMicroseconds() const override { return now.load(std::memory_order_acquire); }
  void Advance(int64_t microseconds) { now.fetch_add(microseconds, std::memory_order_acq_rel); }
  void Set(int64_t microseconds) { now.store(microseconds, std::memory_order_release); }

 private:
  std::atomic<int64_t> now;
};

// The current time of the installed clock.
int64_t NowMicroseconds();

// Installs a clock for tests (not owned; nullptr restores the steady clock).
void SetTimeSourceForTesting(const TimeSource* source);

// Installs a clock for the lifetime of the scope.
class ScopedTimeSourceForTesting {
 public:
  explicit ScopedTimeSourceForTesting(const TimeSource* source) { SetTimeSourceForTesting(source); }
  ~ScopedTimeSourceForTesting() { SetTimeSourceForTesting(nullptr); }
  ScopedTimeSourceForTesting(const ScopedTimeSourceForTesting&) = delete;
  ScopedTimeSourceForTesting& operator=(const ScopedTimeSourceForTesting&) = delete;
};

}  // namespace base
