#include "ui/web_control.h"

#include <QUrl>
#include <QWidget>

namespace tavio_ui {

WebControl::WebControl() = default;

WebControl::~WebControl() {
  // The view's widget is a child of ours: it goes first, while the handler can no longer run.
  if (webView) webView->SetLoadFinishedHandler(nullptr);
  webView.reset();
}

void WebControl::SetView(std::unique_ptr<WebView> view) {
  if (webView) webView->SetLoadFinishedHandler(nullptr);
  webView = std::move(view);
  if (!webView) return;
  webView->SetLoadFinishedHandler([this](bool ok) {
    std::function<void(bool)> handler = loadFinished;
    if (handler) handler(ok);
  });
  QWidget* shown = webView->Widget();
  shown->setGeometry(0, 0, widget()->width(), widget()->height());
  shown->show();
}

void WebControl::Navigate(const std::wstring& url) {
  if (!webView) return;
  const QUrl address(QString::fromStdWString(url), QUrl::TolerantMode);
  webView->Load(address.isValid() ? address : QUrl(QStringLiteral("about:blank")));
}

std::wstring WebControl::GetUrl() const {
  if (!webView) return {};
  return QString::fromUtf8(webView->Address().toEncoded()).toStdWString();
}

void WebControl::SetLoadFinishedHandler(std::function<void(bool)> handler) {
  loadFinished = std::move(handler);
}

void WebControl::OnBoundsChanged(const CRect& bounds) {
  if (webView) webView->Widget()->setGeometry(0, 0, bounds.Width(), bounds.Height());
}

const wchar_t* WebControl::GetClass() const { return L"WebControl"; }

bool WebControl::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, L"WebControl", name, out) || Control::AsClass(name, out);
}

}  // namespace tavio_ui
