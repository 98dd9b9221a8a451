#include "ui/form.h"

#include <QWidget>

#include "ui/skin_manager.h"

namespace tavio_ui {

namespace {

// The entry's back colour, else the registered skin manager's, else the skin's default.
SkColor WindowBackOf(const ControlStyle& style) {
  const SkinManager* manager = SkinManager::Current();
  return style.back.value_or(manager ? manager->GetBackColor()
                                     : SkinManager::CurrentDefaults().backColor);
}

}  // namespace

Form::Form() { SetTransparent(false); }

Form::~Form() {
  if (GetHWND()) Destroy();
}

void Form::SetShowCaption(bool show) {
  showCaption = show;
  if (show) {
    style |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  } else {
    style &= ~(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
  }
  if (GetHWND()) ApplyStyles();
}

void Form::SetCanSize(bool canSize) {
  this->canSize = canSize;
  if (canSize) {
    style |= WS_THICKFRAME;
  } else {
    style &= ~(WS_THICKFRAME | WS_MAXIMIZEBOX);
  }
  if (GetHWND()) ApplyStyles();
}

void Form::SetVisible(bool visible) { WindowContainer::SetVisible(visible); }

void Form::Close() { Destroy(); }

bool Form::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  return WindowContainer::ProcessMessage(message, wParam, lParam, result);
}

void Form::CreateParams(WindowClass& windowClass, DWORD& style, DWORD& exStyle) {
  WindowContainer::CreateParams(windowClass, style, exStyle);
  if (windowClass.className.empty() || windowClass.className == L"TavioUIWindow") {
    windowClass.className = L"TavioUIForm";
  }
  if (showCaption) {
    style |= WS_CAPTION | WS_SYSMENU;
  } else {
    style &= ~(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
  }
  if (canSize) {
    style |= WS_THICKFRAME;
  } else {
    style &= ~(WS_THICKFRAME | WS_MAXIMIZEBOX);
  }
}

void Form::DoPaint(SkCanvas* canvas) {
  SkPaint paint;
  paint.setColor(WindowBackOf(GetStyle()));
  SkRect r;
  r.set(GetClientRect());
  canvas->drawRect(r, paint);
  PaintSkinImage(canvas, "normal", GetClientRect());
}

const wchar_t* Form::GetClass() const { return L"Form"; }

bool Form::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, L"Form", name, out) || WindowContainer::AsClass(name, out);
}

}  // namespace tavio_ui
