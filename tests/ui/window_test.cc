// Windows and their messages: messages posted from a worker thread reach ProcessMessage on the
// main thread in posting order, stale handles are harmless, creation and the window manager's
// close arrive as WM_CREATE and WM_CLOSE, the dispatcher sees the first paint and the showing,
// modal loops keep the main loop's timers running and return EndLoopWnd's code, dropped files
// arrive as WM_DROPFILES, and message boxes and file dialogs answer as Win32 ones do.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <memory>
#include <thread>

#include "base/message_loop.h"
#include "base/nested_pump_hooks.h"
#include "base/timer.h"
#include "ui/button.h"
#include "ui/drag_drop.h"
#include "ui/file_dialog.h"
#include "ui/form.h"
#include "ui/label.h"
#include <QScreen>
#include "ui/message_box.h"

namespace {

using namespace tavio_ui;

struct Seen {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  std::thread::id thread;
};

class RecordingForm : public Form {
 public:
  bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    if (message == WM_CREATE) createHandle = GetHWND();
    if (message >= WM_USER || message == WM_CLOSE || message == WM_CREATE ||
        message == WM_DROPFILES || message == WM_DESTROY) {
      seen.push_back({message, wParam, lParam, std::this_thread::get_id()});
    }
    if (message == WM_DROPFILES) {
      const HDROP drop = static_cast<HDROP>(wParam);
      const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      std::vector<std::wstring> paths;
      for (UINT i = 0; i < count; ++i) {
        wchar_t buffer[260] = {};
        DragQueryFileW(drop, i, buffer, 260);
        paths.emplace_back(buffer);
      }
      drops.push_back(paths);
      DragFinish(drop);
      finishedDropStillAnswers = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) != 0;
    }
    if (message == WM_CLOSE && keepOnClose) {
      SetVisible(false);
      return true;
    }
    if (onMessage) onMessage(message);
    return Form::ProcessMessage(message, wParam, lParam, result);
  }
  std::vector<Seen> seen;
  std::vector<std::vector<std::wstring>> drops;
  bool finishedDropStillAnswers = false;
  bool keepOnClose = false;
  HWND createHandle = 0;
  std::function<void(UINT)> onMessage;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loop = std::make_unique<base::MessageLoop>(base::MessageLoop::TYPE_UI);
    UIJoinMessageLoop(loop.get());
    Control::RegisterBeforePumpMessage(&base::BeforePumpMessage);
    Control::RegisterAfterPumpMessage(&base::AfterPumpMessage);
  }
  void TearDown() override {
    Control::RegisterBeforePumpMessage(nullptr);
    Control::RegisterAfterPumpMessage(nullptr);
    UIJoinMessageLoop(nullptr);
    loop.reset();
  }

  // Runs the main loop until done() holds, or 10 seconds pass.
  void RunUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 10000) {
      loop->RunUntilIdle();
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
  }

  std::unique_ptr<base::MessageLoop> loop;
};

TEST_F(WindowTest, MessagesFromAWorkerThreadArriveInOrderOnTheMainThread) {
  RecordingForm form;
  const HWND hwnd = form.Create(0);
  ASSERT_NE(hwnd, 0u);
  constexpr int kCount = 200;
  std::thread worker([hwnd] {
    for (int i = 0; i < kCount; ++i) {
      // The player's notifications: state and position, from its own thread.
      PostMessage(hwnd, i % 2 ? 0x2413 : 0x2410, static_cast<WPARAM>(i), -i);
    }
  });
  worker.join();
  RunUntil([&] { return form.seen.size() >= kCount + 1; });
  std::vector<Seen> posted;
  for (const Seen& s : form.seen)
    if (s.message >= WM_USER) posted.push_back(s);
  ASSERT_EQ(posted.size(), static_cast<size_t>(kCount));
  for (int i = 0; i < kCount; ++i) {
    EXPECT_EQ(posted[i].message, i % 2 ? 0x2413u : 0x2410u);
    EXPECT_EQ(posted[i].wParam, static_cast<WPARAM>(i));
    EXPECT_EQ(posted[i].lParam, -i);
    EXPECT_EQ(posted[i].thread, std::this_thread::get_id());
  }
}

TEST_F(WindowTest, CreationSendsWmCreateWithTheHandleSet) {
  RecordingForm form;
  EXPECT_EQ(form.GetHWND(), 0u);
  const HWND hwnd = form.Create(0);
  EXPECT_EQ(form.createHandle, hwnd);
  ASSERT_FALSE(form.seen.empty());
  EXPECT_EQ(form.seen.front().message, WM_CREATE);
  EXPECT_EQ(form.Create(0), hwnd);  // a second Create keeps the window
  EXPECT_EQ(WindowContainer::FromHWND(hwnd), &form);
}

