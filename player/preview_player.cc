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
    : callback_(callback), context_(context) {}

PreviewPlayer::~PreviewPlayer() = default;

bool PreviewPlayer::Start() {
  try {
    thread_ = std::thread(&PreviewPlayer::ThreadMain, this);
  } catch (const std::system_error&) {
    return false;
  }
  pthread_setname_np(thread_.native_handle(), "TVPreview");
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
  return refs_.fetch_add(1) + 1;
}

std::uint32_t PreviewPlayer::Release() {
  const std::uint32_t left = refs_.fetch_sub(1) - 1;
  if (left != 0) return left;
  decoder_.RequestAbort();  // an open or seek in progress gives up at once
  const bool onPlayerThread = thread_.joinable() && thread_.get_id() == std::this_thread::get_id();
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    quit_ = true;
    deleteOnExit_ = onPlayerThread;
  }
  wake_.notify_all();
  if (onPlayerThread) {
    thread_.detach();  // the thread frees the player when it leaves its loop
    return 0;
  }
  if (thread_.joinable()) thread_.join();
  delete this;
  return 0;
}

std::int32_t PreviewPlayer::Post(Command command, bool needsFile) {
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    if (needsFile && !fileRequested_) return tavio::E_FAIL;
    if (command.type == CommandType::kOpen) fileRequested_ = true;
    if (command.type == CommandType::kClose) fileRequested_ = false;
    queue_.push_back(std::move(command));
  }
  wake_.notify_all();
  return tavio::S_OK;
}

std::int32_t PreviewPlayer::Open(const wchar_t* path, std::int32_t /*flags*/) {
  const auto utf8 = WidePathToUtf8(path);
  // An unusable path still gets its answer by notification, like any file that fails to open.
  return Post(Command{CommandType::kOpen, utf8.value_or(std::string()), 0}, false);
}

std::int32_t PreviewPlayer::Close() {
  return Post(Command{CommandType::kClose, {}, 0}, false);
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
  *position = position100ns_.load();
  return tavio::S_OK;
}

std::int32_t PreviewPlayer::GetDuration(std::int64_t* duration) {
  if (duration == nullptr) return tavio::E_POINTER;
  std::lock_guard<std::mutex> lock(infoMutex_);
  *duration = infoValid_ ? info_.duration : 0;
  return tavio::S_OK;
}

std::int32_t PreviewPlayer::GetState() {
  return state_.load();
}

std::int32_t PreviewPlayer::SetVolume(std::int32_t percent) {
  if (percent < 0 || percent > 100) return tavio::E_INVALIDARG;
  volume_.store(percent);
  return tavio::S_OK;
}

std::int32_t PreviewPlayer::GetVolume(std::int32_t* percent) {
  if (percent == nullptr) return tavio::E_POINTER;
  *percent = volume_.load();
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
  std::lock_guard<std::mutex> lock(infoMutex_);
  *info = infoValid_ ? this->info_ : MediaInfo{};
  return infoValid_ ? tavio::S_OK : tavio::E_FAIL;
}

