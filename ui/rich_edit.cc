#include "ui/rich_edit.h"

#include <QEvent>
#include <QLineEdit>

#include "ui/control_widget.h"
#include "ui/skin_manager.h"

namespace tavio_ui {

namespace {

// Repaints the frame when the editor gains or loses focus (the frame shows focus).
class FocusFrame : public QObject {
 public:
  explicit FocusFrame(QWidget* frame) : QObject(frame), frame(frame) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) frame->update();
    return false;
  }

 private:
  QWidget* frame;
};

}  // namespace

EditStyle EditStyle::Read(const SkinItem* item) {
  const SkinDefaults& defaults = SkinManager::CurrentDefaults();
  EditStyle style;
  style.insets = item && !item->GetPadding().empty() ? item->GetPadding() : defaults.editPadding;
  style.selection = defaults.editSelection;
  if (item) item->ReadColorAttribute("selection", &style.selection);
  return style;
}

RichEdit::RichEdit(std::shared_ptr<EditMenuRunner> menuRunner)
    : menuRunner(std::move(menuRunner)) {
  SetTransparent(true);
  edit = new QLineEdit(widget());
  edit->setFrame(false);
  edit->setAttribute(Qt::WA_MacShowFocusRect, false);
  if (this->menuRunner) {
    edit->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(edit, &QLineEdit::customContextMenuRequested, [this](const QPoint& at) {
      const QPoint global = edit->mapToGlobal(at);
      auto runner = this->menuRunner;
      runner->RunMenu(this, POINT{global.x(), global.y()});
    });
  } else {
    edit->setContextMenuPolicy(Qt::NoContextMenu);
  }
  QObject::connect(edit, &QLineEdit::textChanged, [this](const QString&) {
    std::function<void(Control*)> handler = textChanged;
    if (!handler) return;
    const std::shared_ptr<bool> alive = this->alive;
    ++reporting;
    handler(this);  // may destroy this control
    if (*alive) --reporting;
  });
  edit->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; border: none; }"));
  edit->installEventFilter(new FocusFrame(widget()));
  edit->show();
}

RichEdit::~RichEdit() {
  *alive = false;
  // No text-changed call may reach a half-destroyed edit.
  QObject::disconnect(edit, nullptr, nullptr, nullptr);
  if (reporting > 0) {
    // Destroyed by a text-changed report: the editor is still handling the change that raised
    // it, so it leaves this control's widget now and goes once its handling is over.
    edit->hide();
    edit->setParent(nullptr);
    edit->deleteLater();
  }
}

void RichEdit::SetText(const std::wstring& text) {
  Control::SetText(text);
  // Last: the change is reported from inside setText, and the report may destroy this control.
  const QString q = QString::fromStdWString(text);
  if (edit->text() != q) edit->setText(q);
}

std::wstring RichEdit::GetText() const { return edit->text().toStdWString(); }

void RichEdit::SetReadOnly(bool readOnly) { edit->setReadOnly(readOnly); }

bool RichEdit::GetReadOnly() const { return edit->isReadOnly(); }

void RichEdit::SetSelection(int start, int end) {
  const int length = static_cast<int>(edit->text().size());
  start = std::clamp(start, 0, length);
  end = end < 0 ? length : std::clamp(end, 0, length);
  if (end < start) std::swap(start, end);
  edit->setSelection(start, end - start);
}

void RichEdit::GetSelection(int* start, int* end) const {
  const int s = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
  const int len = edit->hasSelectedText() ? static_cast<int>(edit->selectedText().size()) : 0;
  if (start) *start = s;
  if (end) *end = s + len;
}

void RichEdit::SetTextChangedHandler(std::function<void(Control*)> handler) {
  textChanged = std::move(handler);
}

void RichEdit::SetTextColor(unsigned int argb) {
  Control::SetTextColor(argb);
  DoSkinChanged(GetSkinItem() != nullptr, GetSkinItem());
}

void RichEdit::SetEnabled(bool enabled) {
  Container::SetEnabled(enabled);
  DoSkinChanged(GetSkinItem() != nullptr, GetSkinItem());
}

Insets RichEdit::GetInsets() { return editStyle.insets; }

void RichEdit::OnBoundsChanged(const CRect& bounds) { LayoutEdit(); }

void RichEdit::LayoutEdit() {
  const Insets in = GetInsets();
  edit->setGeometry(in.left(), in.top(), std::max(0, GetWidth() - in.width()),
                     std::max(0, GetHeight() - in.height()));
}

void RichEdit::OnTextServicesReady() {}

void RichEdit::TextServicesReadyOnce() {
  if (servicesReady) return;
  servicesReady = true;
  OnTextServicesReady();
}

void RichEdit::DoSkinChanged(bool changed, SkinItem* item) {
  Container::DoSkinChanged(changed, item);
  editStyle = EditStyle::Read(changed ? item : nullptr);
  edit->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; border: none; "
                                      "color: %1; selection-background-color: %2; }")
                           .arg(StyleSheetColor(EffectiveTextColor()),
                                StyleSheetColor(editStyle.selection)));
  LayoutEdit();
}

void RichEdit::DoPaint(SkCanvas* canvas) {
  PaintSkinImage(canvas, GetEnabled(true) ? (edit->hasFocus() ? "hover" : "normal") : "disabled",
                 GetClientRect());
}

void RichEdit::OnChildAdded(Control* child) {
  // Buttons of a derived field sit above the text area.
  if (child->widget()) child->widget()->raise();
}

void RichEdit::OnParentChanged() { TextServicesReadyOnce(); }

bool RichEdit::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_KEYDOWN && edit->hasFocus()) {
    if (wParam == VK_ESCAPE) {
      edit->clearFocus();
      return true;
    }
    const bool command = GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0;
    if (!command && wParam != VK_TAB) return true;
  }
  return Container::ProcessMessage(message, wParam, lParam, result);
}

void RichEdit::UpdateAccessibleName() {
  Container::UpdateAccessibleName();
  edit->setAccessibleName(QString::fromStdWString(GetAccessibleName()));
}

const wchar_t* RichEdit::GetClass() const { return L"RichEdit"; }

bool RichEdit::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, L"RichEdit", name, out) || Container::AsClass(name, out);
}

}  // namespace tavio_ui
