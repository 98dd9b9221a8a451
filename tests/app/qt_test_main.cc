// Test entry for tests that need Qt widgets: the application object lives on the main thread's
// stack for the whole run (offscreen unless the environment says otherwise) and dies before exit.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // Test discovery runs the executable outside the test environment; it needs no display either.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
