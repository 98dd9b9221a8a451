// The main loop's dispatcher: the module hears about the main window's show, close and the first
// paint before the window itself handles the message, every message reaches its window once,
// and messages of other windows are not taken for the main window's.

#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/main_thread_dispatcher.h"
#include "app/message_listener.h"
#include "base/message_loop.h"
#include "ui/form.h"
#include "ui/messages.h"

namespace {

std::vector<std::string> g_log;

class RecordingListener : public MessageListener {
 public:
  void OnMainWindowClose() override { g_log.push_back("listener:close"); }
  void OnMainWindowShow() override { g_log.push_back("listener:show"); }
  void OnFirstPaint() override { g_log.push_back("listener:first-paint"); }
};

class RecordingForm : public tavio_ui::Form {
 public:
  explicit RecordingForm(std::string tag) : tag(std::move(tag)) {}
  bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    if (message == WM_PAINT || message == WM_SHOWWINDOW || message == WM_CLOSE ||
        message == WM_USER) {
      g_log.push_back(tag + ":" + std::to_string(message));
      // Swallowed so the default handling closes nothing: the test looks at delivery only.
      if (message == WM_CLOSE)
        return true;
    }
    return tavio_ui::Form::ProcessMessage(message, wParam, lParam, result);
  }

 private:
  std::string tag;
};

class MainThreadDispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log.clear();
    loop = std::make_unique<base::MessageLoop>(base::MessageLoop::TYPE_UI);
    tavio_ui::UIJoinMessageLoop(loop.get());
  }
  void TearDown() override {
    tavio_ui::UIJoinMessageLoop(nullptr);
    loop.reset();
  }

  std::unique_ptr<base::MessageLoop> loop;
};

std::string Entry(const char* tag, UINT message) {
  return std::string(tag) + ":" + std::to_string(message);
}

TEST_F(MainThreadDispatcherTest, ListenerHearsFirstAndEveryMessageIsDeliveredOnce) {
  RecordingForm main("main");
  RecordingForm other("other");
  const HWND mainHandle = main.Create(0);
  const HWND otherHandle = other.Create(0);
  ASSERT_NE(mainHandle, 0u);
  ASSERT_NE(otherHandle, 0u);
  g_log.clear();

  RecordingListener listener;
  MainThreadDispatcher dispatcher(&main, &listener);

  // The first paint is the program's, whichever window it is in; later paints say nothing.
  tavio_ui::PostMessage(otherHandle, WM_PAINT, 0, 0);
  tavio_ui::PostMessage(mainHandle, WM_PAINT, 0, 0);
  tavio_ui::PostMessage(mainHandle, WM_SHOWWINDOW, 1, 0);
  tavio_ui::PostMessage(otherHandle, WM_SHOWWINDOW, 1, 0);
  tavio_ui::PostMessage(otherHandle, WM_CLOSE, 0, 0);
  tavio_ui::PostMessage(mainHandle, WM_CLOSE, 0, 0);
  tavio_ui::PostMessage(mainHandle, WM_USER, 0, 0);
  tavio_ui::PostQuitMessage(0);
  loop->RunWithDispatcher(&dispatcher);

  const std::vector<std::string> expected = {
      "listener:first-paint",  Entry("other", WM_PAINT),
      Entry("main", WM_PAINT), "listener:show",
      Entry("main", WM_SHOWWINDOW), Entry("other", WM_SHOWWINDOW),
      Entry("other", WM_CLOSE), "listener:close",
      Entry("main", WM_CLOSE), Entry("main", WM_USER),
  };
  EXPECT_EQ(g_log, expected);
}

TEST_F(MainThreadDispatcherTest, MessagesForAWindowNotYetCreatedAreNotTheMainWindows) {
  // Before Create the main window has no handle: a message for "no window" is not its close.
  RecordingForm main("main");
  RecordingListener listener;
  MainThreadDispatcher dispatcher(&main, &listener);
  EXPECT_EQ(dispatcher.Dispatch(base::NativeMessage{0, WM_CLOSE, 0, 0}), 0u);
  EXPECT_EQ(dispatcher.Dispatch(base::NativeMessage{0, WM_SHOWWINDOW, 1, 0}), 0u);
  EXPECT_TRUE(g_log.empty());

  // Once created, its handle counts, also for a dispatcher built before the window existed.
  const HWND handle = main.Create(0);
  EXPECT_EQ(dispatcher.Dispatch(base::NativeMessage{handle, WM_CLOSE, 0, 0}), 0u);
  EXPECT_EQ(g_log, (std::vector<std::string>{"listener:close", Entry("main", WM_CLOSE)}));
}

}  // namespace
