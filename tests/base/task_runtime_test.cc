// Default-kind loops, named threads and repeating timers, driven by a clock the tests control.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/message_loop.h"
#include "base/thread.h"
#include "base/thread_names.h"
#include "base/time_source.h"
#include "base/timer.h"

namespace {

// Collects values from whichever thread runs the tasks.
class Recorder {
 public:
  void Add(int value) {
    std::lock_guard<std::mutex> hold(lock);
    seenValues.push_back(value);
    seenThreads.push_back(base::CurrentThreadId());
  }
  std::vector<int> values() {
    std::lock_guard<std::mutex> hold(lock);
    return seenValues;
  }
  std::vector<pid_t> threads() {
    std::lock_guard<std::mutex> hold(lock);
    return seenThreads;
  }

 private:
  std::mutex lock;
  std::vector<int> seenValues;
  std::vector<pid_t> seenThreads;
};

// A gate a task waits at until the test opens it.
class Gate {
 public:
  void Open() {
    {
      std::lock_guard<std::mutex> hold(lock);
      open = true;
    }
    changed.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [this] { return open; });
  }

 private:
  std::mutex lock;
  std::condition_variable changed;
  bool open = false;
};

TEST(ThreadTest, RunsTasksInPostingOrderOnItsOwnThread) {
  Recorder recorder;
  base::Thread thread("ConvertWork");
  EXPECT_EQ(thread.message_loop(), nullptr);
  ASSERT_TRUE(thread.Start());
  EXPECT_TRUE(thread.IsRunning());
  ASSERT_NE(thread.message_loop(), nullptr);
  EXPECT_EQ(thread.message_loop()->thread_name(), "ConvertWork");
  const pid_t worker = thread.thread_id();
  EXPECT_NE(worker, base::CurrentThreadId());

  for (int i = 0; i < 200; ++i) {
    thread.message_loop()->PostTask(FROM_HERE, base::Bind(&Recorder::Add, &recorder, i));
  }
  thread.Stop();  // runs everything queued before it
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.message_loop(), nullptr);

  std::vector<int> expected(200);
  for (int i = 0; i < 200; ++i) expected[i] = i;
  EXPECT_EQ(recorder.values(), expected);
  for (pid_t id : recorder.threads()) EXPECT_EQ(id, worker);

  // A stopped thread starts again with a fresh loop; a second Stop does nothing.
  thread.Stop();
  ASSERT_TRUE(thread.Start());
  thread.message_loop()->PostTask(FROM_HERE, base::Bind(&Recorder::Add, &recorder, 500));
  thread.Stop();
  EXPECT_EQ(recorder.values().back(), 500);
}

TEST(ThreadTest, StopReturnsOnlyAfterTheRunningTaskAndRunsWhatWasQueuedBeforeIt) {
  Recorder recorder;
  Gate started;
  Gate release;
  std::atomic<bool> stopReturned{false};
  std::atomic<bool> stopReturnedWhenTaskEnded{true};
  auto delayedState = std::make_shared<int>(0);

  base::Thread thread("ConvertWork");
  ASSERT_TRUE(thread.Start());
  base::MessageLoop* loop = thread.message_loop();
  loop->PostTask(FROM_HERE, base::BindClosure([&] {
                   started.Open();
                   release.Wait();
                   stopReturnedWhenTaskEnded = stopReturned.load();
                 }));
  loop->PostTask(FROM_HERE, base::Bind(&Recorder::Add, &recorder, 1));
  // Due in an hour: discarded by Stop, and destroyed rather than leaked.
  loop->PostDelayedTask(FROM_HERE, base::BindClosure([delayedState] { ++*delayedState; }),
                        3600LL * 1000 * 1000);

  started.Wait();
  std::thread stopper([&] {
    thread.Stop();
    stopReturned = true;
  });
  release.Open();
  stopper.join();

  EXPECT_FALSE(stopReturnedWhenTaskEnded);
  EXPECT_EQ(recorder.values(), std::vector<int>{1});
  EXPECT_EQ(*delayedState, 0);
  EXPECT_EQ(delayedState.use_count(), 1);
}

TEST(ThreadTest, DelayedTaskOnAWaitingThreadRunsWhenDue) {
  Gate ran;
  base::Thread thread("ConvertWork");
  ASSERT_TRUE(thread.Start());
  thread.message_loop()->PostDelayedTask(FROM_HERE, base::BindClosure([&] { ran.Open(); }), 2000);
  ran.Wait();  // no time asserted: it must simply come
  thread.Stop();
}

