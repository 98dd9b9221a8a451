// WebView: a browser view that a web engine plug-in makes for a WebControl. The control shows the
// view's widget as its own child, owns the view and forwards to it; nothing of the browser engine
// is linked into the program. Made and used on the main thread.
#pragma once

#include <functional>

class QString;
class QUrl;
class QWidget;

namespace tavio_ui {

class WebView {
 public:
  virtual ~WebView() = default;

  // The view's widget, a child of the widget it was made in; it goes with the view.
  virtual QWidget* Widget() = 0;
  virtual void Load(const QUrl& address) = 0;
  // Shows html as a page of its own (no base address: it loads nothing from elsewhere).
  virtual void ShowHtml(const QString& html) = 0;
  // The address shown, as the engine has it.
  virtual QUrl Address() const = 0;
  // True when the last navigation the page asked for was refused by the view's rule; the engine
  // then reports a failed load that is no failure of the page shown.
  virtual bool RefusedLast() const = 0;
  // Called on the main thread when a page finished loading (ok false on failure).
  virtual void SetLoadFinishedHandler(std::function<void(bool ok)> handler) = 0;
};

}  // namespace tavio_ui
