#include "ui/check_box.h"

#include <QFontMetrics>
#include <QPainter>
#include <QWidget>

#include "ui/skin_manager.h"

namespace tavio_ui {

namespace {

std::string LookOf(bool checked, const std::string& state) {
  if (!checked) return state;
  if (state == "normal") return "checked";
  std::string look = "checked" + state;
  look[7] = static_cast<char>(std::toupper(static_cast<unsigned char>(look[7])));
  return look;
}

}  // namespace

CheckBox::CheckBox() = default;
CheckBox::~CheckBox() = default;

void CheckBox::SetState(int state) {
  if (this->state == state) return;
  this->state = state;
  NotifyAccessibleStateChanged(this);
  Invalidate(nullptr);
}

CSize CheckBox::GetPreferredSize() {
  CSize size = Button::GetPreferredSize();
  if (!GetText().empty() && widget()) {
    size.cx += textGap + QFontMetrics(widget()->font()).horizontalAdvance(
                              QString::fromStdWString(GetText()));
  }
  return size;
}

void CheckBox::DoPaint(SkCanvas* canvas) {
  const std::string look = LookOf(state != kUnchecked, CurrentState());
  if (GetText().empty()) {
    // A check box without text is a two-look button (play/pause): its image fills it.
    PaintSkinImage(canvas, look, GetClientRect());
    return;
  }
  const CRect client = GetClientRect();
  int textLeft = 0;
  if (const SkinImage* image = GetStyle().looks.Get(look)) {
    const CSize box = image->size();
    const int top = (client.Height() - box.cy) / 2;
    image->Draw(*canvas->painter(), QRectF(0, top, box.cx, box.cy), Insets());
    textLeft = box.cx + textGap;
  }
  PaintText(canvas, CRect(textLeft, 0, client.right, client.bottom), Qt::AlignLeft);
}

void CheckBox::DoSkinChanged(bool changed, SkinItem* item) {
  Button::DoSkinChanged(changed, item);
  textGap = SkinManager::CurrentDefaults().checkBoxTextGap;
}

void CheckBox::FireClick() {
  // The state changes first, so the handler reads the new one.
  if (autoSwitch) SetState(state == kUnchecked ? kChecked : kUnchecked);
  Button::FireClick();
}

const wchar_t* CheckBox::GetClass() const { return L"CheckBox"; }

bool CheckBox::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, L"CheckBox", name, out) || Button::AsClass(name, out);
}

}  // namespace tavio_ui
