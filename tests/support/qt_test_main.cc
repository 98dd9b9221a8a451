// Test entry for tests that build real Qt widgets: one QApplication on the main thread's stack for
// the whole run, gone before exit. CTest lists the cases by running the program outside the test
// environment, so without a platform chosen the offscreen one is used.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
