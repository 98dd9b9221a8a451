// Test entry for tests of the program's windows: a QApplication (offscreen unless the environment
// says otherwise), the main thread's UI message loop with the nested-pump hooks, and the program's
// own skin, built beside the test executable. All of it lives for the whole run.
#include <QApplication>

#include <cstdio>
#include <filesystem>

#include <gtest/gtest.h>

#include "base/message_loop.h"
#include "base/nested_pump_hooks.h"
#include "base/path_service.h"
#include "ui/control.h"
#include "ui/messages.h"
#include "ui/skin_manager.h"

int main(int argc, char** argv) {
  // Test discovery runs the executable without the test environment; it needs no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  base::MessageLoop loop(base::MessageLoop::TYPE_UI);
  tavio_ui::UIJoinMessageLoop(&loop);
  tavio_ui::Control::RegisterBeforePumpMessage(&base::BeforePumpMessage);
  tavio_ui::Control::RegisterAfterPumpMessage(&base::AfterPumpMessage);
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
