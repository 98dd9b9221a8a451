// A person makes a ring with the real program on the test run's X server: the add-song button,
// a path typed into the open dialog, the song playing, the section marked with "CutStart" and
// "CutEnd" a few seconds apart, "SaveRing", a path typed into the save dialog, and "确定" in the
// progress window. Every click lands where the built skin puts the control, offset by where the
// window is on the screen. Screenshots of each step go to SONACLIP_SCREENSHOT_DIR when it is set.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/engine/ring_fixtures.h"
#include "ui/skin_manager.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const char* Display() {
  const char* display = std::getenv("SONACLIP_TEST_DISPLAY");
  return display && *display ? display : nullptr;
}

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs xdotool on the test display; its standard output.
std::string Xdotool(const std::string& arguments) {
  return ringtest::Capture(std::string("DISPLAY=") + Display() + " xdotool " + arguments +
                           " 2>/dev/null");
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

// The first visible window whose name matches the regular expression, or "".
std::string FindWindow(const std::string& name) {
  const std::string out = Xdotool("search --onlyvisible --name " + Quoted(name));
  return out.substr(0, out.find('\n'));
}

struct Point {
  int x = -1;
  int y = -1;
};

Point WindowPosition(const std::string& window) {
  Point at;
  const std::string out = Xdotool("getwindowgeometry " + window);
  const size_t found = out.find("Position: ");
  if (found != std::string::npos) std::sscanf(out.c_str() + found, "Position: %d,%d", &at.x, &at.y);
  return at;
}

// The centre of a skin entry's rectangle, in its window's coordinates.
Point SkinCentre(const wchar_t* name) {
  static tavio_ui::SkinManager* skin = [] {
    auto* loaded = new tavio_ui::SkinManager;
    loaded->Load(fs::path(SONACLIP_SKIN).wstring().c_str(), false);
    return loaded;
  }();
  tavio_ui::SkinItem* item = skin->GetItem(name);
  if (!item || !item->HasRect()) return Point{};
  const tavio_ui::CRect rect = item->GetRect();
  return Point{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// Clicks the control of that skin name inside the window, as a person would with the mouse.
void ClickControl(const std::string& window, const wchar_t* name) {
  const Point origin = WindowPosition(window);
  const Point centre = SkinCentre(name);
  ASSERT_GE(origin.x, 0);
  ASSERT_GE(centre.x, 0) << "the skin places no such control";
  Xdotool("mousemove " + std::to_string(origin.x + centre.x) + " " +
          std::to_string(origin.y + centre.y) + " click 1");
}

void TypeIntoDialog(const std::string& title, const std::string& text) {
  std::string dialog;
  ASSERT_TRUE(WaitUntil([&] { return !(dialog = FindWindow("^" + title + "$")).empty(); }, 20s))
      << "no " << title << " dialog";
  std::this_thread::sleep_for(300ms);  // the dialog takes its focus once it is shown
  Xdotool("key --window " + dialog + " ctrl+a");
  Xdotool("type --delay 10 " + Quoted(text));
  Xdotool("key Return");
}

void Screenshot(const std::string& name) {
  const char* folder = std::getenv("SONACLIP_SCREENSHOT_DIR");
  if (!folder || !*folder) return;
  ringtest::Run(std::string("DISPLAY=") + Display() + " import -window root " +
                Quoted((fs::path(folder) / (name + ".png")).string()));
}

class MakeARingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Display())
      GTEST_SKIP() << "SONACLIP_TEST_DISPLAY is not set: this test drives the real program on an "
                      "X server (scripts/test starts Xvfb and sets it)";
  }
  void TearDown() override {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }

  // Starts the program on the test display, with extra variables of the environment (each
  // "NAME=value" replaces the variable of that name).
  void Start(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> env;
    auto replaced = [&](const std::string& entry) {
      for (const std::string& mine : extra) {
        if (entry.compare(0, entry.find('=') + 1, mine, 0, mine.find('=') + 1) == 0) return true;
      }
      return false;
    };
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      if (entry.rfind("DISPLAY=", 0) && entry.rfind("QT_QPA_PLATFORM=", 0) &&
          entry.rfind("LSAN_OPTIONS=", 0) && !replaced(entry))
        env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    env.push_back(std::string("DISPLAY=") + Display());
    env.push_back("QT_QPA_PLATFORM=xcb");
    env.push_back("LSAN_OPTIONS=suppressions=" SONACLIP_LSAN_SUPPRESSIONS);
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string path = SONACLIP_EXE;
    char* argv[] = {path.data(), nullptr};
    ASSERT_EQ(posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, envp.data()), 0);
  }

  // The exit status once the program ended by itself within the limit; -1 otherwise.
  int WaitExit(std::chrono::milliseconds limit) {
    int status = 0;
    if (!WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limit)) return -1;
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string Maps() const { return ringtest::Capture("cat /proc/" + std::to_string(pid) + "/maps"); }

  // What the browser engine brings: Qt WebEngine itself and the OpenGL driver of its context.
  static constexpr const char* kBrowserLibraries[] = {"WebEngine", "_dri.so", "GLX_mesa",
                                                      "EGL_mesa", "glx-integration"};

  ringtest::TempDir dir{"sonaclip-make-a-ring"};
  pid_t pid = -1;
};

