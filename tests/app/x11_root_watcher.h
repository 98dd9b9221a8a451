// The root window of the test display as a window manager and a launcher watch it: the
// activation requests (_NET_ACTIVE_WINDOW) and the startup notification messages sent to it.
// Xlib stays in its own source file, away from the names GoogleTest uses.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

class RootWatcher {
 public:
  explicit RootWatcher(const char* displayName);
  ~RootWatcher();
  RootWatcher(const RootWatcher&) = delete;
  RootWatcher& operator=(const RootWatcher&) = delete;

  bool opened() const { return display != nullptr; }

  // Reads what arrives until `done` is true or the limit has passed; false on the limit.
  bool WatchUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

  struct Activation {
    unsigned long window;
    long source;
    long time;
  };
  std::vector<std::string> startupMessages;  // whole messages, in arrival order
  std::vector<Activation> activations;

 private:
  void* display = nullptr;
  unsigned long begin = 0, more = 0, activeWindow = 0;
  std::map<unsigned long, std::string> pieces;  // by sending window
};
