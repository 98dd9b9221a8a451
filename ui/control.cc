#include "ui/control.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <optional>
#include <set>

#include <QFont>
#include <QPainter>

#include "base/message_loop.h"
#include "base/strings.h"
#include "ui/container.h"
#include "ui/control_widget.h"
#include "ui/registries.h"
#include "ui/skin_manager.h"
#include "ui/ui_thread_checker.h"
#include "ui/window.h"

namespace tavio_ui {

namespace {

std::function<bool()>& BeforePumpHook() {
  static std::function<bool()> hook;
  return hook;
}
std::function<void(bool)>& AfterPumpHook() {
  static std::function<void(bool)> hook;
  return hook;
}
unsigned long g_mainThreadId = 0;

std::set<Control*>& LiveControls() {
  static std::set<Control*> controls;
  return controls;
}

bool IsMouseDown(UINT m) {
  return m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN || m == WM_MBUTTONDOWN ||
         m == WM_LBUTTONDBLCLK || m == WM_RBUTTONDBLCLK || m == WM_MBUTTONDBLCLK;
}
bool IsMouseUp(UINT m) { return m == WM_LBUTTONUP || m == WM_RBUTTONUP || m == WM_MBUTTONUP; }

}  // namespace

void RegisterLiveControl(Control* control) { LiveControls().insert(control); }
void UnregisterLiveControl(Control* control) { LiveControls().erase(control); }

void ReapplySkinToLiveControls() {
  // Copy first: a skin change may create or destroy controls.
  std::vector<Control*> controls(LiveControls().begin(), LiveControls().end());
  // Unnamed controls too: their style holds the skin's defaults.
  for (Control* c : controls) {
    if (LiveControls().count(c)) c->SetName(c->GetName());
  }
}

void ForgetSkinItemsOf(const SkinManager* manager) {
  for (Control* c : LiveControls()) {
    if (c->skinItem && c->skinItem->manager() == manager) {
      c->skinItem = nullptr;
      c->skinStyle = ControlStyle::Read(nullptr);
    }
  }
}

bool RunBeforePumpHook() {
  auto hook = BeforePumpHook();
  return hook ? hook() : false;
}
void RunAfterPumpHook(bool state) {
  auto hook = AfterPumpHook();
  if (hook) hook(state);
}

int RunNestedPump(const std::function<int()>& exec, std::function<void()> onQuit) {
  DCHECK_CALLED_ON_VALID_THREAD(UiThreadChecker()) << "modal loops run on the UI thread";
  const bool hookState = RunBeforePumpHook();
  int result = 0;
  {
    std::optional<base::NestedPumpScope> scope;
    base::MessageLoop* loop = base::MessageLoop::current();
    if (loop && loop->type() == base::MessageLoop::TYPE_UI) scope.emplace(std::move(onQuit));
    result = exec();
  }
  RunAfterPumpHook(hookState);
  return result;
}

Control::Control() {
  // Every control lives on the one thread of the library, not merely on the one creating it.
  DCHECK_CALLED_ON_VALID_THREAD(UiThreadChecker()) << "controls are created on the UI thread";
  InstallAccessibleFactory();
  hostWidget = new ControlWidget(this);
  hostWidget->hide();
  RegisterLiveControl(this);
}

Control::~Control() {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  UnregisterLiveControl(this);
  if (parent) parent->RemoveControl(this);
  if (hostWidget) {
    ControlWidget* w = hostWidget;
    hostWidget = nullptr;
    w->Detach();
    if (w->InEventHandler()) {
      // Destroyed from inside one of its own event handlers (a click that closes its window):
      // Qt must finish that handler first.
      w->hide();
      w->setParent(nullptr);
      w->deleteLater();
    } else {
      delete w;
    }
  }
}

void Control::SetName(const std::wstring& name) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  this->name = name;
  hostWidget ? hostWidget->setObjectName(QString::fromStdWString(name)) : void();
  ApplySkin();
  // After the skin: its entry may name the control for readers.
  UpdateAccessibleName();
}

void Control::ApplySkin() {
  SkinManager* manager = SkinManager::Current();
  SkinItem* item = manager && !name.empty() ? manager->GetItem(name) : nullptr;
  DoSkinChanged(item != nullptr, item);
  if (item && skinPosEnabled) {
    if (item->HasRect()) {
      CRect r = item->GetRect();
      SetPos(&r);
    } else if (item->GetSize().cx > 0 && item->GetSize().cy > 0) {
      CRect pos = GetPos();
      CRect r(pos.left, pos.top, pos.left + item->GetSize().cx, pos.top + item->GetSize().cy);
      SetPos(&r);
    }
  }
}

const wchar_t* Control::GetClass() const { return L"Control"; }

bool Control::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, L"Control", name, out);
}

void Control::SetPos(const RECT* rect) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  if (!rect || !hostWidget) return;
  const CRect r(*rect);
  hostWidget->setGeometry(r.left, r.top, std::max(0, r.Width()), std::max(0, r.Height()));
  OnBoundsChanged(GetPos());
}

