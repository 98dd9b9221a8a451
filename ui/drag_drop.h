// Files dropped on a window, in the Win32 shape: a window opts in (DragAcceptFiles), each drop
// arrives as a posted WM_DROPFILES whose wParam is an HDROP, the window asks it for the count and
// each path, then DragFinish releases it. Drops not finished are released with their window.
// Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "base/win_types.h"
#include "ui/messages.h"

namespace tavio_ui {

using HDROP = std::uintptr_t;

void DragAcceptFiles(HWND hwnd, BOOL accept);
// index 0xFFFFFFFF: the number of files. buffer null: the length of path index (without the
// terminating NUL). Otherwise copies at most size - 1 characters and a NUL into buffer and
// returns the number copied (a longer path is cut). 0 for an unknown drop or index.
UINT DragQueryFileW(HDROP drop, UINT index, wchar_t* buffer, UINT size);
// The whole path of file index, empty when there is none.
std::wstring DragQueryFile(HDROP drop, UINT index);
void DragFinish(HDROP drop);

}  // namespace tavio_ui
