// The other-ringtones window as the user meets it: opened modally over a real owner window, its
// view from the web plug-in beside the test (loaded on the first opening, as in the program), the
// built-in ring search service answering its page from a temporary "Ring" folder in the music
// folder, a ring played in the page, the failure page, the close button, and no window at all
// when the plug-in cannot be loaded.
#include "windows/hot_ring_web_wnd.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <functional>

#include "tests/engine/ring_fixtures.h"
#include "tests/windows/window_test_main.h"
#include "ui/button.h"
#include "ui/control.h"
#include "base/path_service.h"
#include "ui/web_control.h"
#include "windows/ring_search_url.h"
#include "windows/ring_web_plugin.h"

namespace {

namespace fs = std::filesystem;
using ringtest::TempDir;

constexpr int kPageTimeoutMs = 60000;

// Runs script in the page and waits for its result.
QVariant Js(QWebEnginePage* page, const QString& script) {
  QVariant result;
  bool done = false;
  page->runJavaScript(script, [&](const QVariant& value) {
    result = value;
    done = true;
  });
  if (!QTest::qWaitFor([&] { return done; }, kPageTimeoutMs)) ADD_FAILURE() << "no answer from the page";
  return result;
}

// Waits until the page's script condition holds.
bool WaitInPage(QWebEnginePage* page, const QString& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPageTimeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Js(page, condition).toBool()) return true;
    QTest::qWait(50);
  }
  return false;
}

QWidget* ShownWindow() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == "OtherRingWebWnd" && w->isVisible()) return w;
  }
  return nullptr;
}

// A shown main window with one button that counts its clicks: the owner of the web window.
struct OwnerWindow {
  OwnerWindow() {
    button.SetOnClick([this](tavio_ui::Control*) { ++clicks; });
    const tavio_ui::CRect buttonRect(10, 10, 60, 40);
    button.SetPos(&buttonRect);
    form.AddControl(&button);
    const tavio_ui::CRect formRect(0, 0, 600, 540);
    form.SetPos(&formRect);
    handle = form.Create(0);
    form.SetVisible(true);
  }
  void ClickButton() { QTest::mouseClick(button.widget(), Qt::LeftButton, {}, QPoint(5, 5)); }

  tavio_ui::Form form;
  tavio_ui::Button button;
  int clicks = 0;
  HWND handle = 0;
};

class HotRingWebWndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The user's music folder is the test's own.
    setenv("HOME", dir.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir / ".config").c_str(), 1);
    fs::create_directories(ringFolder);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(owner.form.widget()));
  }

  // Opens the window for url over the owner and runs check while it is shown; check ends by
  // clicking the close button. The window's result code.
  int OpenAndCheck(const std::wstring& url, std::function<void(QWidget*)> check) {
    bool checked = false;
    QTimer::singleShot(0, [&] {
      ASSERT_TRUE(QTest::qWaitFor([] { return ShownWindow() != nullptr; }, kPageTimeoutMs));
      check(ShownWindow());
      checked = true;
    });
    const int code = HotRingWebWnd::ShowOtherRings(url, owner.handle);
    EXPECT_TRUE(checked);
    EXPECT_EQ(ShownWindow(), nullptr);
    return code;
  }

  static void CloseWithButton(QWidget* window) {
    QWidget* close = window->findChild<QWidget*>("HotRingWndClose");
    ASSERT_NE(close, nullptr);
    ASSERT_FALSE(close->geometry().isEmpty());
    QTest::mouseClick(close, Qt::LeftButton, {}, close->rect().center());
  }

  static QWebEnginePage* PageOf(QWidget* window) {
    auto* view = window->findChild<QWebEngineView*>();
    return view ? view->page() : nullptr;
  }

  void MaybeScreenshot(QWidget* window, const char* name) {
    const char* folder = std::getenv("SONACLIP_SCREENSHOT_DIR");
    if (folder) window->grab().save(QString("%1/%2.png").arg(folder, name));
  }

  TempDir dir{"sonaclip-web-window"};
  fs::path ringFolder = dir / "Music/Ring";
  OwnerWindow owner;
};