void PreviewPlayer::ThreadMain() {
  // Built on the caller's thread; from here on the player's own thread owns the playback state.
  DETACH_FROM_THREAD(playerThread);
  DCHECK_CALLED_ON_VALID_THREAD(playerThread);
  for (;;) {
    if (playing_ && output_ && !output_->IsAlive()) {
      // The sound server went away: go on against the clock from what was written.
      output_.reset();
      StartSegment(segmentStartSample_ + segmentWritten_);
    }
    // Asked outside our lock: libpulse takes its own.
    const bool blockFits =
        playing_ && !ending_ && output_ && output_->WritableBytes() >= BlockBytes();
    Command command;
    bool haveCommand = false;
    {
      std::unique_lock<std::mutex> lock(queueMutex_);
      auto ready = [this] { return quit_ || !queue_.empty(); };
      if (!playing_) {
        wake_.wait(lock, ready);
      } else if (!output_) {
        wake_.wait_until(lock, nextDue_, ready);  // clock mode: the block's time has to pass
      } else if (!blockFits) {
        wake_.wait_for(lock, kServerPoll, ready);  // the server wants no more yet
      }
      if (quit_) break;
      if (!queue_.empty()) {
        command = std::move(queue_.front());
        queue_.pop_front();
        haveCommand = true;
      }
    }
    if (haveCommand) {
      Handle(command);
    } else if (playing_ && ending_) {
      if (!output_ || output_->IsDrained() || Clock::now() > endingDeadline_) {
        EndOfSong();
      } else {
        ReportPosition(false);
      }
    } else if (playing_ && (output_ ? output_->WritableBytes() >= BlockBytes()
                                    : Clock::now() >= nextDue_)) {
      PlayBlock();
    } else if (playing_) {
      ReportPosition(false);  // a server that holds back still gets its position reports
    }
  }
  output_.reset();
  decoder_.Close();
  bool deleteSelf;
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    deleteSelf = deleteOnExit_;
  }
  if (deleteSelf) delete this;
}

