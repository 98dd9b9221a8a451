// The few Win32 names the program's code is written against, as plain integer types.
//
// Window handles are opaque ids handed out by the UI library (0 means "no window"); message
// values are the Win32 ones so the program's message handling reads as it was designed. Only
// the values the task runtime itself needs live here; the UI library adds its own in ui/.
// Plain data: usable from any thread.
#pragma once

#include <cstdint>

using HWND = std::uintptr_t;
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using DWORD = std::uint32_t;
using BOOL = int;

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_TIMER = 0x0113;