TEST(MessageLoopTest, DestroyingALoopRunsNoneOfItsQueuedTasks) {
  auto state = std::make_shared<int>(0);
  std::thread owner([&] {
    auto loop = std::make_unique<base::MessageLoop>(base::MessageLoop::TYPE_DEFAULT);
    for (int i = 0; i < 5; ++i) {
      loop->PostDelayedTask(FROM_HERE, base::BindClosure([state] { ++*state; }), 3600LL * 1000 * 1000);
    }
    loop->RunUntilIdle();  // moves the delayed ones into the loop's delayed queue
    for (int i = 0; i < 5; ++i) loop->PostTask(FROM_HERE, base::BindClosure([state] { ++*state; }));
    loop.reset();
    EXPECT_EQ(base::MessageLoop::current(), nullptr);
  });
  owner.join();
  EXPECT_EQ(*state, 0);
  EXPECT_EQ(state.use_count(), 1);
}

class ClockedLoopTest : public ::testing::Test {
 protected:
  // Lets `us` microseconds of the clock pass, then runs what has come due.
  void Elapse(int64_t us) {
    clock.Advance(us);
    loop.RunUntilIdle();
  }

  base::ManualTimeSource clock;
  base::ScopedTimeSourceForTesting useClock{&clock};
  base::MessageLoop loop{base::MessageLoop::TYPE_DEFAULT};
};

TEST_F(ClockedLoopTest, DelayedTasksRunWhenDueEarliestFirst) {
  Recorder recorder;
  loop.PostDelayedTask(FROM_HERE, base::Bind(&Recorder::Add, &recorder, 300), 300000);
  loop.PostDelayedTask(FROM_HERE, base::Bind(&Recorder::Add, &recorder, 100), 100000);
  loop.PostDelayedTask(FROM_HERE, base::Bind(&Recorder::Add, &recorder, 200), 200000);
  loop.PostDelayedTask(FROM_HERE, base::Bind(&Recorder::Add, &recorder, 101), 100000);
  loop.PostTask(FROM_HERE, base::Bind(&Recorder::Add, &recorder, 0));

  loop.RunUntilIdle();
  EXPECT_EQ(recorder.values(), std::vector<int>{0});
  Elapse(150000);
  EXPECT_EQ(recorder.values(), (std::vector<int>{0, 100, 101}));
  Elapse(1000000);
  EXPECT_EQ(recorder.values(), (std::vector<int>{0, 100, 101, 200, 300}));
}

TEST_F(ClockedLoopTest, ALoopStartedInsideATaskRunsNoTasksUntilAllowed) {
  Recorder recorder;
  loop.PostTask(FROM_HERE, base::BindClosure([&] {
                   EXPECT_FALSE(loop.NestableTasksAllowed());
                   loop.PostTask(FROM_HERE, base::Bind(&Recorder::Add, &recorder, 2));
                   recorder.Add(1);
                   loop.RunUntilIdle();  // nested: the flag is false
                   EXPECT_EQ(recorder.values(), std::vector<int>{1});
                   loop.SetNestableTasksAllowed(true);
                   loop.RunUntilIdle();
                   EXPECT_EQ(recorder.values(), (std::vector<int>{1, 2}));
                 }));
  loop.RunUntilIdle();
  EXPECT_EQ(recorder.values(), (std::vector<int>{1, 2}));
  EXPECT_TRUE(loop.NestableTasksAllowed());
}

TEST_F(ClockedLoopTest, QuitEndsTheRunAfterTheCurrentTask) {
  Recorder recorder;
  loop.PostTask(FROM_HERE, base::Bind(&Recorder::Add, &recorder, 1));
  loop.PostTask(FROM_HERE, base::BindClosure([&] { loop.Quit(); }));
  loop.PostTask(FROM_HERE, base::Bind(&Recorder::Add, &recorder, 3));
  loop.Run();
  EXPECT_EQ(recorder.values(), std::vector<int>{1});
  EXPECT_FALSE(loop.is_running());
  loop.RunUntilIdle();
  EXPECT_EQ(recorder.values(), (std::vector<int>{1, 3}));
}

