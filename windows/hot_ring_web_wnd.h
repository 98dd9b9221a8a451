// HotRingWebWnd: the modal window with the web page of rings other people made for the current
// song. The ring editor's "TryOtherSong" link counts its click and calls ShowForSong; the window
// is built, shown modally over the main window and destroyed before the call returns. Its web
// control goes only to http, https and the built-in ring search service (see ring_search_url.h);
// a page that cannot be loaded is replaced by a short page saying the service cannot be reached.
//
// Main thread only. The built-in service's scheme must have been registered before QApplication
// (ringsearch::RegisterRingSearchScheme, from the program's start-up).
#pragma once

#include <memory>
#include <string>

#include "base/win_types.h"
#include "ui/form.h"

namespace tavio_ui {
class Button;
class Image;
class WebControl;
}  // namespace tavio_ui

class HotRingWebWnd : public tavio_ui::Form {
 public:
  HotRingWebWnd(const std::wstring& url, const std::wstring& name);
  ~HotRingWebWnd() override;

  // Builds the window for url, shows it modally over ownerWindow until its close button ends
  // it, destroys it and returns its result code (0).
  static int ShowOtherRings(const std::wstring& url, HWND ownerWindow);
  // The link's whole work after counting the click: the page for the song's file name (its last
  // extension removed), shown over ownerWindow.
  static int ShowForSong(HWND ownerWindow, const std::wstring& songFileName);

  int resultCode() const { return resultCodeValue; }
  tavio_ui::WebControl* webControl() const { return web.get(); }

 private:
  class GuardedPage;

  void OnCloseClicked();
  void OnLoadFinished(bool ok);

  std::unique_ptr<tavio_ui::Button> closeButton;
  std::unique_ptr<tavio_ui::Image> background;
  std::unique_ptr<tavio_ui::WebControl> web;
  GuardedPage* page = nullptr;  // owned by the web control's view
  int resultCodeValue = 0;
  std::wstring pageUrl;
  std::wstring windowName;
};
