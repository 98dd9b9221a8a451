#include "ui/combobox.h"

#include <QKeyEvent>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

#include "ui/control_widget.h"
#include "ui/skin_manager.h"

namespace tavio_ui {

// The drop-down list: a popup window under the combobox, closed by a choice or a click outside.
class ComboPopup : public QListWidget {
 public:
  explicit ComboPopup(Combobox* owner) : owner_(owner) {
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    setFocusPolicy(Qt::NoFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMouseTracking(true);
    QObject::connect(this, &QListWidget::itemClicked,
                     [this](QListWidgetItem* item) { Choose(row(item)); });
    QObject::connect(this, &QListWidget::itemEntered,
                     [this](QListWidgetItem* item) { setCurrentItem(item); });
  }

  // Called by a combobox that is being destroyed. True when this list is reporting a choice at
  // that moment: Qt's handling of the click is still running on it, so it must outlive the
  // combobox and deletes itself once the choice has been reported.
  bool Orphan() {
    if (!choosing_) return false;
    owner_ = nullptr;
    return true;
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentRow() >= 0) {
      Choose(currentRow());
      return;
    }
    QListWidget::keyPressEvent(event);
  }

 private:
  void Choose(int index) {
    hide();
    choosing_ = true;
    owner_->SetSelected(index);  // the item-selected callback may destroy the combobox
    choosing_ = false;
    if (!owner_) deleteLater();
  }

