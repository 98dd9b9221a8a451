// ProgressBar: a skinned bar showing a value within a display range: the skin's "track" image
// over the whole control and its "fill" image over the part reached. Main thread only.
#pragma once

#include <memory>

#include "ui/control.h"

namespace tavio_ui {

class ProgressBar : public Control {
 public:
  ProgressBar();
  ~ProgressBar() override;

  // The values shown as empty and full. A range with maximum <= minimum shows empty.
  void SetDisplayRange(double minimum, double maximum);
  // Clamped into the display range when drawn.
  void SetValue(double value);
  double GetValue() const { return value; }
  // Fraction of the bar that is filled, 0..1.
  double FilledFraction() const;

  // A reader hears the value within the display range.
  bool GetAccessibleValue(AccessibleValue* value) override;
  void DoPaint(SkCanvas* canvas) override;
  void DoSkinChanged(bool changed, SkinItem* item) override;
  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;

 private:
  double minimum = 0;
  double maximum = 100;
  double value = 0;
  // The skin's "fill" look; the track is the style's "track" look.
  std::shared_ptr<const SkinImage> fillLook;
};

}  // namespace tavio_ui
