#include "ui/window.h"

#include <unordered_map>

#include <QEventLoop>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <QScreen>
#include <QWindow>

#include "ui/control_widget.h"
#include "ui/drag_drop.h"
#include "ui/registries.h"

namespace tavio_ui {

namespace {

std::unordered_map<HWND, WindowContainer*>& Handles() {
  static std::unordered_map<HWND, WindowContainer*> handles;
  return handles;
}

// Handles are never reused within a run, so a stale one can never reach a newer window.
HWND g_nextHandle = 0x10010;

}  // namespace

HWND RegisterWindowHandle(WindowContainer* window) {
  const HWND hwnd = g_nextHandle;
  g_nextHandle += 4;
  Handles()[hwnd] = window;
  return hwnd;
}

void UnregisterWindowHandle(HWND hwnd) { Handles().erase(hwnd); }

WindowContainer* WindowContainer::FromHWND(HWND hwnd) {
  auto it = Handles().find(hwnd);
  return it == Handles().end() ? nullptr : it->second;
}

bool Window::PostMessageW(UINT message, WPARAM wParam, LPARAM lParam) const {
  return PostMessage(hwnd, message, wParam, lParam);
}

WindowContainer::WindowContainer() {
  // A window is backed by a top-level widget instead of the plain control widget.
  FormWidget* form = new FormWidget(this);
  form->hide();
  form->setAttribute(Qt::WA_DeleteOnClose, false);
  ReplaceWidget(form);
}

WindowContainer::~WindowContainer() {
  *alive = false;
  if (modalLoop) modalLoop->exit(IDCANCEL);
  if (hwnd) {
    ReleaseDropsOf(hwnd);
    UnregisterWindowHandle(hwnd);
    hwnd = 0;
  }
}

HWND WindowContainer::Create(HWND owner) {
  if (hwnd) return hwnd;
  this->owner = owner;
  WindowClass windowClass;
  DWORD style = this->style;
  DWORD exStyle = this->exStyle;
  CreateParams(windowClass, style, exStyle);
  this->windowClass = windowClass;
  this->style = style;
  this->exStyle = exStyle;
  if (this->exStyle & WS_EX_ACCEPTFILES) acceptFiles = true;
  hwnd = RegisterWindowHandle(this);
  firstPaintPosted = false;
  ApplyStyles();
  if (QWidget* w = widget()) {
    w->setAcceptDrops(acceptFiles);
    if (this->windowClass.icon && !this->windowClass.icon->empty()) {
      w->setWindowIcon(QIcon(QPixmap::fromImage(this->windowClass.icon->image())));
    }
    w->setWindowTitle(QString::fromStdWString(title));
  }
  LRESULT result = 0;
  ProcessMessage(WM_CREATE, 0, 0, result);
  OnCreate();
  return hwnd;
}

void WindowContainer::Destroy() {
  if (!hwnd) return;
  if (modalLoop) EndLoopWnd(IDCANCEL);
  if (QWidget* w = widget()) w->hide();
  LRESULT result = 0;
  ProcessMessage(WM_DESTROY, 0, 0, result);
  ReleaseDropsOf(hwnd);
  UnregisterWindowHandle(hwnd);
  hwnd = 0;
}

void WindowContainer::ApplyStyles() {
  QWidget* w = widget();
  if (!w) return;
  Qt::WindowFlags flags = Qt::Window;
  if (style & WS_CAPTION) {
    flags |= Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint;
    if (style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
    if (style & WS_MAXIMIZEBOX) flags |= Qt::WindowMaximizeButtonHint;
  } else {
    flags |= Qt::FramelessWindowHint;
  }
  if (exStyle & WS_EX_TOOLWINDOW) flags |= Qt::Tool;
  if (exStyle & WS_EX_TOPMOST) flags |= Qt::WindowStaysOnTopHint;
  if (w->windowFlags() != flags) {
    const bool wasVisible = w->isVisible();
    w->setWindowFlags(flags);  // hides the window
    if (wasVisible) w->show();
  }
  const QSize size = w->size();
  if (style & WS_THICKFRAME) {
    w->setMinimumSize(0, 0);
    w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  } else if (!size.isEmpty()) {
    w->setFixedSize(size);
  }
}

void WindowContainer::SetText(const std::wstring& text) {
  title = text;
  if (QWidget* w = widget()) w->setWindowTitle(QString::fromStdWString(text));
  UpdateAccessibleName();
}

std::wstring WindowContainer::GetText() const { return title; }

void WindowContainer::SetVisible(bool visible) {
  Control::SetVisible(visible);
  QWidget* w = widget();
  if (!w) return;
  if (visible && !hwnd) Create(0);
  w->setVisible(visible);
}

void WindowContainer::SetPos(const RECT* rect) {
  QWidget* w = widget();
  if (!rect || !w) return;
  const CRect r(*rect);
  if (style & WS_THICKFRAME) {
    w->resize(std::max(0, r.Width()), std::max(0, r.Height()));
  } else {
    w->setFixedSize(std::max(0, r.Width()), std::max(0, r.Height()));
  }
  w->move(r.left, r.top);
  OnBoundsChanged(GetPos());
}

void WindowContainer::Centerize(const RECT* reference) {
  QWidget* w = widget();
  if (!w) return;
  QRect area;
  if (reference) {
    const CRect r(*reference);
    area = QRect(r.left, r.top, r.Width(), r.Height());
  } else if (WindowContainer* owner = FromHWND(this->owner); owner && owner->widget() &&
                                                       owner->widget()->isVisible()) {
    area = owner->widget()->frameGeometry();
  } else {
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    area = screen->availableGeometry();
  }
  const QSize size = w->frameGeometry().size().expandedTo(w->size());
  w->move(area.x() + (area.width() - size.width()) / 2,
          area.y() + (area.height() - size.height()) / 2);
}

void WindowContainer::BringToFront() {
  QWidget* w = widget();
  if (!w) return;
  if (w->isMinimized()) w->showNormal();
  w->raise();
  w->activateWindow();
}

int WindowContainer::DoModal(const RECT* rect) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  QWidget* w = widget();
  if (!w || modalLoop) return -1;
  if (!hwnd) Create(owner);
  if (rect) {
    SetPos(rect);
  } else {
    Centerize(nullptr);
  }
  // Application-modal: the owner (and every other window) takes no input, without looking
  // disabled.
  w->setWindowModality(Qt::ApplicationModal);
  if (WindowContainer* owner = FromHWND(this->owner); owner && owner->widget()) {
    w->winId();
    if (w->windowHandle() && owner->widget()->windowHandle()) {
      w->windowHandle()->setTransientParent(owner->widget()->windowHandle());
    }
  }
  Control::SetVisible(true);
  w->show();
  w->raise();
  w->activateWindow();

  WindowContainer* owner = FromHWND(this->owner);
  const HWND ownerHandle = this->owner;
  if (owner) ++owner->inputBlocked;

  QEventLoop loop;
  modalLoop = &loop;
  modalResult = IDCANCEL;
  const std::shared_ptr<bool> alive = this->alive;
  RunNestedPump([&loop] { return loop.exec(QEventLoop::DialogExec); },
                [this] { EndLoopWnd(IDCANCEL); });
  // The owner may have gone meanwhile; look it up again.
  if (WindowContainer* after = FromHWND(ownerHandle); after && after == owner) --after->inputBlocked;
  // Destroyed while its loop ran (the destructor ended the loop): nothing of it is left to touch.
  if (!*alive) return IDCANCEL;
  modalLoop = nullptr;

  Control::SetVisible(false);
  w->hide();
  w->setWindowModality(Qt::NonModal);
  return modalResult;
}

void WindowContainer::EndLoopWnd(int code) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  if (!modalLoop) return;
  modalResult = code;
  modalLoop->exit(code);
}

