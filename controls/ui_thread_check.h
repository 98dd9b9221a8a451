// Debug check for the custom controls: they, like the UI library under them, belong to the thread
// of the Qt application object. Header only; any thread may ask.

#ifndef SONACLIP_CONTROLS_UI_THREAD_CHECK_H_
#define SONACLIP_CONTROLS_UI_THREAD_CHECK_H_

#include <QCoreApplication>
#include <QThread>

#include "base/logging.h"

namespace tavio_ui {

inline bool OnControlsThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return !app || app->thread() == QThread::currentThread();
}

}  // namespace tavio_ui

#define DCHECK_ON_CONTROLS_THREAD() \
  DCHECK(::tavio_ui::OnControlsThread()) << "custom controls are used on the UI thread only"

#endif  // SONACLIP_CONTROLS_UI_THREAD_CHECK_H_
