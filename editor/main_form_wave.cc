// The song's waveform on the track bar. The player plug-in computes it in the background once the
// song has opened; the window looks at its progress on a timer and hands the track bar what more
// is known, at most ten times a second, until the whole song is known. A new song clears it first,
// so nothing of one song is ever drawn over the next.
#include <cstdio>

#include "base/location.h"
#include "editor/main_form.h"

namespace {

tavio_ui::TrackWaveform ToTrackWaveform(const TVPlayerWrapper::Waveform& waveform) {
  tavio_ui::TrackWaveform track;
  track.channels = waveform.state.channels;
  track.peaks.reserve(waveform.peaks.size());
  for (const WaveformPeak& peak : waveform.peaks) track.peaks.push_back({peak.low, peak.high});
  return track;
}

double MillisecondsSince(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

}  // namespace

void MainForm::StartWaveform() {
  waveformTicksSinceShown = -1;
  waveformPending = false;
  if (!ring.wrapper.player()) return;
  if (reportTimings) {
    songOpenedAt = std::chrono::steady_clock::now();
    lastPositionTick = {};
    longestTickGapMs = 0;
  }
  if (waveformTimer.IsRunning()) waveformTimer.Stop();
  waveformTimer.Start(base::Location("MainForm::StartWaveform", "main_form_wave", __LINE__,
                                     base::GetProgramCounter()),
                      kWaveformTickMicroseconds, this, &MainForm::OnWaveformTick);
}

void MainForm::ClearWaveform() {
  waveformTimer.Stop();
  waveform = TVPlayerWrapper::Waveform{};
  waveformTicksSinceShown = -1;
  waveformPending = false;
  trackBar.SetWaveform(tavio_ui::TrackWaveform{});
}

void MainForm::OnWaveformTick() {
  if (ring.wrapper.ReadWaveform(waveform)) waveformPending = true;
  const bool firstPiece = waveformTicksSinceShown < 0;
  if (!firstPiece) ++waveformTicksSinceShown;
  // The first piece goes at once; later ones once a tenth of a second has passed since the last.
  if (waveformPending && waveform.state.known > 0 &&
      (firstPiece || waveformTicksSinceShown >= kWaveformTicksPerPiece)) {
    trackBar.SetWaveform(ToTrackWaveform(waveform));
    waveformTicksSinceShown = 0;
    waveformPending = false;
    if (reportTimings && firstPiece) {
      std::fprintf(stderr, "sonaclip-timing waveform-first-piece-ms=%.1f\n",
                   MillisecondsSince(songOpenedAt));
    }
  }
  if (!waveformPending && waveform.state.complete) {
    waveformTimer.Stop();
    if (reportTimings) {
      std::fprintf(stderr, "sonaclip-timing waveform-complete-ms=%.1f longest-tick-gap-ms=%.1f\n",
                   MillisecondsSince(songOpenedAt), longestTickGapMs);
    }
  }
}
