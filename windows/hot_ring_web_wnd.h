// HotRingWebWnd: the modal window with the web page of rings other people made for the current
// song. The ring editor's "TryOtherSong" link counts its click and calls ShowForSong; the window
// is built, shown modally over the main window and destroyed before the call returns. Its web
// control goes only to http, https and the built-in ring search service (see ring_search_url.h);
// a page that cannot be loaded is replaced by a short page saying the service cannot be reached.
// The browser view comes from the web plug-in (ring_web_plugin.h), loaded on the first opening:
// without it no window opens and the callers say the page cannot be shown.
//
// Main thread only.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "base/win_types.h"
#include "ui/form.h"
#include "windows/ring_web_plugin.h"

namespace tavio_ui {
class Button;
class Image;
class WebControl;
}  // namespace tavio_ui

class HotRingWebWnd : public tavio_ui::Form {
 public:
  // What ShowOtherRings answers when the browser view cannot be made (no window was shown).
  static constexpr int kPageUnavailable = -1;

  // The window's browser view is made by engine (none when engine is null or fails).
  HotRingWebWnd(const std::wstring& url, const std::wstring& name,
                ringweb::CreateViewFunction engine);
  ~HotRingWebWnd() override;

  // Builds the window for url, shows it modally over ownerWindow until its close button ends
  // it, destroys it and returns its result code (0); kPageUnavailable when engine is null or
  // makes no view. Without engine, the plug-in beside the program.
  static int ShowOtherRings(const std::wstring& url, HWND ownerWindow);
  static int ShowOtherRings(const std::wstring& url, HWND ownerWindow,
                            ringweb::CreateViewFunction engine);
  // The link's whole work after counting the click: the page for the song's file name (its last
  // extension removed), shown over ownerWindow.
  static int ShowForSong(HWND ownerWindow, const std::wstring& songFileName);

  int resultCode() const { return resultCodeValue; }
  tavio_ui::WebControl* webControl() const { return web.get(); }

 private:
  // opened: when the opening began (the plug-in's loading included), for the timings.
  static int Show(const std::wstring& url, HWND ownerWindow, ringweb::CreateViewFunction engine,
                  std::chrono::steady_clock::time_point opened);
  void OnCloseClicked();
  void OnLoadFinished(bool ok);

  std::unique_ptr<tavio_ui::Button> closeButton;
  std::unique_ptr<tavio_ui::Image> background;
  std::unique_ptr<tavio_ui::WebControl> web;
  int resultCodeValue = 0;
  // When the opening began, until the first page has loaded.
  std::optional<std::chrono::steady_clock::time_point> openedAt;
  std::wstring pageUrl;
  std::wstring windowName;
};
