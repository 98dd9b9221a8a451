// WebControl: a control showing a web page, on Qt WebEngine. It lives in its own library
// (tavio_ui_web) so only the program, which opens the web window, loads the browser engine.
// Running as root, Chromium needs its sandbox off: the control sets QTWEBENGINE_CHROMIUM_FLAGS to
// --no-sandbox before the engine starts when the variable is unset. For a quiet start the
// application should set Qt::AA_ShareOpenGLContexts before creating QApplication. Main thread.
#pragma once

#include <functional>
#include <string>

#include "ui/control.h"

class QWebEngineView;

namespace tavio_ui {

class WebControl : public Control {
 public:
  WebControl();
  ~WebControl() override;

  // Loads the address (text as given; non-ASCII characters and spaces are encoded for the
  // request). An empty or malformed address shows an empty page.
  void Navigate(const std::wstring& url);
  // The address last navigated to, as the engine has it (encoded).
  std::wstring GetUrl() const;
  // Called on the main thread when a page finished loading (ok false on failure).
  void SetLoadFinishedHandler(std::function<void(bool ok)> handler);

  void OnBoundsChanged(const CRect& bounds) override;
  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;

  QWebEngineView* view() const { return webView; }

 private:
  QWebEngineView* webView = nullptr;  // child of this control's widget
  std::function<void(bool)> loadFinished;
};

}  // namespace tavio_ui
