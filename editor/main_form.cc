#include "editor/main_form.h"

#include <unistd.h>

#include "base/logging.h"
#include "ui/messages.h"
#include "ui/skin_manager.h"

namespace {

// Text colour of the step titles and of the song texts under them.
constexpr unsigned int kStepTextColor = 0xff416c8f;

}  // namespace

MainForm::MainForm() {
  SetName(L"main_form");
  SetLayered(false);

  formBackground.SetName(L"SonaclipFormBackground");
  formBackground.SetType(tavio_ui::Image::kStretch);
  formBackground.SetTransparent(true);
  AddControl(&formBackground);

  closeButton.SetName(L"SonaclipFormClose");
  closeButton.SetOnClick([this](tavio_ui::Control* sender) { OnCloseClicked(sender); });
  AddControl(&closeButton);

  // Step 1: add a song.
  addSongBackground.SetName(L"AddSongBG");
  addSongBackground.SetType(tavio_ui::Image::kStretch);
  AddControl(&addSongBackground);
  BuildStepTitle(firstStepTitle, L"FirstStep", L"第一步,添加歌曲：");

  // Step 2: cut the ring.
  sonaclipBackground.SetName(L"SonaclipBG");
  sonaclipBackground.SetType(tavio_ui::Image::kNinePatch);
  AddControl(&sonaclipBackground);
  BuildStepTitle(secondStepTitle, L"SecondStep", L"第二步,截取铃声：");

  // Step 3: save settings.
  saveRingBackground.SetName(L"SaveRingBG");
  saveRingBackground.SetType(tavio_ui::Image::kNinePatch);
  AddControl(&saveRingBackground);
  BuildStepTitle(thirdStepTitle, L"ThirdStep", L"第三步,保存设置：");
}

MainForm::~MainForm() = default;

void MainForm::BuildStepTitle(tavio_ui::Label& title, const wchar_t* skinName,
                              const wchar_t* text) {
  title.SetName(skinName);
  title.SetText(text);
  title.SetTextColor(kStepTextColor);
  title.SetBold(true);
  AddControl(&title);
}

bool MainForm::CanFocus() const {
  return true;
}

bool MainForm::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  // Messages posted from other threads (the player's) must reach the window through the main
  // loop, never directly.
  DCHECK(static_cast<unsigned long>(gettid()) == tavio_ui::Control::GetMainThreadId());
  switch (message) {
    case WM_CLOSE:
      // Closing from outside only hides: the program keeps running and a later start shows the
      // window again. Only the close button ends the program.
      SetVisible(false);
      result = 0;
      return true;
    case kActivateMessage:
      // Shown first: a window hidden by WM_CLOSE cannot be raised until it is mapped again.
      SetVisible(true);
      BringToFront();
      result = 0;
      return true;
    default:
      return tavio_ui::Form::ProcessMessage(message, wParam, lParam, result);
  }
}

void MainForm::CreateParams(tavio_ui::WindowClass& windowClass, DWORD& style, DWORD& exStyle) {
  tavio_ui::Form::CreateParams(windowClass, style, exStyle);
  // The program's icon lives in the skin, beside the window's other artwork.
  if (tavio_ui::SkinItem* item = GetSkinItem()) {
    if (auto icon = item->ReadBitmapAttribute(L"AppIcon"))
      windowClass.icon = icon;
  }
}

void MainForm::OnCloseClicked(tavio_ui::Control*) {
  // The WM_CLOSE goes first so the window hides through its usual path; the quit message behind
  // it then ends the main loop, and the run operation closes the window for good.
  PostMessageW(WM_CLOSE, 0, 0);
  tavio_ui::PostQuitMessage(0);
}
