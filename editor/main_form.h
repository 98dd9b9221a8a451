// MainForm: the program's one main window, a frameless skinned form that shows the three steps of
// making a ring one under the other: add a song; play it, mark the section and listen to it; choose
// the fades and the output and save the ring. Every control is named after its skin entry, which
// places and draws it; the form sets only texts, colours and flags, and handles the controls'
// events, the player's notifications and its 200 ms position timer.
//
// Built by the main window accessor (one per process) and destroyed by the shutdown registry,
// which also writes the usage counters. Closing: the close button posts WM_CLOSE to the window and
// then quits the main loop; a WM_CLOSE that comes alone (Alt+F4, the window manager) only hides the
// window, and the activation request (kActivateMessage) brings it back. Main thread only.
//
// The behaviour is spread over a few sources by step: main_form.cc (the layout, the messages, the
// counters, the keys), main_form_song.cc (adding a song), main_form_section.cc (the section and
// the preview), main_form_wave.cc (the song's waveform on the track bar), main_form_output.cc
// (the options and the size estimate) and main_form_save.cc (saving).
//
// Keys: Space plays and pauses, [ and ] mark the start and the end, L listens to the section,
// Left and Right move the play position by a second (with Shift a tenth), Ctrl+O adds a song and
// Ctrl+S saves the ring. Each key clicks its button, so it is counted and refused exactly as the
// click is; an arrow does what a release of the thumb there does. Keys typed into a focused edit
// stay with the edit.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "base/timer.h"
#include "controls/digital_clock.h"
#include "controls/section_track_bar.h"
#include "controls/simple_combobox.h"
#include "controls/spin_edit_foloat.h"
#include "editor/ring_context.h"
#include "editor/usage_counters.h"
#include "ui/button.h"
#include "ui/check_box.h"
#include "ui/form.h"
#include "ui/image.h"
#include "ui/label.h"
#include "ui/rich_edit.h"

class MainForm : public tavio_ui::Form {
 public:
  // What a later start of the program sends to the running window: come to the front, visible.
  static constexpr UINT kActivateMessage = WM_APP + 100;  // 0x8064
  // Posted to itself after the first paint: the player plug-in loads then (see EnsurePlayer).
  static constexpr UINT kLoadPlayerMessage = WM_APP + 101;
  // The position timer's period.
  static constexpr int64_t kPositionTickMicroseconds = 200000;
  // The longest ring an iPhone takes.
  static constexpr int32_t kIphoneRingMaxMs = 40000;
  // How often the waveform's progress is looked at while it is computed, and how many looks pass
  // between two pieces handed to the track bar: the first piece goes at once, the track bar
  // repaints at most ten times a second.
  static constexpr int64_t kWaveformTickMicroseconds = 20000;
  static constexpr int kWaveformTicksPerPiece = 5;
  // The play position moves by this much per arrow key, and by a tenth of it with Shift.
  static constexpr int64_t kArrowStepMs = 1000;

  // Called once per run, after the first save that got past the choice of the file: places the
  // program's launcher on the desktop. Set by the start-up; unset, nothing is placed.
  using ShortcutPlacer = std::function<void()>;
  // Called by the "TryOtherSong" link with the song's file name (no folder): opens the window of
  // other people's rings for it; false when the page cannot be shown (the window then says so).
  // Set by the start-up; unset, the link only counts.
  using OtherRingsOpener = std::function<bool(HWND owner, const std::wstring& songName)>;

  MainForm();
  ~MainForm() override;

  bool CanFocus() const override;
  bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnCreate() override;
  void CreateParams(tavio_ui::WindowClass& windowClass, DWORD& style, DWORD& exStyle) override;

  void SetShortcutPlacer(ShortcutPlacer placer) { shortcutPlacer = std::move(placer); }
  void SetOtherRingsOpener(OtherRingsOpener opener) { otherRingsOpener = std::move(opener); }
  // Where the counters go when the form is destroyed (unset: UsageCounters::DefaultFile());
  // tests point it elsewhere.
  void SetUsageCounterFile(std::filesystem::path file) { usageCounterFile = std::move(file); }

