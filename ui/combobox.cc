#include "ui/combobox.h"

#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

#include "ui/control_widget.h"
#include "ui/skin_manager.h"

namespace tavio_ui {

// The drop-down list: a popup window under the combobox, closed by a choice or a click outside.
class ComboPopup : public QListWidget {
 public:
  explicit ComboPopup(Combobox* owner) : owner(owner) {
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
    if (!choosing) return false;
    owner = nullptr;
    return true;
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentRow() >= 0) {
      Choose(currentRow());
      return;
    }
    if (event->key() == Qt::Key_Escape) {
      hide();
      return;
    }
    QListWidget::keyPressEvent(event);
  }
  // While the list is up, Qt hands it every press; one outside it closes it with no choice. (A
  // plain popup widget does this itself; a scroll area passes presses on its own frame by.)
  bool event(QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress &&
        !rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
      hide();
      return true;
    }
    return QListWidget::event(event);
  }

 private:
  void Choose(int index) {
    hide();
    choosing = true;
    owner->SetSelected(index);  // the item-selected callback may destroy the combobox
    choosing = false;
    if (!owner) deleteLater();
  }

  Combobox* owner;
  bool choosing = false;
};

ComboboxStyle ComboboxStyle::Read(const SkinItem* item) {
  const SkinDefaults& defaults = SkinManager::CurrentDefaults();
  ComboboxStyle style;
  style.padding = item ? item->GetPadding() : defaults.comboPadding;
  style.arrow = item ? item->ReadBitmapAttribute(L"ComboArrow") : nullptr;
  if (style.arrow && style.arrow->empty()) style.arrow = nullptr;
  // The chevron's proportions are those of the 9-pixel one: 4.5 deep, lifted by 2, 1.6 stroke.
  style.chevronWidth = defaults.comboChevronWidth;
  style.chevronDepth = style.chevronWidth / 2.0;
  style.chevronLift = style.chevronWidth * 2 / 9.0;
  style.chevronPen = style.chevronWidth * 1.6 / 9;
  style.arrowGap = 2;
  style.popupBack = defaults.popupBack;
  style.popupSelected = defaults.popupSelected;
  style.popupBorder = defaults.popupBorder;
  if (item) {
    item->ReadColorAttribute("popupBack", &style.popupBack);
    item->ReadColorAttribute("popupSelected", &style.popupSelected);
    item->ReadColorAttribute("popupBorder", &style.popupBorder);
  }
  style.popupMinRowHeight = defaults.popupMinRowHeight;
  style.popupMaxRows = defaults.popupMaxRows;
  return style;
}

Combobox::Combobox() { SetClickable(true); }

Combobox::~Combobox() {
  if (model) model->SetObserver(nullptr);
  if (popup && popup->Orphan()) popup.release();  // it deletes itself
}

void Combobox::SetModel(ListboxModel* model) {
  if (this->model == model) return;
  if (this->model) this->model->SetObserver(nullptr);
  this->model = model;
  if (this->model) this->model->SetObserver(this);
  if (selected >= 0 && (!this->model || selected >= this->model->GetCount())) selected = -1;
  HideDropDown();
  Invalidate(nullptr);
}

void Combobox::SetTextColor(unsigned int argb) { Control::SetTextColor(argb); }

void Combobox::SetText(const std::wstring& text) {
  Choose(model ? model->IndexOf(text) : -1, true);
}

std::wstring Combobox::GetText() const {
  return model && selected >= 0 ? model->GetItem(selected) : std::wstring();
}

void Combobox::SetSelected(int index) { Choose(index, true); }

std::wstring Combobox::AccessibleText() const {
  const std::wstring& caption = GetStyle().accessibleName;
  const std::wstring chosen = GetText();
  if (caption.empty() || chosen.empty()) return caption.empty() ? chosen : caption;
  return caption + L" " + chosen;
}

void Combobox::Choose(int index, bool notify) {
  if (!model || index < 0 || index >= model->GetCount()) index = -1;
  if (index == selected) return;
  selected = index;
  UpdateAccessibleName();
  NotifyAccessibleValueChanged(this);
  Invalidate(nullptr);
  if (notify && index >= 0) {
    ItemSelectedHandler handler = itemSelected;
    if (handler) handler(this, index);  // may destroy this combobox
  }
}

