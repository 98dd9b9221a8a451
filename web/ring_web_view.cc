// The web plug-in: the web window's view on Qt WebEngine, with the built-in ring search
// service's scheme served through the program's PageHost. Everything here runs on the main
// thread, in the program's own QApplication, which was created long before this library loaded.
#include <unistd.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIODevice>
#include <QOpenGLContext>
#include <QPointer>
#include <QQuickWindow>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <type_traits>

#include "windows/ring_search_url.h"
#include "windows/ring_web_plugin.h"

namespace {

// Forwards every request of the built-in scheme to the program's host.
class SchemeHandler : public QWebEngineUrlSchemeHandler {
 public:
  SchemeHandler(ringweb::PageHost* host, QObject* parent)
      : QWebEngineUrlSchemeHandler(parent), host(host) {}

  void requestStarted(QWebEngineUrlRequestJob* job) override {
    if (job->requestMethod() != "GET") {
      job->fail(QWebEngineUrlRequestJob::RequestDenied);
      return;
    }
    QByteArray type;
    QIODevice* body = nullptr;
    if (!host->Answer(job->requestUrl(), &type, &body) || !body) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    // The engine reads the body while the job lives; it goes with the job.
    QObject::connect(job, &QObject::destroyed, body, &QObject::deleteLater);
    job->reply(type, body);
  }

 private:
  ringweb::PageHost* host;  // lives for the whole run (see PageHost)
};

// Follows links only to the addresses the host allows, and opens no other windows. The view's
// own loads of data: pages and about:blank count as typed and always may.
class GuardedPage : public QWebEnginePage {
 public:
  GuardedPage(QWebEngineProfile* profile, ringweb::PageHost* host, QObject* parent)
      : QWebEnginePage(profile, parent), host(host) {}

  bool refusedLast() const { return refused; }

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
    const bool typedOwnPage = type == NavigationTypeTyped &&
                              (url.scheme() == QLatin1String("data") || url == QUrl("about:blank"));
    const bool allowed = typedOwnPage || host->MayShow(url);
    if (isMainFrame) refused = !allowed;
    return allowed;
  }
  QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

 private:
  ringweb::PageHost* host;
  bool refused = false;
};

class RingWebView : public tavio_ui::WebView {
 public:
  RingWebView(QWidget* parent, QWebEngineProfile* profile, ringweb::PageHost* host)
      : view(new QWebEngineView(parent)) {
    view->setContextMenuPolicy(Qt::NoContextMenu);
    page = new GuardedPage(profile, host, view);
    view->setPage(page);
    QObject::connect(view, &QWebEngineView::loadFinished, [this](bool ok) {
      std::function<void(bool)> handler = loadFinished;
      if (handler) handler(ok);
    });
  }
  ~RingWebView() override {
    // The parent may have taken the view with it already.
    if (view) {
      QObject::disconnect(view, nullptr, nullptr, nullptr);
      delete view.data();
    }
  }

  QWidget* Widget() override { return view; }
  void Load(const QUrl& address) override { view->setUrl(address); }
  void ShowHtml(const QString& html) override { view->setHtml(html); }
  QUrl Address() const override { return view->url(); }
  bool RefusedLast() const override { return page->refusedLast(); }
  void SetLoadFinishedHandler(std::function<void(bool)> handler) override {
    loadFinished = std::move(handler);
  }

 private:
  QPointer<QWebEngineView> view;
  GuardedPage* page = nullptr;  // owned by the view
  std::function<void(bool)> loadFinished;
};

// What the engine needs once per process, before its first object: Chromium's flags, the
// built-in scheme (the engine fixes its list of schemes when it starts) and the OpenGL context it
// shares with Qt, which the program did not create at start-up so that runs without this window
// never load a GL driver. On a display that composes windows with OpenGL but gives no OpenGL
// context (X without GLX or EGL) the view's widget would bring the program down with it as soon
// as it paints: there is no view then, unless Qt Quick was told to render in software
// (QT_QUICK_BACKEND=software) from the start. The offscreen platform paints it without OpenGL.
bool CanPaintTheView() {
  if (QQuickWindow::sceneGraphBackend() == QLatin1String("software") ||
      qEnvironmentVariable("QT_QUICK_BACKEND") == QLatin1String("software") ||
      QGuiApplication::platformName() == QLatin1String("offscreen")) {
    return true;
  }
  QOpenGLContext probe;
  return probe.create();
}

QWebEngineProfile* StartEngine(ringweb::PageHost* host) {
  static QWebEngineProfile* profile = nullptr;
  if (profile) return profile;
  if (!CanPaintTheView()) return nullptr;
  // Chromium refuses to start its sandbox as root; the page is the only content we load.
  if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS")) {
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
  }
  if (QWebEngineUrlScheme::schemeByName(ringsearch::kScheme).name() != ringsearch::kScheme) {
    QWebEngineUrlScheme scheme(ringsearch::kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // A local scheme: its own pages may load its rings, pages from the network may not.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme |
                    QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(scheme);
  }
  QtWebEngineQuick::initialize();
  profile = QWebEngineProfile::defaultProfile();
  profile->installUrlSchemeHandler(ringsearch::kScheme, new SchemeHandler(host, profile));
  return profile;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) tavio_ui::WebView* RingWebCreateView(
    QWidget* parent, ringweb::PageHost* host) {
  if (!parent || !host || !QCoreApplication::instance()) return nullptr;
  QWebEngineProfile* profile = StartEngine(host);
  return profile ? new RingWebView(parent, profile, host) : nullptr;
}

static_assert(std::is_same_v<decltype(&RingWebCreateView), ringweb::CreateViewFunction>,
              "the export has the seam's type");
