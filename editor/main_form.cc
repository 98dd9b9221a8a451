#include "editor/main_form.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "base/logging.h"
#include "ui/drag_drop.h"
#include "ui/messages.h"
#include "ui/skin_manager.h"
#include "windows/sonaclip_process_wnd.h"

namespace {

// Text colour of the step titles and of the song texts under them.
constexpr unsigned int kStepTextColor = 0xff416c8f;
// Text colour of the link, the section texts and the format choice.
constexpr unsigned int kDetailTextColor = 0xff4c618f;

}  // namespace

MainForm::MainForm()
    : reportTimings(std::getenv("SONACLIP_TIMINGS") != nullptr) {
  SetName(L"main_form");
  SetLayered(false);

  formBackground.SetName(L"SonaclipFormBackground");
  formBackground.SetType(tavio_ui::Image::kStretch);
  formBackground.SetTransparent(true);
  AddControl(&formBackground);

  closeButton.SetName(L"SonaclipFormClose");
  closeButton.SetOnClick([this](tavio_ui::Control* sender) { OnCloseClicked(sender); });
  AddControl(&closeButton);

  BuildStepOne();
  BuildStepTwo();
  BuildStepThree();

  // A save shows its progress in the progress window, which is also the only way to cancel it.
  SonaclipProcessWnd::InstallOn(ring.wrapper);
}

MainForm::~MainForm() {
  positionTimer.Stop();
  waveformTimer.Stop();
  // Where the counters go is looked up only when there is something to write.
  if (!counters.records().empty())
    counters.Save(usageCounterFile.empty() ? UsageCounters::DefaultFile() : usageCounterFile);
  // The comboboxes observe their models; they let go of them before either goes.
  for (SimpleCombobox* combobox :
       {&formatCombobox, &channelCombobox, &qualityCombobox, &volumeCombobox}) {
    combobox->SetModel(nullptr);
  }
}

void MainForm::BuildStepOne() {
  addSongBackground.SetName(L"AddSongBG");
  addSongBackground.SetType(tavio_ui::Image::kStretch);
  AddControl(&addSongBackground);

  BuildLabel(firstStepTitle, L"FirstStep", L"第一步,添加歌曲：", kStepTextColor);
  firstStepTitle.SetBold(true);

  addSongButton.SetName(L"AddSong");
  addSongButton.SetToolTip(L"添加歌曲（Ctrl+O）");
  addSongButton.SetOnClick([this](tavio_ui::Control* sender) { OnAddSongClicked(sender); });
  AddControl(&addSongButton);

  tryOtherSongLink.SetName(L"TryOtherSong");
  tryOtherSongLink.SetText(L"试听其他人制作的铃声");
  tryOtherSongLink.SetTextColor(kDetailTextColor);
  tryOtherSongLink.SetUnderLine(true, false);
  tryOtherSongLink.SetVisible(false);
  tryOtherSongLink.SetClickHandler(
      [this](tavio_ui::Control* sender) { OnTryOtherSongClicked(sender); });
  AddControl(&tryOtherSongLink);

  BuildLabel(songNameLabel, L"SongName", L"歌曲名:还未添加歌曲", kStepTextColor);
  BuildLabel(songAdviceLabel, L"SongAdvise",
             L"(质量好的歌曲才能制作出质量好的铃声,建议80Kbps以上)", kStepTextColor);
  BuildLabel(songInfoLabel, L"SongInfo", L"", kStepTextColor);
  songInfoLabel.SetVisible(false);
}

