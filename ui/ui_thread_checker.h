// The thread of the UI library's free operations (the nested loop of modal windows, dialogs and
// message boxes), for the checks of code that has no control of its own to ask. Controls carry
// their own checker (Control::threadChecker); both are bound to the thread that first uses them,
// which is the Qt application's: the library and every control in it belong to that thread.
#pragma once

#include "base/thread_checker.h"

namespace tavio_ui {

// Bound by its first caller. Ask it through DCHECK_CALLED_ON_VALID_THREAD(UiThreadChecker()).
inline base::ThreadChecker& UiThreadChecker() {
  static base::ThreadChecker checker;
  return checker;
}

}  // namespace tavio_ui
