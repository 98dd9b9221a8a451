// The shutdown registry and the process-wide singleton slot behind the main window accessor.

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/exit_callback_registry.h"
#include "app/process_singleton.h"

namespace {

std::vector<int> g_calls;

TEST(ExitCallbackRegistryTest, RunsLastRegisteredFirstAndOnlyOnce) {
  g_calls.clear();
  {
    ExitCallbackRegistry registry;
    EXPECT_EQ(ExitCallbackRegistry::Current(), &registry);
    registry.Register([] { g_calls.push_back(1); });
    registry.Register([] { g_calls.push_back(2); });
    registry.Register(nullptr);
    registry.Register([] { g_calls.push_back(3); });
    registry.RunCallbacks();
    EXPECT_EQ(g_calls, (std::vector<int>{3, 2, 1}));
    registry.RunCallbacks();
  }
  EXPECT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(ExitCallbackRegistry::Current(), nullptr);
}

TEST(ExitCallbackRegistryTest, DestructionRunsWhatIsLeftIncludingLateRegistrations) {
  // A destroyer may register another destroyer (a singleton built while another dies); that one
  // must run in the same teardown, not be lost or deadlock on the registry's lock.
  g_calls.clear();
  {
    ExitCallbackRegistry registry;
    registry.Register([] { g_calls.push_back(1); });
    registry.Register([] {
      g_calls.push_back(2);
      ExitCallbackRegistry::Current()->Register([] { g_calls.push_back(4); });
    });
  }
  EXPECT_EQ(g_calls, (std::vector<int>{2, 4, 1}));
}

TEST(ExitCallbackRegistryTest, ConcurrentRegistrationLosesNothing) {
  static std::atomic<int> ran{0};
  ran = 0;
  {
    ExitCallbackRegistry registry;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
      threads.emplace_back([&registry] {
        for (int i = 0; i < 500; ++i)
          registry.Register([] { ran.fetch_add(1); });
      });
    for (auto& thread : threads)
      thread.join();
  }
  EXPECT_EQ(ran.load(), 8 * 500);
}

// Counts constructions; its constructor holds the builder until every racing thread has at least
// reached the accessor, so the others really do meet the "being built" state.
constexpr int kRacers = 12;
std::atomic<int> g_arrived{0};
std::atomic<int> g_built{0};
std::atomic<int> g_destroyed{0};

struct Racer {
  Racer() {
    g_built.fetch_add(1);
    while (g_arrived.load() < kRacers)
      std::this_thread::yield();
  }
  ~Racer() {
    g_destroyed.fetch_add(1);
    // Reaching the accessor from inside the destructor must not build a second object.
    (void)ProcessSingleton<Racer>::Get();
  }
};

TEST(ProcessSingletonTest, ConcurrentFirstCallsBuildOneObjectAndAllGetIt) {
  g_arrived = 0;
  g_built = 0;
  std::vector<Racer*> results(kRacers, nullptr);
  std::vector<std::thread> threads;
  for (int t = 0; t < kRacers; ++t)
    threads.emplace_back([t, &results] {
      g_arrived.fetch_add(1);
      results[t] = ProcessSingleton<Racer>::Get();
    });
  for (auto& thread : threads)
    thread.join();

  EXPECT_EQ(g_built.load(), 1);
  ASSERT_NE(results[0], nullptr);
  for (Racer* result : results)
    EXPECT_EQ(result, results[0]);
  EXPECT_EQ(ProcessSingleton<Racer>::Peek(), results[0]);

  // No registry existed when it was built: only an explicit Destroy ends it.
  g_destroyed = 0;
  ProcessSingleton<Racer>::Destroy();
  EXPECT_EQ(g_destroyed.load(), 1);
  EXPECT_EQ(ProcessSingleton<Racer>::Peek(), nullptr);
  EXPECT_EQ(g_built.load(), 1) << "the accessor rebuilt the object from inside its destructor";
  ProcessSingleton<Racer>::Destroy();
  EXPECT_EQ(g_destroyed.load(), 1);
}

struct Registered {
  Registered() { g_built.fetch_add(1); }
  ~Registered() { g_destroyed.fetch_add(1); }
};

TEST(ProcessSingletonTest, RegistryTeardownDestroysItAndALaterCallBuildsAnew) {
  g_built = 0;
  g_destroyed = 0;
  g_arrived = kRacers;
  {
    ExitCallbackRegistry registry;
    Registered* first = ProcessSingleton<Registered>::Get();
    EXPECT_EQ(ProcessSingleton<Registered>::Get(), first);
    registry.RunCallbacks();
    EXPECT_EQ(g_destroyed.load(), 1);
    EXPECT_EQ(ProcessSingleton<Registered>::Peek(), nullptr);
  }
  Registered* second = ProcessSingleton<Registered>::Get();
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(g_built.load(), 2);
  ProcessSingleton<Registered>::Destroy();
  EXPECT_EQ(g_destroyed.load(), 2);
}

}  // namespace