void MainForm::BuildStepTwo() {
  sonaclipBackground.SetName(L"SonaclipBG");
  sonaclipBackground.SetType(tavio_ui::Image::kNinePatch);
  AddControl(&sonaclipBackground);

  BuildLabel(secondStepTitle, L"SecondStep", L"第二步,截取铃声：", kStepTextColor);
  secondStepTitle.SetBold(true);
  BuildLabel(ringTimeLabel, L"RingTime", L"未截取", kDetailTextColor);
  ringTimeLabel.FitToText(true);
  BuildLabel(ringSizeLabel, L"RingSize", L"", kDetailTextColor);
  BuildLabel(sizeWarningLabel, L"SizeWarnInfo", L"(铃声大小不得超过2.0M)", kDetailTextColor);
  sizeWarningLabel.FitToText(true);
  sizeWarningLabel.SetVisible(false);

  BuildSpinEdit(startMinutesEdit, L"EditStartMin", false, 1, &MainForm::OnStartEdited);
  BuildSpinEdit(startSecondsEdit, L"EditStartSec", true, 100, &MainForm::OnStartEdited);
  BuildSpinEdit(endMinutesEdit, L"EditEndMin", false, 1, &MainForm::OnEndEdited);
  BuildSpinEdit(endSecondsEdit, L"EditEndSec", true, 100, &MainForm::OnEndEdited);

  playPauseBox.SetName(L"PlayPause");
  playPauseBox.SetToolTip(L"播放/暂停（空格）");
  playPauseBox.SetAutoSwitchState(false);
  playPauseBox.SetEnabled(false);
  playPauseBox.SetOnClick([this](tavio_ui::Control* sender) { OnPlayPauseClicked(sender); });
  AddControl(&playPauseBox);

  trackBar.SetName(L"SonaclipTrackBar");
  trackBar.SetToolTip(L"播放进度（←/→ 移动 1 秒，Shift+←/→ 移动 0.1 秒）");
  trackBar.SetRange(0, 1000);
  trackBar.SetThumbReleasedHandler([this](tavio_ui::Control* s) { OnThumbReleased(s); });
  trackBar.SetThumbPressedHandler([this](tavio_ui::Control* s) { OnThumbPressed(s); });
  trackBar.SetSectionMovedHandler([this](tavio_ui::Control* s) { OnSectionMoved(s); });
  trackBar.SetStartMarkerReleasedHandler([this](tavio_ui::Control* s) { OnStartMarkerReleased(s); });
  trackBar.SetEndMarkerReleasedHandler([this](tavio_ui::Control* s) { OnEndMarkerReleased(s); });
  AddControl(&trackBar);

  playTimeClock.SetName(L"PlayTime");
  playTimeClock.SetTransparent(true);
  playTimeClock.SetSeconds(0);
  AddControl(&playTimeClock);

  const std::tuple<tavio_ui::Button*, const wchar_t*, const wchar_t*> buttons[] = {
      {&cutStartButton, L"CutStart", L"标记开始（[）"},
      {&cutEndButton, L"CutEnd", L"标记结束（]）"},
      {&listenRingButton, L"ListenRing", L"试听铃声（L）"}};
  for (const auto& [button, name, tip] : buttons) {
    button->SetName(name);
    button->SetToolTip(tip);
    button->SetEnabled(false);
    AddControl(button);
  }
  cutStartButton.SetOnClick([this](tavio_ui::Control* sender) { OnCutStartClicked(sender); });
  cutEndButton.SetOnClick([this](tavio_ui::Control* sender) { OnCutEndClicked(sender); });
  listenRingButton.SetOnClick([this](tavio_ui::Control* sender) { OnListenRingClicked(sender); });
}

void MainForm::BuildStepThree() {
  saveRingBackground.SetName(L"SaveRingBG");
  saveRingBackground.SetType(tavio_ui::Image::kNinePatch);
  AddControl(&saveRingBackground);

  BuildLabel(thirdStepTitle, L"ThirdStep", L"第三步,保存设置：", kStepTextColor);
  thirdStepTitle.SetBold(true);

  const std::pair<tavio_ui::CheckBox*, const wchar_t*> checks[] = {
      {&headFadeCheck, L"HeadFadeCheck"}, {&tailFadeCheck, L"TailFadeCheck"}};
  const wchar_t* checkTexts[] = {L"曲首淡入", L"曲尾淡入"};
  for (size_t i = 0; i < std::size(checks); ++i) {
    checks[i].first->SetName(checks[i].second);
    checks[i].first->SetText(checkTexts[i]);
    checks[i].first->SetOnClick([this](tavio_ui::Control* sender) { OnFadeCheckClicked(sender); });
    AddControl(checks[i].first);
  }
  const std::pair<tavio_ui::RichEdit*, const wchar_t*> edits[] = {
      {&headFadeEdit, L"HeadFadeEdit"}, {&tailFadeEdit, L"TailFadeEdit"}};
  for (const auto& [edit, name] : edits) {
    edit->SetName(name);
    edit->SetText(L"2000");
    edit->SetTextChangedHandler([this](tavio_ui::Control* sender) { OnFadeEditChanged(sender); });
    AddControl(edit);
  }

  saveRingButton.SetName(L"SaveRing");
  saveRingButton.SetToolTip(L"保存铃声（Ctrl+S）");
  saveRingButton.SetEnabled(false);
  saveRingButton.SetOnClick([this](tavio_ui::Control* sender) { OnSaveRingClicked(sender); });
  AddControl(&saveRingButton);

  qualityLabel.SetName(L"RingSaveQualityLabel");
  qualityLabel.SetText(L"铃声质量：");
  AddControl(&qualityLabel);

  BuildCombobox(formatCombobox, L"RingSaveFormatCombox", {L"MP3", L"WAV", L"M4R", L"OGG"}, L"MP3");
  formatCombobox.SetTextColor(kDetailTextColor);
  BuildCombobox(channelCombobox, L"RingSaveChannelCombox", {L"单声道", L"双声道"}, L"双声道");
  BuildCombobox(qualityCombobox, L"RingSaveQualityCombox", {L"默认", L"一般", L"标准", L"很好"},
                L"默认");
  BuildCombobox(volumeCombobox, L"RingSaveVolCombox",
                {L"原始", L"0.5倍", L"1.0倍", L"1.5倍", L"2.0倍", L"自动响度"}, L"原始");
}

void MainForm::BuildLabel(tavio_ui::Label& label, const wchar_t* skinName, const wchar_t* text,
                          unsigned int color) {
  label.SetName(skinName);
  label.SetText(text);
  label.SetTextColor(color);
  AddControl(&label);
}

