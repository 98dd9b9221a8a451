// The run operation in this process, on the offscreen platform: it shows the main window and
// publishes its handle, and after the close button it tears down in order (the shutdown registry
// runs while the skin and the main loop still exist) and leaves nothing process-wide behind.

#include <unistd.h>

#include <QTest>
#include <QWidget>
#include <atomic>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "app/exit_callback_registry.h"
#include "app/instance_guard.h"
#include "app/process_singleton.h"
#include "app/shared_window_slot.h"
#include "app/sonaclip_module.h"
#include "base/message_loop.h"
#include "base/path_service.h"
#include "base/task.h"
#include "editor/main_form.h"
#include "ui/skin_manager.h"

namespace fs = std::filesystem;

namespace {

struct Seen {
  bool windowShown = false;
  std::uint32_t published = 0;
  HWND handle = 0;
  bool exitCallbackRan = false;
  bool skinAliveAtExitCallback = false;
  bool loopAliveAtExitCallback = false;
  bool windowAliveAtExitCallback = false;
};
Seen g_seen;

void CheckWhatShutdownStillHas() {
  g_seen.exitCallbackRan = true;
  g_seen.skinAliveAtExitCallback = tavio_ui::SkinManager::Current() != nullptr;
  g_seen.loopAliveAtExitCallback = base::MessageLoop::current() != nullptr;
  // Registered after the window: runs before the window's destroyer.
  g_seen.windowAliveAtExitCallback = ProcessSingleton<MainForm>::Peek() != nullptr;
}

// Runs on the main thread inside the main loop: looks at the running program, then clicks the
// close button as a user would.
void LookAndClose(SonaclipModule* module) {
  MainForm* window = GetMainWindow();
  g_seen.handle = window->GetHWND();
  g_seen.windowShown = window->widget()->isVisible();
  g_seen.published = SharedWindowSlot::Read(module->sharedWindowSlot());
  ExitCallbackRegistry::Current()->Register(&CheckWhatShutdownStillHas);

  tavio_ui::Control* close = window->FindControl(L"SonaclipFormClose");
  ASSERT_NE(close, nullptr);
  QTest::mouseClick(close->widget(), Qt::LeftButton, Qt::NoModifier,
                    close->widget()->rect().center());
}

TEST(SonaclipModuleTest, RunShowsTheWindowThenShutsDownInOrderAfterTheCloseButton) {
  // The skin the run looks for is named after this test executable.
  fs::path skin;
  ASSERT_TRUE(base::PathService::Get(base::PathService::FILE_EXE, &skin));
  skin.replace_extension(".skn");
  fs::copy_file(SONACLIP_SKIN, skin, fs::copy_options::overwrite_existing);

  InstanceGuard guard(L"TavioSonaclip", L"TavioSonaclipMainFormMutex",
                      L"TavioSonaclipDestroyingMutex");
  ASSERT_TRUE(guard.Probe());
  SonaclipModule module(&guard);

  // The loop exists only inside Run; a helper thread hands it the test's task once it does.
  std::atomic<bool> posted{false};
  std::thread poster([&] {
    base::MessageLoop* loop = nullptr;
    while (!(loop = GetMainMessageLoop()))
      std::this_thread::yield();
    loop->PostTask(FROM_HERE, base::BindClosure([&module] { LookAndClose(&module); }));
    posted = true;
  });
  const int exitCode = module.Run();
  poster.join();
  fs::remove(skin);

  EXPECT_EQ(exitCode, 0);
  ASSERT_TRUE(posted);
  EXPECT_TRUE(g_seen.windowShown);
  EXPECT_NE(g_seen.handle, 0u);
  EXPECT_EQ(g_seen.published, static_cast<std::uint32_t>(g_seen.handle))
      << "the window's handle was not published for later starts";
  EXPECT_FALSE(guard.holdsMainFormMutex()) << "still claims to be starting after showing";

  ASSERT_TRUE(g_seen.exitCallbackRan);
  EXPECT_TRUE(g_seen.skinAliveAtExitCallback);
  EXPECT_TRUE(g_seen.loopAliveAtExitCallback);
  EXPECT_TRUE(g_seen.windowAliveAtExitCallback);

  // Nothing process-wide outlives the run.
  EXPECT_EQ(ProcessSingleton<MainForm>::Peek(), nullptr);
  EXPECT_EQ(ExitCallbackRegistry::Current(), nullptr);
  EXPECT_EQ(tavio_ui::SkinManager::Current(), nullptr);
  EXPECT_EQ(GetMainMessageLoop(), nullptr);
  EXPECT_EQ(base::MessageLoop::current(), nullptr);
  EXPECT_EQ(module.mainWindow(), nullptr);
}

}  // namespace
