// IPreviewPlayer of the player plug-in: plays a song for marking a section, on its own thread.
//
// Calls from the program (any thread) only queue a command; the player thread opens, decodes,
// writes to the sound server (or, without one, keeps time against the clock so positions still
// advance) and reports states and positions through the TVNotifyCallback. The callback runs on
// the player thread with no lock held. The last Release stops and joins that thread, so no
// callback arrives after it returns (a Release from inside the callback lets the thread end and
// free the player by itself instead).
//
// Each song that opens gets its waveform computed by a WaveformJob on threads of its own; the
// player thread starts it and, before the next song opens, at a close and at the end, stops and
// joins it. An Open or Close call cancels a job of another file at once, so the work stops within
// a block's decoding even while the player thread is still busy.

#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/thread_checker.h"
#include "engine/tvplayer_interfaces.h"
#include "player/media_decoder.h"
#include "player/waveform_job.h"

namespace tvplayer {

class PulseOutput;

class PreviewPlayer final : public IPreviewPlayer {
 public:
  PreviewPlayer(TVNotifyCallback callback, void* context);
  PreviewPlayer(const PreviewPlayer&) = delete;
  PreviewPlayer& operator=(const PreviewPlayer&) = delete;

  // Starts the player thread; false when it cannot be started.
  bool Start();

  std::int32_t QueryInterface(const tavio::GUID& iid, void** out) override;
  std::uint32_t AddRef() override;
  std::uint32_t Release() override;

  std::int32_t Close() override;
  std::int32_t Open(const wchar_t* path, std::int32_t flags) override;
  std::int32_t Play() override;
  std::int32_t Pause() override;
  std::int32_t Stop() override;
  std::int32_t Seek(std::int64_t position) override;
  std::int32_t GetPosition(std::int64_t* position) override;
  std::int32_t GetDuration(std::int64_t* duration) override;
  std::int32_t GetState() override;
  std::int32_t SetVolume(std::int32_t percent) override;
  std::int32_t GetVolume(std::int32_t* percent) override;
  std::int32_t Reserved14() override;
  std::int32_t Reserved15() override;
  std::int32_t GetMediaInfo(MediaInfo* info) override;
  std::int32_t GetWaveform(WaveformState* state, WaveformPeak* peaks,
                           std::int32_t capacity) override;

 private:
  enum class CommandType { kOpen, kClose, kPlay, kPause, kStop, kSeek };
  struct Command {
    CommandType type;
    std::string path;
    std::int64_t position = 0;
    // Of an open: the count of Open and Close calls when it was asked for (see songRequests).
    std::uint32_t song = 0;
  };

  ~PreviewPlayer();

  std::int32_t Post(Command command, bool needsFile);
  void ThreadMain();
  void Handle(const Command& command);

  void DoOpen(const std::string& path, std::uint32_t song);
  void DoClose(bool notify);
  void DoPlay();
  void DoPause();
  void DoStop();
  void DoSeek(std::int64_t position100ns);
  // Plays one short block; ends the song when the decoder has no more.
  void PlayBlock();
  // The decoder has no more: let the server play out what it holds, then stop.
  void BeginEnding();
  void EndOfSong();
  std::size_t BlockBytes() const;
  void StartSegment(std::int64_t sample);
  std::int64_t HeardSample();
  void ReportPosition(bool force);
  void SetState(TVPlayerState state);
  // Stops and joins the waveform's work, if any (player thread; never under waveformMutex).
  void StopWaveform();
  // Cancels a job that does not compute `path` (any thread, without joining).
  void CancelWaveformUnlessOf(const std::string& path);
  void Notify(unsigned message, std::uintptr_t wParam);
  std::int64_t SamplesTo100ns(std::int64_t samples) const;

  const TVNotifyCallback callback;
  void* const context;
  std::atomic<std::uint32_t> refs{1};

  // Guards the command queue and the quit flags.
  std::mutex queueMutex;
  std::condition_variable wake;
  std::deque<Command> queue;
  bool quit = false;
  bool deleteOnExit = false;
  bool fileRequested = false;  // an Open was queued and no Close since (caller threads only)

  std::thread thread;

  // Read from any thread.
  std::atomic<std::int32_t> state{0};
  std::atomic<std::int64_t> position100ns{0};
  std::atomic<std::int32_t> volume{100};
  std::mutex infoMutex;  // guards info and infoValid
  MediaInfo info{};
  bool infoValid = false;
  // Open and Close calls so far (written under queueMutex): a waveform is handed out only while
  // it belongs to the last of them.
  std::atomic<std::uint32_t> songRequests{0};
  // Guards waveform and waveformSong. Never held while a job is joined or the callback runs.
  std::mutex waveformMutex;
  std::unique_ptr<WaveformJob> waveform;
  std::uint32_t waveformSong = 0;  // the songRequests count of the open that made it current

  // Player thread only.
  THREAD_CHECKER(playerThread);
  MediaDecoder decoder;
  std::unique_ptr<PulseOutput> output;
  bool outputTried = false;
  bool playing = false;
  bool ending = false;  // playing out the last buffered sound
  std::chrono::steady_clock::time_point endingDeadline;
  std::int64_t segmentStartSample = 0;  // where the current stretch of playing began
  std::int64_t segmentWritten = 0;      // samples written since then
  std::chrono::steady_clock::time_point segmentStartTime;
  std::chrono::steady_clock::time_point nextDue;  // clock mode: when the next block is due
  std::chrono::steady_clock::time_point lastReport;
  std::vector<std::uint8_t> block;
};

}  // namespace tvplayer