  // Read-only views for the tests of the window.
  const RingContext& ringContext() const { return ring; }
  RingContext& ringContextForTesting() { return ring; }
  const UsageCounters& usageCounters() const { return counters; }
  bool positionTimerRunning() const { return positionTimer.IsRunning(); }
  bool waveformTimerRunning() const { return waveformTimer.IsRunning(); }
  bool listenModeForTesting() const { return listenMode; }
  bool songPendingForTesting() const { return songPending; }

  // Loads a song as the add-song button and a drop do.
  void LoadSong(const std::wstring& path);
  // Loads the player plug-in unless that was tried already. It brings FFmpeg and the sound
  // server's client, over a hundred libraries: the window loads it once it has painted itself
  // (kLoadPlayerMessage), or when a song comes before that.
  void EnsurePlayer();
  // The estimate of the ring's size for the current song, section and options.
  int32_t SizeKB(int32_t sectionMs, int32_t kbps) const;
  // The save dialog's filter for an output format, in the Win32 form: description, NUL,
  // pattern, NUL, NUL.
  static std::wstring RingSaveFilter(int32_t outputFormat);
  // The timer's work; public so a test can run one tick without waiting for the period.
  void OnPositionTick();
  // The waveform timer's work: hands what more is known of the song's waveform to the track bar.
  void OnWaveformTick();

 private:
  // Building the form.
  void BuildStepOne();
  void BuildStepTwo();
  void BuildStepThree();
  void BuildLabel(tavio_ui::Label& label, const wchar_t* skinName, const wchar_t* text,
                  unsigned int color);
  void BuildSpinEdit(tavio_ui::SpinEditFoloat& edit, const wchar_t* skinName, bool showTenths,
                     int step, void (MainForm::*onChange)(tavio_ui::Control*));
  void BuildCombobox(SimpleCombobox& combobox, const wchar_t* skinName,
                     std::initializer_list<const wchar_t*> items, const wchar_t* initial);

  void CountUsage(uint16_t id);
  void OnCloseClicked(tavio_ui::Control* sender);
  // A key no focused control took; true when it is one of the window's.
  bool OnKeyDown(WPARAM key, LPARAM flags);

  // Adding a song (main_form_song.cc).
  void OnAddSongClicked(tavio_ui::Control* sender);
  void OnFilesDropped(WPARAM wParam);
  void OnSongOpened();
  void OnTryOtherSongClicked(tavio_ui::Control* sender);

  // The section and the preview (main_form_section.cc).
  void OnPlayerState(int32_t state);
  void OnPlayerOpened();
  // The first opening of a newly chosen song: its figures, the edits' ranges, the buttons.
  void OnPendingSongOpened();
  void StartTimer();
  void OnPlayPauseClicked(tavio_ui::Control* sender);
  void OnCutStartClicked(tavio_ui::Control* sender);
  void OnCutEndClicked(tavio_ui::Control* sender);
  void OnListenRingClicked(tavio_ui::Control* sender);
  void OnStartEdited(tavio_ui::Control* sender);
  void OnEndEdited(tavio_ui::Control* sender);
  void OnThumbPressed(tavio_ui::Control* sender);
  void OnThumbReleased(tavio_ui::Control* sender);
  // What a release of the thumb at target (100-ns units) does: the seek, the end of a preview
  // that is left behind, the timer.
  void SeekFromTrack(int64_t target);
  // An arrow key: the play position moves by deltaMs, within the song.
  void StepPlayPosition(int64_t deltaMs);
  void OnSectionMoved(tavio_ui::Control* sender);
  void OnStartMarkerReleased(tavio_ui::Control* sender);
  void OnEndMarkerReleased(tavio_ui::Control* sender);
  // The play position in ms: the reported one while playing, 0 otherwise.
  int32_t PlayPositionMs() const;
  void SeekToMs(int64_t ms);
  void ReopenAndPlay();
  void RefreshEdits();
  void RefreshStartMarker();
  void RefreshEndMarker();
  void ShowPlayTime(int seconds);
  // Whether the section may be cut; shows the section message when it may not.
  bool CheckSection(int32_t& start, int32_t& end);

