// Form: a skinned top-level window (a WindowContainer) that the program's windows derive from.
// Its skin entry (SetName) gives its size; the registered skin's back colour fills it under its
// controls. A form is frameless unless SetShowCaption(true): the skin draws the whole window,
// and it drags by any place that is not a control taking clicks. Main thread only.
#pragma once

#include "ui/window.h"

namespace tavio_ui {

class Form : public WindowContainer {
 public:
  Form();
  ~Form() override;

  // False (the default): no system title bar or frame; the skin draws the whole window.
  void SetShowCaption(bool show);
  bool GetShowCaption() const { return showCaption; }
  // False: fixed size (the skin's).
  void SetCanSize(bool canSize);
  bool GetCanSize() const { return canSize; }
  void SetVisible(bool visible) override;
  // Closes the window: hidden, WM_DESTROY, handle released. Ends its modal loop when one runs.
  void Close();

  bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void CreateParams(WindowClass& windowClass, DWORD& style, DWORD& exStyle) override;
  void DoPaint(SkCanvas* canvas) override;

  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;

 private:
  bool showCaption = false;
  bool canSize = true;
};

}  // namespace tavio_ui
