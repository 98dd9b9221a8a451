// TVPlayerWrapper is the program's one road to audio. It loads tvplayer.so from the executable's
// folder, owns the preview player the ring editor listens with, and runs a save: a PCM source of
// the plug-in positioned at the section feeds an encoder (MP3, M4R or OGG through codecs.so, or
// WAV) on the "ConvertWork" thread while a progress UI runs on the calling thread. An MP3, M4R or
// OGG ring carries the song's title, artist, album and cover, written into the finished file
// before it gets its name; a tag that cannot be read or written leaves the ring without it.
//
// One wrapper lives in the main window's ring record (or in sonaclip-cut's main) for as long as
// the window. All public operations are called on one thread, the UI thread; RunConvertJob alone
// runs on "ConvertWork". The two threads share only progressPercent, succeeded and cancelRequested,
// each with one writer, as atomics; the encoder and the source belong to the worker from the moment
// the job is posted until the worker has been stopped.
//
// A loudness-normalised cut (NormaliseLoudness) reads the section twice on "ConvertWork": a
// measuring pass puts it through the encoder's own processing into a LoudnessMeter, the job
// chooses one gain from what it found, puts the source back at the section's start, and the
// writing pass writes the ring with that gain. The progress covers both passes, measuring first,
// and a cancel stops either.
//
// The ring is written to a part file (unnamed where the file system allows, so even a crash leaves
// nothing) and renamed over the chosen path only when the job succeeded, so a cancelled, failed or
// crashed save never destroys a file the user already had nor leaves a half-written ring.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "base/thread_checker.h"
#include "base/win_types.h"
#include "engine/loudness.h"
#include "engine/part_file.h"
#include "engine/tvplayer_interfaces.h"

namespace base {
class MessageLoop;
class Thread;
}  // namespace base

class Encoder;

class TVPlayerWrapper {
 public:
  // Output formats of PrepareCut.
  static constexpr int32_t kFormatMp3 = 0;
  static constexpr int32_t kFormatWav = 1;
  static constexpr int32_t kFormatM4r = 2;  // AAC in MPEG-4, for iPhones (and ".m4a")
  static constexpr int32_t kFormatOgg = 3;  // Vorbis in Ogg

  // Shows the progress of a running job on the calling thread and returns when the user closed it
  // (the window's result code, not used by the wrapper). The program's runs SonaclipProcessWnd
  // modally; sonaclip-cut draws a terminal bar. Without one, StartCutRing waits for the job.
  using ProgressUi = std::function<int(HWND owner, TVPlayerWrapper& job)>;

  TVPlayerWrapper();
  ~TVPlayerWrapper();
  TVPlayerWrapper(const TVPlayerWrapper&) = delete;
  TVPlayerWrapper& operator=(const TVPlayerWrapper&) = delete;

  // Loads tvplayer.so from the executable's folder and creates the preview player, whose
  // notifications are posted to notifyWindow on the calling thread's message loop (a loop of the
  // UI kind; without a current loop notifications are dropped). False when the library or one of
  // its exports is missing; the program then runs without a player.
  bool Initialize(HWND notifyWindow);
  // The same from an explicit library path: tests and tools that load another build of the plug-in.
  bool InitializeFrom(const std::filesystem::path& library, HWND notifyWindow);

  // Clears the per-file state and opens the song in the preview player, if there is one.
  void OpenPreview(const std::wstring& path);

  // Opens songPath in a PCM source and creates the encoder of outputFormat (kFormatMp3,
  // kFormatM4r or kFormatOgg with bitrateKbps, or kFormatWav). An encoder left from a preparation
  // whose cut never started is replaced.
  bool PrepareCut(const std::wstring& songPath, int32_t outputFormat, int32_t bitrateKbps);

  // Cuts [startMs, endMs) of the prepared song into outputPath with the fades (ms, fitted into the
  // section), volume (1/10000) and channels (1 or 2). Blocks until the progress UI has closed and
  // the job has stopped. False only when the job could not start (no file is created then, and
  // succeeded() still tells of an earlier job); true once the job ran, and succeeded() tells
  // whether the ring was written. The worker finishes the file and gives it its name before it
  // raises succeeded(), so a UI that shows success shows a ring that exists.
  bool StartCutRing(const std::wstring& outputPath, int32_t startMs, int32_t endMs,
                    int32_t fadeInMs, int32_t fadeOutMs, int32_t volume, int32_t channels);

  // Makes the prepared cut a loudness-normalised one: StartCutRing then measures the section as
  // the ring will hold it and writes it with the one gain that brings it to target (its own
  // volume argument is not used). Holds for the next StartCutRing of this preparation; PrepareCut
  // clears it.
  void NormaliseLoudness(const loudness::Target& target);

  // What the last loudness-normalised cut measured and chose, once StartCutRing has returned.
  struct LoudnessReport {
    bool measured = false;  // a measuring pass ran to its end
    loudness::Measurement measurement;
    loudness::Decision decision;
    double measureMs = 0.0;  // the measuring pass's wall time, putting the source back included
  };
  const LoudnessReport& loudnessReport() const { return report; }

  void SetProgressUi(ProgressUi ui) { progressUi = std::move(ui); }