CRect Control::GetPos() const {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  if (!hostWidget) return CRect();
  const QRect g = hostWidget->geometry();
  return CRect::FromXYWH(g.x(), g.y(), g.width(), g.height());
}

CRect Control::GetClientRect() const { return CRect(0, 0, GetWidth(), GetHeight()); }
int Control::GetWidth() const { return hostWidget ? hostWidget->width() : 0; }
int Control::GetHeight() const { return hostWidget ? hostWidget->height() : 0; }

CSize Control::GetPreferredSize() {
  if (skinItem) {
    CSize s = skinItem->GetSize();
    if (s.cx > 0 && s.cy > 0) return s;
    if (const SkinImage* image = skinItem->GetImage("normal")) return image->size();
  }
  return CSize(GetWidth(), GetHeight());
}

void Control::OnBoundsChanged(const CRect& bounds) {}

void Control::SetText(const std::wstring& text) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  if (text == this->text) return;
  this->text = text;
  UpdateAccessibleName();
  Invalidate(nullptr);
}

std::wstring Control::GetText() const {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  return text;
}

void Control::SetVisible(bool visible) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  this->visible = visible;
  // A control outside any container must not turn into a top-level window of its own.
  if (hostWidget && (parent || hostWidget->parentWidget())) hostWidget->setVisible(visible);
}

void Control::SetEnabled(bool enabled) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  if (this->enabled == enabled) return;
  this->enabled = enabled;
  if (!enabled) {
    pressed = false;
    hovered = false;
  }
  if (hostWidget) hostWidget->setEnabled(enabled);
  Invalidate(nullptr);
}

bool Control::GetEnabled(bool checkParents) const {
  if (!enabled) return false;
  if (!checkParents) return true;
  for (Container* p = parent; p; p = p->parent) {
    if (!p->enabled) return false;
  }
  return true;
}

void Control::SetTransparent(bool transparent) {
  this->transparent = transparent;
  Invalidate(nullptr);
}

void Control::SetTextColor(unsigned int argb) {
  textColor = argb;
  Invalidate(nullptr);
}

void Control::SetBold(bool bold) {
  this->bold = bold;
  boldSet = true;
  ApplyFont();
  Invalidate(nullptr);
}

bool Control::IsBold() const {
  if (boldSet) return bold;
  return skinItem ? skinItem->GetFont().bold : false;
}

void Control::SuppressCanFocus() {
  canFocus = false;
  if (hostWidget) hostWidget->setFocusPolicy(Qt::NoFocus);
}

bool Control::CanFocus() const { return canFocus; }

void Control::SetOnClick(ClickHandler handler) {
  onClick = std::move(handler);
}

bool Control::IsClickable() const { return clickable || static_cast<bool>(onClick); }

bool Control::PerformClick() {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  if (!IsClickable() || !GetEnabled(true)) return false;
  for (const Control* c = this; c; c = c->parent) {
    if (!c->visible) return false;
  }
  FireClick();  // may destroy this control
  return true;
}

std::wstring Control::GetAccessibleName() const {
  std::wstring shown = AccessibleText();
  if (!shown.empty()) return shown;
  return skinStyle.accessibleName;
}

void Control::SetToolTip(const std::wstring& tip) {
  toolTip = tip;
  if (hostWidget) hostWidget->setToolTip(QString::fromStdWString(tip));
}

AccessibleRole Control::GetAccessibleRole() { return AccessibleRole::kByClass; }

bool Control::GetAccessibleValue(AccessibleValue* value) { return false; }

bool Control::SetAccessibleValue(double value) { return false; }

std::wstring Control::AccessibleText() const { return text; }

void Control::Invalidate(const RECT* rect) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  if (!hostWidget) return;
  if (rect) {
    const CRect r(*rect);
    hostWidget->update(r.left, r.top, r.Width(), r.Height());
  } else {
    hostWidget->update();
  }
}

void Control::SetMouseCapture(bool capture) {
  if (this->capture == capture) return;
  this->capture = capture;
  if (!hostWidget || !hostWidget->isVisible()) return;
  // Qt already sends every move to the widget that took the press; an explicit grab keeps that
  // true for captures taken without a press.
  if (capture) {
    hostWidget->grabMouse();
  } else {
    hostWidget->releaseMouse();
  }
}

WindowContainer* Control::GetOwnerWindow() const {
  const Control* c = this;
  while (c->parent) c = c->parent;
  void* out = nullptr;
  if (const_cast<Control*>(c)->AsClass(L"WindowContainer", &out)) {
    return static_cast<WindowContainer*>(out);
  }
  return nullptr;
}

QWidget* Control::widget() const { return hostWidget; }

const char* Control::CurrentState() const {
  if (!GetEnabled(true)) return "disabled";
  if (pressed && hovered) return "pressed";
  if (hovered || pressed) return "hover";
  return "normal";
}

