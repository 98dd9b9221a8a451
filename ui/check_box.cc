#include "ui/check_box.h"

#include <QFontMetrics>
#include <QPainter>
#include <QWidget>

#include "ui/skin_manager.h"

namespace tavio_ui {

namespace {

constexpr int kTextGap = 6;

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
  if (state_ == state) return;
  state_ = state;
  Invalidate(nullptr);
}

CSize CheckBox::GetPreferredSize() {
  CSize size = Button::GetPreferredSize();
  if (!GetText().empty() && widget()) {
    size.cx += kTextGap + QFontMetrics(widget()->font()).horizontalAdvance(
                              QString::fromStdWString(GetText()));
  }
  return size;
}

void CheckBox::DoPaint(SkCanvas* canvas) {
  SkinItem* item = GetSkinItem();
  const std::string look = LookOf(state_ != kUnchecked, CurrentState());
  if (GetText().empty()) {
    // A check box without text is a two-look button (play/pause): its image fills it.
    PaintSkinImage(canvas, look, GetClientRect());
    return;
  }
  const CRect client = GetClientRect();
  int textLeft = 0;
  if (const SkinImage* image = item ? item->GetStateImage(look) : nullptr) {
    const CSize box = image->size();
    const int top = (client.Height() - box.cy) / 2;
    image->Draw(*canvas->painter(), QRectF(0, top, box.cx, box.cy), Insets());
    textLeft = box.cx + kTextGap;
  }
  PaintText(canvas, CRect(textLeft, 0, client.right, client.bottom), Qt::AlignLeft);
}

void CheckBox::FireClick() {
  // The state changes first, so the handler reads the new one.
  if (autoSwitch_) SetState(state_ == kUnchecked ? kChecked : kUnchecked);
  Button::FireClick();
}

const wchar_t* CheckBox::GetClass() const { return L"CheckBox"; }

bool CheckBox::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, L"CheckBox", name, out) || Button::AsClass(name, out);
}

}  // namespace tavio_ui
