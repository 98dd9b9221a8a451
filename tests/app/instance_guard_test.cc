// The instance probe against claims held by "another instance". flock() claims belong to open
// files, not to processes, so a second set of mutexes opened in this process stands in for
// another process here; the real program's processes are tested in program_process_test.cc.

#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "app/instance_guard.h"
#include "platform/named_mutex.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using platform::NamedMutex;

class InstanceGuardTest : public ::testing::Test {
 protected:
  std::unique_ptr<InstanceGuard> NewGuard() {
    return std::make_unique<InstanceGuard>(L"TavioSonaclip", L"TavioSonaclipMainFormMutex",
                                           L"TavioSonaclipDestroyingMutex", folder.path());
  }
  std::unique_ptr<NamedMutex> Claim(const char* name) {
    auto mutex = NamedMutex::Open(folder.path(), name);
    EXPECT_EQ(mutex->Wait(0ms), NamedMutex::WaitResult::kAcquired) << name;
    return mutex;
  }

  testsupport::TempDir folder{"sonaclip-guard-test"};
};

TEST_F(InstanceGuardTest, FirstStartRunsAndALaterOneHandsOffToTheRunningInstance) {
  auto first = NewGuard();
  ASSERT_TRUE(first->Probe());
  EXPECT_TRUE(first->holdsInstanceMutex());
  first->TakeMainFormMutex();
  EXPECT_TRUE(first->holdsMainFormMutex());
  first->ReleaseMainFormMutex();  // its window is shown

  auto later = NewGuard();
  EXPECT_FALSE(later->Probe());
  EXPECT_FALSE(later->holdsInstanceMutex());

  // Once the first instance has gone, the next start runs.
  first.reset();
  EXPECT_TRUE(NewGuard()->Probe());
}

TEST_F(InstanceGuardTest, ALaterStartWaitsForTheWindowOfAnInstanceStillStarting) {
  auto first = NewGuard();
  ASSERT_TRUE(first->Probe());
  first->TakeMainFormMutex();
  std::thread windowShows([&] {
    std::this_thread::sleep_for(300ms);
    first->ReleaseMainFormMutex();
  });

  auto later = NewGuard();
  const auto start = std::chrono::steady_clock::now();
  const bool runs = later->Probe();
  const auto waited = std::chrono::steady_clock::now() - start;
  windowShows.join();
  EXPECT_FALSE(runs);
  EXPECT_GE(waited, 250ms) << "handed off before the running window was shown";
  EXPECT_FALSE(later->holdsMainFormMutex());
}

// Another instance holds the instance mutex and one of the others, and lets both go after a
// while: one that dies while it starts (both claims fall free together; the waiting start must
// become the instance, not hand off to a dead one), or one that finishes shutting down.
struct GoneCase {
  const char* label;
  const char* alsoHeld;
};

void PrintTo(const GoneCase& c, std::ostream* out) {
  *out << c.label;
}

class InstanceGoneTest : public InstanceGuardTest, public ::testing::WithParamInterface<GoneCase> {};

TEST_P(InstanceGoneTest, TheWaitingStartBecomesTheInstance) {
  auto instance = Claim("TavioSonaclip");
  auto other = Claim(GetParam().alsoHeld);
  std::thread goes([&] {
    std::this_thread::sleep_for(300ms);
    other.reset();
    instance.reset();
  });
  auto later = NewGuard();
  const bool runs = later->Probe();
  goes.join();
  EXPECT_TRUE(runs);
  EXPECT_TRUE(later->holdsInstanceMutex());
}

INSTANTIATE_TEST_SUITE_P(
    Claims, InstanceGoneTest,
    ::testing::Values(GoneCase{"dies_while_starting", "TavioSonaclipMainFormMutex"},
                      GoneCase{"ends_its_shutdown", "TavioSonaclipDestroyingMutex"}),
    [](const auto& info) { return std::string(info.param.label); });

// An instance that holds its shutdown claim for more than 5 s is stuck in shutdown: the later
// start ends it (its claims then fall free, as a killed process's do) and becomes the instance.
class EndingGuard : public InstanceGuard {
 public:
  EndingGuard(const std::filesystem::path& folder, std::function<void()> onTerminate)
      : InstanceGuard(L"TavioSonaclip", L"TavioSonaclipMainFormMutex",
                      L"TavioSonaclipDestroyingMutex", folder),
        onTerminate(std::move(onTerminate)) {}
  void TerminateOtherInstances(pid_t ownProcessId) override {
    EXPECT_EQ(ownProcessId, getpid());
    ++terminations;
    onTerminate();
  }
  int terminations = 0;

 private:
  std::function<void()> onTerminate;
};

TEST_F(InstanceGuardTest, AnInstanceStuckInShutdownForOver5sIsEndedAndReplaced) {
  auto instance = Claim("TavioSonaclip");
  auto shuttingDown = Claim("TavioSonaclipDestroyingMutex");
  EndingGuard later(folder.path(), [&] {
    shuttingDown.reset();
    instance.reset();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(later.Probe());
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(later.terminations, 1);
  EXPECT_TRUE(later.holdsInstanceMutex());
  EXPECT_GE(waited, InstanceGuard::kShuttingDownWait) << "ended before its 5 s were up";
  EXPECT_LT(waited, InstanceGuard::kShuttingDownWait + 3s);
}

TEST_F(InstanceGuardTest, WithoutItsMutexesEveryStartRuns) {
  InstanceGuard first(L"TavioSonaclip", L"TavioSonaclipMainFormMutex",
                      L"TavioSonaclipDestroyingMutex", folder / "missing");
  InstanceGuard second(L"TavioSonaclip", L"TavioSonaclipMainFormMutex",
                       L"TavioSonaclipDestroyingMutex", folder / "missing");
  EXPECT_TRUE(first.Probe());
  EXPECT_TRUE(second.Probe());
  EXPECT_FALSE(first.holdsInstanceMutex());
}

}  // namespace
