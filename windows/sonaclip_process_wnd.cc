#include "windows/sonaclip_process_wnd.h"

#include <cmath>
#include <cwchar>

#include "base/location.h"
#include "engine/tvplayer_wrapper.h"
#include "ui/button.h"
#include "ui/image.h"
#include "ui/label.h"
#include "ui/progress_bar.h"

namespace {

constexpr unsigned int kTextColor = 0xff416c8f;
constexpr int64_t kPollPeriodMicroseconds = 500000;
constexpr int kEndLoopCode = 8;
constexpr int kBackgroundImageType = 2;

}  // namespace

SonaclipProcessWnd::SonaclipProcessWnd(TVPlayerWrapper* watched)
    : closeButton(std::make_unique<tavio_ui::Button>()),
      background(std::make_unique<tavio_ui::Image>()),
      title(std::make_unique<tavio_ui::Label>()),
      information(std::make_unique<tavio_ui::Label>()),
      progressCaption(std::make_unique<tavio_ui::Label>()),
      percentage(std::make_unique<tavio_ui::Label>()),
      cancelButton(std::make_unique<tavio_ui::Button>()),
      okButton(std::make_unique<tavio_ui::Button>()),
      progressBar(std::make_unique<tavio_ui::ProgressBar>()),
      job(watched) {
  SetName(L"SonaclipProcessWnd");
  SetCanSize(false);

  background->SetName(L"ProcessWndBackground");
  background->SetType(kBackgroundImageType);
  background->SetTransparent(true);
  AddControl(background.get());

  title->SetName(L"ProcessWndTitle");
  title->SetText(L"保存铃声到本地进度");
  title->SetTextColor(kTextColor);
  AddControl(title.get());

  closeButton->SetName(L"ProcessWndClose");
  closeButton->SuppressCanFocus();
  closeButton->SetOnClick([this](tavio_ui::Control*) { CloseWith(kClosedByCloseButton); });
  AddControl(closeButton.get());

  information->SetName(L"ProcessWndInfo");
  information->SetTransparent(true);
  information->SetText(L"正在保存铃声中......");
  information->SetTextColor(kTextColor);
  information->SetBold(true);
  AddControl(information.get());

  progressCaption->SetName(L"ProcessLabel");
  progressCaption->SetTransparent(true);
  progressCaption->SetText(L"进度:");
  progressCaption->SetTextColor(kTextColor);
  AddControl(progressCaption.get());

  progressBar->SetName(L"SonaclipProgressBar");
  progressBar->SetDisplayRange(0.0, 100.0);
  progressBar->SetValue(0.0);
  AddControl(progressBar.get());

  percentage->SetName(L"CurrentPercent");
  percentage->SetText(L"0%");
  AddControl(percentage.get());

  // Cancel and OK share one skin entry: they sit in the same place, one visible at a time.
  cancelButton->SetName(L"ProcessWndCancel");
  cancelButton->SuppressCanFocus();
  cancelButton->SetText(L"取消");
  cancelButton->SetToolTip(L"取消（Esc）");
  cancelButton->SetTextColor(kTextColor);
  cancelButton->SetOnClick([this](tavio_ui::Control*) { CloseWith(kClosedByCancel); });
  cancelButton->SetVisible(true);
  AddControl(cancelButton.get());

  okButton->SetName(L"ProcessWndCancel");
  okButton->SuppressCanFocus();
  okButton->SetText(L"确定");
  okButton->SetToolTip(L"确定（Esc）");
  okButton->SetTextColor(kTextColor);
  okButton->SetOnClick([this](tavio_ui::Control*) { CloseWith(kClosedByOk); });
  okButton->SetVisible(false);
  AddControl(okButton.get());

  if (pollTimer.IsRunning()) pollTimer.Stop();
  pollTimer.Start(base::Location("SonaclipProcessWnd::SonaclipProcessWnd", "sonaclip_process_wnd",
                                 111, base::GetProgramCounter()),
                  kPollPeriodMicroseconds, this, &SonaclipProcessWnd::Poll);
}

SonaclipProcessWnd::~SonaclipProcessWnd() {
  pollTimer.Stop();
}

int SonaclipProcessWnd::ShowProgress(HWND ownerWindow, TVPlayerWrapper* job) {
  SonaclipProcessWnd window(job);
  window.Create(ownerWindow);
  window.SetText(L"保存铃声到本地进度");
  window.DoModal(nullptr);
  const int code = window.resultCode();
  window.Destroy();
  return code;
}

void SonaclipProcessWnd::InstallOn(TVPlayerWrapper& wrapper) {
  wrapper.SetProgressUi(
      [](HWND owner, TVPlayerWrapper& job) { return ShowProgress(owner, &job); });
}

std::wstring SonaclipProcessWnd::PercentText(double percent) {
  wchar_t text[32];
  std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%d%%", static_cast<int>(std::ceil(percent)));
  return text;
}

void SonaclipProcessWnd::Poll() {
  if (!job) return;
  const double percent = job->progressPercent();
  progressBar->SetValue(percent);
  percentage->SetText(PercentText(percent));
  if (job->succeeded()) {
    information->SetText(L"铃声保存成功！");
    progressBar->SetValue(100.0);
    percentage->SetText(L"100%");
    ShowOutcome();
  } else if (job->jobFinished()) {
    // The job ended without a ring (a write failed, the disk filled, the song ran dry): waiting on
    // for a success that cannot come would leave the user a window that only cancels.
    information->SetText(L"铃声保存失败！");
    ShowOutcome();
  }
}

bool SonaclipProcessWnd::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                        LRESULT& result) {
  if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
    // Cancel and OK share one place; Escape is whichever shows there.
    tavio_ui::Button* shown = cancelButton->GetVisible() ? cancelButton.get() : okButton.get();
    shown->PerformClick();
    result = 0;
    return true;
  }
  return tavio_ui::Form::ProcessMessage(message, wParam, lParam, result);
}

void SonaclipProcessWnd::ShowOutcome() {
  pollTimer.Stop();
  cancelButton->SetVisible(false);
  okButton->SetVisible(true);
}

void SonaclipProcessWnd::CloseWith(int code) {
  resultCodeValue = code;
  EndLoopWnd(kEndLoopCode);
}