TEST_F(MakeARingTest, FromAddingASongToASavedRing) {
  // Names a person types with xdotool: the X server under test has no keymap for Chinese (paths
  // with Chinese are the editor tests' business).
  const fs::path song = dir / "a song.wav";
  ringtest::WriteWav(song, ringtest::MakeSong(16, 2, 8000, 8000 * 30, 11));
  const fs::path ring = dir / "my ring.mp3";

  Start();
  std::string window;
  ASSERT_TRUE(WaitUntil([&] { return !(window = FindWindow("^Tavio铃声制作专家$")).empty(); }, 30s))
      << "the main window never showed";
  Screenshot("1-started");

  ClickControl(window, L"AddSong");
  // Qt's own dialogs speak Chinese, as the program does.
  TypeIntoDialog("打开", song.string());
  std::this_thread::sleep_for(2500ms);  // the song opens and plays
  Screenshot("2-playing");

  ClickControl(window, L"CutStart");
  const auto marked = Clock::now();
  std::this_thread::sleep_for(3s);
  ClickControl(window, L"CutEnd");
  const double markedSeconds = std::chrono::duration<double>(Clock::now() - marked).count();
  std::this_thread::sleep_for(300ms);
  Screenshot("3-marked");

  ClickControl(window, L"SaveRing");
  TypeIntoDialog("另存为", ring.string());
  std::string progress;
  ASSERT_TRUE(WaitUntil([&] { return !(progress = FindWindow("^保存铃声到本地进度$")).empty(); }, 20s))
      << "no progress window";
  // The ring has its name before the window can say it is saved; OK is clicked after that.
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(ring); }, 30s)) << "the ring never appeared";
  std::this_thread::sleep_for(1200ms);  // two polls of the window: it shows "确定" now
  Screenshot("4-saved");
  ClickControl(progress, L"ProcessWndCancel");
  ASSERT_TRUE(WaitUntil([&] { return FindWindow("^保存铃声到本地进度$").empty(); }, 10s));

  // A run that never opened the web window has loaded neither the browser engine nor a GL driver.
  const std::string maps = Maps();
  ASSERT_NE(maps.find("tvplayer.so"), std::string::npos);
  for (const char* library : kBrowserLibraries)
    EXPECT_EQ(maps.find(library), std::string::npos) << library << " is loaded";

  const int64_t frames = ringtest::DecodedFrames(ring, 2);
  ASSERT_GT(frames, 0) << "the ring does not decode";
  EXPECT_NEAR(frames / 8000.0, markedSeconds, 0.3) << "the ring is not the marked section";

  ClickControl(window, L"SonaclipFormClose");
  EXPECT_EQ(WaitExit(20s), 0);
}

