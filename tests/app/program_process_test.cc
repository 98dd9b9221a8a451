// The real sonaclip executable as a user meets it, on the X server of the test run: its window
// appears, its skin is found by its own file name, a close request from the window manager only
// hides it, and its close button ends it with exit code 0.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/app/x11_close_request.h"
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

// One started copy of the program. Killed at the end of the test if it is still running.
class Program {
 public:
  explicit Program(const fs::path& executable) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("QT_QPA_PLATFORM=", 0) == 0 ||
          entry.rfind("LSAN_OPTIONS=", 0) == 0)
        continue;
      env.push_back(entry);
    }
    env.push_back(std::string("DISPLAY=") + TestDisplay());
    env.push_back("QT_QPA_PLATFORM=xcb");
    env.push_back("LSAN_OPTIONS=suppressions=" SONACLIP_LSAN_SUPPRESSIONS);
    std::vector<char*> envp;
    for (auto& entry : env)
      envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string path = executable.string();
    char* argv[] = {path.data(), nullptr};
    if (posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, envp.data()) != 0)
      pid_ = -1;
  }
  ~Program() {
    if (pid_ > 0 && !status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  pid_t pid() const { return pid_; }

  bool Running() {
    Reap();
    return pid_ > 0 && !status_;
  }

  // The exit code once the process has ended by itself; nullopt while it runs or when a signal
  // ended it (the status then says which).
  std::optional<int> WaitExit(std::chrono::milliseconds limit) {
    WaitFor([this] { return !Running(); }, limit);
    if (!status_ || !WIFEXITED(*status_))
      return std::nullopt;
    return WEXITSTATUS(*status_);
  }

  std::string StatusText() const {
    if (!status_)
      return "still running";
    if (WIFSIGNALED(*status_))
      return "killed by signal " + std::to_string(WTERMSIG(*status_));
    return "exit code " + std::to_string(WEXITSTATUS(*status_));
  }

  // The program's windows with the title, mapped ones only when asked.
  std::vector<unsigned long> Windows(bool visibleOnly) const {
    std::string command = std::string("DISPLAY=") + TestDisplay() + " xdotool search " +
                          (visibleOnly ? "--onlyvisible " : "") + "--all --pid " +
                          std::to_string(pid_) + " --name '" + kTitle + "' 2>/dev/null";
    std::vector<unsigned long> ids;
    std::string out = RunAndRead(command);
    for (char* line = std::strtok(out.data(), "\n"); line; line = std::strtok(nullptr, "\n"))
      ids.push_back(std::strtoul(line, nullptr, 10));
    return ids;
  }

 private:
  void Reap() {
    if (pid_ <= 0 || status_)
      return;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_)
      status_ = status;
  }

  pid_t pid_ = -1;
  std::optional<int> status_;
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
    folder_ = pattern;
  }
  void TearDown() override {
    if (!folder_.empty())
      fs::remove_all(folder_);
  }

  // A copy of the built program named `exeName`, with the built skin copied as `skinName`
  // beside it (no skin when skinName is empty).
  fs::path Install(const std::string& exeName, const std::string& skinName) {
    fs::copy_file(SONACLIP_EXE, folder_ / exeName);
    if (!skinName.empty())
      fs::copy_file(SONACLIP_SKIN, folder_ / skinName);
    return folder_ / exeName;
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

  fs::path folder_;
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
  const fs::path folder = folder_ / "songs\xff";
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
  explicit CrashDataFolder(const fs::path& folder) : dumps_(folder / "data" / "TaVio8") {
    fs::create_directories(dumps_);
    if (const char* old = std::getenv("XDG_DATA_HOME")) old_ = old;
    setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
  }
  ~CrashDataFolder() {
    if (old_)
      setenv("XDG_DATA_HOME", old_->c_str(), 1);
    else
      unsetenv("XDG_DATA_HOME");
  }
  std::vector<std::string> Dumps() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dumps_))
      if (entry.path().extension() == ".dmp")
        names.push_back(entry.path().filename().string());
    return names;
  }

 private:
  fs::path dumps_;
  std::optional<std::string> old_;
};

TEST_F(ProgramProcessTest, ASegmentationFaultLeavesOneDumpAndEndsWithTheSignal) {
  CrashDataFolder data(folder_);
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
  CrashDataFolder data(folder_);
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
    [](const auto& info) { return "Case" + std::to_string(info.index); });

}  // namespace
