// Window and WindowContainer: a top-level window of the skinned UI library. Window carries the
// window handle, an opaque id looked up in a registry, so a message posted to a window that has
// gone is dropped harmlessly. WindowContainer is the container that fills such a window: Create
// gives it a handle (WM_CREATE, then OnCreate), messages posted to the handle reach its
// ProcessMessage on the main thread, and DoModal runs a nested loop until EndLoopWnd.
//
// The window manager's close (Alt+F4, the title bar's button) reaches ProcessMessage as a posted
// WM_CLOSE, so closing is the window's choice: the default handling ends a modal loop (with
// IDCANCEL) or closes a modeless window. The first paint and each show/hide are posted as
// WM_PAINT and WM_SHOWWINDOW so the main loop's dispatcher sees them. Main thread only.
#pragma once

#include <memory>
#include <string>

#include "ui/container.h"

class QEventLoop;

// Window styles read by Create (what CreateParams returns).
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD WS_EX_ACCEPTFILES = 0x00000010;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;
constexpr DWORD WS_EX_LAYERED = 0x00080000;

// Results of modal loops and message boxes.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

namespace tavio_ui {

// What a window is created with, besides its styles.
struct WindowClass {
  std::wstring className;
  // Window icon (task bar, window switcher); null for none.
  std::shared_ptr<SkBitmap> icon;
};

class Window {
 public:
  Window() = default;
  virtual ~Window() = default;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // 0 until Create and again after the window is destroyed.
  HWND GetHWND() const { return hwnd; }
  // Posts to this window (any thread may call the free tavio_ui::PostMessage with the handle).
  bool PostMessageW(UINT message, WPARAM wParam, LPARAM lParam) const;

 protected:
  HWND hwnd = 0;
};

class WindowContainer : public Container, public Window {
 public:
  WindowContainer();
  ~WindowContainer() override;

  // Gives the window its handle (owner: 0 for a top-level window, else the window that owns this
  // one: it stays under it and takes no input while this one runs modally). Applies
  // CreateParams, sends WM_CREATE to ProcessMessage, then OnCreate. The window stays hidden until
  // SetVisible(true) or DoModal. A second Create returns the existing handle.
  virtual HWND Create(HWND owner);
  // Hides the window, sends WM_DESTROY and releases the handle. Create may run again later.
  void Destroy();
  HWND GetOwnerHWND() const { return owner; }

  // The window's title (caption bar, task bar, accessibility).
  void SetText(const std::wstring& text) override;
  std::wstring GetText() const override;
  void SetVisible(bool visible) override;
  // For a window: position on the screen and size.
  void SetPos(const RECT* rect) override;
  // Centres the window on reference (screen coordinates), or when null on its owner, or on the
  // screen.
  virtual void Centerize(const RECT* reference);
  // Raises and activates the window.
  virtual void BringToFront();
  // Layered (translucent) windows are drawn opaque here; the flag is kept.
  void SetLayered(bool layered) { this->layered = layered; }
  bool IsLayered() const { return layered; }

  // Shows the window modally (centred on its owner unless rect gives its screen rectangle), runs
  // a nested message loop between the before-pump and after-pump hooks (so the main loop's tasks
  // and timers keep running) until EndLoopWnd, hides it and returns EndLoopWnd's code. The owner
  // is disabled meanwhile. A WM_QUIT ends the loop with IDCANCEL and reaches the outer loop too.
  int DoModal(const RECT* rect = nullptr);
  // Ends the modal loop with code; ignored when no modal loop of this window runs.
  void EndLoopWnd(int code);
  bool IsModal() const { return modalLoop != nullptr; }
  // True while a modal window owned by this one runs: the window then takes no mouse input and
  // no drops, as a disabled Win32 owner.
  bool IsInputBlocked() const { return inputBlocked > 0; }

  // Accepts files dropped from the desktop: each drop arrives as a posted WM_DROPFILES whose
  // wParam is an HDROP (see ui/drag_drop.h).
  void DragAcceptFiles(bool accept);

  // Default window handling: WM_CLOSE ends a modal loop with IDCANCEL or closes the window.
  bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  // Window class and styles for Create. Base: caption, system menu, sizable frame.
  virtual void CreateParams(WindowClass& windowClass, DWORD& style, DWORD& exStyle);
  // After WM_CREATE, with the handle set.
  virtual void OnCreate();

  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;

  // The live window of a handle, or null (stale or unknown handle).
  static WindowContainer* FromHWND(HWND hwnd);

 protected:
  // Re-applies styles (caption, sizing) to the live window.
  void ApplyStyles();
  // A reader names the window by its title.
  std::wstring AccessibleText() const override { return title; }
  DWORD style = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
  DWORD exStyle = 0;

 private:
  friend class ControlWidget;
  friend class FormWidget;
  void OnNativeShown(bool shown);
  void OnNativePainted();
  void OnNativeCloseRequest();
  void OnNativeDrop(const std::vector<std::wstring>& paths, POINT at);

  HWND owner = 0;
  bool layered = false;
  bool acceptFiles = false;
  bool firstPaintPosted = false;
  std::wstring title;
  WindowClass windowClass;
  QEventLoop* modalLoop = nullptr;
  int modalResult = 0;
  int inputBlocked = 0;
  // False once destroyed: a window may be destroyed while its own modal loop runs.
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

}  // namespace tavio_ui
