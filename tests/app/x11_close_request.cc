#include "tests/app/x11_close_request.h"

#include <X11/Xlib.h>

bool SendCloseRequest(const char* displayName, unsigned long window) {
  Display* display = XOpenDisplay(displayName);
  if (!display)
    return false;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  XCloseDisplay(display);
  return sent != 0;
}

CoveringWindow::CoveringWindow(const char* displayName) {
  Display* display = XOpenDisplay(displayName);
  if (!display)
    return;
  this->display = display;
  const int screen = DefaultScreen(display);
  window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0,
                                static_cast<unsigned>(DisplayWidth(display, screen)),
                                static_cast<unsigned>(DisplayHeight(display, screen)), 0,
                                BlackPixel(display, screen), BlackPixel(display, screen));
  XMapRaised(display, window);
  XSync(display, False);
}

CoveringWindow::~CoveringWindow() {
  if (!display)
    return;
  Display* display = static_cast<Display*>(this->display);
  XDestroyWindow(display, window);
  XCloseDisplay(display);
}

bool IsStackedAbove(const char* displayName, unsigned long window, unsigned long other) {
  Display* display = XOpenDisplay(displayName);
  if (!display)
    return false;
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  int windowAt = -1, otherAt = -1;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
    // Bottom first.
    for (unsigned int i = 0; i < count; ++i) {
      if (children[i] == window)
        windowAt = static_cast<int>(i);
      if (children[i] == other)
        otherAt = static_cast<int>(i);
    }
    XFree(children);
  }
  XCloseDisplay(display);
  return windowAt >= 0 && otherAt >= 0 && windowAt > otherAt;
}
