#include "ui/web_control.h"

#include <unistd.h>

#include <QUrl>
#include <QWebEngineView>

namespace tavio_ui {

WebControl::WebControl() {
  // Chromium refuses to start its sandbox as root; the page is the only content we load.
  if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS")) {
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
  }
  webView = new QWebEngineView(widget());
  webView->setContextMenuPolicy(Qt::NoContextMenu);
  QObject::connect(webView, &QWebEngineView::loadFinished, [this](bool ok) {
    std::function<void(bool)> handler = loadFinished;
    if (handler) handler(ok);
  });
  webView->show();
}

WebControl::~WebControl() { QObject::disconnect(webView, nullptr, nullptr, nullptr); }

void WebControl::Navigate(const std::wstring& url) {
  const QUrl address(QString::fromStdWString(url), QUrl::TolerantMode);
  webView->setUrl(address.isValid() ? address : QUrl(QStringLiteral("about:blank")));
}

std::wstring WebControl::GetUrl() const {
  return QString::fromUtf8(webView->url().toEncoded()).toStdWString();
}

void WebControl::SetLoadFinishedHandler(std::function<void(bool)> handler) {
  loadFinished = std::move(handler);
}

void WebControl::OnBoundsChanged(const CRect& bounds) {
  webView->setGeometry(0, 0, bounds.Width(), bounds.Height());
}

const wchar_t* WebControl::GetClass() const { return L"WebControl"; }

bool WebControl::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, L"WebControl", name, out) || Control::AsClass(name, out);
}

}  // namespace tavio_ui
