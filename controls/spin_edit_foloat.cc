#include "controls/spin_edit_foloat.h"

#include <cmath>
#include <utility>

#include "controls/spin_edit_value.h"

namespace tavio_ui {
namespace {

constexpr wchar_t kSpinEditClass[] = L"SpinEdit";
constexpr wchar_t kUpButtonClass[] = L"SpinEditUpButton";
constexpr wchar_t kDownButtonClass[] = L"SpinEditDownButton";

}  // namespace

void SpinEditButton::DoSkinChanged(bool changed, SkinItem* item) {
  Button::DoSkinChanged(changed, item);
  if (Container* parent = GetParent()) {
    const CRect pos = parent->GetPos();
    parent->SetPos(&pos);
  }
}

const wchar_t* SpinEditUpButton::GetClass() const { return kUpButtonClass; }

bool SpinEditUpButton::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, kUpButtonClass, name, out) || Button::AsClass(name, out);
}

const wchar_t* SpinEditDownButton::GetClass() const { return kDownButtonClass; }

bool SpinEditDownButton::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, kDownButtonClass, name, out) || Button::AsClass(name, out);
}

SpinEditFoloat::SpinEditFoloat()
    : RichEdit(std::shared_ptr<EditMenuRunner>()),
      upButton(std::make_unique<SpinEditUpButton>()),
      downButton(std::make_unique<SpinEditDownButton>()) {
  AddControl(upButton.get());
  AddControl(downButton.get());
  upButton->SetName(L"_0");
  downButton->SetName(L"_1");
  upButton->SetSkinPosEnable(false);
  downButton->SetSkinPosEnable(false);
  upButton->SetOnClick([this](Control* sender) { OnButtonClick(sender); });
  downButton->SetOnClick([this](Control* sender) { OnButtonClick(sender); });
  SetReadOnly(true);
}

SpinEditFoloat::~SpinEditFoloat() {
  valueChangedHandler = nullptr;
  downButton.reset();
  upButton.reset();
}

const wchar_t* SpinEditFoloat::GetClass() const { return kSpinEditClass; }

bool SpinEditFoloat::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, kSpinEditClass, name, out) || RichEdit::AsClass(name, out);
}

std::wstring SpinEditFoloat::FormatValue(int v) const { return FormatSpinValue(v, showTenths); }

void SpinEditFoloat::SetRange(int newMinimum, int newMaximum) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  minimum = newMinimum;
  maximum = newMaximum;
}

void SpinEditFoloat::SetValue(int v) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  value = BoundSpinValue(v, minimum, maximum);
  SetText(FormatValue(value));
  NotifyAccessibleValueChanged(this);
}

void SpinEditFoloat::SetValueChangedHandler(ValueChangedHandler handler) {
  valueChangedHandler = std::move(handler);
}

void SpinEditFoloat::OnButtonClick(Control* sender) {
  if (sender == upButton.get()) {
    Step(step);
  } else if (sender == downButton.get()) {
    Step(-step);
  }
  ReportValueChanged();
}

void SpinEditFoloat::ReportValueChanged() {
  if (valueChangedHandler) {
    // A copy, so a handler that replaces itself is not destroyed while it runs.
    ValueChangedHandler handler = valueChangedHandler;
    handler(this);
  }
}

void SpinEditFoloat::Step(int delta) {
  value = BoundSpinValue(static_cast<std::int64_t>(value) + delta, minimum, maximum);
  SetText(FormatValue(value));
  SetSelection(0, -1);
  NotifyAccessibleValueChanged(this);
}

bool SpinEditFoloat::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_KEYDOWN && (wParam == VK_UP || wParam == VK_DOWN) &&
      GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_MENU) >= 0) {
    Button* button = wParam == VK_UP ? static_cast<Button*>(upButton.get()) : downButton.get();
    button->PerformClick();  // may destroy this field
    return true;
  }
  return RichEdit::ProcessMessage(message, wParam, lParam, result);
}

bool SpinEditFoloat::GetAccessibleValue(AccessibleValue* out) {
  *out = AccessibleValue{};
  out->current = value * Scale();
  out->minimum = minimum * Scale();
  out->maximum = maximum * Scale();
  out->step = step * Scale();
  out->text = FormatValue(value);
  return true;
}

bool SpinEditFoloat::SetAccessibleValue(double shown) {
  if (!GetEnabled(true)) return false;
  value = BoundSpinValue(static_cast<std::int64_t>(std::llround(shown / Scale())), minimum,
                         maximum);
  SetText(FormatValue(value));
  NotifyAccessibleValueChanged(this);
  ReportValueChanged();  // may destroy this field
  return true;
}

Insets SpinEditFoloat::GetInsets() {
  Insets insets = RichEdit::GetInsets();
  const int needed = upButton->GetPreferredSize().cx + 1;
  if (insets.right() < needed) {
    insets.Set(insets.left(), insets.top(), needed, insets.bottom());
  }
  return insets;
}

void SpinEditFoloat::OnBoundsChanged(const CRect& bounds) {
  RichEdit::OnBoundsChanged(bounds);
  // Both buttons take the up button's size.
  const CSize size = upButton->GetPreferredSize();
  const int w = bounds.Width();
  const int h = bounds.Height();
  const int top = (h - 2 * size.cy + 1) / 2;
  CRect up(w - size.cx - 1, top, w - 1, top + size.cy);
  CRect down = up;
  down.OffsetRect(0, size.cy - 1);
  upButton->SetPos(&up);
  downButton->SetPos(&down);
}

void SpinEditFoloat::OnTextServicesReady() {
  RichEdit::OnTextServicesReady();
  SetText(FormatValue(value));
}

}  // namespace tavio_ui
