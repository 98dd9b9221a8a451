#include "app/main_thread_dispatcher.h"

#include "app/message_listener.h"
#include "ui/messages.h"
#include "ui/window.h"

MainThreadDispatcher::MainThreadDispatcher(tavio_ui::Window* window, MessageListener* listener)
    : window(window), listener(listener) {}

MainThreadDispatcher::~MainThreadDispatcher() = default;

uint32_t MainThreadDispatcher::Dispatch(const base::NativeMessage& message) {
  if (!firstPaintSeen && message.message == WM_PAINT) {
    firstPaintSeen = true;
    if (listener)
      listener->OnFirstPaint();
  }

  // The handle is read for every message: the window may be created, or recreated, after the
  // dispatcher was built.
  const HWND mainWindow = window ? window->GetHWND() : 0;
  if (listener && mainWindow != 0 && message.hwnd == mainWindow) {
    if (message.message == WM_SHOWWINDOW)
      listener->OnMainWindowShow();
    else if (message.message == WM_CLOSE)
      listener->OnMainWindowClose();
  }

  tavio_ui::DispatchNativeMessage(message);
  return 0;
}
