// sonaclip-cut: the ring maker's cut for scripts and headless machines. It drives the same wrapper,
// plug-ins and encoders as the desktop program, with the window's rules for fades and volume, and
// shows a progress bar on stderr in place of the progress window. An ".m4r" ring longer than the
// 40 s an iPhone takes is refused as a usage error unless --no-length-limit is given. A ring that already exists is
// replaced only with -y, or when the user says yes on a terminal. Exit codes: 0 every ring was
// cut, 1 a song cannot be opened or a ring cannot be written (nothing is left behind and an
// existing ring is untouched), 2 a usage error.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "base/strings.h"
#include "cli/cut_options.h"
#include "cli/duration.h"
#include "engine/cut_plan.h"
#include "engine/loudness_meter.h"
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

// Why `song`, just given to PrepareCut, cannot be cut: with the step that failed and the decoder's
// reason when the plug-in gives them ("cannot open a.mp3: open failed for a.mp3: Invalid data
// found when processing input").
std::string CannotOpen(const TVPlayerWrapper& wrapper, const std::string& song) {
  const std::string& why = wrapper.sourceOpenError();
  return "cannot open " + song + (why.empty() ? "" : ": " + why);
}

int32_t WrapperFormat(CutOptions::Format format) {
  switch (format) {
    case CutOptions::Format::kWav:
      return TVPlayerWrapper::kFormatWav;
    case CutOptions::Format::kM4r:
      return TVPlayerWrapper::kFormatM4r;
    case CutOptions::Format::kOgg:
      return TVPlayerWrapper::kFormatOgg;
    case CutOptions::Format::kMp3:
      break;
  }
  return TVPlayerWrapper::kFormatMp3;
}

// An iPhone takes a ring by this name only, and no longer than 40 s; the same AAC ring named
// ".m4a" is Android's and has no such limit.
bool IsIphoneRing(const std::string& ring) {
  std::string extension = std::filesystem::path(ring).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".m4r";
}

// Milliseconds as seconds with the tenths a person needs to see that 40.3 is over 40.
std::string SecondsText(int32_t ms) {
  char text[32];
  std::snprintf(text, sizeof(text), "%d.%d", ms / 1000, ms % 1000 / 100);
  return text;
}

// How one song went: kExitOk, or kExitFailed / kExitUsage with the reason.
struct Outcome {
  int code = kExitOk;
  std::string reason;
};

// What a loudness cut that did not reach its target tells; empty when it did.
std::string LoudnessNote(const TVPlayerWrapper::LoudnessReport& report,
                         const loudness::Target& target) {
  char text[160];
  switch (report.decision.outcome) {
    case loudness::Outcome::kNormalised:
      return {};
    case loudness::Outcome::kTooShort:
      return "shorter than 0.4 s, too short to measure its loudness; written unchanged";
    case loudness::Outcome::kSilent:
      return "silent, no loudness to measure; written unchanged";
    case loudness::Outcome::kStoppedAtCeiling:
      std::snprintf(text, sizeof(text), "%.1f LUFS, not %.1f: louder would pass the %.1f dBTP ceiling",
                    report.decision.ringLufs, target.lufs, target.ceilingDbtp);
      return text;
  }
  return {};
}

void DrawBar(const std::string& label, float percent) {
  constexpr int kWidth = 40;
  const int shown = std::clamp(static_cast<int>(std::ceil(percent)), 0, 100);
  const int filled = shown * kWidth / 100;
  std::fprintf(stderr, "\r%s[%.*s%*s] %3d%%", label.c_str(), filled,
               "########################################", kWidth - filled, "", shown);
  std::fflush(stderr);
}

