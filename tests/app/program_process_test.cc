// The real sonaclip executable as a user meets it, on the X server of the test run: its window
// appears, its skin is found by its own file name, a close request from the window manager only
// hides it, and its close button ends it with exit code 0. Only one instance runs: later starts
// wake it and end, and a stuck one is replaced.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/process_scan.h"
#include "tests/app/x11_close_request.h"
#include "tests/support/param_name.h"
#include "ui/skin_manager.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const char kTitle[] = "Tavio铃声制作专家";

// The centre of the close button in window coordinates, as the built skin places it.
POINT CloseButtonCentre() {
  tavio_ui::SkinManager skin;
  if (!skin.Load(fs::path(SONACLIP_SKIN).wstring().c_str(), false))
    return POINT{-1, -1};
  tavio_ui::SkinItem* item = skin.GetItem(L"SonaclipFormClose");
  if (!item || !item->HasRect())
    return POINT{-1, -1};
  const tavio_ui::CRect rect = item->GetRect();
  return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

const char* TestDisplay() {
  const char* display = std::getenv("SONACLIP_TEST_DISPLAY");
  return display && *display ? display : nullptr;
}

std::string RunAndRead(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
      out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

// Waits for a condition, looking again every 50 ms, for at most `limit`.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition())
      return true;
    if (std::chrono::steady_clock::now() >= end)
      return false;
    std::this_thread::sleep_for(50ms);
  }
}

// Stopped by a signal (state T in /proc).
bool IsStopped(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  const size_t close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'T';
}

// One started copy of the program, with `extraEnv` ("NAME=value") added to the test's own
// environment. Killed at the end of the test if it is still running.
class Program {
 public:
  explicit Program(const fs::path& executable, const std::vector<std::string>& extraEnv = {},
                   const std::vector<std::string>& arguments = {}) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("QT_QPA_PLATFORM=", 0) == 0 ||
          entry.rfind("LSAN_OPTIONS=", 0) == 0)
        continue;
      env.push_back(entry);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    env.push_back(std::string("DISPLAY=") + TestDisplay());
    env.push_back("QT_QPA_PLATFORM=xcb");
    env.push_back("LSAN_OPTIONS=suppressions=" SONACLIP_LSAN_SUPPRESSIONS);
    std::vector<char*> envp;
    for (auto& entry : env)
      envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string path = executable.string();
    std::vector<std::string> args{path};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& arg : args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&programPid, path.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0)
      programPid = -1;
  }
  ~Program() {
    if (programPid > 0 && !status) {
      kill(programPid, SIGKILL);
      waitpid(programPid, nullptr, 0);
    }
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  pid_t pid() const { return programPid; }

  bool Running() {
    Reap();
    return programPid > 0 && !status;
  }

  // The exit code once the process has ended by itself; nullopt while it runs or when a signal
  // ended it (the status then says which).
  std::optional<int> WaitExit(std::chrono::milliseconds limit) {
    WaitFor([this] { return !Running(); }, limit);
    if (!status || !WIFEXITED(*status))
      return std::nullopt;
    return WEXITSTATUS(*status);
  }

  // The signal that ended the process, when one did.
  std::optional<int> KilledBy() {
    Reap();
    if (!status || !WIFSIGNALED(*status))
      return std::nullopt;
    return WTERMSIG(*status);
  }

  std::string StatusText() const {
    if (!status)
      return "still running";
    if (WIFSIGNALED(*status))
      return "killed by signal " + std::to_string(WTERMSIG(*status));
    return "exit code " + std::to_string(WEXITSTATUS(*status));
  }

  // The program's windows with the title, mapped ones only when asked.
  std::vector<unsigned long> Windows(bool visibleOnly) const {
    std::string command = std::string("DISPLAY=") + TestDisplay() + " xdotool search " +
                          (visibleOnly ? "--onlyvisible " : "") + "--all --pid " +
                          std::to_string(programPid) + " --name '" + kTitle + "' 2>/dev/null";
    std::vector<unsigned long> ids;
    std::string out = RunAndRead(command);
    for (char* line = std::strtok(out.data(), "\n"); line; line = std::strtok(nullptr, "\n"))
      ids.push_back(std::strtoul(line, nullptr, 10));
    return ids;
  }

 private:
  void Reap() {
    if (programPid <= 0 || status)
      return;
    int status = 0;
    if (waitpid(programPid, &status, WNOHANG) == programPid)
      this->status = status;
  }

  pid_t programPid = -1;
  std::optional<int> status;
};