  Combobox* owner_;
  bool choosing_ = false;
};

Combobox::Combobox() { SetClickable(true); }

Combobox::~Combobox() {
  if (model_) model_->SetObserver(nullptr);
  if (popup_ && popup_->Orphan()) popup_.release();  // it deletes itself
}

void Combobox::SetModel(ListboxModel* model) {
  if (model_ == model) return;
  if (model_) model_->SetObserver(nullptr);
  model_ = model;
  if (model_) model_->SetObserver(this);
  if (selected_ >= 0 && (!model_ || selected_ >= model_->GetCount())) selected_ = -1;
  HideDropDown();
  Invalidate(nullptr);
}

void Combobox::SetTextColor(unsigned int argb) { Control::SetTextColor(argb); }

void Combobox::SetText(const std::wstring& text) {
  Choose(model_ ? model_->IndexOf(text) : -1, true);
}

std::wstring Combobox::GetText() const {
  return model_ && selected_ >= 0 ? model_->GetItem(selected_) : std::wstring();
}

void Combobox::SetSelected(int index) { Choose(index, true); }

void Combobox::Choose(int index, bool notify) {
  if (!model_ || index < 0 || index >= model_->GetCount()) index = -1;
  if (index == selected_) return;
  selected_ = index;
  if (widget()) {
    const std::wstring text = GetText();
    widget()->setAccessibleName(QString::fromStdWString(text.empty() ? GetName() : text));
  }
  Invalidate(nullptr);
  if (notify && index >= 0) {
    ItemSelectedHandler handler = itemSelected_;
    if (handler) handler(this, index);  // may destroy this combobox
  }
}

void Combobox::SetItemSelectedEventHandler(ItemSelectedHandler handler) {
  itemSelected_ = std::move(handler);
}

void Combobox::ShowDropDown() {
  if (!model_ || !widget() || !GetEnabled(true)) return;
  if (!popup_) popup_ = std::make_unique<ComboPopup>(this);
  popup_->clear();
  for (int i = 0; i < model_->GetCount(); ++i) {
    popup_->addItem(QString::fromStdWString(model_->GetItem(i)));
  }
  popup_->setCurrentRow(selected_);
  popup_->setFont(widget()->font());
  SkColor back = 0xFFFFFFFF, text = EffectiveTextColor(), hot = 0xFFE3F1FC, border = 0xFF9CC3E6;
  if (SkinItem* item = GetSkinItem()) {
    item->ReadColorAttribute("popupBack", &back);
    item->ReadColorAttribute("popupSelected", &hot);
    item->ReadColorAttribute("popupBorder", &border);
  }
  popup_->setStyleSheet(QStringLiteral("QListWidget { background: %1; color: %2; border: 1px solid "
                                       "%3; outline: 0; padding: 2px; }"
                                       "QListWidget::item { padding: 3px 6px; border-radius: 3px; }"
                                       "QListWidget::item:selected, QListWidget::item:hover { "
                                       "background: %4; color: %2; }")
                            .arg(StyleSheetColor(back), StyleSheetColor(text), StyleSheetColor(border), StyleSheetColor(hot)));
  const int rowHeight = std::max(popup_->sizeHintForRow(0), 18);
  const int rows = std::min(model_->GetCount(), 8);
  popup_->resize(GetWidth(), rows * rowHeight + 6);
  popup_->move(widget()->mapToGlobal(QPoint(0, GetHeight())));
  popup_->show();
}

void Combobox::HideDropDown() {
  if (popup_) popup_->hide();
}

bool Combobox::IsDroppedDown() const { return popup_ && popup_->isVisible(); }

void Combobox::OnModelChanged() {
  if (!model_ || selected_ >= model_->GetCount()) selected_ = -1;
  HideDropDown();
  Invalidate(nullptr);
}

void Combobox::OnItemsChanged(int start, int count) { Invalidate(nullptr); }

void Combobox::OnItemsAdded(int start, int count) {
  if (selected_ >= start) selected_ += count;
  HideDropDown();
}

void Combobox::OnItemsRemoved(int start, int count) {
  if (selected_ >= start && selected_ < start + count) {
    selected_ = -1;
  } else if (selected_ >= start + count) {
    selected_ -= count;
  }
  HideDropDown();
  Invalidate(nullptr);
}

void Combobox::FireClick() {
  // The list opens or closes before the click is reported: the callback may destroy this
  // combobox, and nothing of it may run afterwards.
  if (IsDroppedDown()) {
    HideDropDown();
  } else {
    ShowDropDown();
  }
  Control::FireClick();
}

void Combobox::SetEnabled(bool enabled) {
  if (!enabled) HideDropDown();
  Control::SetEnabled(enabled);
}

void Combobox::DoPaint(SkCanvas* canvas) {
  Control::DoPaint(canvas);
  SkinItem* item = GetSkinItem();
  const CRect client = GetClientRect();
  const Insets pad = item ? item->GetPadding() : Insets(6, 0, 6, 0);
  int arrowLeft = client.right - pad.right();
  QPainter* p = canvas->painter();
  std::shared_ptr<SkBitmap> arrow = item ? item->ReadBitmapAttribute(L"ComboArrow") : nullptr;
  if (arrow && !arrow->empty()) {
    arrowLeft -= arrow->width();
    canvas->drawBitmap(*arrow, SkScalar(arrowLeft),
                       SkScalar((client.Height() - arrow->height()) / 2.0));
  } else {
    // No arrow in the skin: a small chevron in the text colour.
    arrowLeft -= 9;
    const qreal cy = client.Height() / 2.0;
    QPainterPath path;
    path.moveTo(arrowLeft, cy - 2);
    path.lineTo(arrowLeft + 4.5, cy + 2.5);
    path.lineTo(arrowLeft + 9, cy - 2);
    p->save();
    p->setPen(QPen(QColor::fromRgba(EffectiveTextColor()), 1.6, Qt::SolidLine, Qt::RoundCap,
                   Qt::RoundJoin));
    p->drawPath(path);
    p->restore();
  }
  const std::wstring text = GetText();
  if (text.empty()) return;
  p->save();
  p->setPen(QColor::fromRgba(EffectiveTextColor()));
  p->drawText(QRect(pad.left(), 0, std::max(0, arrowLeft - pad.left() - 2), client.Height()),
              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, QString::fromStdWString(text));
  p->restore();
}

const wchar_t* Combobox::GetClass() const { return L"Combobox"; }

bool Combobox::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, L"Combobox", name, out) || Control::AsClass(name, out);
}

}  // namespace tavio_ui