// Stands where the program shows its progress window: returns when the job has ended, or at once
// after Ctrl+C (the wrapper then cancels the job and removes its file). Leaves the bar's line open.
int RunTerminalProgress(TVPlayerWrapper& job, const std::string* barLabel) {
  while (!job.WaitForJob(std::chrono::milliseconds(100))) {
    if (interrupted) break;
    if (barLabel) DrawBar(*barLabel, job.progressPercent());
  }
  if (barLabel && job.succeeded()) DrawBar(*barLabel, 100.0f);
  return job.succeeded() ? 2 : 0;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::symlink_status(path, error).type() !=
         std::filesystem::file_type::not_found;
}

// Asks on the terminal whether ring may be replaced; only "y" or "yes", in any case, says so.
// Ctrl+C ends the question (the read is not restarted) as a no.
bool AskOverwrite(const std::string& ring) {
  std::fprintf(stderr, "sonaclip-cut: %s exists; overwrite? [y/N] ", ring.c_str());
  std::fflush(stderr);
  std::string answer;
  char c = 0;
  ssize_t got = 0;
  while ((got = read(STDIN_FILENO, &c, 1)) == 1 && c != '\n') {
    if (answer.size() < 16) {
      answer += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  if (got != 1) std::fputc('\n', stderr);  // no Enter was echoed
  while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back()))) {
    answer.pop_back();
  }
  return !interrupted && (answer == "y" || answer == "yes");
}

// The question is put only where someone can see it and answer; elsewhere the ring is kept.
Outcome KeepExistingRing(const std::string& ring) {
  const bool terminal = isatty(STDIN_FILENO) == 1 && isatty(STDERR_FILENO) == 1;
  if (!terminal) {
    return {kExitFailed, ring + " exists; not replaced without " + cutopt::kOverwrite};
  }
  if (AskOverwrite(ring)) return {};
  return {kExitFailed,
          interrupted ? "interrupted; " + ring + " not written" : ring + " exists; kept"};
}

// Cuts one song into its ring. songs are all the songs of this run, none of which a ring may
// replace. barLabel, when set, is drawn before a progress bar, whose line is left open. A ring cut
// to a loudness it did not reach gets a note on how it came out.
Outcome CutOne(TVPlayerWrapper& wrapper, const CutOptions& options, const CutOptions::Job& job,
               const std::string* barLabel, std::string* note) {
  const std::wstring song = base::UTF8ToWide(job.song);

  // The song's format comes from a PCM source of the plug-in (the cut's own reader; there is no
  // preview to listen to here). A coded ring at the song's own bit rate needs it before the
  // encoder is made, so it prepares twice; other cuts open the song once.
  const bool wav = options.format == CutOptions::Format::kWav;
  const int32_t format = WrapperFormat(options.format);
  const bool formatFirst = !wav && !options.bitrateKbps;
  wrapper.PrepareCut(song, formatFirst ? kNoEncoder : format, options.bitrateKbps.value_or(0));
  const MediaInfo info = wrapper.sourceMediaInfo();
  if (info.sampleRate <= 0 || info.channels <= 0 || info.bitsPerSample <= 0) {
    return {kExitFailed, CannotOpen(wrapper, job.song)};
  }

  for (const CutOptions::Job& other : options.jobs) {
    if (SameFile(other.song, job.ring)) {
      return {kExitFailed, "the ring would replace the song " + other.song + ": " + job.ring};
    }
  }

  const int64_t songMs = info.duration / kUnitsPerMillisecond;
  const int32_t startMs = options.startMs.value_or(0);
  const int32_t endMs = static_cast<int32_t>(
      std::min<int64_t>(options.endMs.value_or(std::numeric_limits<int32_t>::max()), songMs));
  if (startMs >= endMs) {
    return {kExitUsage, "the section " + std::to_string(startMs) + ".." + std::to_string(endMs) +
                            " ms lies outside the song (" + std::to_string(songMs) + " ms)"};
  }

  if (IsIphoneRing(job.ring) && !options.noLengthLimit &&
      endMs - startMs > CutOptions::kIphoneRingMaxMs) {
    return {kExitUsage, "an iPhone ring lasts at most 40 s, and this section lasts " +
                            SecondsText(endMs - startMs) + " s: cut a shorter one, or give " +
                            cutopt::kNoLengthLimit};
  }

  if (!options.overwrite && Exists(job.ring)) {
    Outcome kept = KeepExistingRing(job.ring);
    if (kept.code != kExitOk) return kept;
  }

  if (formatFirst) {
    const int32_t bitrate = cutplan::DefaultBitrateKbps(info.bitrateKbps);
    if (!wrapper.PrepareCut(song, format, bitrate)) {
      return {kExitFailed, CannotOpen(wrapper, job.song)};
    }
  }

  const loudness::Target target{options.loudnessLufs.value_or(0.0), options.truePeakDbtp};
  if (options.loudnessLufs) wrapper.NormaliseLoudness(target);
  wrapper.SetProgressUi([barLabel](HWND, TVPlayerWrapper& running) {
    return RunTerminalProgress(running, barLabel);
  });
  const bool started = wrapper.StartCutRing(
      base::UTF8ToWide(job.ring), startMs, endMs,
      cutplan::FadeMs(options.fadeInMs > 0, options.fadeInMs),
      cutplan::FadeMs(options.fadeOutMs > 0, options.fadeOutMs), options.volume,
      options.channels);
  if (!started) return {kExitFailed, "cannot write " + job.ring};
  if (const std::optional<int64_t> songEnd = wrapper.songEndBeforeSection()) {
    return {kExitFailed, job.song + " ends at " + cutcli::FormatDurationTenths(*songEnd / 10) +
                             ", before the section's end (" +
                             cutcli::FormatDurationTenths(int64_t{endMs} * 1000) + "); " +
                             job.ring + " not written"};
  }
  if (!wrapper.succeeded()) {
    return {kExitFailed, interrupted ? "interrupted; " + job.ring + " not written"
                                     : "writing " + job.ring + " failed"};
  }
  if (options.loudnessLufs) {
    // For scripts/bench: the measuring pass's own share of the cut.
    if (std::getenv("SONACLIP_TIMINGS") != nullptr) {
      std::fprintf(stderr, "sonaclip-timing measure-ms=%.1f\n", wrapper.loudnessReport().measureMs);
    }
    *note = LoudnessNote(wrapper.loudnessReport(), target);
  }
  return {};
}