TEST_F(WindowTest, AStaleHandleIsHarmless) {
  RecordingForm live;
  const HWND liveHandle = live.Create(0);
  HWND stale = 0;
  {
    RecordingForm gone;
    stale = gone.Create(0);
  }
  EXPECT_EQ(WindowContainer::FromHWND(stale), nullptr);
  EXPECT_TRUE(PostMessage(stale, WM_USER + 1, 1, 0));
  EXPECT_TRUE(PostMessage(liveHandle, WM_USER + 2, 2, 0));
  EXPECT_FALSE(PostMessage(0, WM_USER, 0, 0));
  RunUntil([&] { return live.seen.size() >= 2; });
  ASSERT_EQ(live.seen.size(), 2u);
  EXPECT_EQ(live.seen[1].message, WM_USER + 2);
  // A newer window never inherits an old handle.
  RecordingForm newer;
  EXPECT_NE(newer.Create(0), stale);
  EXPECT_EQ(SendMessage(stale, WM_USER, 0, 0), 0);
}

TEST_F(WindowTest, TheWindowManagersCloseBecomesWmCloseAndTheWindowDecides) {
  RecordingForm keeper;
  keeper.keepOnClose = true;
  keeper.Create(0);
  keeper.SetVisible(true);
  keeper.widget()->close();  // what Alt+F4 asks
  RunUntil([&] { return !keeper.seen.empty() && keeper.seen.back().message == WM_CLOSE; });
  EXPECT_EQ(keeper.seen.back().message, WM_CLOSE);
  EXPECT_NE(keeper.GetHWND(), 0u);  // still a window, only hidden
  EXPECT_FALSE(keeper.widget()->isVisible());

  RecordingForm plain;
  plain.Create(0);
  plain.SetVisible(true);
  plain.widget()->close();
  RunUntil([&] { return plain.GetHWND() == 0; });
  EXPECT_EQ(plain.GetHWND(), 0u);  // default handling: closed and destroyed
  EXPECT_EQ(plain.seen.back().message, WM_DESTROY);
}

class WatchingDispatcher : public base::MessagePumpDispatcher {
 public:
  explicit WatchingDispatcher(HWND window) : window(window) {}
  uint32_t Dispatch(const base::NativeMessage& message) override {
    if (message.message == WM_PAINT) ++paints;
    if (message.message == WM_SHOWWINDOW && message.hwnd == window && message.wParam) ++shows;
    DispatchNativeMessage(message);
    return paints && shows ? kDispatchQuit : 0;
  }
  int paints = 0;
  int shows = 0;

 private:
  HWND window;
};

TEST_F(WindowTest, TheDispatcherSeesTheFirstPaintAndTheShowing) {
  RecordingForm form;
  form.SetPos(std::make_unique<CRect>(0, 0, 200, 100).get());
  WatchingDispatcher dispatcher(form.Create(0));
  form.SetVisible(true);
  // A guard against waiting forever if nothing comes.
  QObject guard;
  QTimer::singleShot(10000, &guard, [&] { loop->Quit(); });
  loop->RunWithDispatcher(&dispatcher);
  EXPECT_EQ(dispatcher.paints, 1);
  EXPECT_GE(dispatcher.shows, 1);
}

class Ticker {
 public:
  void Tick() {
    ++ticks;
    if (ticks == target && onTarget) onTarget();
  }
  int ticks = 0;
  int target = 5;
  std::function<void()> onTarget;
};

// A shown window with one button that counts its clicks: the owner of a modal window.
struct OwnerWindow {
  OwnerWindow() {
    button.SetOnClick([this](Control*) { ++clicks; });
    const CRect buttonRect(10, 10, 60, 40);
    button.SetPos(&buttonRect);
    form.AddControl(&button);
    const CRect formRect(0, 0, 300, 200);
    form.SetPos(&formRect);
    handle = form.Create(0);
    form.SetVisible(true);
  }
  // A click in the button, as the user would make it.
  void ClickButton() { QTest::mouseClick(button.widget(), Qt::LeftButton, {}, QPoint(5, 5)); }

  Form form;
  Button button;
  int clicks = 0;
  HWND handle = 0;
};