void Combobox::SetItemSelectedEventHandler(ItemSelectedHandler handler) {
  itemSelected = std::move(handler);
}

void Combobox::ShowDropDown() {
  if (!model || !widget() || !GetEnabled(true)) return;
  if (!popup) popup = std::make_unique<ComboPopup>(this);
  popup->clear();
  for (int i = 0; i < model->GetCount(); ++i) {
    popup->addItem(QString::fromStdWString(model->GetItem(i)));
  }
  popup->setCurrentRow(selected);
  popup->setFont(widget()->font());
  const ComboboxStyle& style = comboStyle;
  const SkColor text = EffectiveTextColor();
  popup->setStyleSheet(QStringLiteral("QListWidget { background: %1; color: %2; border: 1px solid "
                                       "%3; outline: 0; padding: 2px; }"
                                       "QListWidget::item { padding: 3px 6px; border-radius: 3px; }"
                                       "QListWidget::item:selected, QListWidget::item:hover { "
                                       "background: %4; color: %2; }")
                            .arg(StyleSheetColor(style.popupBack), StyleSheetColor(text),
                                 StyleSheetColor(style.popupBorder),
                                 StyleSheetColor(style.popupSelected)));
  const int rowHeight = std::max(popup->sizeHintForRow(0), style.popupMinRowHeight);
  const int rows = std::min(model->GetCount(), style.popupMaxRows);
  popup->resize(GetWidth(), rows * rowHeight + 6);
  popup->move(widget()->mapToGlobal(QPoint(0, GetHeight())));
  popup->show();
}

void Combobox::HideDropDown() {
  if (popup) popup->hide();
}

bool Combobox::IsDroppedDown() const { return popup && popup->isVisible(); }

void Combobox::OnModelChanged() {
  if (!model || selected >= model->GetCount()) selected = -1;
  HideDropDown();
  Invalidate(nullptr);
}

void Combobox::OnItemsChanged(int start, int count) { Invalidate(nullptr); }

void Combobox::OnItemsAdded(int start, int count) {
  if (selected >= start) selected += count;
  HideDropDown();
}

void Combobox::OnItemsRemoved(int start, int count) {
  if (selected >= start && selected < start + count) {
    selected = -1;
  } else if (selected >= start + count) {
    selected -= count;
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

void Combobox::DoSkinChanged(bool changed, SkinItem* item) {
  Control::DoSkinChanged(changed, item);
  comboStyle = ComboboxStyle::Read(changed ? item : nullptr);
}

void Combobox::DoPaint(SkCanvas* canvas) {
  Control::DoPaint(canvas);
  const ComboboxStyle& style = comboStyle;
  const CRect client = GetClientRect();
  const Insets& pad = style.padding;
  int arrowLeft = client.right - pad.right();
  QPainter* p = canvas->painter();
  if (style.arrow) {
    arrowLeft -= style.arrow->width();
    canvas->drawBitmap(*style.arrow, SkScalar(arrowLeft),
                       SkScalar((client.Height() - style.arrow->height()) / 2.0));
  } else {
    arrowLeft -= style.chevronWidth;
    const qreal tips = client.Height() / 2.0 - style.chevronLift;
    QPainterPath path;
    path.moveTo(arrowLeft, tips);
    path.lineTo(arrowLeft + style.chevronWidth / 2.0, tips + style.chevronDepth);
    path.lineTo(arrowLeft + style.chevronWidth, tips);
    p->save();
    p->setPen(QPen(QColor::fromRgba(EffectiveTextColor()), style.chevronPen, Qt::SolidLine,
                   Qt::RoundCap, Qt::RoundJoin));
    p->drawPath(path);
    p->restore();
  }
  const std::wstring text = GetText();
  if (text.empty()) return;
  p->save();
  p->setPen(QColor::fromRgba(EffectiveTextColor()));
  p->drawText(QRect(pad.left(), 0, std::max(0, arrowLeft - pad.left() - style.arrowGap),
                    client.Height()),
              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, QString::fromStdWString(text));
  p->restore();
}

const wchar_t* Combobox::GetClass() const { return L"Combobox"; }

bool Combobox::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, L"Combobox", name, out) || Control::AsClass(name, out);
}

}  // namespace tavio_ui
