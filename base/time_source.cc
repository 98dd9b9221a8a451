#include "base/time_source.h"

#include <chrono>

namespace base {
namespace {

class SteadyTimeSource final : public TimeSource {
 public:
  int64_t NowMicroseconds() const override {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

const SteadyTimeSource kSteadyTimeSource;
std::atomic<const TimeSource*> gTimeSource{&kSteadyTimeSource};

}  // namespace

int64_t NowMicroseconds() { return gTimeSource.load(std::memory_order_acquire)->NowMicroseconds(); }

void SetTimeSourceForTesting(const TimeSource* source) {
  gTimeSource.store(source ? source : &kSteadyTimeSource, std::memory_order_release);
}

}  // namespace base
