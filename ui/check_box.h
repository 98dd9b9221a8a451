// CheckBox: a button with two looks, unchecked (state 0) and checked (state 2), each with hover,
// pressed and disabled variants from the skin ("normal"/"hover"/"pressed"/"disabled" and
// "checked"/"checkedHover"/"checkedPressed"/"checkedDisabled"). The box image sits at the left,
// the text right of it. A click switches the state itself (unless SetAutoSwitchState(false)) and
// then calls the click handler. Main thread only.
#pragma once

#include "ui/button.h"
#include "ui/skin_manager.h"

namespace tavio_ui {

class CheckBox : public Button {
 public:
  static constexpr int kUnchecked = 0;
  static constexpr int kChecked = 2;

  CheckBox();
  ~CheckBox() override;

  void SetAutoSwitchState(bool autoSwitch) { this->autoSwitch = autoSwitch; }
  bool GetAutoSwitchState() const { return autoSwitch; }
  // 0 unchecked, 2 checked; other values count as checked.
  void SetState(int state);
  int GetState() const { return state; }

  CSize GetPreferredSize() override;
  void DoPaint(SkCanvas* canvas) override;
  void DoSkinChanged(bool changed, SkinItem* item) override;
  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;

 protected:
  void FireClick() override;

 private:
  bool autoSwitch = true;
  int state = kUnchecked;
  // Between the box and the text; the skin's "checkBoxTextGap".
  int textGap = SkinManager::CurrentDefaults().checkBoxTextGap;
};

}  // namespace tavio_ui
