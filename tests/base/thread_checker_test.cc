// The thread checker every object of the program uses: binding, detaching, a race for the first
// binding, and a debug check that ends the process when it is asked from the wrong thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/thread_checker.h"

namespace {

bool AskFromAnotherThread(const base::ThreadChecker& checker) {
  bool answer = true;
  std::thread other([&] { answer = checker.CalledOnValidThread(); });
  other.join();
  return answer;
}

TEST(ThreadCheckerTest, BelongsToTheCreatingThreadUntilDetached) {
  base::ThreadChecker checker;
  EXPECT_TRUE(checker.CalledOnValidThread());
  EXPECT_FALSE(AskFromAnotherThread(checker));

  // Detached, the next thread to ask takes it over, and the creator is now the stranger.
  checker.DetachFromThread();
  std::thread::id boundTo;
  std::thread other([&] {
    EXPECT_TRUE(checker.CalledOnValidThread());
    EXPECT_TRUE(checker.CalledOnValidThread());
    boundTo = std::this_thread::get_id();
  });
  other.join();
  EXPECT_NE(boundTo, std::this_thread::get_id());
  EXPECT_FALSE(checker.CalledOnValidThread());

  // And it can be handed back.
  checker.DetachFromThread();
  EXPECT_TRUE(checker.CalledOnValidThread());
  EXPECT_FALSE(AskFromAnotherThread(checker));
}

TEST(ThreadCheckerTest, OnlyOneOfManyFirstAskersBindsADetachedChecker) {
  for (int round = 0; round < 20; ++round) {
    base::ThreadChecker checker;
    checker.DetachFromThread();
    std::atomic<bool> go{false};
    std::atomic<int> owners{0};
    std::vector<std::thread> askers;
    for (int i = 0; i < 4; ++i) {
      askers.emplace_back([&] {
        while (!go.load()) std::this_thread::yield();
        if (checker.CalledOnValidThread()) owners.fetch_add(1);
      });
    }
    go.store(true);
    for (std::thread& asker : askers) asker.join();
    EXPECT_EQ(owners.load(), 1) << "round " << round;
  }
}

struct Owner {
  void Use() { DCHECK_CALLED_ON_VALID_THREAD(threadChecker) << "an owner is used on its thread"; }
  THREAD_CHECKER(threadChecker);
};

#ifndef NDEBUG
TEST(ThreadCheckerDeathTest, DebugCheckEndsTheProcessOnAnotherThread) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Owner owner;
  owner.Use();  // the creating thread passes
  EXPECT_DEATH(
      {
        std::thread other([&] { owner.Use(); });
        other.join();
      },
      "Check failed: threadChecker\\.CalledOnValidThread\\(\\).*an owner is used on its thread");
}
#else
TEST(ThreadCheckerDeathTest, DebugCheckCostsNothingInARelease) {
  // No member, and a check that looks at nothing: a call from anywhere goes through.
  static_assert(sizeof(Owner) == 1);
  Owner owner;
  std::thread other([&] { owner.Use(); });
  other.join();
}
#endif

}  // namespace