TEST_F(HotRingWebWndTest, ListsTheMatchingRingsAndPlaysOne) {
  ringtest::WriteWav(ringFolder / "夜曲 & friends #1.wav", ringtest::MakeSong(16, 2, 8000, 24000));
  ASSERT_EQ(ringtest::Run("ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=2 "
                          "-c:a libmp3lame -b:a 128k '" + (ringFolder / "夜曲.mp3").string() + "'"),
            0);
  ringtest::WriteWav(ringFolder / "Other.wav", ringtest::MakeSong(16, 1, 8000, 8000));
  fs::last_write_time(ringFolder / "夜曲 & friends #1.wav",
                      fs::file_time_type::clock::now() - std::chrono::hours(1));

  const int code = OpenAndCheck(ringsearch::RingSearchUrlFrom(ringsearch::kDefaultTemplate, L"夜曲"), [&](QWidget* window) {
    EXPECT_EQ(window->windowTitle(), "Tavio手机彩铃");
    for (const char* name : {"HotRingWndBackground", "HotRingWndClose", "HotRingWeb"}) {
      QWidget* control = window->findChild<QWidget*>(name);
      EXPECT_TRUE(control && !control->geometry().isEmpty()) << name;
    }
    QWebEnginePage* page = PageOf(window);
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(WaitInPage(page, "document.readyState === 'complete' && !!document.querySelector('li')"));
    MaybeScreenshot(window, "web-window-rings");
    // Newest first, with length, size and format; the other ring is not listed.
    EXPECT_EQ(Js(page, "[...document.querySelectorAll('li .name')].map(e => e.textContent).join('|')")
                  .toString(),
              "夜曲.mp3|夜曲 & friends #1.wav");
    // The control reports the address as the engine has it, the key encoded for the request.
    EXPECT_NE(window->findChild<QWebEngineView*>()->url().toEncoded().indexOf(
                  "key=%E5%A4%9C%E6%9B%B2&aid=220&version=2009"),
              -1);
    const QString facts =
        Js(page, "[...document.querySelectorAll('li .facts')].map(e => e.textContent).join('|')").toString();
    EXPECT_TRUE(facts.contains("时长 00:02") && facts.contains("格式 MP3")) << facts.toStdString();
    EXPECT_TRUE(facts.contains("时长 00:03 · 大小 94KB · 格式 WAV")) << facts.toStdString();

    // The owner takes no input while the window is open.
    owner.ClickButton();
    EXPECT_EQ(owner.clicks, 0);

    // A click on the first player's play button plays the ring from the service.
    Js(page, "window.played = false; document.querySelector('audio').addEventListener('playing', "
             "() => { window.played = true; });");
    ASSERT_TRUE(WaitInPage(page, "document.querySelector('audio').readyState >= 1"));
    const QVariantList box =
        Js(page, "(r => [r.left, r.top, r.height])(document.querySelector('audio').getBoundingClientRect())")
            .toList();
    ASSERT_EQ(box.size(), 3);
    QWidget* input = window->findChild<QWebEngineView*>()->focusProxy();
    ASSERT_NE(input, nullptr);
    const QPoint play(box[0].toInt() + 16, box[1].toInt() + box[2].toInt() / 2);
    QTest::mouseClick(input, Qt::LeftButton, {}, play);
    EXPECT_TRUE(WaitInPage(page, "window.played && document.querySelector('audio').currentTime > 0"));

    // A page from the network cannot load the rings the service listed.
    const QString ring = Js(page, "document.querySelector('audio').src").toString();
    ASSERT_TRUE(ring.startsWith("sonaclip://rings/Ring/")) << ring.toStdString();
    page->setHtml("<html><body><p id='remote'>remote</p></body></html>", QUrl("http://remote.example/"));
    ASSERT_TRUE(WaitInPage(page, "!!document.getElementById('remote')"));
    Js(page, QString("window.heard = undefined; const a = new Audio(); a.onloadedmetadata = () => { "
                     "window.heard = 'loaded'; }; a.onerror = () => { window.heard = 'refused'; }; "
                     "a.src = '%1';").arg(ring));
    ASSERT_TRUE(WaitInPage(page, "window.heard !== undefined"));
    EXPECT_EQ(Js(page, "window.heard").toString().toStdString(), "refused");
    CloseWithButton(window);
  });
  EXPECT_EQ(code, 0);
  // Input reaches the owner again.
  owner.ClickButton();
  EXPECT_EQ(owner.clicks, 1);
}