void ClickCloseButton(unsigned long window) {
  const POINT at = CloseButtonCentre();
  ASSERT_GE(at.x, 0) << "the built skin places no close button";
  const int x = at.x;
  const int y = at.y;
  // Raised first: another program's window may lie over this one.
  std::string command = std::string("DISPLAY=") + TestDisplay() + " xdotool windowraise " +
                        std::to_string(window) + " mousemove --window " +
                        std::to_string(window) + " " + std::to_string(x) + " " +
                        std::to_string(y) + " click 1 >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

class ProgramProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestDisplay())
      GTEST_SKIP() << "SONACLIP_TEST_DISPLAY is not set: these tests drive the real program on "
                      "an X server (scripts/test starts Xvfb and sets it)";
    char pattern[] = "/tmp/sonaclip-app-test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
    // The session's runtime folder of the programs this test starts: their mutexes, hand-off
    // record and sockets are the test's own, and meet no other test's programs.
    runtime = folder / "run";
    ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  void TearDown() override {
    if (!folder.empty())
      fs::remove_all(folder);
  }

  // A copy of the built program named `exeName`, with the built skin copied as `skinName`
  // beside it (no skin when skinName is empty).
  fs::path Install(const std::string& exeName, const std::string& skinName) {
    fs::copy_file(SONACLIP_EXE, folder / exeName);
    if (!skinName.empty())
      fs::copy_file(SONACLIP_SKIN, folder / skinName);
    return folder / exeName;
  }

  // Waits until the program shows its window and returns it (0 when it never did).
  static unsigned long WaitForWindow(Program& program) {
    unsigned long found = 0;
    WaitFor(
        [&] {
          auto windows = program.Windows(true);
          if (!windows.empty())
            found = windows.front();
          return found != 0 || !program.Running();
        },
        20s);
    return found;
  }

  // Waits until the program ends by itself; true when it showed a window on the way.
  static bool ShowedAWindowBeforeEnding(Program& program) {
    bool sawWindow = false;
    WaitFor(
        [&] {
          sawWindow = sawWindow || !program.Windows(false).empty();
          return !program.Running();
        },
        20s);
    return sawWindow;
  }

  // Waits until exactly one of `programs` still runs and returns it (null when not so within
  // the limit).
  static Program* WaitForSoleSurvivor(std::vector<std::unique_ptr<Program>>& programs,
                                      std::chrono::milliseconds limit) {
    Program* survivor = nullptr;
    WaitFor(
        [&] {
          int running = 0;
          for (auto& program : programs) {
            if (program->Running()) {
              ++running;
              survivor = program.get();
            }
          }
          return running == 1;
        },
        limit);
    int running = 0;
    for (auto& program : programs)
      running += program->Running() ? 1 : 0;
    return running == 1 ? survivor : nullptr;
  }

  // Once `running` shows its window, hides it as the window manager's close request does, then
  // starts the program again: that start must end with 0 without a window of its own, and the
  // running window must be shown again. Ends `running` with its close button.
  static void ExpectALaterStartToShowItsHiddenWindow(Program& running) {
    const unsigned long window = WaitForWindow(running);
    ASSERT_NE(window, 0u) << running.StatusText();
    ASSERT_TRUE(SendCloseRequest(TestDisplay(), window));
    ASSERT_TRUE(WaitFor([&] { return running.Windows(true).empty(); }, 10s));

    Program later(SONACLIP_EXE);
    const bool laterShowedAWindow = ShowedAWindowBeforeEnding(later);
    EXPECT_EQ(later.WaitExit(0ms), std::optional<int>(0)) << later.StatusText();
    EXPECT_FALSE(laterShowedAWindow);
    EXPECT_TRUE(WaitFor([&] { return !running.Windows(true).empty(); }, 10s))
        << "the running window was not shown again";

    ClickCloseButton(window);
    EXPECT_EQ(running.WaitExit(20s), std::optional<int>(0)) << running.StatusText();
  }

  fs::path folder;
  fs::path runtime;
};