// A JSON number, or null for what has none (the loudness of silence).
std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  std::snprintf(text, sizeof(text), "%.2f", value);
  return text;
}

// The song's integrated loudness and true peak, read from its start to its end; false when
// interrupted or the song cannot be measured.
bool MeasureSong(TVPlayerWrapper& wrapper, const MediaInfo& info, loudness::Measurement& result) {
  IPcmSource* source = wrapper.source();
  LoudnessMeter meter(info.sampleRate, info.bitsPerSample, info.channels, info.channels);
  if (source == nullptr || !meter.ok()) return false;
  std::vector<uint8_t> block(32768);
  int32_t got = 0;
  while (!interrupted && (got = source->Read(block.data(), static_cast<int32_t>(block.size()))) > 0) {
    meter.Add(block.data(), got);
  }
  result = meter.Result();
  return !interrupted;
}

int PrintInfo(TVPlayerWrapper& wrapper, const std::string& path, bool withLoudness) {
  wrapper.PrepareCut(base::UTF8ToWide(path), kNoEncoder, 0);
  const MediaInfo info = wrapper.sourceMediaInfo();
  if (info.sampleRate <= 0 || info.channels <= 0 || info.bitsPerSample <= 0) {
    return Fail(CannotOpen(wrapper, path));
  }
  std::string loudnessFields;
  if (withLoudness) {
    loudness::Measurement measured;
    if (!MeasureSong(wrapper, info, measured)) {
      return Fail(interrupted ? "interrupted" : "cannot measure the loudness of " + path);
    }
    loudnessFields = ",\"integratedLufs\":" + JsonNumber(measured.integratedLufs) +
                     ",\"truePeakDbtp\":" + JsonNumber(measured.truePeakDbtp);
  }
  std::printf(
      "{\"bitsPerSample\":%d,\"channels\":%d,\"sampleRate\":%d,\"bitrateKbps\":%d,"
      "\"duration\":%lld%s}\n",
      info.bitsPerSample, info.channels, info.sampleRate, info.bitrateKbps,
      static_cast<long long>(info.duration), loudnessFields.c_str());
  return kExitOk;
}

