// Window messages: posting from any thread through the joined UI task loop (or Qt's queue before
// one is joined), and delivery to the window's ProcessMessage on the main thread.
#include <mutex>

#include <QCoreApplication>
#include <QMetaObject>

#include "base/message_loop.h"
#include "ui/messages.h"
#include "ui/window.h"

namespace tavio_ui {

namespace {

// Guards g_loop: a worker may post while the main thread detaches the loop at shutdown. Posting
// only appends to the loop's queue, so holding the lock across it calls nothing back.
std::mutex g_loopLock;
base::MessageLoop* g_loop = nullptr;

}  // namespace

void UIJoinMessageLoop(base::MessageLoop* loop) {
  {
    std::lock_guard<std::mutex> lock(g_loopLock);
    g_loop = loop;
  }
  if (loop) {
    base::MessageLoop::SetDefaultMessageProcessor(
        [](const base::NativeMessage& message) { DispatchNativeMessage(message); });
  } else {
    base::MessageLoop::SetDefaultMessageProcessor(nullptr);
  }
}

bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (hwnd == 0) return false;
  const base::NativeMessage native{hwnd, message, wParam, lParam};
  {
    std::lock_guard<std::mutex> lock(g_loopLock);
    if (g_loop) return g_loop->PostNativeMessage(native);
  }
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return false;
  return QMetaObject::invokeMethod(
      app, [native] { DispatchNativeMessage(native); }, Qt::QueuedConnection);
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowContainer* window = WindowContainer::FromHWND(hwnd);
  if (!window) return 0;
  LRESULT result = 0;
  window->ProcessMessage(message, wParam, lParam, result);
  return result;
}

void PostQuitMessage(int exitCode) {
  if (base::PostQuitMessage(exitCode)) return;
  if (QCoreApplication* app = QCoreApplication::instance()) {
    QMetaObject::invokeMethod(
        app, [exitCode] { QCoreApplication::exit(exitCode); }, Qt::QueuedConnection);
  }
}

bool DispatchNativeMessage(const base::NativeMessage& message) {
  WindowContainer* window = WindowContainer::FromHWND(message.hwnd);
  if (!window) return false;
  LRESULT result = 0;
  window->ProcessMessage(message.message, message.wParam, message.lParam, result);
  return true;
}

}  // namespace tavio_ui
