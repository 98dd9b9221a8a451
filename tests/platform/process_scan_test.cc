// Finding and ending the processes of a stuck instance: by executable file name without regard
// to ASCII case, this user's only, never the caller.

#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/process_scan.h"
#include "tests/platform/child_process.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct NameCase {
  const char* label;
  const char* a;
  const char* b;
  bool same;
};

void PrintTo(const NameCase& c, std::ostream* out) {
  *out << c.a << " / " << c.b;
}

class NameMatchTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameMatchTest, ComparesAsciiLettersWithoutCase) {
  const NameCase& c = GetParam();
  EXPECT_EQ(platform::SameNameIgnoringAsciiCase(c.a, c.b), c.same) << c.a << " / " << c.b;
  EXPECT_EQ(platform::SameNameIgnoringAsciiCase(c.b, c.a), c.same);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameMatchTest,
    ::testing::Values(NameCase{"equal", "sonaclip", "sonaclip", true},
                      NameCase{"upper", "sonaclip", "SONACLIP", true},
                      NameCase{"mixed_with_digits", "Ring-Maker2.bin", "rING-mAKER2.BIN", true},
                      NameCase{"longer", "sonaclip", "sonaclip2", false},
                      NameCase{"prefix", "sonaclip", "sonacli", false},
                      NameCase{"not_letters", "a[b", "a{b", false},
                      // Only ASCII letters fold: É and é are different bytes.
                      NameCase{"non_ascii", "\xc3\xa9t\xc3\xa9", "\xc3\x89T\xc3\x89", false}),
    [](const auto& info) { return std::string(info.param.label); });

class ProcessScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Unique to this run, so nothing outside the test can match it.
    name = "sleepy-" + std::to_string(getpid());
    // Others must be able to run the copy made for them.
    fs::permissions(folder.path(), fs::perms::owner_all | fs::perms::group_exec |
                                        fs::perms::others_exec);
  }

  fs::path CopyOfSleep(const std::string& name) {
    fs::copy_file("/bin/sleep", folder / name);
    fs::permissions(folder / name, fs::perms::owner_all | fs::perms::group_exec |
                                        fs::perms::others_exec);
    return folder / name;
  }

  static void WaitUntilRunning(const ChildProcess& child, const fs::path& exe) {
    // posix_spawn returns before the exec; the name is the new one only afterwards.
    for (int i = 0; i < 500 && platform::ExecutableNameOf(child.pid()) != exe.filename(); ++i)
      usleep(10000);
  }

  testsupport::TempDir folder{"sonaclip-scan-test"};
  std::string name;
};

TEST_F(ProcessScanTest, EndsThisUsersProcessesOfTheNameInAnyCaseAndNoOthers) {
  std::string upper = name;
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  const fs::path same = CopyOfSleep(name);
  const fs::path shouted = CopyOfSleep(upper);
  const fs::path unrelated = CopyOfSleep(name + "x");
  fs::create_directory(folder / "nobody");
  fs::permissions(folder / "nobody", fs::perms::owner_all | fs::perms::others_exec);
  fs::copy_file(same, folder / "nobody" / name);

  ChildProcess mine({same.string(), "60"});
  ChildProcess mineShouted({shouted.string(), "60"});
  ChildProcess other({unrelated.string(), "60"});
  ChildProcess strangers({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                          (folder / "nobody" / name).string(), "60"});
  WaitUntilRunning(mine, same);
  WaitUntilRunning(mineShouted, shouted);
  WaitUntilRunning(other, unrelated);
  WaitUntilRunning(strangers, folder / "nobody" / name);
  ASSERT_EQ(platform::ExecutableNameOf(strangers.pid()), name)
      << "the copy for user nobody did not start";

  std::vector<pid_t> found = platform::FindOwnProcessesNamed(name, getpid());
  std::sort(found.begin(), found.end());
  std::vector<pid_t> expected{mine.pid(), mineShouted.pid()};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(found, expected);

  // Left out by id: the caller itself.
  EXPECT_TRUE(platform::FindOwnProcessesNamed(name, mine.pid()) ==
              std::vector<pid_t>{mineShouted.pid()});

  EXPECT_EQ(platform::TerminateOwnProcessesNamed(name, getpid(), 5000ms), 2);
  for (ChildProcess* ended : {&mine, &mineShouted}) {
    std::optional<int> status = ended->WaitEnd(5000ms);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGKILL);
  }
  EXPECT_FALSE(other.WaitEnd(0ms).has_value()) << "another name was ended";
  EXPECT_FALSE(strangers.WaitEnd(0ms).has_value()) << "another user's process was ended";
}

TEST_F(ProcessScanTest, AStoppedProcessIsEndedAndGoneWhenTheCallReturns) {
  const fs::path exe = CopyOfSleep(name);
  ChildProcess stuck({exe.string(), "60"});
  WaitUntilRunning(stuck, exe);
  kill(stuck.pid(), SIGSTOP);

  EXPECT_EQ(platform::TerminateOwnProcessesNamed(name, getpid(), 5000ms), 1);
  // Its zombie waits for us to collect it, but it has exited: nothing of it runs any more.
  EXPECT_TRUE(platform::FindOwnProcessesNamed(name, getpid()).empty());
  std::optional<int> status = stuck.WaitEnd(0ms);
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGKILL);
}

TEST(ProcessNameTest, ReportsTheExecutablesFileNameAndNothingForAProcessThatIsNot) {
  // CTest starts the test by its full path, so argv[0] ends in the executable's own name.
  EXPECT_EQ(platform::ExecutableNameOf(getpid()), program_invocation_short_name);
  EXPECT_EQ(platform::ExecutableNameOf(0), "");
  EXPECT_TRUE(platform::FindOwnProcessesNamed("", 0).empty());
}

}  // namespace
