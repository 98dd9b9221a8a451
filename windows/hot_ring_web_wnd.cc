#include "windows/hot_ring_web_wnd.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "ui/button.h"
#include "ui/image.h"
#include "ui/web_control.h"
#include "windows/ring_search_service.h"
#include "windows/ring_search_url.h"

// The page of the web window: it follows links only to the addresses the window may show, and
// opens no other windows. Programmatic loads (the window's own pages) count as typed.
class HotRingWebWnd::GuardedPage : public QWebEnginePage {
 public:
  GuardedPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

  // True when the last navigation asked for was refused (the engine then reports a failed load
  // that is no failure of the page shown).
  bool refusedLast() const { return refused; }

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
    const bool typedOwnPage = type == NavigationTypeTyped &&
                              (url.scheme() == QLatin1String("data") || url == QUrl("about:blank"));
    const bool allowed = typedOwnPage || ringsearch::IsAllowedAddress(url.toString().toStdWString());
    if (isMainFrame) refused = !allowed;
    return allowed;
  }
  QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

 private:
  bool refused = false;
};

namespace {

constexpr wchar_t kWindowName[] = L"OtherRingWebWnd";
constexpr wchar_t kCaption[] = L"Tavio手机彩铃";
constexpr int kEndLoopCode = 8;
constexpr int kBackgroundImageType = 2;

}  // namespace

HotRingWebWnd::HotRingWebWnd(const std::wstring& url, const std::wstring& name)
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
  QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
  ringsearch::RingSearchService::InstallOn(profile);
  page = new GuardedPage(profile, web->view());
  web->view()->setPage(page);
  web->SetLoadFinishedHandler([this](bool ok) { OnLoadFinished(ok); });
  AddControl(web.get());
}

HotRingWebWnd::~HotRingWebWnd() {
  // The page may still report a load while the control goes.
  web->SetLoadFinishedHandler(nullptr);
}

int HotRingWebWnd::ShowOtherRings(const std::wstring& url, HWND ownerWindow) {
  HotRingWebWnd window(url, kWindowName);
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
  // The notice itself is a data page: should it ever fail, nothing is shown in its place again.
  if (ok || page->refusedLast() || web->view()->url().scheme() == QLatin1String("data")) return;
  web->view()->setHtml(QString::fromStdString(ringsearch::UnreachablePage()));
}