TEST_F(HotRingWebWndTest, ServesNothingButItsPagesAndTheRingsItListed) {
  ringtest::WriteWav(ringFolder / "夜曲.wav", ringtest::MakeSong(16, 2, 8000, 8000));
  OpenAndCheck(ringsearch::RingSearchUrlFrom(ringsearch::kDefaultTemplate, L"../../etc"), [&](QWidget* window) {
    QWebEnginePage* page = PageOf(window);
    ASSERT_TRUE(WaitInPage(page, "document.readyState === 'complete' && !!document.getElementById('none')"));
    MaybeScreenshot(window, "web-window-none");
    EXPECT_EQ(Js(page, "document.querySelectorAll('audio').length").toInt(), 0);
    EXPECT_TRUE(Js(page, "document.getElementById('none').textContent").toString().contains("../../etc"));

    // Ring addresses never listed and other paths get nothing: the window says it cannot load.
    for (const char* address : {"sonaclip://rings/Ring/1", "sonaclip://rings/Ring/..%2F..%2Fetc%2Fpasswd",
                                "sonaclip://rings/Ring/../../etc/passwd", "sonaclip://rings/etc/passwd",
                                "sonaclip://rings/Ring/"}) {
      SCOPED_TRACE(address);
      Js(page, "document.body.dataset.old = '1'");
      page->setUrl(QUrl(address));
      EXPECT_TRUE(WaitInPage(page, "document.body && !document.body.dataset.old && !!document.getElementById('unreachable')"));
    }
    page->setUrl(QUrl(QString::fromStdWString(
        ringsearch::RingSearchUrlFrom(ringsearch::kDefaultTemplate, L"../../etc"))));
    ASSERT_TRUE(WaitInPage(page, "!!document.getElementById('none')"));
    // The page cannot take the window elsewhere, and a refused link leaves it as it was.
    for (const char* address : {"file:///etc/passwd", "ftp://rings.example/", "javascript:void(0)"}) {
      SCOPED_TRACE(address);
      Js(page, QString("location.href = '%1'").arg(address));
      QTest::qWait(500);
      EXPECT_EQ(page->url().scheme().toStdString(), "sonaclip");
      EXPECT_TRUE(Js(page, "!!document.getElementById('none')").toBool());
    }
    CloseWithButton(window);
  });
}

TEST_F(HotRingWebWndTest, TheLinkSearchesForTheSongWithoutItsLastExtension) {
  ringtest::WriteWav(ringFolder / "夜曲.live 铃声.wav", ringtest::MakeSong(16, 1, 8000, 8000));
  ringtest::WriteWav(ringFolder / "夜曲 铃声.wav", ringtest::MakeSong(16, 1, 8000, 8000));
  bool checked = false;
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(QTest::qWaitFor([] { return ShownWindow() != nullptr; }, kPageTimeoutMs));
    QWidget* window = ShownWindow();
    QWebEnginePage* page = PageOf(window);
    EXPECT_TRUE(WaitInPage(page, "!!document.querySelector('li')"));
    EXPECT_EQ(Js(page, "document.querySelector('h1').textContent").toString(), "“夜曲.live”的铃声");
    EXPECT_EQ(Js(page, "document.querySelectorAll('li').length").toInt(), 1);
    checked = true;
    CloseWithButton(window);
  });
  EXPECT_EQ(HotRingWebWnd::ShowForSong(owner.handle, L"夜曲.live.mp3"), 0);
  EXPECT_TRUE(checked);
}

TEST_F(HotRingWebWndTest, AnUnreachablePageSaysSo) {
  OpenAndCheck(L"http://127.0.0.1:9/Search/Dmatch.aspx?key=x", [&](QWidget* window) {
    QWebEnginePage* page = PageOf(window);
    EXPECT_TRUE(WaitInPage(page, "!!document.getElementById('unreachable')"));
    EXPECT_TRUE(Js(page, "document.body.textContent").toString().contains("无法连接铃声服务"));
    MaybeScreenshot(window, "web-window-unreachable");
    CloseWithButton(window);
  });
}

TEST_F(HotRingWebWndTest, WithoutAWorkingPluginNoWindowOpens) {
  fs::path bin;
  base::PathService::Get(base::PathService::DIR_EXE, &bin);
  const fs::path notALibrary = dir / "ringweb.so";
  ringtest::WriteWav(notALibrary, ringtest::MakeSong(16, 1, 8000, 800));
  const struct {
    const char* what;
    fs::path library;
  } kBroken[] = {
      {"missing", dir / "missing" / "ringweb.so"},
      {"not a library", notALibrary},
      {"a library without the export", bin / "tvplayer.so"},
  };
  const std::wstring url = ringsearch::RingSearchUrlFrom(ringsearch::kDefaultTemplate, L"夜曲");
  for (const auto& broken : kBroken) {
    SCOPED_TRACE(broken.what);
    EXPECT_EQ(HotRingWebWnd::ShowOtherRings(url, owner.handle, ringweb::LoadPlugin(broken.library)),
              HotRingWebWnd::kPageUnavailable);
    EXPECT_EQ(ShownWindow(), nullptr);
  }
  owner.ClickButton();
  EXPECT_EQ(owner.clicks, 1);
}

}  // namespace

int main(int argc, char** argv) {
  // Nothing before the application: the plug-in starts the engine in the running program.
  return RunWindowTests(argc, argv);
}