TEST_F(WindowTest, ModalLoopKeepsMainLoopTimersRunningAndReturnsTheEndCode) {
  OwnerWindow owner;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(owner.form.widget()));

  Form modal;
  const CRect modalRect(0, 0, 120, 80);
  modal.SetPos(&modalRect);
  Ticker ticker;
  base::RepeatingTimer<Ticker> timer;
  int modalResult = -1;
  ticker.onTarget = [&] {
    // The owner takes no input while the modal window runs.
    owner.ClickButton();
    modal.EndLoopWnd(8);
  };
  loop->PostTask(FROM_HERE, base::BindClosure([&] {
    modal.Create(owner.handle);
    timer.Start(FROM_HERE, 20000, &ticker, &Ticker::Tick);
    modalResult = modal.DoModal();
    loop->Quit();
  }));
  QObject guard;
  QTimer::singleShot(10000, &guard, [&] { modal.EndLoopWnd(-2); });
  loop->Run();
  EXPECT_EQ(modalResult, 8);
  EXPECT_GE(ticker.ticks, 5);
  EXPECT_EQ(owner.clicks, 0);
  EXPECT_FALSE(modal.widget()->isVisible());
  EXPECT_EQ(base::NestedPumpDepth(), 0);
  // Once the modal loop is over the owner takes clicks again.
  owner.ClickButton();
  EXPECT_EQ(owner.clicks, 1);
}

TEST_F(WindowTest, QuitDuringAModalLoopEndsItAndReachesTheOuterLoop) {
  Form modal;
  modal.Create(0);
  int result = -1;
  bool guardFired = false;
  loop->PostTask(FROM_HERE, base::BindClosure([&] {
    QTimer::singleShot(0, [] { PostQuitMessage(3); });
    result = modal.DoModal();
  }));
  QObject guard;
  QTimer::singleShot(10000, &guard, [&] {
    guardFired = true;
    loop->Quit();
  });
  loop->Run();
  EXPECT_EQ(result, IDCANCEL);
  // The outer loop ended on the passed-on quit message, not on the guard.
  EXPECT_FALSE(guardFired);
}

TEST_F(WindowTest, AWindowDestroyedDuringItsModalLoopEndsItAndFreesItsOwner) {
  OwnerWindow owner;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(owner.form.widget()));

  auto modal = std::make_unique<Form>();
  modal->Create(owner.handle);
  int result = -1;
  loop->PostTask(FROM_HERE, base::BindClosure([&] {
    QTimer::singleShot(20, [&] { modal.reset(); });
    result = modal->DoModal();
    loop->Quit();
  }));
  QObject guard;
  QTimer::singleShot(10000, &guard, [&] { loop->Quit(); });
  loop->Run();
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(modal, nullptr);
  EXPECT_EQ(base::NestedPumpDepth(), 0);
  owner.ClickButton();
  EXPECT_EQ(owner.clicks, 1);
}

TEST_F(WindowTest, DroppedFilesArriveAsWmDropFiles) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString first = dir.filePath("第一首 song.mp3");
  const QString second = dir.filePath("two.wav");
  RecordingForm form;
  const CRect rect(0, 0, 200, 100);
  form.SetPos(&rect);
  form.Create(0);
  form.SetVisible(true);

  auto drop = [&](const QStringList& files) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& f : files) urls << QUrl::fromLocalFile(f);
    mime.setUrls(urls);
    // What a drag from the file manager delivers: enter, then the drop.
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.widget(), &enter);
    QDropEvent event(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.widget(), &event);
  };
  drop({first});  // not accepted yet: nothing arrives
  for (int i = 0; i < 5; ++i) {
    loop->RunUntilIdle();
    QCoreApplication::processEvents();
  }
  EXPECT_TRUE(form.drops.empty());

  DragAcceptFiles(form.GetHWND(), TRUE);
  drop({first});
  drop({first, second});
  RunUntil([&] { return form.drops.size() >= 2; });
  ASSERT_EQ(form.drops.size(), 2u);
  EXPECT_EQ(form.drops[0], (std::vector<std::wstring>{first.toStdWString()}));
  EXPECT_EQ(form.drops[1],
            (std::vector<std::wstring>{first.toStdWString(), second.toStdWString()}));
  EXPECT_FALSE(form.finishedDropStillAnswers);
}

