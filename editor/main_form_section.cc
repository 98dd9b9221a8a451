// Step 2: the player's notifications, the position timer, play and pause, marking the section
// while listening, the four edits and the track bar, listening to the section, and the check of
// the section before a save. The three views of the section (the edits, the markers, the texts)
// are kept in step here.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/location.h"
#include "editor/main_form.h"
#include "editor/ring_figures.h"
#include "ui/message_box.h"

void MainForm::OnPlayerState(int32_t state) {
  switch (state) {
    case kTVPlayerPlaying:
      playPauseBox.SetState(tavio_ui::CheckBox::kChecked);
      StartTimer();
      break;
    case kTVPlayerPaused:
      playPauseBox.SetState(tavio_ui::CheckBox::kUnchecked);
      positionTimer.Stop();
      break;
    case kTVPlayerOpened:
      OnPlayerOpened();
      break;
    case kTVPlayerStopped:
      playPauseBox.SetState(tavio_ui::CheckBox::kUnchecked);
      positionTimer.Stop();
      trackBar.SetValue(0);
      ShowPlayTime(0);
      break;
    case kTVPlayerOpenFailed:
      ClearWaveform();
      ShowPlayTime(0);
      songInfoLabel.SetText(L"打开文件失败！");
      ringTimeLabel.SetText(L"未截取");
      ringSizeLabel.SetText(L"");
      sizeWarningLabel.SetText(L"");
      break;
    default:  // closed, and codes this window does not know
      break;
  }
}

void MainForm::OnPlayerOpened() {
  if (songPending) OnPendingSongOpened();
  // A preview that had to reopen the file, or one asked for while the song was still opening,
  // starts at the section.
  if (listenMode && ring.durationMs != 0) SeekToMs(ring.startMs);
}

void MainForm::OnPendingSongOpened() {
  songPending = false;
  OnSongOpened();
  StartWaveform();
  tryOtherSongLink.SetVisible(true);
  lastDurationMs = ring.durationMs;
  startMinutesEdit.SetRange(0, ring.durationMinutes);
  endMinutesEdit.SetRange(0, ring.durationMinutes);
  startSecondsEdit.SetRange(0, 59999);
  endSecondsEdit.SetRange(0, 59999);
  trackBar.SetValue(0);
  trackBar.SetSectionStart(0);
  trackBar.SetSectionEnd(1000);
  RefreshEdits();
  RefreshSummary();
  for (tavio_ui::Control* control :
       {static_cast<tavio_ui::Control*>(&playPauseBox), static_cast<tavio_ui::Control*>(&cutStartButton),
        static_cast<tavio_ui::Control*>(&cutEndButton),
        static_cast<tavio_ui::Control*>(&listenRingButton),
        static_cast<tavio_ui::Control*>(&saveRingButton)}) {
    control->SetEnabled(true);
  }
  if (reportTimings) {
    const std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - songChosenAt;
    std::fprintf(stderr, "sonaclip-timing song-opened-ms=%.1f\n", took.count());
  }
}

void MainForm::StartTimer() {
  if (positionTimer.IsRunning()) positionTimer.Stop();
  positionTimer.Start(base::Location("MainForm::StartTimer", "main_form", 803,
                                     base::GetProgramCounter()),
                      kPositionTickMicroseconds, this, &MainForm::OnPositionTick);
}

void MainForm::OnPositionTick() {
  if (reportTimings && waveformTimer.IsRunning()) {
    // While the waveform is computed: the longest wait between two ticks, for scripts/bench.
    const auto now = std::chrono::steady_clock::now();
    if (lastPositionTick != std::chrono::steady_clock::time_point{}) {
      const std::chrono::duration<double, std::milli> gap = now - lastPositionTick;
      longestTickGapMs = std::max(longestTickGapMs, gap.count());
    }
    lastPositionTick = now;
  }
  if (ring.playerState != kTVPlayerPlaying) return;
  const int64_t positionMs = ring.position / kUnitsPerMillisecond;
  // Both controls repaint only when what they show changes.
  ShowPlayTime(static_cast<int>((positionMs + 500) / 1000));
  if (!thumbDragging) {
    int32_t v = trackBar.GetMinimum();
    if (lastDurationMs != 0)
      v = static_cast<int32_t>(std::trunc(positionMs * 1000.0 / lastDurationMs));
    trackBar.SetValue(v);  // clamps to the bar's range
  }
  // A song still opening has no section yet (its end reads 0).
  if (listenMode && !songPending && positionMs > ring.endMs) {
    if (IPreviewPlayer* player = ring.wrapper.player()) player->Pause();
    listenMode = false;
  }
}

