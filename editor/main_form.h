// MainForm: the program's one main window, a frameless skinned form that shows the three steps of
// making a ring one under the other: a background, a close button, and for each step its panel
// and its title. Every control is named after its skin entry, which places and draws it; the form
// sets only texts, colours and flags.
//
// Built by the main window accessor (one per process) and destroyed by the shutdown registry.
// Closing: the close button posts WM_CLOSE to the window and then quits the main loop; a WM_CLOSE
// that comes alone (Alt+F4, the window manager) only hides the window, and the activation
// request (kActivateMessage) brings it back. Main thread only.
#ifndef SONACLIP_EDITOR_MAIN_FORM_H_
#define SONACLIP_EDITOR_MAIN_FORM_H_

#include "ui/button.h"
#include "ui/form.h"
#include "ui/image.h"
#include "ui/label.h"

class MainForm : public tavio_ui::Form {
 public:
  // What a later start of the program sends to the running window: come to the front, visible.
  static constexpr UINT kActivateMessage = WM_APP + 100;  // 0x8064

  MainForm();
  ~MainForm() override;

  bool CanFocus() const override;
  bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void CreateParams(tavio_ui::WindowClass& windowClass, DWORD& style, DWORD& exStyle) override;

 private:
  void OnCloseClicked(tavio_ui::Control* sender);

  // A step title: its skin name, its text and the step text look.
  void BuildStepTitle(tavio_ui::Label& title, const wchar_t* skinName, const wchar_t* text);

  // Declaration order is construction order; destruction runs in reverse, children first.
  tavio_ui::Image formBackground;
  tavio_ui::Image addSongBackground;
  tavio_ui::Image sonaclipBackground;
  tavio_ui::Image saveRingBackground;
  tavio_ui::Button closeButton;
  tavio_ui::Label firstStepTitle;
  tavio_ui::Label secondStepTitle;
  tavio_ui::Label thirdStepTitle;
};

#endif  // SONACLIP_EDITOR_MAIN_FORM_H_
