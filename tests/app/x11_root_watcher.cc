#include "tests/app/x11_root_watcher.h"

#include <X11/Xlib.h>

#include <thread>

RootWatcher::RootWatcher(const char* displayName) {
  Display* display = XOpenDisplay(displayName);
  if (!display) return;
  this->display = display;
  XSelectInput(display, DefaultRootWindow(display), PropertyChangeMask | SubstructureNotifyMask);
  begin = XInternAtom(display, "_NET_STARTUP_INFO_BEGIN", False);
  more = XInternAtom(display, "_NET_STARTUP_INFO", False);
  activeWindow = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
  XSync(display, False);
}

RootWatcher::~RootWatcher() {
  if (display) XCloseDisplay(static_cast<Display*>(display));
}

bool RootWatcher::WatchUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  Display* display = static_cast<Display*>(this->display);
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    while (display && XPending(display)) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type != ClientMessage) continue;
      const XClientMessageEvent& message = event.xclient;
      if (message.message_type == begin || message.message_type == more) {
        std::string& text = pieces[message.window];
        if (message.message_type == begin) text.clear();
        text.append(message.data.b, 20);
        if (const size_t nul = text.find('\0'); nul != std::string::npos) {
          startupMessages.push_back(text.substr(0, nul));
          pieces.erase(message.window);
        }
      } else if (message.message_type == activeWindow && message.format == 32) {
        activations.push_back({message.window, message.data.l[0], message.data.l[1]});
      }
    }
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}
