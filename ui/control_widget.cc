#include "ui/control_widget.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QWindow>

#include <optional>

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
// The modifiers of the key message being delivered, for GetKeyState; unset between them.
std::optional<Qt::KeyboardModifiers> g_keyModifiers;

// The virtual-key code of a Qt key; 0 for keys the controls have no use for.
WPARAM VirtualKeyOf(int key) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<WPARAM>('A' + (key - Qt::Key_A));
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<WPARAM>('0' + (key - Qt::Key_0));
  switch (key) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_BracketLeft: return VK_OEM_4;
    case Qt::Key_BracketRight: return VK_OEM_6;
    default: return 0;
  }
}

// Sets the modifiers GetKeyState answers with while one key message is delivered.
class KeyModifiersScope {
 public:
  explicit KeyModifiersScope(Qt::KeyboardModifiers modifiers) : previous(g_keyModifiers) {
    g_keyModifiers = modifiers;
  }
  ~KeyModifiersScope() { g_keyModifiers = previous; }

 private:
  std::optional<Qt::KeyboardModifiers> previous;
};

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

short GetKeyState(int virtualKey) {
  const Qt::KeyboardModifiers modifiers =
      g_keyModifiers ? *g_keyModifiers : QGuiApplication::keyboardModifiers();
  Qt::KeyboardModifier wanted = Qt::NoModifier;
  switch (virtualKey) {
    case VK_SHIFT: wanted = Qt::ShiftModifier; break;
    case VK_CONTROL: wanted = Qt::ControlModifier; break;
    case VK_MENU: wanted = Qt::AltModifier; break;
    default: return 0;
  }
  return (modifiers & wanted) ? static_cast<short>(0x8000) : 0;
}

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

void ControlWidget::keyPressEvent(QKeyEvent* event) {
  const WPARAM key = VirtualKeyOf(event->key());
  if (!hostedControl || key == 0 || Blocked(hostedControl)) {
    event->ignore();
    return;
  }
  EventScope scope(&eventDepth);
  KeyModifiersScope modifiers(event->modifiers());
  const LPARAM flags = 1 | (event->isAutoRepeat() ? kKeyRepeatFlag : 0);
  LRESULT result = 0;
  // The control may be destroyed by its handling (a key that closes its window): the event's
  // fate is decided before.
  const bool handled = hostedControl->ProcessMessage(WM_KEYDOWN, key, flags, result);
  event->setAccepted(handled);
}

void ControlWidget::leaveEvent(QEvent*) {
  if (!hostedControl) return;
  EventScope scope(&eventDepth);
  LRESULT result = 0;
  hostedControl->ProcessMessage(WM_MOUSELEAVE, 0, 0, result);
}

FormWidget::FormWidget(WindowContainer* window) : ControlWidget(window) {
  // The window itself holds the keyboard until an edit is clicked or tabbed into, and takes it
  // back on a click anywhere else (a click on a control that takes no focus gives it to the
  // first parent that does): its keys work without an edit having to be left first.
  setFocusPolicy(Qt::ClickFocus);
}

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
  // Qt would give the first edit the focus when the window becomes active.
  if (!focusWidget()) setFocus(Qt::OtherFocusReason);
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
