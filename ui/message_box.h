// MessageBoxW: a modal message box over QMessageBox with the Win32 call shape: text, title,
// buttons (MB_OK, MB_YESNO ...) and icon (MB_ICONINFORMATION ...). Runs in a nested loop between
// the before-pump and after-pump hooks; the owner window, when given, takes no input meanwhile.
// Returns IDOK, IDYES, IDNO or IDCANCEL. Main thread only.
#pragma once

#include <functional>
#include <string>

#include "base/win_types.h"

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;

namespace tavio_ui {

int MessageBoxW(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

// What a message box was asked, as handed to a test answerer.
struct MessageBoxRequest {
  HWND owner = 0;
  std::wstring text;
  std::wstring caption;
  UINT type = 0;
};

// Tests of the program's windows answer message boxes through this instead of the screen: while
// set, MessageBoxW shows nothing and returns what the answerer gives. nullptr restores.
void SetMessageBoxAnswererForTesting(std::function<int(const MessageBoxRequest&)> answerer);

}  // namespace tavio_ui