// A receiver whose method may take time, stop or restart its timer, or destroy it.
class Ticker {
 public:
  explicit Ticker(base::ManualTimeSource* clock) : clock(clock) {}
  void Tick() {
    ++ticks;
    if (workMicroseconds) clock->Advance(workMicroseconds);
    if (destroyTimerOnTick) timer.reset();
  }
  int ticks = 0;
  int64_t workMicroseconds = 0;
  bool destroyTimerOnTick = false;
  std::unique_ptr<base::RepeatingTimer<Ticker>> timer = std::make_unique<base::RepeatingTimer<Ticker>>();

 private:
  base::ManualTimeSource* clock;
};

constexpr int64_t kPeriod = 200000;

TEST_F(ClockedLoopTest, RepeatingTimerPeriodRunsStartToStartAndDoesNotMakeUpLateRuns) {
  Ticker ticker(&clock);
  ticker.timer->Start(FROM_HERE, kPeriod, &ticker, &Ticker::Tick);
  EXPECT_TRUE(ticker.timer->IsRunning());

  Elapse(kPeriod - 1);
  EXPECT_EQ(ticker.ticks, 0);
  clock.Advance(1);
  ticker.workMicroseconds = 50000;  // the method itself takes a quarter period
  loop.RunUntilIdle();
  EXPECT_EQ(ticker.ticks, 1);
  ticker.workMicroseconds = 0;

  // Next run is due one period after the previous one started, not after it ended.
  Elapse(kPeriod - 50000);
  EXPECT_EQ(ticker.ticks, 2);

  // Five periods late: one run, then the period counts from that run.
  Elapse(5 * kPeriod);
  EXPECT_EQ(ticker.ticks, 3);
  Elapse(kPeriod - 1);
  EXPECT_EQ(ticker.ticks, 3);
  Elapse(1);
  EXPECT_EQ(ticker.ticks, 4);
}

TEST_F(ClockedLoopTest, RestartingARunningTimerRestartsItsPeriod) {
  Ticker ticker(&clock);
  ticker.timer->Start(FROM_HERE, kPeriod, &ticker, &Ticker::Tick);
  Elapse(150000);
  ticker.timer->Start(FROM_HERE, kPeriod, &ticker, &Ticker::Tick);
  Elapse(100000);  // the first start's due time has passed
  EXPECT_EQ(ticker.ticks, 0);
  Elapse(100000);
  EXPECT_EQ(ticker.ticks, 1);
}

TEST_F(ClockedLoopTest, StoppedTimerStaysQuietAndCanStartAgain) {
  Ticker ticker(&clock);
  ticker.timer->Start(FROM_HERE, kPeriod, &ticker, &Ticker::Tick);
  ticker.timer->Stop();
  EXPECT_FALSE(ticker.timer->IsRunning());
  Elapse(10 * kPeriod);
  EXPECT_EQ(ticker.ticks, 0);

  ticker.timer->Start(FROM_HERE, kPeriod, &ticker, &Ticker::Tick);
  Elapse(kPeriod);
  EXPECT_EQ(ticker.ticks, 1);
}

TEST_F(ClockedLoopTest, TimerMayBeDestroyedByItsOwnMethodOrWithARunPending) {
  Ticker selfDestroying(&clock);
  selfDestroying.destroyTimerOnTick = true;
  selfDestroying.timer->Start(FROM_HERE, kPeriod, &selfDestroying, &Ticker::Tick);

  Ticker destroyedEarly(&clock);
  destroyedEarly.timer->Start(FROM_HERE, kPeriod, &destroyedEarly, &Ticker::Tick);
  destroyedEarly.timer.reset();

  for (int i = 0; i < 3; ++i) {
    Elapse(kPeriod);
  }
  EXPECT_EQ(selfDestroying.ticks, 1);
  EXPECT_EQ(selfDestroying.timer, nullptr);
  EXPECT_EQ(destroyedEarly.ticks, 0);
}

TEST(TimerLifetimeTest, TimerOutlivingItsLoopStopsSafely) {
  base::ManualTimeSource clock;
  base::ScopedTimeSourceForTesting useClock(&clock);
  Ticker ticker(&clock);
  {
    base::MessageLoop loop(base::MessageLoop::TYPE_DEFAULT);
    ticker.timer->Start(FROM_HERE, kPeriod, &ticker, &Ticker::Tick);
  }
  ticker.timer->Stop();
  ticker.timer.reset();
  EXPECT_EQ(ticker.ticks, 0);
}

}  // namespace
