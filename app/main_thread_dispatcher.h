// MainThreadDispatcher: sees every window message the main loop takes from its queue, tells the
// listener (the module) when the main window is shown or asked to close and when the program
// paints for the first time, then delivers the message to its window.
//
// Built by the run operation around the main loop's run and borrowed by the loop for that run;
// the window and the listener must outlive it. Main thread only.
#pragma once

#include <cstdint>

#include "base/message_loop.h"

namespace tavio_ui {
class Window;
}

class MessageListener;

class MainThreadDispatcher : public base::MessagePumpDispatcher {
 public:
  // window: the main window, whose current handle decides which messages are "its"; may be null.
  MainThreadDispatcher(tavio_ui::Window* window, MessageListener* listener);
  ~MainThreadDispatcher() override;

  MainThreadDispatcher(const MainThreadDispatcher&) = delete;
  MainThreadDispatcher& operator=(const MainThreadDispatcher&) = delete;

  // Listener first, then delivery to the window (what TranslateMessage and DispatchMessageW do),
  // once per message; returns 0: the loop carries on and processes nothing more itself.
  uint32_t Dispatch(const base::NativeMessage& message) override;

 private:
  tavio_ui::Window* window;
  MessageListener* listener;
  bool firstPaintSeen = false;
};
