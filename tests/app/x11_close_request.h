// What the tests need of the X server directly: a window manager's close request, a window that
// covers the screen, and the stacking order. Kept apart from the tests because Xlib's macros
// clash with Qt and GoogleTest.
#pragma once

// Sends what a window manager sends on Alt+F4 or a click on its close box: a WM_DELETE_WINDOW
// client message.
bool SendCloseRequest(const char* display, unsigned long window);

// A plain window over the whole screen, mapped above every other window, until destroyed.
class CoveringWindow {
 public:
  explicit CoveringWindow(const char* display);
  ~CoveringWindow();
  CoveringWindow(const CoveringWindow&) = delete;
  CoveringWindow& operator=(const CoveringWindow&) = delete;

  unsigned long id() const { return window; }

 private:
  void* display = nullptr;
  unsigned long window = 0;
};

// True when `window` lies above `other` among the root window's children (no window manager
// runs on the test server, so the programs' windows are children of the root).
bool IsStackedAbove(const char* display, unsigned long window, unsigned long other);
