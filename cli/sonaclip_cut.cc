// sonaclip-cut: the ring maker's cut for scripts and headless machines. It drives the same wrapper,
// plug-ins and encoders as the desktop program, with the window's rules for fades and volume, and
// shows a progress bar on stderr in place of the progress window. Exit codes: 0 done, 1 the song
// cannot be opened or the ring cannot be written (nothing is left behind and an existing RING is
// untouched), 2 a usage error.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/strings.h"
#include "cli/cut_options.h"
#include "engine/cut_plan.h"
#include "engine/tvplayer_wrapper.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// A PrepareCut format that makes no encoder: only the song is opened.
constexpr int32_t kNoEncoder = -1;

volatile sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

int Fail(const std::string& reason) {
  std::fprintf(stderr, "sonaclip-cut: %s\n", reason.c_str());
  return kExitFailed;
}

void DrawBar(float percent) {
  constexpr int kWidth = 40;
  const int shown = std::clamp(static_cast<int>(std::ceil(percent)), 0, 100);
  const int filled = shown * kWidth / 100;
  std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
               kWidth - filled, "", shown);
  std::fflush(stderr);
}

// Stands where the program shows its progress window: returns when the job has ended, or at once
// after Ctrl+C (the wrapper then cancels the job and removes its file).
int RunTerminalProgress(TVPlayerWrapper& job, bool drawBar) {
  while (!job.WaitForJob(std::chrono::milliseconds(100))) {
    if (interrupted) break;
    if (drawBar) DrawBar(job.progressPercent());
  }
  if (drawBar) {
    if (job.succeeded()) DrawBar(100.0f);
    std::fputc('\n', stderr);
  }
  return job.succeeded() ? 2 : 0;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const std::optional<CutOptions> options = ParseCutOptions(args, error);
  if (!options) {
    std::fprintf(stderr, "sonaclip-cut: %s\n%s", error.c_str(), kCutUsage);
    return kExitUsage;
  }
  if (options->help) {
    std::fputs(kCutUsage, stdout);
    return kExitOk;
  }

  // From here on Ctrl+C cancels: the job, once started, sees it before its next block.
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  TVPlayerWrapper wrapper;
  if (!wrapper.Initialize(0)) return Fail("cannot load the player library tvplayer.so");
  const std::wstring song = base::UTF8ToWide(options->song);

  // The song's format comes from a PCM source of the plug-in (the cut's own reader; there is no
  // preview to listen to here). --info and an MP3 ring at the song's own bit rate need it before
  // the encoder is made, so they prepare twice; other cuts open the song once.
  const bool wav = options->WantsWav();
  const int32_t format = wav ? TVPlayerWrapper::kFormatWav : TVPlayerWrapper::kFormatMp3;
  const bool formatFirst = options->info || (!wav && !options->bitrateKbps);
  wrapper.PrepareCut(song, formatFirst ? kNoEncoder : format, options->bitrateKbps.value_or(0));
  const MediaInfo info = wrapper.sourceMediaInfo();
  if (info.sampleRate <= 0 || info.channels <= 0 || info.bitsPerSample <= 0) {
    return Fail("cannot open " + options->song);
  }

  if (options->info) {
    std::printf(
        "{\"bitsPerSample\":%d,\"channels\":%d,\"sampleRate\":%d,\"bitrateKbps\":%d,"
        "\"duration\":%lld}\n",
        info.bitsPerSample, info.channels, info.sampleRate, info.bitrateKbps,
        static_cast<long long>(info.duration));
    return kExitOk;
  }

  if (SameFile(options->song, options->ring)) {
    return Fail("the ring would replace the song itself: " + options->ring);
  }

  const int64_t songMs = info.duration / 10000;
  const int32_t startMs = options->startMs.value_or(0);
  int32_t endMs = static_cast<int32_t>(std::min<int64_t>(
      options->endMs.value_or(static_cast<int32_t>(std::min<int64_t>(songMs, INT32_MAX))),
      songMs));
  if (startMs >= endMs) {
    std::fprintf(stderr, "sonaclip-cut: the section %d..%d ms lies outside the song (%lld ms)\n",
                 startMs, endMs, static_cast<long long>(songMs));
    return kExitUsage;
  }

  if (formatFirst) {
    const int32_t bitrate =
        options->bitrateKbps.value_or(cutplan::DefaultBitrateKbps(info.bitrateKbps));
    if (!wrapper.PrepareCut(song, format, bitrate)) return Fail("cannot open " + options->song);
  }

  const bool drawBar = isatty(STDERR_FILENO) == 1;
  wrapper.SetProgressUi(
      [drawBar](HWND, TVPlayerWrapper& job) { return RunTerminalProgress(job, drawBar); });

  const bool started = wrapper.StartCutRing(
      base::UTF8ToWide(options->ring), startMs, endMs,
      cutplan::FadeMs(options->fadeInMs > 0, options->fadeInMs),
      cutplan::FadeMs(options->fadeOutMs > 0, options->fadeOutMs), options->volume,
      options->channels);
  if (!started) return Fail("cannot write " + options->ring);
  if (!wrapper.succeeded()) {
    return Fail(interrupted ? "interrupted; " + options->ring + " not written"
                            : "writing " + options->ring + " failed");
  }
  return kExitOk;
}