// SONG... -o FOLDER: one line per song, "[2/5] SONG -> RING" when its ring was cut, or
// "[2/5] SONG: reason" when not; the batch goes on after a failure and stops on Ctrl+C. On a
// terminal the line carries a progress bar while the song is cut.
int CutBatch(TVPlayerWrapper& wrapper, const CutOptions& options, bool drawBar) {
  std::error_code error;
  if (!std::filesystem::is_directory(options.folder, error)) {
    return Fail(options.folder + " is not a folder");
  }
  const size_t count = options.jobs.size();
  std::vector<std::string> made;
  size_t failed = 0;
  for (size_t i = 0; i < count && !interrupted; ++i) {
    const CutOptions::Job& job = options.jobs[i];
    const std::string number = "[" + std::to_string(i + 1) + "/" + std::to_string(count) + "] ";
    const std::string label = number + job.song + " -> " + job.ring + " ";
    Outcome outcome;
    std::string note;
    // Two songs of one name would make one ring: the later one does not replace the earlier.
    const auto earlier = std::find_if(made.begin(), made.end(), [&](const std::string& ring) {
      return SameFile(ring, job.ring);
    });
    if (earlier != made.end()) {
      outcome = {kExitFailed, job.ring + " was cut from an earlier song of this run; kept"};
    } else {
      outcome = CutOne(wrapper, options, job, drawBar ? &label : nullptr, &note);
    }
    if (drawBar) std::fputs("\r\033[K", stderr);  // the bar's line becomes the result's
    if (outcome.code == kExitOk) {
      made.push_back(job.ring);
      if (!note.empty()) note = " (" + note + ")";
      std::fprintf(stderr, "%s%s -> %s%s\n", number.c_str(), job.song.c_str(), job.ring.c_str(),
                   note.c_str());
    } else {
      ++failed;
      std::fprintf(stderr, "%s%s: %s\n", number.c_str(), job.song.c_str(),
                   outcome.reason.c_str());
    }
  }
  if (interrupted && made.size() + failed < count) {
    std::fprintf(stderr, "sonaclip-cut: interrupted; %zu songs not cut\n",
                 count - made.size() - failed);
  }
  return made.size() == count ? kExitOk : kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
  const ParsedCommandLine parsed = ParseCutOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.options) {
    std::fputs(parsed.text.c_str(), parsed.exitCode == kExitOk ? stdout : stderr);
    return parsed.exitCode;
  }
  const CutOptions& options = *parsed.options;

  // From here on Ctrl+C cancels: the job, once started, sees it before its next block, and a
  // question on the terminal ends.
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  TVPlayerWrapper wrapper;
  if (!wrapper.Initialize(0)) return Fail("cannot load the player library tvplayer.so");
  if (options.info) {
    return PrintInfo(wrapper, options.jobs.front().song, options.loudnessLufs.has_value());
  }

  const bool drawBar = isatty(STDERR_FILENO) == 1;
  if (options.Batch()) return CutBatch(wrapper, options, drawBar);

  const std::string noLabel;
  std::string note;
  const Outcome outcome =
      CutOne(wrapper, options, options.jobs.front(), drawBar ? &noLabel : nullptr, &note);
  if (drawBar && wrapper.jobFinished()) std::fputc('\n', stderr);
  if (outcome.code != kExitOk) std::fprintf(stderr, "sonaclip-cut: %s\n", outcome.reason.c_str());
  if (!note.empty()) {
    std::fprintf(stderr, "sonaclip-cut: %s: %s\n", options.jobs.front().ring.c_str(), note.c_str());
  }
  return outcome.code;
}
