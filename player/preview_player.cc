#include "player/preview_player.h"

#include <pthread.h>

#include <algorithm>

#include "audio/pcm_samples.h"
#include "player/playlist.h"
#include "player/pulse_output.h"

namespace tvplayer {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBlocksPerSecond = 50;  // 20 ms blocks
constexpr auto kReportInterval = std::chrono::milliseconds(100);
// How often a playing player asks a full sound server whether it wants more.
constexpr auto kServerPoll = std::chrono::milliseconds(5);
// The longest a server may take to play out the end of a song before the player calls it done.
constexpr auto kEndingTimeout = std::chrono::seconds(3);

}  // namespace

PreviewPlayer::PreviewPlayer(TVNotifyCallback callback, void* context)
    : callback(callback), context(context) {}

PreviewPlayer::~PreviewPlayer() = default;

bool PreviewPlayer::Start() {
  try {
    thread = std::thread(&PreviewPlayer::ThreadMain, this);
  } catch (const std::system_error&) {
    return false;
  }
  pthread_setname_np(thread.native_handle(), "TVPreview");
  return true;
}

std::int32_t PreviewPlayer::QueryInterface(const tavio::GUID& iid, void** out) {
  if (out == nullptr) return tavio::E_POINTER;
  if (iid == tavio::IID_IUnknown || iid == tavio::IID_IPreviewPlayer) {
    AddRef();
    *out = static_cast<IPreviewPlayer*>(this);
    return tavio::S_OK;
  }
  *out = nullptr;
  return tavio::E_NOINTERFACE;
}

std::uint32_t PreviewPlayer::AddRef() {
  return refs.fetch_add(1) + 1;
}

std::uint32_t PreviewPlayer::Release() {
  const std::uint32_t left = refs.fetch_sub(1) - 1;
  if (left != 0) return left;
  decoder.RequestAbort();  // an open or seek in progress gives up at once
  CancelWaveformUnlessOf(std::string());
  const bool onPlayerThread = thread.joinable() && thread.get_id() == std::this_thread::get_id();
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    quit = true;
    deleteOnExit = onPlayerThread;
  }
  wake.notify_all();
  if (onPlayerThread) {
    thread.detach();  // the thread frees the player when it leaves its loop
    return 0;
  }
  if (thread.joinable()) thread.join();
  delete this;
  return 0;
}

std::int32_t PreviewPlayer::Post(Command command, bool needsFile) {
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    if (needsFile && !fileRequested) return tavio::E_FAIL;
    if (command.type == CommandType::kOpen) fileRequested = true;
    if (command.type == CommandType::kClose) fileRequested = false;
    if (command.type == CommandType::kOpen || command.type == CommandType::kClose) {
      command.song = songRequests.fetch_add(1) + 1;
    }
    queue.push_back(std::move(command));
  }
  wake.notify_all();
  return tavio::S_OK;
}

std::int32_t PreviewPlayer::Open(const wchar_t* path, std::int32_t /*flags*/) {
  const auto utf8 = WidePathToUtf8(path);
  // An unusable path still gets its answer by notification, like any file that fails to open.
  const std::int32_t result = Post(Command{CommandType::kOpen, utf8.value_or(std::string()), 0}, false);
  // The work on another song stops now, not when the player thread comes to this open.
  CancelWaveformUnlessOf(utf8.value_or(std::string()));
  return result;
}

std::int32_t PreviewPlayer::Close() {
  const std::int32_t result = Post(Command{CommandType::kClose, {}, 0}, false);
  CancelWaveformUnlessOf(std::string());
  return result;
}

std::int32_t PreviewPlayer::Play() {
  return Post(Command{CommandType::kPlay, {}, 0}, true);
}

std::int32_t PreviewPlayer::Pause() {
  return Post(Command{CommandType::kPause, {}, 0}, true);
}

std::int32_t PreviewPlayer::Stop() {
  return Post(Command{CommandType::kStop, {}, 0}, true);
}

std::int32_t PreviewPlayer::Seek(std::int64_t position) {
  return Post(Command{CommandType::kSeek, {}, std::max<std::int64_t>(position, 0)}, true);
}