TEST_F(MakeARingTest, TheOtherRingsPageLoadsTheBrowserOnlyWhenItsLinkIsClicked) {
  const fs::path song = dir / "a song.wav";
  ringtest::WriteWav(song, ringtest::MakeSong(16, 2, 8000, 8000 * 10, 11));
  fs::create_directories(dir / "Music/Ring");
  ringtest::WriteWav(dir / "Music/Ring/a song ring.wav", ringtest::MakeSong(16, 1, 8000, 8000));
  // The browser engine mismatches new and delete and keeps allocations to exit inside Chromium
  // (and Mesa's driver, which its GL context loads, leaks strings and unloads itself before the
  // leak check could name it): this case alone opens the browser, and it alone runs without
  // those checks. GLX stays on, as on a desktop.
  Start({"HOME=" + dir.path().string(),
         "ASAN_OPTIONS=detect_leaks=0:alloc_dealloc_mismatch=0:new_delete_type_mismatch=0"});
  std::string window;
  ASSERT_TRUE(WaitUntil([&] { return !(window = FindWindow("^Tavio铃声制作专家$")).empty(); }, 30s));
  ClickControl(window, L"AddSong");
  TypeIntoDialog("打开", song.string());
  std::this_thread::sleep_for(2500ms);
  for (const char* library : kBrowserLibraries)
    EXPECT_EQ(Maps().find(library), std::string::npos) << library << " is loaded before the click";

  ClickControl(window, L"TryOtherSong");
  std::string web;
  ASSERT_TRUE(WaitUntil([&] { return !(web = FindWindow("^Tavio手机彩铃$")).empty(); }, 60s))
      << "the web window never showed";
  const std::string maps = Maps();
  EXPECT_NE(maps.find("ringweb.so"), std::string::npos);
  EXPECT_NE(maps.find("libQt6WebEngineCore"), std::string::npos);
  std::this_thread::sleep_for(2s);  // the page of the song's rings
  Screenshot("5-other-rings");
  ClickControl(web, L"HotRingWndClose");
  ASSERT_TRUE(WaitUntil([&] { return FindWindow("^Tavio手机彩铃$").empty(); }, 10s));

  // The window goes on as before, and the program ends as usual.
  ClickControl(window, L"SonaclipFormClose");
  EXPECT_EQ(WaitExit(30s), 0);
}

TEST_F(MakeARingTest, WithoutOpenGLTheLinkSaysThePageCannotBeShownAndTheWindowGoesOn) {
  const fs::path song = dir / "a song.wav";
  ringtest::WriteWav(song, ringtest::MakeSong(16, 2, 8000, 8000 * 10, 11));
  // An X server without GLX: the browser's view cannot paint there.
  Start({"QT_XCB_GL_INTEGRATION=none"});
  std::string window;
  ASSERT_TRUE(WaitUntil([&] { return !(window = FindWindow("^Tavio铃声制作专家$")).empty(); }, 30s));
  ClickControl(window, L"AddSong");
  TypeIntoDialog("打开", song.string());
  std::this_thread::sleep_for(2500ms);
  ClickControl(window, L"TryOtherSong");
  std::string notice;
  ASSERT_TRUE(WaitUntil([&] { return !(notice = FindWindow("^提示$")).empty(); }, 60s))
      << "no notice";
  EXPECT_EQ(FindWindow("^Tavio手机彩铃$"), "");
  // Typed through XTEST, as a person types: a key sent to the window itself would have its
  // release lost with the closed notice and stay pressed on the server, repeating into every
  // window after it.
  Xdotool("windowfocus --sync " + notice + " key Return");
  ASSERT_TRUE(WaitUntil([&] { return FindWindow("^提示$").empty(); }, 10s));
  ClickControl(window, L"SonaclipFormClose");
  EXPECT_EQ(WaitExit(30s), 0);
}

}  // namespace
