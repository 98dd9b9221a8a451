#include "windows/hot_ring_web_wnd.h"

#include <QString>
#include <QUrl>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "ui/button.h"
#include "ui/image.h"
#include "ui/web_control.h"
#include "windows/ring_search_service.h"
#include "windows/ring_search_url.h"

namespace {

constexpr wchar_t kWindowName[] = L"OtherRingWebWnd";
constexpr wchar_t kCaption[] = L"Tavio手机彩铃";
constexpr int kEndLoopCode = 8;
constexpr int kBackgroundImageType = 2;

}  // namespace

HotRingWebWnd::HotRingWebWnd(const std::wstring& url, const std::wstring& name,
                             ringweb::CreateViewFunction engine)
    : closeButton(std::make_unique<tavio_ui::Button>()),
      background(std::make_unique<tavio_ui::Image>()),
      web(std::make_unique<tavio_ui::WebControl>()),
      pageUrl(url),
      windowName(name) {
  SetName(windowName);
  SetCanSize(false);

  background->SetName(L"HotRingWndBackground");
  background->SetType(kBackgroundImageType);
  background->SetTransparent(true);
  AddControl(background.get());

  closeButton->SetName(L"HotRingWndClose");
  closeButton->SuppressCanFocus();
  closeButton->SetOnClick([this](tavio_ui::Control*) { OnCloseClicked(); });
  AddControl(closeButton.get());

  web->SetName(L"HotRingWeb");
  web->SetVisible(true);
  if (engine) {
    web->SetView(std::unique_ptr<tavio_ui::WebView>(
        engine(web->widget(), &ringsearch::RingSearchService::Instance())));
  }
  web->SetLoadFinishedHandler([this](bool ok) { OnLoadFinished(ok); });
  AddControl(web.get());
}

HotRingWebWnd::~HotRingWebWnd() {
  // The page may still report a load while the control goes.
  web->SetLoadFinishedHandler(nullptr);
}

int HotRingWebWnd::ShowOtherRings(const std::wstring& url, HWND ownerWindow) {
  const auto opened = std::chrono::steady_clock::now();
  return Show(url, ownerWindow, ringweb::LoadPlugin(ringweb::PluginPath()), opened);
}

int HotRingWebWnd::ShowOtherRings(const std::wstring& url, HWND ownerWindow,
                                  ringweb::CreateViewFunction engine) {
  return Show(url, ownerWindow, engine, std::chrono::steady_clock::now());
}

int HotRingWebWnd::Show(const std::wstring& url, HWND ownerWindow,
                        ringweb::CreateViewFunction engine,
                        std::chrono::steady_clock::time_point opened) {
  if (!engine) return kPageUnavailable;
  HotRingWebWnd window(url, kWindowName, engine);
  if (!window.web->view()) return kPageUnavailable;
  window.openedAt = opened;
  window.Create(ownerWindow);
  window.SetText(kCaption);
  window.web->Navigate(url);
  window.DoModal(nullptr);
  window.Destroy();
  return window.resultCode();
}

int HotRingWebWnd::ShowForSong(HWND ownerWindow, const std::wstring& songFileName) {
  return ShowOtherRings(RingSearchUrl(ringsearch::SongNameOf(songFileName)), ownerWindow);
}

void HotRingWebWnd::OnCloseClicked() {
  resultCodeValue = 0;
  EndLoopWnd(kEndLoopCode);
}

void HotRingWebWnd::OnLoadFinished(bool ok) {
  // With SONACLIP_TIMINGS set, the time from the opening (the plug-in's loading included) to the
  // first page loaded goes to standard error, for scripts/bench.
  if (ok && openedAt && std::getenv("SONACLIP_TIMINGS")) {
    const std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - *openedAt;
    std::fprintf(stderr, "sonaclip-timing web-page-ms=%.1f\n", took.count());
  }
  if (ok) openedAt.reset();
  tavio_ui::WebView* view = web->view();
  // The notice itself is a data page: should it ever fail, nothing is shown in its place again.
  if (ok || !view || view->RefusedLast() || view->Address().scheme() == QLatin1String("data"))
    return;
  view->ShowHtml(QString::fromStdString(ringsearch::UnreachablePage()));
}
