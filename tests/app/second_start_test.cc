// A second start of the real program on the test run's X server hands the running window the
// activation token its desktop gave it (DESKTOP_STARTUP_ID on X11), and the running instance
// spends it: it asks the window manager for the focus with the time of the click the id
// carries, and ends the launch the id stands for. What the instance sends to the root window is
// read here as a window manager and a launcher would.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/app/x11_root_watcher.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const char* Display() {
  const char* display = std::getenv("SONACLIP_TEST_DISPLAY");
  return display && *display ? display : nullptr;
}

// Starts the program with `extra` added to this test's environment (pointed at the display).
pid_t Start(const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (entry.rfind("DISPLAY=", 0) && entry.rfind("QT_QPA_PLATFORM=", 0) &&
        entry.rfind("LSAN_OPTIONS=", 0) && entry.rfind("DESKTOP_STARTUP_ID=", 0) &&
        entry.rfind("XDG_ACTIVATION_TOKEN=", 0))
      env.push_back(entry);
  }
  env.push_back(std::string("DISPLAY=") + Display());
  env.push_back("QT_QPA_PLATFORM=xcb");
  env.push_back("QT_XCB_GL_INTEGRATION=none");
  env.push_back("LSAN_OPTIONS=suppressions=" SONACLIP_LSAN_SUPPRESSIONS);
  env.insert(env.end(), extra.begin(), extra.end());
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string path = SONACLIP_EXE;
  char* argv[] = {path.data(), nullptr};
  pid_t pid = -1;
  return posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, envp.data()) == 0 ? pid : -1;
}

// The exit status once the process ended within the limit; -1 otherwise.
int WaitExit(pid_t pid, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) != pid) {
    if (Clock::now() > end) return -1;
    std::this_thread::sleep_for(20ms);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What became of a started program, for a failure message.
std::string StateOf(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) != pid) return "it is still running";
  if (WIFSIGNALED(status)) return "it was ended by signal " + std::to_string(WTERMSIG(status));
  return "it exited with " + std::to_string(WEXITSTATUS(status));
}

TEST(SecondStartTest, TheRunningWindowSpendsTheTokenOfTheSecondStart) {
  if (!Display()) GTEST_SKIP() << "SONACLIP_TEST_DISPLAY is not set";
  RootWatcher root(Display());
  ASSERT_TRUE(root.opened());
  const pid_t first = Start({});
  ASSERT_GT(first, 0);
  // Whatever fails below, the program does not outlive the test.
  struct Reaper {
    pid_t pid;
    ~Reaper() {
      if (kill(pid, 0) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
    }
  } reaper{first};
  // The running window: the first top-level window of the program with its title.
  std::string window;
  const auto end = Clock::now() + 30s;
  while (window.empty() && Clock::now() < end) {
    std::this_thread::sleep_for(100ms);
    if (FILE* out = popen(("DISPLAY=" + std::string(Display()) +
                           " xdotool search --onlyvisible --name '^Tavio铃声制作专家$' 2>/dev/null")
                              .c_str(), "r")) {
      char line[64] = "";
      if (fgets(line, sizeof line, out)) window = line;
      pclose(out);
    }
  }
  ASSERT_FALSE(window.empty()) << "the main window never showed: " << StateOf(first);

  const std::string id = "sonaclip-test-" + std::to_string(getpid()) + "_TIME12345678";
  const pid_t second = Start({"DESKTOP_STARTUP_ID=" + id});
  EXPECT_EQ(WaitExit(second, 20s), 0) << "the second start did not hand off and exit";
  const std::string removal = "remove: ID=" + id;
  EXPECT_TRUE(root.WatchUntil([&] {
    for (const std::string& message : root.startupMessages)
      if (message == removal) return true;
    return false;
  }, 10s)) << "the launch was never ended";
  ASSERT_FALSE(root.activations.empty()) << "the focus was never asked for";
  const RootWatcher::Activation& asked = root.activations.back();
  EXPECT_EQ(asked.window, std::stoul(window));
  EXPECT_EQ(asked.source, 1) << "an application's request";
  EXPECT_EQ(asked.time, 12345678) << "with the time of the click that started the second start";

  kill(first, SIGTERM);  // quits as the close button does
  EXPECT_EQ(WaitExit(first, 20s), 0);
}

}  // namespace
