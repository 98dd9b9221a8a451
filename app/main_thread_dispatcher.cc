#include "app/main_thread_dispatcher.h"

#include "app/message_listener.h"
#include "ui/messages.h"
#include "ui/window.h"

MainThreadDispatcher::MainThreadDispatcher(tavio_ui::Window* window, MessageListener* listener)
    : window_(window), listener_(listener) {}

MainThreadDispatcher::~MainThreadDispatcher() = default;

uint32_t MainThreadDispatcher::Dispatch(const base::NativeMessage& message) {
  if (!firstPaintSeen_ && message.message == WM_PAINT) {
    firstPaintSeen_ = true;
    if (listener_)
      listener_->OnFirstPaint();
  }

  // The handle is read for every message: the window may be created, or recreated, after the
  // dispatcher was built.
  const HWND mainWindow = window_ ? window_->GetHWND() : 0;
  if (listener_ && mainWindow != 0 && message.hwnd == mainWindow) {
    if (message.message == WM_SHOWWINDOW)
      listener_->OnMainWindowShow();
    else if (message.message == WM_CLOSE)
      listener_->OnMainWindowClose();
  }

  tavio_ui::DispatchNativeMessage(message);
  return 0;
}
