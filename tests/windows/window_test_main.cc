#include "tests/windows/window_test_main.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <filesystem>

#include "base/message_loop.h"
#include "base/nested_pump_hooks.h"
#include "base/path_service.h"
#include "base/qt_pool_threads.h"
#include "ui/control.h"
#include "ui/messages.h"
#include "ui/skin_manager.h"

namespace {

int RunWithApplication(int argc, char** argv) {
  QApplication app(argc, argv);
  base::MessageLoop loop(base::MessageLoop::TYPE_UI);
  tavio_ui::UIJoinMessageLoop(&loop);
  tavio_ui::Control::RegisterBeforePumpMessage(&base::BeforePumpMessage);
  tavio_ui::Control::RegisterAfterPumpMessage(&base::AfterPumpMessage);
  // The program's own skin, built beside the test.
  tavio_ui::SkinManager skin;
  tavio_ui::RegisterSkinManager(&skin);
  std::filesystem::path bin;
  base::PathService::Get(base::PathService::DIR_EXE, &bin);
  if (!skin.Load((bin / "sonaclip.skn").wstring().c_str(), false)) {
    std::fprintf(stderr, "sonaclip.skn did not load\n");
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  tavio_ui::UIJoinMessageLoop(nullptr);
  tavio_ui::UnRegisterSkinManager();
  return result;
}

}  // namespace

int RunWindowTests(int argc, char** argv, const std::function<void()>& beforeApplication) {
  // Test discovery runs this without the test environment; the windows need no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (beforeApplication) beforeApplication();
  const int result = RunWithApplication(argc, argv);
  // Qt's pool threads end after the application; the leak check at exit must not race them.
  base::EndQtPoolThreads();
  return result;
}
