// The entry of the secondary windows' tests: a QApplication (offscreen unless the environment
// says otherwise), the main thread's UI task loop with the pump hooks the modal loops run
// between, and the program's own skin from beside the test, as the program sets them up.
#pragma once

#include <functional>

// Runs every test; beforeApplication runs first, for what must happen before QApplication.
int RunWindowTests(int argc, char** argv, const std::function<void()>& beforeApplication = {});
