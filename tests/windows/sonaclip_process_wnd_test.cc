// The save progress window as the user meets it: a real cut through the wrapper, the real window
// shown modally by it, its controls read and clicked through their widgets.
#include "windows/sonaclip_process_wnd.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "base/strings.h"
#include "engine/tvplayer_wrapper.h"
#include "tests/engine/ring_fixtures.h"
#include "tests/windows/window_test_main.h"

namespace {

using ringtest::TempDir;

QWidget* ShownWindow() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == "SonaclipProcessWnd" && w->isVisible()) return w;
  }
  return nullptr;
}

// The child of that skin name; with `text`, the one showing that text (the cancel and OK buttons
// share a skin entry).
QWidget* Child(QWidget* window, const char* name, const QString& text = {}) {
  for (QWidget* w : window->findChildren<QWidget*>(name)) {
    if (text.isEmpty() || w->accessibleName() == text) return w;
  }
  return nullptr;
}

QString Shown(QWidget* window, const char* name) {
  QWidget* w = Child(window, name);
  return w ? w->accessibleName() : QString();
}

// Clicks as a user would, in the middle of the place the skin gave the button.
void Click(QWidget* button) {
  ASSERT_NE(button, nullptr);
  ASSERT_TRUE(button->isVisible());
  ASSERT_FALSE(button->geometry().isEmpty()) << button->objectName().toStdString();
  QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

class ProcessWndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(wrapper.Initialize(0));
    wrapper.SetProgressUi([this](HWND owner, TVPlayerWrapper& job) {
      return resultCode = SonaclipProcessWnd::ShowProgress(owner, &job);
    });
  }

  // Calls act with the shown window every 20 ms until it returns true (it clicked something).
  void WhileShown(std::function<bool(QWidget*)> act) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
      if (QWidget* window = ShownWindow(); window && act(window)) timer->deleteLater();
    });
    timer->start(20);
  }

  bool Cut(const std::filesystem::path& song, const std::filesystem::path& ring, int32_t format,
           int32_t endMs) {
    wrapper.PrepareCut(base::UTF8ToWide(song.string()), format, 128);
    return wrapper.StartCutRing(base::UTF8ToWide(ring.string()), 0, endMs, 0, 0, 10000, 2);
  }

  TVPlayerWrapper wrapper;
  TempDir dir;
  int resultCode = -1;
};

TEST_F(ProcessWndTest, ShowsTheSavingStateThenTheSavedNotice) {
  ringtest::WriteWav(dir / "song.wav", ringtest::MakeSong(16, 2, 8000, 8000));
  struct Close {
    const char* button;
    QString text;
    int code;
  };
  // Escape, once the job has ended, is the OK button in the cancel button's place.
  for (const Close& close : {Close{"ProcessWndCancel", "确定", 2}, Close{"ProcessWndClose", {}, 1},
                             Close{nullptr, {}, 2}}) {
    SCOPED_TRACE(close.button ? close.button : "Escape");
    bool sawSaving = false, sawSaved = false;
    WhileShown([&](QWidget* window) {
      if (!sawSaving) {
        // The first look, before the first poll.
        sawSaving = true;
        EXPECT_EQ(window->windowTitle(), "保存铃声到本地进度");
        // Every control the window names has its place in the skin.
        for (const char* name : {"ProcessWndBackground", "ProcessWndTitle", "ProcessWndClose",
                                 "ProcessWndInfo", "ProcessLabel", "SonaclipProgressBar",
                                 "CurrentPercent", "ProcessWndCancel"}) {
          QWidget* control = Child(window, name);
          EXPECT_TRUE(control && !control->geometry().isEmpty()) << name;
        }
        EXPECT_EQ(Shown(window, "ProcessWndTitle"), "保存铃声到本地进度");
        EXPECT_EQ(Shown(window, "ProcessWndInfo"), "正在保存铃声中......");
        EXPECT_EQ(Shown(window, "ProcessLabel"), "进度:");
        EXPECT_EQ(Shown(window, "CurrentPercent"), "0%");
        EXPECT_TRUE(Child(window, "ProcessWndCancel", "取消")->isVisible());
        EXPECT_FALSE(Child(window, "ProcessWndCancel", "确定")->isVisible());
        return false;
      }
      if (Shown(window, "ProcessWndInfo") != "铃声保存成功！") return false;
      sawSaved = true;
      EXPECT_EQ(Shown(window, "CurrentPercent"), "100%");
      EXPECT_FALSE(Child(window, "ProcessWndCancel", "取消")->isVisible());
      if (close.button) {
        Click(Child(window, close.button, close.text));
      } else {
        QTest::keyClick(window, Qt::Key_Escape);
      }
      return true;
    });
    ASSERT_TRUE(Cut(dir / "song.wav", dir / "ring.wav", TVPlayerWrapper::kFormatWav, 900));
    EXPECT_TRUE(sawSaving);
    EXPECT_TRUE(sawSaved);
    EXPECT_EQ(resultCode, close.code);
    EXPECT_TRUE(wrapper.succeeded());
    EXPECT_EQ(ringtest::ReadWav(dir / "ring.wav").pcm.frames(), 7201);
    EXPECT_EQ(ShownWindow(), nullptr) << "destroyed when the modal loop ended";
  }
}

TEST_F(ProcessWndTest, CancelBeforeSuccessRemovesThePartialRing) {
  ASSERT_TRUE(ringtest::MakeToneMp3(dir / "song.mp3", 60));
  // "取消", and Escape, which is the same button.
  for (const bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "Escape" : "取消");
    ringtest::WriteAll(dir / "ring.mp3", "the user's own file");
    WhileShown([&](QWidget* window) {
      if (escape) {
        QTest::keyClick(window, Qt::Key_Escape);
      } else {
        Click(Child(window, "ProcessWndCancel", "取消"));
      }
      return true;
    });
    ASSERT_TRUE(Cut(dir / "song.mp3", dir / "ring.mp3", TVPlayerWrapper::kFormatMp3, 59000));
    EXPECT_EQ(resultCode, SonaclipProcessWnd::kClosedByCancel);
    EXPECT_FALSE(wrapper.succeeded());
    EXPECT_EQ(ringtest::ReadAll(dir / "ring.mp3"), "the user's own file");
    EXPECT_EQ(dir.Files(), (std::vector<std::string>{"ring.mp3", "song.mp3"}));
  }
}

TEST(ProcessWndTextTest, PercentIsTheCeilingOfTheProgress) {
  EXPECT_EQ(SonaclipProcessWnd::PercentText(0.0), L"0%");
  EXPECT_EQ(SonaclipProcessWnd::PercentText(12.1), L"13%");
  EXPECT_EQ(SonaclipProcessWnd::PercentText(99.2), L"100%");
  EXPECT_EQ(SonaclipProcessWnd::PercentText(100.0), L"100%");
}

}  // namespace

int main(int argc, char** argv) { return RunWindowTests(argc, argv); }
