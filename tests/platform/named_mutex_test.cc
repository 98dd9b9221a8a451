// Named mutexes of the user session: what a start of the program sees of another process's
// claim while that process runs, hangs, and dies.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "platform/named_mutex.h"
#include "tests/platform/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::NamedMutex;
using Result = NamedMutex::WaitResult;
using namespace std::chrono_literals;

// A forked process that takes the mutex and then waits to be signalled.
class Holder {
 public:
  Holder(const std::filesystem::path& folder, const std::string& name) {
    int ready[2];
    if (pipe(ready) != 0)
      return;
    holderPid = fork();
    if (holderPid == 0) {
      close(ready[0]);
      auto mutex = NamedMutex::Open(folder, name);
      const char took = mutex && mutex->Wait(0ms) == Result::kAcquired ? 'y' : 'n';
      if (write(ready[1], &took, 1) != 1)
        _exit(1);
      for (;;)
        pause();
    }
    close(ready[1]);
    char took = 0;
    holding = holderPid > 0 && read(ready[0], &took, 1) == 1 && took == 'y';
    close(ready[0]);
  }
  ~Holder() {
    if (holderPid > 0) {
      kill(holderPid, SIGKILL);
      waitpid(holderPid, nullptr, 0);
    }
  }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;

  bool holds() const { return holding; }
  pid_t pid() const { return holderPid; }

 private:
  pid_t holderPid = -1;
  bool holding = false;
};

TEST(NamedMutexTest, AnotherProcessHoldingItTimesOutWaitsUntilItDiesThenItIsFree) {
  testsupport::TempDir folder("sonaclip-mutex-test");
  auto mutex = NamedMutex::Open(folder.path(), "TavioSonaclip");
  ASSERT_NE(mutex, nullptr);

  Holder holder(folder.path(), "TavioSonaclip");
  ASSERT_TRUE(holder.holds());
  EXPECT_EQ(mutex->Wait(0ms), Result::kTimedOut);
  EXPECT_EQ(mutex->Wait(50ms), Result::kTimedOut);
  EXPECT_FALSE(mutex->held());

  // A hung owner keeps it.
  kill(holder.pid(), SIGSTOP);
  EXPECT_EQ(mutex->Wait(30ms), Result::kTimedOut);

  // A dead one does not: the claim of a killed owner reads as free, which counts as acquired.
  kill(holder.pid(), SIGKILL);
  EXPECT_EQ(mutex->Wait(5000ms), Result::kAcquired);
  EXPECT_TRUE(mutex->held());
}

TEST(NamedMutexTest, ReleaseLetsTheNextOpenerInAndAnOtherNameIsAnotherMutex) {
  testsupport::TempDir folder("sonaclip-mutex-test");
  auto first = NamedMutex::Open(folder.path(), "TavioSonaclipMainFormMutex");
  auto second = NamedMutex::Open(folder.path(), "TavioSonaclipMainFormMutex");
  auto other = NamedMutex::Open(folder.path(), "TavioSonaclipDestroyingMutex");
  ASSERT_TRUE(first && second && other);

  ASSERT_EQ(first->Wait(0ms), Result::kAcquired);
  EXPECT_EQ(first->Wait(0ms), Result::kAcquired) << "its holder takes it again at once";
  EXPECT_EQ(second->Wait(20ms), Result::kTimedOut);
  EXPECT_EQ(other->Wait(0ms), Result::kAcquired);

  first->Release();
  first->Release();  // not held: no effect
  EXPECT_FALSE(first->held());
  EXPECT_EQ(second->Wait(0ms), Result::kAcquired);
}

// The instance's claims must not pass to a process it starts (a crash reporter would otherwise
// keep "an instance runs" alive after the instance is gone).
TEST(NamedMutexTest, AChildProcessDoesNotInheritTheClaim) {
  testsupport::TempDir folder("sonaclip-mutex-test");
  auto mutex = NamedMutex::Open(folder.path(), "TavioSonaclip");
  ASSERT_EQ(mutex->Wait(0ms), Result::kAcquired);
  ChildProcess child({"/bin/sleep", "30"});
  ASSERT_GT(child.pid(), 0);
  mutex.reset();

  auto next = NamedMutex::Open(folder.path(), "TavioSonaclip");
  EXPECT_EQ(next->Wait(0ms), Result::kAcquired);
}

TEST(NamedMutexTest, NamesThatCannotBeMadeGiveNoMutex) {
  testsupport::TempDir folder("sonaclip-mutex-test");
  EXPECT_EQ(NamedMutex::Open(folder.path(), ""), nullptr);
  EXPECT_EQ(NamedMutex::Open(folder.path(), "a/b"), nullptr);
  EXPECT_EQ(NamedMutex::Open(folder / "missing", "TavioSonaclip"), nullptr);
  EXPECT_EQ(NamedMutex::Open({}, "TavioSonaclip"), nullptr);
}

}  // namespace