std::int32_t PreviewPlayer::GetPosition(std::int64_t* position) {
  if (position == nullptr) return tavio::E_POINTER;
  *position = position100ns.load();
  return tavio::S_OK;
}

std::int32_t PreviewPlayer::GetDuration(std::int64_t* duration) {
  if (duration == nullptr) return tavio::E_POINTER;
  std::lock_guard<std::mutex> lock(infoMutex);
  *duration = infoValid ? info.duration : 0;
  return tavio::S_OK;
}

std::int32_t PreviewPlayer::GetState() {
  return state.load();
}

std::int32_t PreviewPlayer::SetVolume(std::int32_t percent) {
  if (percent < 0 || percent > 100) return tavio::E_INVALIDARG;
  volume.store(percent);
  return tavio::S_OK;
}

std::int32_t PreviewPlayer::GetVolume(std::int32_t* percent) {
  if (percent == nullptr) return tavio::E_POINTER;
  *percent = volume.load();
  return tavio::S_OK;
}

std::int32_t PreviewPlayer::Reserved14() {
  return tavio::E_NOTIMPL;
}

std::int32_t PreviewPlayer::Reserved15() {
  return tavio::E_NOTIMPL;
}

std::int32_t PreviewPlayer::GetMediaInfo(MediaInfo* info) {
  if (info == nullptr) return tavio::E_POINTER;
  std::lock_guard<std::mutex> lock(infoMutex);
  *info = infoValid ? this->info : MediaInfo{};
  return infoValid ? tavio::S_OK : tavio::E_FAIL;
}

std::int32_t PreviewPlayer::GetWaveform(WaveformState* state, WaveformPeak* peaks,
                                       std::int32_t capacity) {
  if (state == nullptr || (peaks == nullptr && capacity > 0)) return tavio::E_POINTER;
  if (capacity < 0) return tavio::E_INVALIDARG;
  *state = WaveformState{};
  std::lock_guard<std::mutex> lock(waveformMutex);
  if (!waveform || waveformSong != songRequests.load()) return tavio::E_FAIL;
  waveform->Snapshot(state, peaks, capacity);
  return tavio::S_OK;
}

void PreviewPlayer::CancelWaveformUnlessOf(const std::string& path) {
  std::lock_guard<std::mutex> lock(waveformMutex);
  if (waveform && (path.empty() || waveform->path() != path)) waveform->Cancel();
}

void PreviewPlayer::StopWaveform() {
  std::unique_ptr<WaveformJob> stopped;
  {
    std::lock_guard<std::mutex> lock(waveformMutex);
    stopped = std::move(waveform);
  }
  stopped.reset();  // joins the workers, outside the lock readers take
}

void PreviewPlayer::ThreadMain() {
  // Built on the caller's thread; from here on the player's own thread owns the playback state.
  DETACH_FROM_THREAD(playerThread);
  DCHECK_CALLED_ON_VALID_THREAD(playerThread);
  for (;;) {
    if (playing && output && !output->IsAlive()) {
      // The sound server went away: go on against the clock from what was written.
      output.reset();
      StartSegment(segmentStartSample + segmentWritten);
    }
    // Asked outside our lock: libpulse takes its own.
    const bool blockFits =
        playing && !ending && output && output->WritableBytes() >= BlockBytes();
    Command command;
    bool haveCommand = false;
    {
      std::unique_lock<std::mutex> lock(queueMutex);
      auto ready = [this] { return quit || !queue.empty(); };
      if (!playing) {
        wake.wait(lock, ready);
      } else if (!output) {
        wake.wait_until(lock, nextDue, ready);  // clock mode: the block's time has to pass
      } else if (!blockFits) {
        wake.wait_for(lock, kServerPoll, ready);  // the server wants no more yet
      }
      if (quit) break;
      if (!queue.empty()) {
        command = std::move(queue.front());
        queue.pop_front();
        haveCommand = true;
      }
    }
    if (haveCommand) {
      Handle(command);
    } else if (playing && ending) {
      if (!output || output->IsDrained() || Clock::now() > endingDeadline) {
        EndOfSong();
      } else {
        ReportPosition(false);
      }
    } else if (playing && (output ? output->WritableBytes() >= BlockBytes()
                                    : Clock::now() >= nextDue)) {
      PlayBlock();
    } else if (playing) {
      ReportPosition(false);  // a server that holds back still gets its position reports
    }
  }
  output.reset();
  decoder.Close();
  StopWaveform();
  bool deleteSelf;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    deleteSelf = deleteOnExit;
  }
  if (deleteSelf) delete this;
}

