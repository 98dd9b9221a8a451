// SonaclipProcessWnd: the small modal window that shows a save's progress. The wrapper's cut job
// opens it (through ShowProgress) right after posting the conversion to its worker; the window
// polls the job's progress every 500 ms, turns into a success notice once the job reports success
// (or a failure notice once it has ended without), and closes when the user presses one of its
// buttons. Closing it before success is the user's cancel; the window itself never talks to the
// worker, it only reads the job's shared values.
//
// Escape presses the button in the cancel button's place: "取消" while saving, "确定" once the
// job has ended.
//
// Created, shown and destroyed on the UI thread, inside ShowProgress; the job it watches is
// borrowed for the window's lifetime.
#pragma once

#include <memory>
#include <string>

#include "base/timer.h"
#include "base/win_types.h"
#include "ui/form.h"

namespace tavio_ui {
class Button;
class Image;
class Label;
class ProgressBar;
}  // namespace tavio_ui

class TVPlayerWrapper;

class SonaclipProcessWnd : public tavio_ui::Form {
 public:
  // Result codes of ShowProgress, by the button that closed the window.
  static constexpr int kClosedByCancel = 0;
  static constexpr int kClosedByCloseButton = 1;
  static constexpr int kClosedByOk = 2;

  explicit SonaclipProcessWnd(TVPlayerWrapper* watched);
  ~SonaclipProcessWnd() override;

  // Shows the window modally, owned by ownerWindow, until a button closes it; its result code.
  static int ShowProgress(HWND ownerWindow, TVPlayerWrapper* job);

  // Makes this window the progress UI of the wrapper's saves (the ring editor's set-up).
  static void InstallOn(TVPlayerWrapper& wrapper);

  // "%d%%" of the ceiling of the percentage: 12.1 shows "13%", 99.2 "100%".
  static std::wstring PercentText(double percent);

  // The timer's work; public so a test can run a poll without waiting for the period.
  void Poll();

  bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  int resultCode() const { return resultCodeValue; }

 private:
  void CloseWith(int code);
  // The job has ended: polling stops and OK replaces Cancel.
  void ShowOutcome();

  std::unique_ptr<tavio_ui::Button> closeButton;
  std::unique_ptr<tavio_ui::Image> background;
  std::unique_ptr<tavio_ui::Label> title;
  std::unique_ptr<tavio_ui::Label> information;
  std::unique_ptr<tavio_ui::Label> progressCaption;
  std::unique_ptr<tavio_ui::Label> percentage;
  std::unique_ptr<tavio_ui::Button> cancelButton;
  std::unique_ptr<tavio_ui::Button> okButton;
  std::unique_ptr<tavio_ui::ProgressBar> progressBar;
  int resultCodeValue = kClosedByCancel;
  TVPlayerWrapper* job;
  base::RepeatingTimer<SonaclipProcessWnd> pollTimer;
};
