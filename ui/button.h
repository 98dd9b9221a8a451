// Button: a skinned push button. Its skin entry gives the normal, hover, pressed and disabled
// images and the text font; its text (optional) is drawn centred over the image. A click (left
// press and release over the enabled button) calls the handler set with SetOnClick on the main
// thread. Main thread only.
#pragma once

#include "ui/control.h"

namespace tavio_ui {

class Button : public Control {
 public:
  Button();
  ~Button() override;

  // The skin entry's size, else the size of its normal image.
  CSize GetPreferredSize() override;
  void DoPaint(SkCanvas* canvas) override;
  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;

 protected:
  // Draws the text of the button into rect, in the state's colour.
  void PaintText(SkCanvas* canvas, const CRect& rect, int alignFlags);
};

}  // namespace tavio_ui
