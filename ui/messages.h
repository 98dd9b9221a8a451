// Window message values, mouse-key flags and parameter packing of the skinned UI library, on top
// of the handle and message types of base/win_types.h, plus the free functions that move window
// messages: PostMessage (any thread), PostQuitMessage, UIJoinMessageLoop and the dispatch that
// the main loop's dispatcher runs for every message (main thread).
//
// Messages travel as base::NativeMessage records through the UI task loop joined with
// UIJoinMessageLoop, so the loop's dispatcher sees them in posting order, exactly as it would see
// a Win32 queue. Before a loop is joined (small tests of a single control), posted messages go
// through Qt's own event queue instead.
#pragma once

#include <cstdint>

#include "base/win_types.h"

namespace base {
class MessageLoop;
struct NativeMessage;
}  // namespace base

// Some C headers define these as macros already.
#ifndef TRUE
constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
constexpr BOOL FALSE = 0;
#endif

constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_DROPFILES = 0x0233;
constexpr UINT WM_MOUSEHOVER = 0x02A1;
constexpr UINT WM_MOUSELEAVE = 0x02A3;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// Keys and buttons held during a mouse message (its wParam).
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;

// Virtual-key codes of WM_KEYDOWN's wParam: letters and digits are their upper-case ASCII codes.
constexpr WPARAM VK_BACK = 0x08;
constexpr WPARAM VK_TAB = 0x09;
constexpr WPARAM VK_RETURN = 0x0D;
constexpr WPARAM VK_SHIFT = 0x10;
constexpr WPARAM VK_CONTROL = 0x11;
constexpr WPARAM VK_MENU = 0x12;  // Alt
constexpr WPARAM VK_ESCAPE = 0x1B;
constexpr WPARAM VK_SPACE = 0x20;
constexpr WPARAM VK_PRIOR = 0x21;  // Page Up
constexpr WPARAM VK_NEXT = 0x22;   // Page Down
constexpr WPARAM VK_END = 0x23;
constexpr WPARAM VK_HOME = 0x24;
constexpr WPARAM VK_LEFT = 0x25;
constexpr WPARAM VK_UP = 0x26;
constexpr WPARAM VK_RIGHT = 0x27;
constexpr WPARAM VK_DOWN = 0x28;
constexpr WPARAM VK_DELETE = 0x2E;
constexpr WPARAM VK_OEM_4 = 0xDB;  // '[' on a US keyboard
constexpr WPARAM VK_OEM_6 = 0xDD;  // ']'
// WM_KEYDOWN's lParam: bit 30 is set for a key held down (an automatic repeat).
constexpr LPARAM kKeyRepeatFlag = LPARAM{1} << 30;

// Cursor ids for tavio_ui::LoadCursorW.
constexpr int IDC_ARROW = 32512;
constexpr int IDC_IBEAM = 32513;
constexpr int IDC_HAND = 32649;

// Mouse messages carry x in the low and y in the high 16 bits of lParam, both signed.
inline LPARAM MAKELPARAM(int low, int high) {
  return static_cast<LPARAM>(static_cast<std::uint32_t>(static_cast<std::uint16_t>(low)) |
                             (static_cast<std::uint32_t>(static_cast<std::uint16_t>(high)) << 16));
}
inline std::uint16_t LOWORD(std::uintptr_t v) { return static_cast<std::uint16_t>(v & 0xFFFF); }
inline std::uint16_t HIWORD(std::uintptr_t v) {
  return static_cast<std::uint16_t>((v >> 16) & 0xFFFF);
}
inline int GET_X_LPARAM(LPARAM lp) {
  return static_cast<std::int16_t>(LOWORD(static_cast<std::uintptr_t>(lp)));
}
inline int GET_Y_LPARAM(LPARAM lp) {
  return static_cast<std::int16_t>(HIWORD(static_cast<std::uintptr_t>(lp)));
}

namespace tavio_ui {

// Hands the main thread's UI task loop to the library: posted window messages travel through it
// from now on, and its default processing delivers them to the windows. nullptr detaches (call it
// before the loop is destroyed). Main thread.
void UIJoinMessageLoop(base::MessageLoop* loop);

// Queues a message for a window; safe from any thread. Returns false when hwnd is 0. A message
// for a window that no longer exists is dropped when its turn comes.
bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Delivers a message at once to the window's ProcessMessage (main thread) and returns its result;
// 0 for an unknown window.
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Ends the joined main loop with exit code (WM_QUIT). Main thread.
void PostQuitMessage(int exitCode);

// What Win32's TranslateMessage + DispatchMessageW do for one message taken from the queue: the
// window's ProcessMessage, then the library's default handling. Returns false when the handle
// names no live window. The main loop's dispatcher calls this. Main thread.
bool DispatchNativeMessage(const base::NativeMessage& message);

// Whether a key is down, as Win32's GetKeyState tells it: negative (the high bit set) while it is.
// For VK_SHIFT, VK_CONTROL and VK_MENU; while a key message is delivered, their state with it.
short GetKeyState(int virtualKey);

// Cursor handles for the WM_SETCURSOR handlers of custom controls:
// SetCursor(LoadCursorW(nullptr, IDC_HAND)) shows the hand over the control being asked.
using HCURSOR = std::uintptr_t;
HCURSOR LoadCursorW(const void* instance, int cursorId);
HCURSOR SetCursor(HCURSOR cursor);

}  // namespace tavio_ui