void MainForm::ShowPlayTime(int seconds) {
  if (playTimeClock.GetSeconds() != seconds) playTimeClock.SetSeconds(seconds);
}

int32_t MainForm::PlayPositionMs() const {
  if (ring.playerState != kTVPlayerPlaying) return 0;
  const int64_t ms = ring.position / kUnitsPerMillisecond;
  return static_cast<int32_t>(std::min<int64_t>(ms, INT32_MAX));
}

void MainForm::SeekToMs(int64_t ms) {
  IPreviewPlayer* player = ring.wrapper.player();
  if (!player || ring.mediaInfo.duration <= 0) return;
  player->Seek(ring::SeekUnits(ring.mediaInfo.duration, ms, ring.durationMs));
}

void MainForm::ReopenAndPlay() {
  if (!ring.wrapper.player()) return;
  ring.wrapper.OpenPreview(ring.songPath);
  ring.wrapper.player()->Play();
}

void MainForm::OnPlayPauseClicked(tavio_ui::Control*) {
  CountUsage(UsageCounters::kPlayPause);
  IPreviewPlayer* player = ring.wrapper.player();
  if (!player) return;
  switch (ring.playerState) {
    case kTVPlayerPlaying:
      player->Pause();
      break;
    case kTVPlayerClosed:
    case kTVPlayerStopped:
      ReopenAndPlay();
      break;
    case kTVPlayerPaused:
      player->Play();
      break;
    default:
      break;
  }
}

void MainForm::OnCutStartClicked(tavio_ui::Control*) {
  CountUsage(UsageCounters::kCutStart);
  if (ring.songPath.empty()) return;
  const int32_t p = PlayPositionMs();
  ring.startMs = p;
  if (ring.mediaInfo.duration > 0 && ring.endMs >= 0 && ring.endMs < p) {
    ring.startMs = ring.endMs;
    ring.endMs = p;
  }
  RefreshEdits();
  RefreshStartMarker();
  RefreshEndMarker();
  RefreshSummary();
}

void MainForm::OnCutEndClicked(tavio_ui::Control*) {
  CountUsage(UsageCounters::kCutEnd);
  listenMode = false;
  if (ring.songPath.empty()) return;
  const int32_t p = PlayPositionMs();
  ring.endMs = p;
  if (ring.mediaInfo.duration > 0 && p >= 0 && p < ring.startMs) {
    ring.endMs = ring.startMs;
    ring.startMs = p;
  }
  RefreshEdits();
  RefreshStartMarker();
  RefreshEndMarker();
  RefreshSummary();
}

void MainForm::OnListenRingClicked(tavio_ui::Control*) {
  CountUsage(UsageCounters::kListenRing);
  listenMode = true;
  // A song still opening plays once open: its opened notification starts the preview.
  if (ring.songPath.empty() || songPending) return;
  if (ring.playerState == kTVPlayerPlaying) {
    SeekToMs(ring.startMs);
  } else {
    // The opened notification that follows seeks to the section's start.
    ReopenAndPlay();
  }
}

void MainForm::OnStartEdited(tavio_ui::Control*) {
  const int32_t m = startMinutesEdit.GetValue();
  int32_t s = startSecondsEdit.GetValue();
  if (m == ring.durationMinutes && s >= ring.lastMinuteMs) {
    s = ring.lastMinuteMs;
    startSecondsEdit.SetValue(s);
  }
  int32_t t = m * 60000 + s;
  if (t > ring.endMs) {
    // The start went past the end: the two change places, in the edits and in the record.
    startMinutesEdit.SetValue(endMinutesEdit.GetValue());
    startSecondsEdit.SetValue(endSecondsEdit.GetValue());
    endMinutesEdit.SetValue(m);
    endSecondsEdit.SetValue(s);
    const int32_t oldEnd = ring.endMs;
    ring.endMs = t;
    RefreshEndMarker();
    t = oldEnd;
  }
  ring.startMs = t;
  RefreshStartMarker();
  RefreshSummary();
}