void MainForm::BuildSpinEdit(tavio_ui::SpinEditFoloat& edit, const wchar_t* skinName,
                             bool showTenths, int step,
                             void (MainForm::*onChange)(tavio_ui::Control*)) {
  edit.SetName(skinName);
  edit.SetShowTenths(showTenths);
  edit.SetStep(step);
  // Locked at 0 until a song opens.
  edit.SetRange(0, 0);
  edit.SetValue(0);
  edit.SetValueChangedHandler([this, onChange](tavio_ui::Control* sender) {
    (this->*onChange)(sender);
  });
  AddControl(&edit);
}

void MainForm::BuildCombobox(SimpleCombobox& combobox, const wchar_t* skinName,
                             std::initializer_list<const wchar_t*> items, const wchar_t* initial) {
  combobox.SetName(skinName);
  for (const wchar_t* item : items) combobox.AddItem(item);
  combobox.SetText(initial);
  combobox.SetReadOnly(true);
  combobox.SetItemSelectedEventHandler(
      [this](tavio_ui::Combobox* sender, int index) { OnOptionChosen(sender, index); });
  AddControl(&combobox);
}

bool MainForm::CanFocus() const {
  return true;
}

void MainForm::OnCreate() {
  tavio_ui::Form::OnCreate();
  tavio_ui::DragAcceptFiles(GetHWND(), TRUE);
}

bool MainForm::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  // Messages posted from other threads (the player's) must reach the window through the main
  // loop, never directly.
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  switch (message) {
    case WM_CREATE:
      // From here on the player's notifications come to this window.
      ring.ownerWindow = GetHWND();
      return tavio_ui::Form::ProcessMessage(message, wParam, lParam, result);
    case WM_CLOSE:
      // Closing from outside only hides: the program keeps running and a later start shows the
      // window again. Only the close button ends the program.
      SetVisible(false);
      result = 0;
      return true;
    case WM_PAINT:
      if (!painted) {
        painted = true;
        if (reportTimings) std::fprintf(stderr, "sonaclip-timing first-paint\n");
        PostMessageW(kLoadPlayerMessage, 0, 0);
      }
      return tavio_ui::Form::ProcessMessage(message, wParam, lParam, result);
    case kLoadPlayerMessage:
      EnsurePlayer();
      result = 0;
      return true;
    case WM_DROPFILES:
      OnFilesDropped(wParam);
      return tavio_ui::Form::ProcessMessage(message, wParam, lParam, result);
    case kTVMsgPlayerState:
      OnPlayerState(static_cast<int32_t>(wParam));
      ring.playerState = static_cast<int32_t>(wParam);
      result = 0;
      return true;
    case kTVMsgPosition:
      // The player sends all 64 bits of the position: a 32-bit one would wrap after 429.5 s.
      ring.position = static_cast<int64_t>(wParam);
      result = 0;
      return true;
    case 0x2412:
    case 0x2416:
    case 0x2417:
      result = 0;
      return true;
    case WM_KEYDOWN:
      if (OnKeyDown(wParam, lParam)) {
        result = 0;
        return true;
      }
      return tavio_ui::Form::ProcessMessage(message, wParam, lParam, result);
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

void MainForm::CountUsage(uint16_t id) {
  counters.Count(id);
}

bool MainForm::OnKeyDown(WPARAM key, LPARAM flags) {
  const bool control = tavio_ui::GetKeyState(VK_CONTROL) < 0;
  const bool shift = tavio_ui::GetKeyState(VK_SHIFT) < 0;
  if (tavio_ui::GetKeyState(VK_MENU) < 0) return false;
  // A key held down repeats only the arrows: one press is one click.
  const bool repeat = (flags & kKeyRepeatFlag) != 0;
  tavio_ui::Control* button = nullptr;
  if (control) {
    if (shift) return false;
    if (key == 'O') button = &addSongButton;
    if (key == 'S') button = &saveRingButton;
  } else if (key == VK_LEFT || key == VK_RIGHT) {
    const int64_t step = shift ? kArrowStepMs / 10 : kArrowStepMs;
    StepPlayPosition(key == VK_LEFT ? -step : step);
    return true;
  } else if (!shift) {
    if (key == VK_SPACE) button = &playPauseBox;
    if (key == VK_OEM_4) button = &cutStartButton;
    if (key == VK_OEM_6) button = &cutEndButton;
    if (key == 'L') button = &listenRingButton;
  }
  if (!button) return false;
  // The button's own click: counted and refused as it is (a greyed button does nothing).
  if (!repeat) button->PerformClick();
  return true;
}

void MainForm::OnCloseClicked(tavio_ui::Control*) {
  // The WM_CLOSE goes first so the window hides through its usual path; the quit message behind
  // it then ends the main loop, and the run operation closes the window for good.
  PostMessageW(WM_CLOSE, 0, 0);
  tavio_ui::PostQuitMessage(0);
}