TEST_F(ProgramProcessTest, ShowsItsWindowAndTheCloseButtonEndsItWithZero) {
  Program program(SONACLIP_EXE);
  ASSERT_GT(program.pid(), 0);
  unsigned long window = WaitForWindow(program);
  ASSERT_NE(window, 0u) << "no window titled " << kTitle << "; the program " << program.StatusText();

  ClickCloseButton(window);
  EXPECT_EQ(program.WaitExit(20s), std::optional<int>(0)) << program.StatusText();
}

TEST_F(ProgramProcessTest, CloseRequestOnlyHidesTheWindow) {
  Program program(SONACLIP_EXE);
  unsigned long window = WaitForWindow(program);
  ASSERT_NE(window, 0u) << program.StatusText();

  ASSERT_TRUE(SendCloseRequest(TestDisplay(), window));
  EXPECT_TRUE(WaitFor([&] { return program.Windows(true).empty(); }, 10s))
      << "the window is still shown after the close request";
  // Still alive well after the request was handled, with its (hidden) window still existing.
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(program.Running()) << program.StatusText();
  EXPECT_FALSE(program.Windows(false).empty());
}

// A folder name that is not valid UTF-8 has no wide-text form for the skin path: that failure,
// like any exception while the skin is found and loaded, ends the run with -1 and no window.
TEST_F(ProgramProcessTest, SkinPathThatCannotBeFormedEndsWithMinusOne) {
  const fs::path folder = this->folder / "songs\xff";
  fs::create_directory(folder);
  fs::copy_file(SONACLIP_EXE, folder / "sonaclip");
  fs::copy_file(SONACLIP_SKIN, folder / "sonaclip.skn");

  Program program(folder / "sonaclip");
  ASSERT_GT(program.pid(), 0);
  const bool sawWindow = ShowedAWindowBeforeEnding(program);
  EXPECT_EQ(program.WaitExit(0ms), std::optional<int>(255)) << program.StatusText();
  EXPECT_FALSE(sawWindow);
}

// The skin is the executable's own path with ".skn" for its extension, so a renamed program
// looks for a skin of its new name, and a program without its skin ends at once with code 0.
struct SkinCase {
  const char* exeName;
  const char* skinName;
  bool showsWindow;
};

void PrintTo(const SkinCase& c, std::ostream* out) {
  *out << c.exeName << " beside " << (*c.skinName ? c.skinName : "no skin");
}

class SkinLookupTest : public ProgramProcessTest,
                       public ::testing::WithParamInterface<SkinCase> {};

TEST_P(SkinLookupTest, FindsTheSkinNamedAfterItself) {
  const SkinCase& c = GetParam();
  Program program(Install(c.exeName, c.skinName));
  ASSERT_GT(program.pid(), 0);
  if (c.showsWindow) {
    unsigned long window = WaitForWindow(program);
    ASSERT_NE(window, 0u) << program.StatusText();
    ClickCloseButton(window);
    EXPECT_EQ(program.WaitExit(20s), std::optional<int>(0)) << program.StatusText();
    return;
  }
  const bool sawWindow = ShowedAWindowBeforeEnding(program);
  EXPECT_EQ(program.WaitExit(0ms), std::optional<int>(0)) << program.StatusText();
  EXPECT_FALSE(sawWindow);
}

// The user's data folder for the programs a test starts, with the crash data folder "TaVio8" in
// it, so a crash would leave its dump there. Restores the environment when it goes.
class CrashDataFolder {
 public:
  explicit CrashDataFolder(const fs::path& folder) : dumps(folder / "data" / "TaVio8") {
    fs::create_directories(dumps);
    if (const char* old = std::getenv("XDG_DATA_HOME")) this->old = old;
    setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
  }
  ~CrashDataFolder() {
    if (old)
      setenv("XDG_DATA_HOME", old->c_str(), 1);
    else
      unsetenv("XDG_DATA_HOME");
  }
  std::vector<std::string> Dumps() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dumps))
      if (entry.path().extension() == ".dmp")
        names.push_back(entry.path().filename().string());
    return names;
  }

 private:
  fs::path dumps;
  std::optional<std::string> old;
};

