// Built with ThreadSanitizer only: the suppressions in tests/tsan_suppressions.txt hide the races
// inside libpulse and nothing of ours. A field of ours written both in a libpulse callback (on
// its "threaded-ml" thread) and by the caller is still reported when the caller skips the main
// loop's lock, and is not reported when it takes it, so the sanitizer still sees that lock.
// Each case runs in a child process of its own, which ends with the sanitizer's exit code.

#include <pulse/mainloop-api.h>
#include <pulse/thread-mainloop.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

// The sanitizer's exit code for a process in which it reported something.
constexpr int kSanitizerReported = 66;

int gCalls = 0;  // deliberately a plain int: the cases below are about who guards it

// Starts a threaded main loop with one deferred event, whose callback bumps the counter on the
// loop thread (with the loop's lock held, as libpulse runs its callbacks); then bumps it from
// this thread, with or without that lock, and exits.
[[noreturn]] void CountFromBothThreads(bool takeTheLock) {
  pa_threaded_mainloop* loop = pa_threaded_mainloop_new();
  pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
  api->defer_new(
      api,
      [](pa_mainloop_api* a, pa_defer_event* event, void*) {
        ++gCalls;
        a->defer_enable(event, 0);
      },
      nullptr);
  pa_threaded_mainloop_start(loop);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  if (takeTheLock) pa_threaded_mainloop_lock(loop);
  ++gCalls;
  if (takeTheLock) pa_threaded_mainloop_unlock(loop);
  pa_threaded_mainloop_stop(loop);
  pa_threaded_mainloop_free(loop);
  std::exit(gCalls == 2 ? 0 : 1);  // 1: the callback did not run, so the case proves nothing
}

TEST(TsanSuppressionsTest, OurRaceOnLibpulsesThreadIsStillReported) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(CountFromBothThreads(false), ::testing::ExitedWithCode(kSanitizerReported),
              "ThreadSanitizer: data race");
}

TEST(TsanSuppressionsTest, TheMainLoopsLockStillOrdersOurAccesses) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(CountFromBothThreads(true), ::testing::ExitedWithCode(0), "");
}

}  // namespace
