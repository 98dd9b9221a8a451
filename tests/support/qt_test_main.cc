// Test entry for tests that build real Qt widgets: one QApplication on the main thread's stack for
// the whole run, gone before exit, and Qt's pool threads gone with it, so the leak check at exit
// sees only what the tests left. CTest lists the cases by running the program outside the test
// environment, so without a platform chosen the offscreen one is used.
#include <QApplication>

#include <gtest/gtest.h>

#include "base/qt_pool_threads.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int result = 0;
  {
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  base::EndQtPoolThreads();
  return result;
}