void Control::RegisterBeforePumpMessage(std::function<bool()> hook) {
  BeforePumpHook() = std::move(hook);
}

void Control::RegisterAfterPumpMessage(std::function<void(bool)> hook) {
  AfterPumpHook() = std::move(hook);
}

void Control::SetMainThreadId(unsigned long threadId) { g_mainThreadId = threadId; }

unsigned long Control::GetMainThreadId() {
  return g_mainThreadId ? g_mainThreadId : static_cast<unsigned long>(::getpid());
}

bool Control::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (IsMouseDown(message)) return DoMouseDown(message, wParam, lParam, result);
  if (message == WM_MOUSEMOVE) return DoMouseMove(message, wParam, lParam, result);
  if (IsMouseUp(message)) return DoMouseUp(message, wParam, lParam, result);
  if (message == WM_MOUSELEAVE) {
    DoMouseLeave();
    return true;
  }
  if (message == WM_SETCURSOR) {
    SetCursor(LoadCursorW(nullptr, handCursor && GetEnabled(true) ? IDC_HAND : IDC_ARROW));
    result = 1;
    return true;
  }
  return false;
}

void Control::DoPaint(SkCanvas* canvas) {
  if (!transparent && skinStyle.back) {
    SkPaint paint;
    paint.setColor(*skinStyle.back);
    SkRect r;
    r.set(GetClientRect());
    canvas->drawRect(r, paint);
  }
  PaintSkinImage(canvas, CurrentState(), GetClientRect());
}

bool Control::DoMouseDown(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message != WM_LBUTTONDOWN && message != WM_LBUTTONDBLCLK) return IsClickable();
  if (!IsClickable() || !GetEnabled(true)) return false;
  pressed = true;
  hovered = true;
  Invalidate(nullptr);
  return true;
}

bool Control::DoMouseMove(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  const bool inside =
      GetClientRect().PtInRect(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
  if (inside != hovered) {
    hovered = inside;
    Invalidate(nullptr);
  }
  return IsClickable();
}

bool Control::DoMouseUp(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message != WM_LBUTTONUP) return IsClickable();
  if (!pressed) return IsClickable();
  pressed = false;
  Invalidate(nullptr);
  const bool inside =
      GetClientRect().PtInRect(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
  if (inside && GetEnabled(true)) FireClick();  // may destroy this control
  return true;
}

void Control::DoMouseLeave() {
  if (!hovered && !pressed) return;
  hovered = false;
  Invalidate(nullptr);
}

void Control::DoSkinChanged(bool changed, SkinItem* item) {
  skinItem = changed ? item : nullptr;
  skinStyle = ControlStyle::Read(skinItem);
  ApplyFont();
  Invalidate(nullptr);
}

void Control::OnParentChanged() {}

void Control::ReplaceWidget(ControlWidget* replacement) {
  ControlWidget* old = hostWidget;
  hostWidget = replacement;
  if (old) {
    old->Detach();
    delete old;
  }
}

void Control::FireClick() {
  // A copy, so the handler may replace itself or destroy this control.
  ClickHandler handler = onClick;
  if (handler) handler(this);
}

void Control::PaintSkinImage(SkCanvas* canvas, const std::string& state, const CRect& rect) {
  if (rect.IsRectEmpty()) return;
  const SkinImage* image = skinStyle.looks.Get(state);
  if (!image) return;
  image->Draw(*canvas->painter(), QRectF(rect.left, rect.top, rect.Width(), rect.Height()),
              skinStyle.ninePatch);
}

SkColor Control::EffectiveTextColor() const {
  if (!GetEnabled(true) && skinStyle.disabledText) return *skinStyle.disabledText;
  if (textColor) return *textColor;
  if (hovered && skinStyle.hoverText) return *skinStyle.hoverText;
  return skinStyle.text.value_or(skinStyle.defaultText);
}

void Control::ApplyFont() {
  if (!hostWidget) return;
  SkinFont skinFont;
  if (skinItem) {
    skinFont = skinItem->GetFont();
  } else if (SkinManager* manager = SkinManager::Current()) {
    skinFont = manager->GetDefaultFont();
  }
  QFont font = hostWidget->font();
  if (!skinFont.family.empty()) font.setFamily(QString::fromStdWString(skinFont.family));
  if (skinFont.pixelSize > 0) font.setPixelSize(skinFont.pixelSize);
  font.setBold(boldSet ? bold : skinFont.bold);
  font.setStyleStrategy(QFont::PreferAntialias);
  hostWidget->setFont(font);
}

void Control::UpdateAccessibleName() {
  if (!hostWidget) return;
  const QString name = QString::fromStdWString(GetAccessibleName());
  if (hostWidget->accessibleName() == name) return;
  hostWidget->setAccessibleName(name);
  NotifyAccessibleNameChanged(this);
}

void Control::DeliverMouse(UINT message, WPARAM wParam, int x, int y) {
  LRESULT result = 0;
  ProcessMessage(message, wParam, MAKELPARAM(x, y), result);
}

}  // namespace tavio_ui