void WindowContainer::DragAcceptFiles(bool accept) {
  acceptFiles = accept;
  if (accept) {
    exStyle |= WS_EX_ACCEPTFILES;
  } else {
    exStyle &= ~WS_EX_ACCEPTFILES;
  }
  if (QWidget* w = widget()) w->setAcceptDrops(accept);
}

bool WindowContainer::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                     LRESULT& result) {
  if (message == WM_CLOSE) {
    result = 0;
    if (modalLoop) {
      EndLoopWnd(IDCANCEL);
    } else {
      Destroy();
    }
    return true;
  }
  return Container::ProcessMessage(message, wParam, lParam, result);
}

void WindowContainer::CreateParams(WindowClass& windowClass, DWORD& style, DWORD& exStyle) {
  if (windowClass.className.empty()) windowClass.className = L"TavioUIWindow";
}

void WindowContainer::OnCreate() {}

const wchar_t* WindowContainer::GetClass() const { return L"WindowContainer"; }

bool WindowContainer::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, L"WindowContainer", name, out) || Container::AsClass(name, out);
}

void WindowContainer::OnNativeShown(bool shown) {
  if (hwnd) PostMessage(hwnd, WM_SHOWWINDOW, shown ? 1 : 0, 0);
}

void WindowContainer::OnNativePainted() {
  if (!hwnd || firstPaintPosted) return;
  // Qt paints on its own; the dispatcher only needs to learn that a first paint happened.
  firstPaintPosted = true;
  PostMessage(hwnd, WM_PAINT, 0, 0);
}

void WindowContainer::OnNativeCloseRequest() {
  if (hwnd) PostMessage(hwnd, WM_CLOSE, 0, 0);
}

}  // namespace tavio_ui