  // The options and the size estimate (main_form_output.cc).
  void OnOptionChosen(tavio_ui::Combobox* sender, int index);
  void UpdateMp3Bitrate();
  void UpdateWavBitrate();
  // The kbps the ring will really be written at.
  int32_t OutputBitrateKbps() const;
  // True when the ring is an M4R whose section is longer than an iPhone takes (40 s).
  bool IphoneRingTooLong() const;
  void RefreshSummary();
  void OnFadeCheckClicked(tavio_ui::Control* sender);
  void OnFadeEditChanged(tavio_ui::Control* sender);

  // The waveform (main_form_wave.cc).
  void StartWaveform();
  void ClearWaveform();

  // Saving (main_form_save.cc).
  void OnSaveRingClicked(tavio_ui::Control* sender);
  std::wstring ChooseRingPath();
  // True when a cut was tried (the preview was paused for it); false when the user gave up or
  // the section was refused.
  bool SaveSection();
  // The section check, then the cut; false when the section was refused.
  bool StartSave(const std::wstring& path);

  // Declaration order is construction order; destruction runs in reverse, children first.
  tavio_ui::Image formBackground;
  tavio_ui::Image addSongBackground;
  tavio_ui::Image sonaclipBackground;
  tavio_ui::Image saveRingBackground;
  tavio_ui::Button closeButton;
  tavio_ui::Label firstStepTitle;
  tavio_ui::Button addSongButton;
  tavio_ui::Label tryOtherSongLink;
  tavio_ui::Label songNameLabel;
  tavio_ui::Label songAdviceLabel;
  tavio_ui::HtmlLabel songInfoLabel;
  tavio_ui::Label secondStepTitle;
  tavio_ui::Label ringTimeLabel;
  tavio_ui::HtmlLabel ringSizeLabel;
  tavio_ui::Label sizeWarningLabel;
  tavio_ui::SpinEditFoloat startMinutesEdit;
  tavio_ui::SpinEditFoloat startSecondsEdit;
  tavio_ui::SpinEditFoloat endMinutesEdit;
  tavio_ui::SpinEditFoloat endSecondsEdit;
  tavio_ui::CheckBox playPauseBox;
  tavio_ui::DigitalClock playTimeClock;
  tavio_ui::Button cutStartButton;
  tavio_ui::Button cutEndButton;
  tavio_ui::Button listenRingButton;
  tavio_ui::Label thirdStepTitle;
  tavio_ui::Button saveRingButton;
  tavio_ui::CheckBox headFadeCheck;
  tavio_ui::CheckBox tailFadeCheck;
  tavio_ui::RichEdit headFadeEdit;
  tavio_ui::RichEdit tailFadeEdit;
  tavio_ui::Label qualityLabel;
  tavio_ui::SectionTrackBar trackBar;
  SimpleCombobox formatCombobox;
  SimpleCombobox channelCombobox;
  SimpleCombobox qualityCombobox;
  SimpleCombobox volumeCombobox;
  RingContext ring;
  base::RepeatingTimer<MainForm> positionTimer;
  base::RepeatingTimer<MainForm> waveformTimer;
  // The waveform as last read from the player, and the looks since it last reached the track
  // bar (-1: nothing of this song has).
  TVPlayerWrapper::Waveform waveform;
  int waveformTicksSinceShown = -1;
  bool waveformPending = false;
  int32_t lastDurationMs = 0;
  bool thumbDragging = false;
  bool songPending = true;
  bool listenMode = false;
  UsageCounters counters;
  std::filesystem::path usageCounterFile;
  ShortcutPlacer shortcutPlacer;
  OtherRingsOpener otherRingsOpener;
  // With SONACLIP_TIMINGS set, the form reports its first paint and how long each song took to
  // open on standard error, for scripts/bench.
  const bool reportTimings;
  bool painted = false;
  bool playerTried = false;
  std::chrono::steady_clock::time_point songChosenAt;
  std::chrono::steady_clock::time_point songOpenedAt;
  std::chrono::steady_clock::time_point lastPositionTick;
  double longestTickGapMs = 0;
};
