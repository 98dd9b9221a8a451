// The UI library's own bookkeeping (library-internal): the live controls re-skinned when the skin
// changes, the window handles, the widget asked WM_SETCURSOR, the drops of each window, and the
// pump hooks every nested Qt loop runs between. Main thread only.
#pragma once

#include <functional>

#include "base/win_types.h"

class QWidget;

namespace tavio_ui {

class Control;
class SkinManager;
class WindowContainer;

// Live controls (for re-skinning).
void RegisterLiveControl(Control* control);
void UnregisterLiveControl(Control* control);
void ReapplySkinToLiveControls();
void ForgetSkinItemsOf(const SkinManager* manager);

// Window handles.
HWND RegisterWindowHandle(WindowContainer* window);
void UnregisterWindowHandle(HWND hwnd);

// Cursor requests (SetCursor) go to the widget being asked WM_SETCURSOR.
void SetCursorTarget(QWidget* widget);

// Drops of a window are released with it.
void ReleaseDropsOf(HWND hwnd);

// The pump hooks registered with Control, run around every nested loop.
bool RunBeforePumpHook();
void RunAfterPumpHook(bool state);

// Runs exec (a nested Qt loop: QEventLoop::exec, QDialog::exec) between the pump hooks and inside
// base::NestedPumpScope when a UI task loop is current; a WM_QUIT taken meanwhile calls onQuit,
// which must make exec return. Returns what exec returns.
int RunNestedPump(const std::function<int()>& exec, std::function<void()> onQuit);

}  // namespace tavio_ui
