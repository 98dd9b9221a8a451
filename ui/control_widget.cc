#include "ui/control_widget.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QWindow>

#include "ui/control.h"
#include "ui/registries.h"
#include "ui/window.h"

namespace tavio_ui {

QString StyleSheetColor(SkColor c) {
  return QStringLiteral("rgba(%1,%2,%3,%4)")
      .arg(SkColorGetR(c))
      .arg(SkColorGetG(c))
      .arg(SkColorGetB(c))
      .arg(SkColorGetA(c));
}

namespace {

QWidget* g_cursorTarget = nullptr;

WPARAM KeyFlags(const QMouseEvent* event) {
  WPARAM flags = 0;
  const Qt::MouseButtons b = event->buttons();
  if (b & Qt::LeftButton) flags |= MK_LBUTTON;
  if (b & Qt::RightButton) flags |= MK_RBUTTON;
  if (b & Qt::MiddleButton) flags |= MK_MBUTTON;
  if (event->modifiers() & Qt::ShiftModifier) flags |= MK_SHIFT;
  if (event->modifiers() & Qt::ControlModifier) flags |= MK_CONTROL;
  return flags;
}

UINT DownMessage(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton: return WM_LBUTTONDOWN;
    case Qt::RightButton: return WM_RBUTTONDOWN;
    case Qt::MiddleButton: return WM_MBUTTONDOWN;
    default: return 0;
  }
}

UINT UpMessage(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton: return WM_LBUTTONUP;
    case Qt::RightButton: return WM_RBUTTONUP;
    case Qt::MiddleButton: return WM_MBUTTONUP;
    default: return 0;
  }
}

// Keeps count of the handlers running on a widget, so its control knows not to delete it.
class EventScope {
 public:
  explicit EventScope(int* depth) : depth(depth) { ++*this->depth; }
  ~EventScope() { --*depth; }

 private:
  int* depth;
};

}  // namespace

void SetCursorTarget(QWidget* widget) { g_cursorTarget = widget; }

HCURSOR LoadCursorW(const void* instance, int cursorId) {
  return static_cast<HCURSOR>(cursorId);
}

HCURSOR SetCursor(HCURSOR cursor) {
  if (!g_cursorTarget) return 0;
  const HCURSOR previous =
      g_cursorTarget->cursor().shape() == Qt::PointingHandCursor ? IDC_HAND : IDC_ARROW;
  switch (cursor) {
    case IDC_HAND: g_cursorTarget->setCursor(Qt::PointingHandCursor); break;
    case IDC_IBEAM: g_cursorTarget->setCursor(Qt::IBeamCursor); break;
    default: g_cursorTarget->unsetCursor(); break;
  }
  return previous;
}

ControlWidget::ControlWidget(Control* control) : hostedControl(control) {
  setMouseTracking(true);
  setAttribute(Qt::WA_NoMousePropagation, false);
}

ControlWidget::~ControlWidget() {
  if (g_cursorTarget == this) g_cursorTarget = nullptr;
  if (hostedControl) hostedControl->hostWidget = nullptr;
}

void ControlWidget::paintEvent(QPaintEvent*) {
  if (!hostedControl) return;
  EventScope scope(&eventDepth);
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.setRenderHint(QPainter::TextAntialiasing);
  SkCanvas canvas(&painter);
  hostedControl->DoPaint(&canvas);
}

namespace {

// A window whose modal child runs takes no mouse input.
bool Blocked(Control* control) {
  WindowContainer* window = control ? control->GetOwnerWindow() : nullptr;
  return window && window->IsInputBlocked();
}

}  // namespace

bool ControlWidget::Deliver(UINT message, QMouseEvent* event) {
  if (!hostedControl || message == 0) return false;
  if (Blocked(hostedControl)) return true;
  EventScope scope(&eventDepth);
  const QPoint p = event->position().toPoint();
  LRESULT result = 0;
  return hostedControl->ProcessMessage(message, KeyFlags(event), MAKELPARAM(p.x(), p.y()), result);
}

void ControlWidget::SendSetCursor() {
  if (!hostedControl) return;
  EventScope scope(&eventDepth);
  SetCursorTarget(this);
  LRESULT result = 0;
  hostedControl->ProcessMessage(WM_SETCURSOR, 0, 0, result);
  SetCursorTarget(nullptr);
}

void ControlWidget::mousePressEvent(QMouseEvent* event) {
  if (!Deliver(DownMessage(event->button()), event)) event->ignore();
}

void ControlWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  // Controls take a quick second click as another press (spin buttons stepping twice).
  mousePressEvent(event);
}

void ControlWidget::mouseMoveEvent(QMouseEvent* event) {
  SendSetCursor();
  if (!Deliver(WM_MOUSEMOVE, event)) event->ignore();
}

void ControlWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (!Deliver(UpMessage(event->button()), event)) event->ignore();
}

void ControlWidget::enterEvent(QEnterEvent*) { SendSetCursor(); }

void ControlWidget::leaveEvent(QEvent*) {
  if (!hostedControl) return;
  EventScope scope(&eventDepth);
  LRESULT result = 0;
  hostedControl->ProcessMessage(WM_MOUSELEAVE, 0, 0, result);
}

FormWidget::FormWidget(WindowContainer* window) : ControlWidget(window) {}

FormWidget::~FormWidget() = default;

WindowContainer* FormWidget::window() const { return static_cast<WindowContainer*>(hostedControl); }

void FormWidget::paintEvent(QPaintEvent* event) {
  ControlWidget::paintEvent(event);
  if (hostedControl) window()->OnNativePainted();
}

void FormWidget::mousePressEvent(QMouseEvent* event) {
  if (Deliver(DownMessage(event->button()), event)) return;
  // A press no control took drags a frameless window, as its caption would.
  if (event->button() == Qt::LeftButton && (windowFlags() & Qt::FramelessWindowHint) &&
      windowHandle()) {
    windowHandle()->startSystemMove();
  }
}

void FormWidget::closeEvent(QCloseEvent* event) {
  // The window manager asks; the window decides when WM_CLOSE reaches it.
  event->ignore();
  if (hostedControl) window()->OnNativeCloseRequest();
}

void FormWidget::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (hostedControl) window()->OnNativeShown(true);
}

void FormWidget::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (hostedControl) window()->OnNativeShown(false);
}

void FormWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (hostedControl) hostedControl->OnBoundsChanged(hostedControl->GetPos());
}

namespace {

std::vector<std::wstring> LocalFiles(const QMimeData* mime) {
  std::vector<std::wstring> paths;
  if (!mime || !mime->hasUrls()) return paths;
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdWString());
  }
  return paths;
}

}  // namespace

void FormWidget::dragEnterEvent(QDragEnterEvent* event) {
  if (hostedControl && !Blocked(hostedControl) && acceptDrops() && !LocalFiles(event->mimeData()).empty()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void FormWidget::dragMoveEvent(QDragMoveEvent* event) {
  if (hostedControl && acceptDrops() && !LocalFiles(event->mimeData()).empty()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void FormWidget::dropEvent(QDropEvent* event) {
  std::vector<std::wstring> paths = LocalFiles(event->mimeData());
  if (!hostedControl || Blocked(hostedControl) || !acceptDrops() || paths.empty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  const QPoint p = event->position().toPoint();
  window()->OnNativeDrop(paths, POINT{p.x(), p.y()});
}

}  // namespace tavio_ui
