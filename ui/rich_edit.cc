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
  explicit FocusFrame(QWidget* frame) : QObject(frame), frame_(frame) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) frame_->update();
    return false;
  }

 private:
  QWidget* frame_;
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
    : menuRunner_(std::move(menuRunner)) {
  SetTransparent(true);
  edit_ = new QLineEdit(widget());
  edit_->setFrame(false);
  edit_->setAttribute(Qt::WA_MacShowFocusRect, false);
  if (this->menuRunner_) {
    edit_->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(edit_, &QLineEdit::customContextMenuRequested, [this](const QPoint& at) {
      const QPoint global = edit_->mapToGlobal(at);
      auto runner = this->menuRunner_;
      runner->RunMenu(this, POINT{global.x(), global.y()});
    });
  } else {
    edit_->setContextMenuPolicy(Qt::NoContextMenu);
  }
  QObject::connect(edit_, &QLineEdit::textChanged, [this](const QString&) {
    std::function<void(Control*)> handler = textChanged_;
    if (!handler) return;
    const std::shared_ptr<bool> alive = this->alive_;
    ++reporting_;
    handler(this);  // may destroy this control
    if (*alive) --reporting_;
  });
  edit_->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; border: none; }"));
  edit_->installEventFilter(new FocusFrame(widget()));
  edit_->show();
}

RichEdit::~RichEdit() {
  *alive_ = false;
  // No text-changed call may reach a half-destroyed edit.
  QObject::disconnect(edit_, nullptr, nullptr, nullptr);
  if (reporting_ > 0) {
    // Destroyed by a text-changed report: the editor is still handling the change that raised
    // it, so it leaves this control's widget now and goes once its handling is over.
    edit_->hide();
    edit_->setParent(nullptr);
    edit_->deleteLater();
  }
}

void RichEdit::SetText(const std::wstring& text) {
  Control::SetText(text);
  // Last: the change is reported from inside setText, and the report may destroy this control.
  const QString q = QString::fromStdWString(text);
  if (edit_->text() != q) edit_->setText(q);
}

std::wstring RichEdit::GetText() const { return edit_->text().toStdWString(); }

void RichEdit::SetReadOnly(bool readOnly) { edit_->setReadOnly(readOnly); }

bool RichEdit::GetReadOnly() const { return edit_->isReadOnly(); }

void RichEdit::SetSelection(int start, int end) {
  const int length = static_cast<int>(edit_->text().size());
  start = std::clamp(start, 0, length);
  end = end < 0 ? length : std::clamp(end, 0, length);
  if (end < start) std::swap(start, end);
  edit_->setSelection(start, end - start);
}

void RichEdit::GetSelection(int* start, int* end) const {
  const int s = edit_->hasSelectedText() ? edit_->selectionStart() : edit_->cursorPosition();
  const int len = edit_->hasSelectedText() ? static_cast<int>(edit_->selectedText().size()) : 0;
  if (start) *start = s;
  if (end) *end = s + len;
}

void RichEdit::SetTextChangedHandler(std::function<void(Control*)> handler) {
  textChanged_ = std::move(handler);
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
  edit_->setGeometry(in.left(), in.top(), std::max(0, GetWidth() - in.width()),
                     std::max(0, GetHeight() - in.height()));
}

void RichEdit::OnTextServicesReady() {}

void RichEdit::TextServicesReadyOnce() {
  if (servicesReady_) return;
  servicesReady_ = true;
  OnTextServicesReady();
}

void RichEdit::DoSkinChanged(bool changed, SkinItem* item) {
  Container::DoSkinChanged(changed, item);
  editStyle = EditStyle::Read(changed ? item : nullptr);
  edit_->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; border: none; "
                                      "color: %1; selection-background-color: %2; }")
                           .arg(StyleSheetColor(EffectiveTextColor()),
                                StyleSheetColor(editStyle.selection)));
  LayoutEdit();
}

void RichEdit::DoPaint(SkCanvas* canvas) {
  PaintSkinImage(canvas, GetEnabled(true) ? (edit_->hasFocus() ? "hover" : "normal") : "disabled",
                 GetClientRect());
}

void RichEdit::OnChildAdded(Control* child) {
  // Buttons of a derived field sit above the text area.
  if (child->widget()) child->widget()->raise();
}

void RichEdit::OnParentChanged() { TextServicesReadyOnce(); }

const wchar_t* RichEdit::GetClass() const { return L"RichEdit"; }

bool RichEdit::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, L"RichEdit", name, out) || Container::AsClass(name, out);
}

}  // namespace tavio_ui
