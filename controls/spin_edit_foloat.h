// SpinEditFoloat: a read-only numeric field with an up and a down button at its right edge, for
// the section times of the ring editor. It holds one integer, shows it as a whole number or, with
// tenths, as seconds of a millisecond count, and moves it by a fixed step per click, within its
// bounds. The value-changed callback runs after every click, also one that hit a bound. The
// owning window keeps it as a member; the field owns its two buttons. Main thread only.

#pragma once

#include <climits>
#include <functional>
#include <memory>
#include <string>

#include "ui/button.h"
#include "ui/rich_edit.h"

namespace tavio_ui {

// A button of the spin edit. When its skin look changes, its size may have changed too, so it
// asks the field to place both buttons again.
class SpinEditButton : public Button {
 public:
  void DoSkinChanged(bool changed, SkinItem* item) override;
};

class SpinEditUpButton : public SpinEditButton {
 public:
  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;
};

class SpinEditDownButton : public SpinEditButton {
 public:
  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;
};

class SpinEditFoloat : public RichEdit {
 public:
  using ValueChangedHandler = std::function<void(Control*)>;

  SpinEditFoloat();
  ~SpinEditFoloat() override;

  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;
  // Keeps the text clear of the buttons.
  Insets GetInsets() override;
  // Places the two buttons at the right edge, centred vertically, overlapping by one pixel row.
  void OnBoundsChanged(const CRect& bounds) override;
  void OnTextServicesReady() override;

  // Only stores the bounds: the value and the text follow at the next SetValue or click.
  void SetRange(int minimum, int maximum);
  void SetStep(int step) { this->step = step; }
  // Takes effect at the next text update.
  void SetShowTenths(bool showTenths) { this->showTenths = showTenths; }
  // Bounds the value and shows it; raises no callback.
  void SetValue(int v);
  int GetValue() const { return value; }
  void SetValueChangedHandler(ValueChangedHandler handler);

  std::wstring FormatValue(int v) const;

  // Up and Down step the value as the two buttons do (the buttons' own clicks run).
  bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  // A spin button to a reader; with tenths its value is in seconds, as shown.
  AccessibleRole GetAccessibleRole() override { return AccessibleRole::kSpinButton; }
  bool GetAccessibleValue(AccessibleValue* value) override;
  // Sets the value (bounded) and reports it as a click of the buttons does.
  bool SetAccessibleValue(double value) override;

  SpinEditUpButton* upButtonForTesting() const { return upButton.get(); }
  SpinEditDownButton* downButtonForTesting() const { return downButton.get(); }

 private:
  void OnButtonClick(Control* sender);
  void Step(int delta);
  void ReportValueChanged();
  // The shown unit per stored one: 1/1000 with tenths (milliseconds shown as seconds).
  double Scale() const { return showTenths ? 0.001 : 1.0; }

  std::unique_ptr<SpinEditUpButton> upButton;
  std::unique_ptr<SpinEditDownButton> downButton;
  int value = 0;
  int step = 1;
  int minimum = INT_MIN;
  int maximum = INT_MAX;
  bool showTenths = true;
  // Declared last: destroyed before the buttons.
  ValueChangedHandler valueChangedHandler;
};

}  // namespace tavio_ui