void PreviewPlayer::Handle(const Command& command) {
  DCHECK_CALLED_ON_VALID_THREAD(playerThread);
  switch (command.type) {
    case CommandType::kOpen:
      DoOpen(command.path, command.song);
      break;
    case CommandType::kClose:
      DoClose(true);
      break;
    case CommandType::kPlay:
      DoPlay();
      break;
    case CommandType::kPause:
      DoPause();
      break;
    case CommandType::kStop:
      DoStop();
      break;
    case CommandType::kSeek:
      DoSeek(command.position);
      break;
  }
}

void PreviewPlayer::DoOpen(const std::string& path, std::uint32_t song) {
  // Opening the same unchanged file again (to play it once more from a stop) keeps its waveform,
  // finished or still coming.
  std::unique_ptr<WaveformJob> kept;
  {
    std::lock_guard<std::mutex> lock(waveformMutex);
    if (waveform && waveform->Serves(path)) kept = std::move(waveform);
  }
  DoClose(false);
  if (path.empty() || !decoder.Open(path)) {
    kept.reset();
    SetState(kTVPlayerOpenFailed);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(infoMutex);
    info = decoder.info();
    infoValid = true;
  }
  // A playlist plays its entry: the entry is what the picture shows.
  if (kept && !kept->Serves(decoder.path())) kept.reset();
  if (!kept) {
    kept = std::make_unique<WaveformJob>(decoder.path(), decoder.info(), kWaveformBins,
                                         WaveformJob::DefaultThreads());
  }
  {
    std::lock_guard<std::mutex> lock(waveformMutex);
    waveform = std::move(kept);
    waveformSong = song;
  }
  SetState(kTVPlayerOpened);
}

void PreviewPlayer::DoClose(bool notify) {
  StopWaveform();
  playing = false;
  ending = false;
  output.reset();
  outputTried = false;
  decoder.Close();
  {
    std::lock_guard<std::mutex> lock(infoMutex);
    info = MediaInfo{};
    infoValid = false;
  }
  position100ns.store(0);
  if (notify) SetState(kTVPlayerClosed);
}

void PreviewPlayer::DoPlay() {
  if (!decoder.IsOpen() || playing) return;
  if (!outputTried) {
    const MediaInfo& info = decoder.info();
    output = PulseOutput::Open(info.bitsPerSample, info.channels, info.sampleRate);
    outputTried = true;
  }
  playing = true;
  StartSegment(decoder.position());
  SetState(kTVPlayerPlaying);
  ReportPosition(true);
}

void PreviewPlayer::DoPause() {
  if (!decoder.IsOpen() || !playing) return;
  // What is still buffered at the server was never heard: resume from where the sound stopped.
  const std::int64_t heard = HeardSample();
  if (output) output->Flush();
  playing = false;
  ending = false;
  if (heard != decoder.position()) decoder.SeekToSample(heard);
  position100ns.store(SamplesTo100ns(heard));
  SetState(kTVPlayerPaused);
  ReportPosition(true);
}

void PreviewPlayer::DoStop() {
  if (!decoder.IsOpen()) return;
  if (output) output->Flush();
  playing = false;
  ending = false;
  decoder.SeekToSample(0);
  position100ns.store(0);
  SetState(kTVPlayerStopped);
}

void PreviewPlayer::DoSeek(std::int64_t position100ns) {
  if (!decoder.IsOpen()) return;
  if (output && playing) output->Flush();
  decoder.SeekToTime(position100ns);
  StartSegment(decoder.position());
  this->position100ns.store(SamplesTo100ns(decoder.position()));
  ReportPosition(true);
}