TEST_F(ProgramProcessTest, ASegmentationFaultLeavesOneDumpAndEndsWithTheSignal) {
  CrashDataFolder data(folder);
  Program program(SONACLIP_EXE);
  ASSERT_NE(WaitForWindow(program), 0u) << program.StatusText();

  ASSERT_EQ(kill(program.pid(), SIGSEGV), 0);
  EXPECT_TRUE(WaitFor([&] { return !program.Running(); }, 30s));
  EXPECT_EQ(program.StatusText(), "killed by signal " + std::to_string(SIGSEGV));
  const std::vector<std::string> dumps = data.Dumps();
  ASSERT_EQ(dumps.size(), 1u);
  EXPECT_EQ(dumps.front().rfind("7680-", 0), 0u) << dumps.front();
}

// SIGTERM (what a session sends at logout) ends the program as its close button does: in order,
// with exit code 0, and it is no crash.
TEST_F(ProgramProcessTest, TerminateRequestQuitsInOrderWithoutADump) {
  CrashDataFolder data(folder);
  Program program(SONACLIP_EXE);
  ASSERT_NE(WaitForWindow(program), 0u) << program.StatusText();

  ASSERT_EQ(kill(program.pid(), SIGTERM), 0);
  EXPECT_EQ(program.WaitExit(20s), std::optional<int>(0)) << program.StatusText();
  EXPECT_TRUE(data.Dumps().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, SkinLookupTest,
    ::testing::Values(SkinCase{"sonaclip", "", false},
                      SkinCase{"ringmaker", "ringmaker.skn", true},
                      SkinCase{"ringmaker", "sonaclip.skn", false},
                      SkinCase{"ring.maker.bin", "ring.maker.skn", true}),
    testsupport::PrintedParamName());

// One running instance per session.

TEST_F(ProgramProcessTest, TwentySimultaneousStartsGiveOneWindowAndOneInstance) {
  std::vector<std::unique_ptr<Program>> starts;
  for (int i = 0; i < 20; ++i) {
    starts.push_back(std::make_unique<Program>(SONACLIP_EXE));
    ASSERT_GT(starts.back()->pid(), 0);
  }
  Program* instance = WaitForSoleSurvivor(starts, 60s);
  ASSERT_NE(instance, nullptr) << "not exactly one start kept running";
  for (auto& start : starts) {
    if (start.get() == instance)
      continue;
    EXPECT_EQ(start->WaitExit(0ms), std::optional<int>(0)) << start->StatusText();
  }

  const unsigned long window = WaitForWindow(*instance);
  ASSERT_NE(window, 0u) << instance->StatusText();
  EXPECT_EQ(instance->Windows(false).size(), 1u);
  ClickCloseButton(window);
  EXPECT_EQ(instance->WaitExit(20s), std::optional<int>(0)) << instance->StatusText();
}

TEST_F(ProgramProcessTest, ALaterStartBringsTheRunningWindowToTheFrontAndEnds) {
  Program first(SONACLIP_EXE);
  const unsigned long window = WaitForWindow(first);
  ASSERT_NE(window, 0u) << first.StatusText();
  CoveringWindow cover(TestDisplay());
  ASSERT_FALSE(IsStackedAbove(TestDisplay(), window, cover.id()));

  Program second(SONACLIP_EXE);
  EXPECT_EQ(second.WaitExit(20s), std::optional<int>(0)) << second.StatusText();
  EXPECT_TRUE(WaitFor([&] { return IsStackedAbove(TestDisplay(), window, cover.id()); }, 10s))
      << "the running window was not raised";
}

TEST_F(ProgramProcessTest, ALaterStartShowsTheHiddenWindowAgainAndEnds) {
  Program first(SONACLIP_EXE);
  ExpectALaterStartToShowItsHiddenWindow(first);
}

// The first instance stops itself before its window exists (a test hook of the program) and so
// holds "still starting" for ever. The second start gives it about 10 s, then ends every process
// of this user with the program's file name (letters in any case) and runs in its place; a
// process of another user with that name is left alone.
TEST_F(ProgramProcessTest, AnInstanceStuckInStartUpIsEndedAndTheNextStartRuns) {
  const std::string name = "sonaclip-" + std::to_string(getpid());  // nothing else has it
  const fs::path exe = Install(name, name + ".skn");
  std::string shouted = name;
  for (char& c : shouted)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  fs::copy_file("/bin/sleep", folder / shouted);
  // A copy in a folder user nobody may enter.
  fs::permissions(folder, fs::perms::owner_all | fs::perms::others_exec);
  fs::create_directory(folder / "nobody");
  fs::permissions(folder / "nobody", fs::perms::owner_all | fs::perms::others_exec);
  fs::copy_file("/bin/sleep", folder / "nobody" / name);

  Program first(exe, {"SONACLIP_TEST_HOOK_STOP_BEFORE_WINDOW=1"});
  ASSERT_TRUE(WaitFor([&] { return IsStopped(first.pid()); }, 20s)) << first.StatusText();
  Program sameUserOtherCase(folder / shouted, {}, {"120"});
  Program otherUser("/usr/bin/setpriv", {},
                    {"--reuid=65534", "--regid=65534", "--clear-groups",
                     (folder / "nobody" / name).string(), "120"});
  ASSERT_TRUE(WaitFor([&] { return platform::ExecutableNameOf(otherUser.pid()) == name; }, 10s))
      << "the copy for user nobody did not start";

  const auto start = std::chrono::steady_clock::now();
  Program second(exe);
  unsigned long window = 0;
  WaitFor(
      [&] {
        auto windows = second.Windows(true);
        window = windows.empty() ? 0 : windows.front();
        return window != 0 || !second.Running();
      },
      60s);
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_NE(window, 0u) << "the second start shows no window; it " << second.StatusText();
  EXPECT_GE(took, 9s) << "the starting instance was not given its 10 s";

  EXPECT_EQ(first.KilledBy(), std::optional<int>(SIGKILL)) << first.StatusText();
  EXPECT_TRUE(WaitFor([&] { return !sameUserOtherCase.Running(); }, 5s))
      << "this user's process of the same name in other letters survived";
  EXPECT_TRUE(otherUser.Running()) << "another user's process was ended: "
                                   << otherUser.StatusText();

  ClickCloseButton(window);
  EXPECT_EQ(second.WaitExit(20s), std::optional<int>(0)) << second.StatusText();
}

// A running instance whose main thread hangs (here: stopped) holds a later start for the
// answer's limit of 5 s at most; the later start then ends with 0 as a hand-off does.
TEST_F(ProgramProcessTest, AHungRunningInstanceDoesNotHangALaterStart) {
  Program first(SONACLIP_EXE);
  const unsigned long window = WaitForWindow(first);
  ASSERT_NE(window, 0u) << first.StatusText();
  ASSERT_EQ(kill(first.pid(), SIGSTOP), 0);

  const auto start = std::chrono::steady_clock::now();
  Program second(SONACLIP_EXE);
  EXPECT_EQ(second.WaitExit(60s), std::optional<int>(0)) << second.StatusText();
  EXPECT_GE(std::chrono::steady_clock::now() - start, 4500ms)
      << "did not wait for the running instance's answer";
  EXPECT_TRUE(first.Running());

  // Woken again, the instance carries on (the request it never answered is dropped).
  ASSERT_EQ(kill(first.pid(), SIGCONT), 0);
  ClickCloseButton(window);
  EXPECT_EQ(first.WaitExit(20s), std::optional<int>(0)) << first.StatusText();
}

// A killed instance leaves its mutex files, its hand-off record with its window's handle, and
// its socket. None of it stops the next start, and that one is reached by the start after it.
TEST_F(ProgramProcessTest, WhatAKilledInstanceLeftDoesNotStopTheNextStart) {
  {
    Program killed(SONACLIP_EXE);
    ASSERT_NE(WaitForWindow(killed), 0u) << killed.StatusText();
  }
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(runtime)) {
    const std::string file = entry.path().filename().string();
    left.push_back(file.rfind("TaVioSonaclipActivate.", 0) == 0 ? "socket" : file);
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"TaVioSonaclipMapFileName", "TavioSonaclip",
                                            "TavioSonaclipDestroyingMutex",
                                            "TavioSonaclipMainFormMutex", "socket"}));

  Program next(SONACLIP_EXE);
  ExpectALaterStartToShowItsHiddenWindow(next);
}

}  // namespace
