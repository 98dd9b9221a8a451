// WebControl: a control showing a web page. The browser engine is not part of the program: the
// control shows a WebView that a web engine plug-in made (SetView), and does nothing but keep its
// place while it has none, so a window with a web control opens whether or not the engine loads.
// Main thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/control.h"
#include "ui/web_view.h"

namespace tavio_ui {

class WebControl : public Control {
 public:
  WebControl();
  ~WebControl() override;

  // Takes the view the control shows, made with widget() as its parent.
  void SetView(std::unique_ptr<WebView> view);
  WebView* view() const { return webView.get(); }

  // Loads the address (text as given; non-ASCII characters and spaces are encoded for the
  // request). An empty or malformed address shows an empty page.
  void Navigate(const std::wstring& url);
  // The address last navigated to, as the engine has it (encoded); empty without a view.
  std::wstring GetUrl() const;
  // Called on the main thread when a page finished loading (ok false on failure).
  void SetLoadFinishedHandler(std::function<void(bool ok)> handler);

  void OnBoundsChanged(const CRect& bounds) override;
  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;

 private:
  std::unique_ptr<WebView> webView;
  std::function<void(bool)> loadFinished;
};

}  // namespace tavio_ui