void PreviewPlayer::StartSegment(std::int64_t sample) {
  ending = false;
  segmentStartSample = sample;
  segmentWritten = 0;
  segmentStartTime = Clock::now();
  nextDue = segmentStartTime;
}

std::int64_t PreviewPlayer::HeardSample() {
  const int rate = decoder.info().sampleRate;
  std::int64_t heard = segmentWritten;
  if (output) {
    // Until the server reports its timing, nothing written counts as heard.
    const std::optional<std::uint64_t> latencyUs = output->LatencyUs();
    const std::int64_t latency =
        latencyUs ? static_cast<std::int64_t>(std::min<std::uint64_t>(*latencyUs, 60000000) *
                                              rate / 1000000)
                  : segmentWritten;
    heard = std::max<std::int64_t>(0, segmentWritten - latency);
  } else {
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() -
                                                                               segmentStartTime);
    heard = std::min<std::int64_t>(segmentWritten, elapsed.count() * rate / 1000000);
  }
  return segmentStartSample + heard;
}

void PreviewPlayer::PlayBlock() {
  DCHECK_CALLED_ON_VALID_THREAD(playerThread);
  const MediaInfo& info = decoder.info();
  const int align = decoder.blockAlign();
  block.resize(BlockBytes());
  const int got = decoder.Read(block.data(), static_cast<int>(block.size()));
  if (got <= 0) {
    if (output) {
      BeginEnding();
    } else {
      EndOfSong();  // against the clock the last block's time has already passed
    }
    return;
  }
  // At 100 % the samples play unchanged.
  if (const int percent = volume.load(); percent < 100) {
    pcm::ApplyGain(block.data(), info.bitsPerSample, info.channels,
                   percent * (pcm::kUnityGain / 100), static_cast<std::uint32_t>(got / align));
  }
  if (output && !output->Write(block.data(), static_cast<std::size_t>(got))) {
    // The sound server went away: go on against the clock from what was heard.
    const std::int64_t heard = segmentStartSample + segmentWritten;
    output.reset();
    StartSegment(heard);
  }
  segmentWritten += got / align;
  if (!output) {
    nextDue = segmentStartTime +
               std::chrono::microseconds(segmentWritten * 1000000 / info.sampleRate);
  }
  ReportPosition(false);
}

std::size_t PreviewPlayer::BlockBytes() const {
  const int frames = std::max(1, decoder.info().sampleRate / kBlocksPerSecond);
  return static_cast<std::size_t>(frames) * static_cast<std::size_t>(decoder.blockAlign());
}

void PreviewPlayer::BeginEnding() {
  ending = true;
  endingDeadline = Clock::now() + kEndingTimeout;
  output->StartDrain();
}

void PreviewPlayer::EndOfSong() {
  playing = false;
  ending = false;
  decoder.SeekToSample(0);
  position100ns.store(0);
  SetState(kTVPlayerStopped);
}

void PreviewPlayer::ReportPosition(bool force) {
  const auto now = Clock::now();
  if (!force && now - lastReport < kReportInterval) return;
  lastReport = now;
  if (playing) position100ns.store(SamplesTo100ns(HeardSample()));
  Notify(kTVMsgPosition, static_cast<std::uintptr_t>(position100ns.load()));
}

void PreviewPlayer::SetState(TVPlayerState state) {
  this->state.store(state);
  Notify(kTVMsgPlayerState, static_cast<std::uintptr_t>(state));
}

void PreviewPlayer::Notify(unsigned message, std::uintptr_t wParam) {
  if (callback != nullptr) callback(context, message, wParam, 0);
}

std::int64_t PreviewPlayer::SamplesTo100ns(std::int64_t samples) const {
  const std::int64_t rate = decoder.info().sampleRate;
  if (rate <= 0) return 0;
  return samples / rate * kUnitsPerSecond + samples % rate * kUnitsPerSecond / rate;
}

}  // namespace tvplayer