TEST_F(WindowTest, FramelessFixedSizeCentredAsAsked) {
  Form form;
  const CRect size(0, 0, 240, 160);
  form.SetPos(&size);
  form.Create(0);
  form.SetText(L"Tavio铃声制作专家");
  form.SetShowCaption(false);
  form.SetVisible(true);
  form.SetCanSize(false);
  form.Centerize(nullptr);
  QWidget* w = form.widget();
  EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(w->windowTitle(), QString("Tavio铃声制作专家"));
  EXPECT_EQ(w->minimumSize(), QSize(240, 160));
  EXPECT_EQ(w->maximumSize(), QSize(240, 160));
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE(std::abs(w->geometry().center().x() - screen.center().x()), 1);
  EXPECT_LE(std::abs(w->geometry().center().y() - screen.center().y()), 1);
  const CRect reference(100, 100, 500, 400);
  form.Centerize(&reference);
  EXPECT_EQ(w->geometry().topLeft(), QPoint(100 + (400 - 240) / 2, 100 + (300 - 160) / 2));
  form.SetShowCaption(true);
  EXPECT_FALSE(w->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(w->isVisible());  // a style change keeps a shown window shown
}

TEST_F(WindowTest, LinksShowTheHandCursor) {
  Form form;
  const CRect size(0, 0, 200, 100);
  form.SetPos(&size);
  Label link;
  Label plain;
  const CRect linkRect(0, 0, 100, 20);
  const CRect plainRect(0, 40, 100, 60);
  link.SetPos(&linkRect);
  plain.SetPos(&plainRect);
  link.SetText(L"试听其他人制作的铃声");
  link.SetClickHandler([](Control*) {});
  form.AddControl(&link);
  form.AddControl(&plain);
  form.Create(0);
  form.SetVisible(true);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.widget()));
  QTest::mouseMove(link.widget(), QPoint(10, 10));
  QTest::mouseMove(plain.widget(), QPoint(10, 10));
  EXPECT_EQ(link.widget()->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(plain.widget()->cursor().shape(), Qt::ArrowCursor);
}

TEST(DropQueryTest, QueriesCutLongPathsAndRefuseUnknownDrops) {
  EXPECT_EQ(DragQueryFileW(12345, 0xFFFFFFFF, nullptr, 0), 0u);
  EXPECT_EQ(DragQueryFile(12345, 0), L"");
}

TEST_F(WindowTest, MessageBoxAnswersWithTheButtonPressed) {
  QString title, text;
  bool information = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    information = box->icon() == QMessageBox::Information;
    box->button(QMessageBox::Yes)->click();
  });
  const int answer = MessageBoxW(0, L"铃声源文件正在编辑使用中，无法替换！\r\n如需保存铃声，请重新选择保存路径和文件名。",
                                 L"提示", MB_YESNO | MB_ICONINFORMATION);
  EXPECT_EQ(answer, IDYES);
  EXPECT_EQ(title, QString("提示"));
  EXPECT_TRUE(text.startsWith("铃声源文件正在编辑使用中"));
  EXPECT_TRUE(information);

  QTimer::singleShot(0, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(MessageBoxW(0, L"每次只能打开一个文件，请重新操作！", L"提示", MB_ICONINFORMATION), IDOK);
}

TEST(FileFilterTest, ParsesWin32FilterLists) {
  const wchar_t filter[] = L"所有音频文件\0*.MP3;*.WAV;\0所有文件\0*.*\0Orphan\0\0";
  const std::vector<FileFilter> parsed = ParseWin32Filter(filter);
  ASSERT_EQ(parsed.size(), 2u);
  EXPECT_EQ(parsed[0].description, L"所有音频文件");
  EXPECT_EQ(parsed[0].patterns, (std::vector<std::wstring>{L"*.MP3", L"*.WAV"}));
  EXPECT_EQ(parsed[1].patterns, (std::vector<std::wstring>{L"*.*"}));
  EXPECT_TRUE(ParseWin32Filter(nullptr).empty());
  EXPECT_TRUE(ParseWin32Filter(L"\0").empty());
}

TEST_F(WindowTest, SaveDialogStartsWhereAskedAndAppendsTheDefaultExtension) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::wstring initial = (dir.path() + "\\my song").toStdWString();
  QString shownFilter, shownDirectory, typedName;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    shownFilter = dialog->selectedNameFilter();
    shownDirectory = dialog->directory().absolutePath();
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    typedName = name->text();
    name->setText("ring");
    QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
  });
  SaveFileDialog save;
  const wchar_t filter[] = L"MP3音乐文件(*.mp3)\0*.mp3\0\0";
  save.SetParameters(filter, 1, initial, L"", L"mp3");
  const std::wstring chosen = save.DoModal(0);
  EXPECT_TRUE(shownFilter.startsWith("MP3音乐文件(*.mp3)")) << shownFilter.toStdString();
  EXPECT_EQ(shownDirectory, QDir(dir.path()).absolutePath());
  EXPECT_EQ(typedName, QString("my song"));
  EXPECT_EQ(chosen, QDir(dir.path()).filePath("ring.mp3").toStdWString());
}

TEST_F(WindowTest, OpenDialogReturnsNothingWhenCancelled) {
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialog->reject();
  });
  OpenFileDialog open;
  open.SetParameters(L"所有文件\0*.*\0\0", 1, L"", L"");
  EXPECT_TRUE(open.DoModal(0).empty());
}

}  // namespace
