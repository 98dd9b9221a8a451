// Image: a control that draws the "normal" image of its skin entry, for backgrounds and pictures.
// SetType chooses how the image fills the control. Clicks on an image fall through to its window
// (a frameless form drags by its background). Main thread only.
#pragma once

#include "ui/control.h"

namespace tavio_ui {

class Image : public Control {
 public:
  // 0: nine-patch with the skin's insets (a panel that keeps its corners at any size);
  // 1: natural size, centred; 2: stretched over the whole control.
  enum Type { kNinePatch = 0, kCentered = 1, kStretch = 2 };

  Image();
  ~Image() override;

  void SetType(int type);
  int GetType() const { return type; }

  void DoPaint(SkCanvas* canvas) override;
  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;

 private:
  int type = kNinePatch;
};

}  // namespace tavio_ui