  // Read by the progress UI while a job runs (any thread).
  float progressPercent() const { return progressPercentValue.load(std::memory_order_relaxed); }
  bool succeeded() const { return succeededValue.load(std::memory_order_acquire); }
  // True once the job has ended, its ring committed or discarded; with succeeded() false it
  // failed (or was cancelled). A UI waits for this to learn of a failure, since succeeded() alone
  // stays false.
  bool jobFinished() const { return jobFinishedValue.load(std::memory_order_acquire); }
  // True while the running job is in its measuring pass (any thread).
  bool measuring() const { return measuringValue.load(std::memory_order_relaxed); }
  // Waits up to timeout for the running job to finish; true when it has. For a UI without a
  // message loop of its own (the terminal bar), which wants to react at once to the job's end.
  bool WaitForJob(std::chrono::milliseconds timeout);
  // Asks the running job to stop before its next block. Any thread; the window does not need it
  // (closing it is the cancel), the terminal cutter calls it on Ctrl+C.
  void RequestCancel() { cancelRequested.store(true, std::memory_order_release); }

  // What the encoders read through their wrapper. player() is the preview player, which has the
  // song open in the program; source() the PCM source of the cut. Either may be null.
  IPreviewPlayer* player() const { return playerObject.Get(); }
  IPcmSource* source() const { return sourceObject.Get(); }
  // Format of the song last opened by PrepareCut.
  const MediaInfo& sourceMediaInfo() const { return sourceInfo; }
  // The frames of the song from the start of the running cut to the song's end, by the song's
  // length; -1 when it has none. What the encoders can expect at most.
  int64_t cutFramesLeft() const { return framesLeft; }
  // Why the song last given to PrepareCut did not open, as the plug-in words it (the step, the
  // file and the reason); empty when it opened or the plug-in gave no reason.
  const std::string& sourceOpenError() const { return sourceError; }
  // Where the song really ended (100-ns units) when the last job failed because the song ended
  // before its section did (a file that holds less than its header says); nothing otherwise.
  // Read after StartCutRing has returned.
  std::optional<int64_t> songEndBeforeSection() const { return earlySongEnd; }

  // Where the running job writes before its ring is committed (empty when none runs). For tests.
  const std::filesystem::path& temporaryPath() const { return part.WritePath(); }

  // The preview player's waveform of the open song as last read: empty (no bins) while there is
  // none; peaks holds bins x channels entries, stretch by stretch.
  struct Waveform {
    WaveformState state{};
    std::vector<WaveformPeak> peaks;
  };
  // Brings waveform up to what the player knows now of the open song. True when that changed it;
  // false when nothing more is known, and while the player has no waveform to give (no player,
  // no song open, or another song asked for and not yet open): waveform is then left as it was,
  // and the caller, which knows when it changed songs, clears it. Cheap when nothing changed:
  // only the state is asked for then.
  bool ReadWaveform(Waveform& waveform) const;

 private:
  // The conversion loop, on "ConvertWork".
  void RunConvertJob(int jobBytes);
  // The measuring pass of a loudness-normalised job, on "ConvertWork". Leaves the encoder and the
  // source at the section's start with the chosen gain; false when the job cannot go on
  // (cancelled, or the source cannot be put back).
  bool MeasureSection(int jobBytes);
  // Adds one block's share of the bar.
  void AddProgress(int32_t bytes, int jobBytes, float barShare);
  // Called by the preview player on its own thread.
  static void OnPlayerNotify(void* context, unsigned message, std::uintptr_t wParam,
                             std::intptr_t lParam);
  void DisposeEncoder();
  // On "ConvertWork", before the ring is committed: the song's tags into the finished part file.
  void TagFinishedRing();

  base::ComPtr<IPreviewPlayer> playerObject;
  base::ComPtr<IPcmSource> sourceObject;
  MediaInfo sourceInfo{};
  std::string sourceError;
  std::unique_ptr<Encoder> encoder;
  // What the prepared cut's ring is tagged from and as (set by PrepareCut).
  std::filesystem::path songFile;
  int32_t encoderFormat = -1;
  std::filesystem::path ringPath;  // of the running job
  int64_t framesLeft = -1;         // of the running job
  HWND notifyWindow = 0;
  std::atomic<float> progressPercentValue{0.0f};
  std::atomic<bool> succeededValue{false};
  std::atomic<bool> cancelRequested{false};
  std::atomic<bool> jobFinishedValue{false};
  std::atomic<bool> measuringValue{false};
  // Guards nothing but the wake-up of WaitForJob; jobFinishedValue is set under it.
  std::mutex jobEndMutex;
  std::condition_variable jobEnded;
  TVCreatePcmSourceFn createSource = nullptr;
  // Cleared before every preview open; nothing reads it, it belongs to the player's bookkeeping.
  int32_t perFileState[5] = {};

  // The UI loop that receives the player's notifications; set by Initialize.
  base::MessageLoop* notifyLoop = nullptr;
  ProgressUi progressUi;
  PartFile part;
  // The running job's section and the source's bytes per second: written before the job is
  // posted, read by the worker.
  int32_t jobStartMs = 0;
  int32_t jobEndMs = 0;
  int32_t jobBytesPerSecond = 0;
  // Written by the worker before it raises jobFinished; read on the UI thread once it has joined.
  std::optional<int64_t> earlySongEnd;
  // The loudness cut: set on the UI thread before the job is posted, read by the worker; the
  // report is written by the worker and read after it has been stopped.
  std::optional<loudness::Target> loudnessTarget;
  int32_t preparedBitrate = 0;
  int64_t jobStartUnits = 0;
  int32_t jobSectionMs = 0;
  int32_t jobChannels = 0;
  LoudnessReport report;
  // True from Begin until the job has been wound up: a second save cannot start inside the first
  // (say from a task run by the progress window's nested loop).
  bool cutRunning = false;
  // The thread that created the wrapper, which alone may call its public operations (checked in
  // debug builds).
  THREAD_CHECKER(threadChecker);
};