void MainForm::OnEndEdited(tavio_ui::Control*) {
  const int32_t m = endMinutesEdit.GetValue();
  int32_t s = endSecondsEdit.GetValue();
  if (m == ring.durationMinutes && s >= ring.lastMinuteMs) {
    s = ring.lastMinuteMs;
    endSecondsEdit.SetValue(s);
  }
  int32_t t = m * 60000 + s;
  if (t < ring.startMs) {
    const int32_t oldStartMinutes = startMinutesEdit.GetValue();
    const int32_t oldStartSeconds = startSecondsEdit.GetValue();
    startMinutesEdit.SetValue(m);
    startSecondsEdit.SetValue(s);
    endMinutesEdit.SetValue(oldStartMinutes);
    endSecondsEdit.SetValue(oldStartSeconds);
    const int32_t oldStart = ring.startMs;
    ring.startMs = t;
    RefreshStartMarker();
    t = oldStart;
  }
  ring.endMs = t;
  RefreshEndMarker();
  RefreshSummary();
}

void MainForm::RefreshEdits() {
  startMinutesEdit.SetValue(ring.startMs / 60000);
  startSecondsEdit.SetValue(ring.startMs % 60000);
  endMinutesEdit.SetValue(ring.endMs / 60000);
  endSecondsEdit.SetValue(ring.endMs % 60000);
}

void MainForm::RefreshStartMarker() {
  trackBar.SetSectionStart(ring::PerMille(ring.startMs, lastDurationMs, 0));
}

void MainForm::RefreshEndMarker() {
  trackBar.SetSectionEnd(ring::PerMille(ring.endMs, lastDurationMs, 1000));
}

void MainForm::OnThumbPressed(tavio_ui::Control*) {
  thumbDragging = true;
}

void MainForm::OnThumbReleased(tavio_ui::Control*) {
  const double f = trackBar.GetValue() / 1000.0;
  SeekFromTrack(static_cast<int64_t>(ring.mediaInfo.duration * f));
  thumbDragging = false;
}

void MainForm::SeekFromTrack(int64_t target) {
  if (target / kUnitsPerMillisecond >= ring.endMs) listenMode = false;
  if (IPreviewPlayer* player = ring.wrapper.player()) {
    if (ring.mediaInfo.duration > 0) player->Seek(target);
  }
  StartTimer();
}

void MainForm::StepPlayPosition(int64_t deltaMs) {
  if (!ring.wrapper.player() || ring.mediaInfo.duration <= 0 || songPending) return;
  // A stopped song starts again from its beginning.
  const int64_t from = ring.playerState == kTVPlayerStopped ? 0 : ring.position;
  const int64_t target =
      std::clamp<int64_t>(from + deltaMs * kUnitsPerMillisecond, 0, ring.mediaInfo.duration);
  SeekFromTrack(target);
  // Keys held down step from where the last one went, before the player has said so.
  ring.position = target;
  const int64_t targetMs = target / kUnitsPerMillisecond;
  if (!thumbDragging) trackBar.SetValue(ring::PerMille(targetMs, lastDurationMs, 0));
  ShowPlayTime(static_cast<int>((targetMs + 500) / 1000));
}

void MainForm::OnSectionMoved(tavio_ui::Control*) {
  ring.startMs =
      static_cast<int32_t>(int64_t{trackBar.GetSectionStart()} * ring.durationMs / 1000);
  ring.endMs = static_cast<int32_t>(int64_t{trackBar.GetSectionEnd()} * ring.durationMs / 1000);
  RefreshEdits();
  RefreshSummary();
}

void MainForm::OnStartMarkerReleased(tavio_ui::Control*) {
  listenMode = false;
  SeekToMs(ring.startMs);
}

void MainForm::OnEndMarkerReleased(tavio_ui::Control*) {
  listenMode = false;
  SeekToMs(ring.endMs);
}

bool MainForm::CheckSection(int32_t& start, int32_t& end) {
  start = ring.startMs > 0 ? ring.startMs : 0;
  end = ring.endMs;
  if (start >= end) {
    tavio_ui::MessageBoxW(0, L"截取段错误，请在播放的过程中重新标记结束点。", L"提示",
                          MB_ICONINFORMATION);
    return false;
  }
  SeekToMs(0);
  ring.position = 0;
  return true;
}