void PreviewPlayer::Handle(const Command& command) {
  DCHECK_CALLED_ON_VALID_THREAD(playerThread);
  switch (command.type) {
    case CommandType::kOpen:
      DoOpen(command.path);
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

void PreviewPlayer::DoOpen(const std::string& path) {
  DoClose(false);
  if (path.empty() || !decoder_.Open(path)) {
    SetState(kTVPlayerOpenFailed);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(infoMutex_);
    info_ = decoder_.info();
    infoValid_ = true;
  }
  SetState(kTVPlayerOpened);
}

void PreviewPlayer::DoClose(bool notify) {
  playing_ = false;
  ending_ = false;
  output_.reset();
  outputTried_ = false;
  decoder_.Close();
  {
    std::lock_guard<std::mutex> lock(infoMutex_);
    info_ = MediaInfo{};
    infoValid_ = false;
  }
  position100ns_.store(0);
  if (notify) SetState(kTVPlayerClosed);
}

void PreviewPlayer::DoPlay() {
  if (!decoder_.IsOpen() || playing_) return;
  if (!outputTried_) {
    const MediaInfo& info = decoder_.info();
    output_ = PulseOutput::Open(info.bitsPerSample, info.channels, info.sampleRate);
    outputTried_ = true;
  }
  playing_ = true;
  StartSegment(decoder_.position());
  SetState(kTVPlayerPlaying);
  ReportPosition(true);
}

void PreviewPlayer::DoPause() {
  if (!decoder_.IsOpen() || !playing_) return;
  // What is still buffered at the server was never heard: resume from where the sound stopped.
  const std::int64_t heard = HeardSample();
  if (output_) output_->Flush();
  playing_ = false;
  ending_ = false;
  if (heard != decoder_.position()) decoder_.SeekToSample(heard);
  position100ns_.store(SamplesTo100ns(heard));
  SetState(kTVPlayerPaused);
  ReportPosition(true);
}

void PreviewPlayer::DoStop() {
  if (!decoder_.IsOpen()) return;
  if (output_) output_->Flush();
  playing_ = false;
  ending_ = false;
  decoder_.SeekToSample(0);
  position100ns_.store(0);
  SetState(kTVPlayerStopped);
}

void PreviewPlayer::DoSeek(std::int64_t position100ns) {
  if (!decoder_.IsOpen()) return;
  if (output_ && playing_) output_->Flush();
  decoder_.SeekToTime(position100ns);
  StartSegment(decoder_.position());
  this->position100ns_.store(SamplesTo100ns(decoder_.position()));
  ReportPosition(true);
}

void PreviewPlayer::StartSegment(std::int64_t sample) {
  ending_ = false;
  segmentStartSample_ = sample;
  segmentWritten_ = 0;
  segmentStartTime_ = Clock::now();
  nextDue_ = segmentStartTime_;
}

std::int64_t PreviewPlayer::HeardSample() {
  const int rate = decoder_.info().sampleRate;
  std::int64_t heard = segmentWritten_;
  if (output_) {
    // Until the server reports its timing, nothing written counts as heard.
    const std::optional<std::uint64_t> latencyUs = output_->LatencyUs();
    const std::int64_t latency =
        latencyUs ? static_cast<std::int64_t>(std::min<std::uint64_t>(*latencyUs, 60000000) *
                                              rate / 1000000)
                  : segmentWritten_;
    heard = std::max<std::int64_t>(0, segmentWritten_ - latency);
  } else {
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() -
                                                                               segmentStartTime_);
    heard = std::min<std::int64_t>(segmentWritten_, elapsed.count() * rate / 1000000);
  }
  return segmentStartSample_ + heard;
}

void PreviewPlayer::PlayBlock() {
  DCHECK_CALLED_ON_VALID_THREAD(playerThread);
  const MediaInfo& info = decoder_.info();
  const int align = decoder_.blockAlign();
  block_.resize(BlockBytes());
  const int got = decoder_.Read(block_.data(), static_cast<int>(block_.size()));
  if (got <= 0) {
    if (output_) {
      BeginEnding();
    } else {
      EndOfSong();  // against the clock the last block's time has already passed
    }
    return;
  }
  // At 100 % the samples play unchanged.
  if (const int percent = volume_.load(); percent < 100) {
    pcm::ApplyGain(block_.data(), info.bitsPerSample, info.channels,
                   percent * (pcm::kUnityGain / 100), static_cast<std::uint32_t>(got / align));
  }
  if (output_ && !output_->Write(block_.data(), static_cast<std::size_t>(got))) {
    // The sound server went away: go on against the clock from what was heard.
    const std::int64_t heard = segmentStartSample_ + segmentWritten_;
    output_.reset();
    StartSegment(heard);
  }
  segmentWritten_ += got / align;
  if (!output_) {
    nextDue_ = segmentStartTime_ +
               std::chrono::microseconds(segmentWritten_ * 1000000 / info.sampleRate);
  }
  ReportPosition(false);
}

std::size_t PreviewPlayer::BlockBytes() const {
  const int frames = std::max(1, decoder_.info().sampleRate / kBlocksPerSecond);
  return static_cast<std::size_t>(frames) * static_cast<std::size_t>(decoder_.blockAlign());
}

void PreviewPlayer::BeginEnding() {
  ending_ = true;
  endingDeadline_ = Clock::now() + kEndingTimeout;
  output_->StartDrain();
}

void PreviewPlayer::EndOfSong() {
  playing_ = false;
  ending_ = false;
  decoder_.SeekToSample(0);
  position100ns_.store(0);
  SetState(kTVPlayerStopped);
}

void PreviewPlayer::ReportPosition(bool force) {
  const auto now = Clock::now();
  if (!force && now - lastReport_ < kReportInterval) return;
  lastReport_ = now;
  if (playing_) position100ns_.store(SamplesTo100ns(HeardSample()));
  Notify(kTVMsgPosition, static_cast<std::uintptr_t>(position100ns_.load()));
}

void PreviewPlayer::SetState(TVPlayerState state) {
  this->state_.store(state);
  Notify(kTVMsgPlayerState, static_cast<std::uintptr_t>(state));
}

void PreviewPlayer::Notify(unsigned message, std::uintptr_t wParam) {
  if (callback_ != nullptr) callback_(context_, message, wParam, 0);
}

std::int64_t PreviewPlayer::SamplesTo100ns(std::int64_t samples) const {
  const std::int64_t rate = decoder_.info().sampleRate;
  if (rate <= 0) return 0;
  return samples / rate * kUnitsPerSecond + samples % rate * kUnitsPerSecond / rate;
}

}  // namespace tvplayer
