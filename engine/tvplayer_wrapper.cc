#include "engine/tvplayer_wrapper.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>

#include "audio/pcm_samples.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop.h"
#include "base/path_service.h"
#include "base/strings.h"
#include "base/task.h"
#include "base/thread.h"
#include "engine/cut_plan.h"
#include "engine/encoder.h"
#include "engine/loudness_meter.h"
#include "engine/mp3_encoder.h"
#include "engine/ring_tags.h"
#include "engine/stream_encoders.h"
#include "engine/wav_encoder.h"

TVPlayerWrapper::TVPlayerWrapper() = default;

TVPlayerWrapper::~TVPlayerWrapper() {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  DisposeEncoder();
  sourceObject.Reset();
  // Releasing the player joins its thread, so no notification can arrive after this.
  playerObject.Reset();
}

bool TVPlayerWrapper::Initialize(HWND window) {
  std::filesystem::path folder;
  if (!base::PathService::Get(base::PathService::DIR_EXE, &folder)) {
    if (!playerObject) notifyWindow = window;
    return false;
  }
  return InitializeFrom(folder / kTVPlayerLibraryName, window);
}

bool TVPlayerWrapper::InitializeFrom(const std::filesystem::path& library, HWND window) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  // A second call keeps the first player, and the window and loop its thread reads.
  if (playerObject) return createSource != nullptr;
  notifyWindow = window;
  notifyLoop = base::MessageLoop::current();

  // Never closed: the plug-in's objects and its threads live until the process ends.
  void* module = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) return false;
  auto createPlayer =
      reinterpret_cast<TVCreatePreviewPlayerFn>(dlsym(module, kTVCreatePreviewPlayerName));
  if (!createPlayer) return false;
  base::ComPtr<IPreviewPlayer> created;
  if (createPlayer(&TVPlayerWrapper::OnPlayerNotify, this, created.GetAddressOf()) < 0 || !created) {
    return false;
  }
  playerObject = std::move(created);
  createSource = reinterpret_cast<TVCreatePcmSourceFn>(dlsym(module, kTVCreatePcmSourceName));
  return createSource != nullptr;
}

void TVPlayerWrapper::OnPlayerNotify(void* context, unsigned message, std::uintptr_t wParam,
                                     std::intptr_t lParam) {
  auto* self = static_cast<TVPlayerWrapper*>(context);
  // notifyLoop and notifyWindow are written before the player exists and never again.
  if (!self || !self->notifyLoop) return;
  // The position travels in all 64 bits of wParam: a 32-bit one would wrap at 429.5 s.
  self->notifyLoop->PostNativeMessage(
      base::NativeMessage{self->notifyWindow, message, static_cast<WPARAM>(wParam),
                          static_cast<LPARAM>(lParam)});
}

void TVPlayerWrapper::OpenPreview(const std::wstring& path) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  if (!playerObject) return;
  for (int32_t& word : perFileState) word = 0;
  playerObject->Open(path.c_str(), 0);
}

bool TVPlayerWrapper::ReadWaveform(Waveform& waveform) const {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  WaveformState state{};
  if (!playerObject || playerObject->GetWaveform(&state, nullptr, 0) < 0 || state.bins <= 0) {
    return false;
  }
  // Revisions never repeat across songs, so an equal one is this song's picture unchanged.
  if (state.revision == waveform.state.revision && waveform.state.bins != 0) return false;
  const std::size_t size = static_cast<std::size_t>(state.bins) * std::max(state.channels, 1);
  std::vector<WaveformPeak> peaks(size);
  if (playerObject->GetWaveform(&state, peaks.data(), static_cast<std::int32_t>(size)) < 0 ||
      static_cast<std::size_t>(state.bins) * std::max(state.channels, 1) != size) {
    return false;  // another song was asked for between the two calls
  }
  waveform.state = state;
  waveform.peaks = std::move(peaks);
  return true;
}

bool TVPlayerWrapper::PrepareCut(const std::wstring& songPath, int32_t outputFormat,
                                 int32_t bitrateKbps) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  // The running job owns the source and the encoder until it has been wound up.
  if (cutRunning) return false;
  if (!sourceObject) {
    if (!createSource) return false;
    if (createSource(sourceObject.GetAddressOf()) < 0 || !sourceObject) {
      sourceObject.Reset();
      return false;
    }
  }
  sourceError.clear();
  // A song that does not open has no format: keeping the one of an earlier song would let the cut
  // start on a source with nothing to read and commit an empty ring over the user's file.
  if (!sourceObject->Open(songPath.c_str()) || sourceObject->GetMediaInfo(&sourceInfo) < 0) {
    sourceInfo = MediaInfo{};
    const std::int32_t length = sourceObject->GetOpenError(nullptr, 0);
    if (length > 0) {
      sourceError.resize(static_cast<std::size_t>(length) + 1);
      sourceObject->GetOpenError(sourceError.data(), length + 1);
      sourceError.resize(static_cast<std::size_t>(length));
    }
  }

  DisposeEncoder();
  loudnessTarget.reset();
  preparedBitrate = bitrateKbps;
  if (outputFormat == kFormatMp3) {
    encoder = std::make_unique<Mp3Encoder>();
    encoder->SetBitrate(bitrateKbps);
  } else if (outputFormat == kFormatWav) {
    encoder = std::make_unique<WavEncoder>();
  } else if (outputFormat == kFormatM4r) {
    encoder = std::make_unique<M4rEncoder>();
    encoder->SetBitrate(bitrateKbps);
  } else if (outputFormat == kFormatOgg) {
    encoder = std::make_unique<OggEncoder>();
    encoder->SetBitrate(bitrateKbps);
  }
  songFile = std::filesystem::path(base::WideToUTF8(songPath));
  encoderFormat = encoder ? outputFormat : -1;
  return true;
}

void TVPlayerWrapper::NormaliseLoudness(const loudness::Target& target) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  if (!cutRunning) loudnessTarget = target;
}

bool TVPlayerWrapper::StartCutRing(const std::wstring& outputPath, int32_t startMs, int32_t endMs,
                                   int32_t fadeInMs, int32_t fadeOutMs, int32_t volume,
                                   int32_t channels) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  if (cutRunning || !sourceObject) return false;
  const std::optional<cutplan::CutPlan> plan =
      cutplan::PlanCut(sourceInfo.bitsPerSample, sourceInfo.channels, sourceInfo.sampleRate,
                       startMs, endMs, fadeInMs, fadeOutMs);
  if (!plan) return false;
  // A source that cannot be positioned has nothing to read: the job would "succeed" with an
  // empty ring over the user's file.
  if (sourceObject->Seek(startMs * kUnitsPerMillisecond) < 0) return false;
  if (!encoder) return false;

  // The song's frames from the section's start on, by its length, rounded as the length was.
  framesLeft = sourceInfo.duration > 0
                   ? std::max<int64_t>(0, (sourceInfo.duration * sourceInfo.sampleRate +
                                           kUnitsPerSecond / 2) / kUnitsPerSecond -
                                              int64_t{startMs} * sourceInfo.sampleRate / 1000)
                   : -1;
  ringPath = std::filesystem::path(base::WideToUTF8(outputPath));
  if (!part.Create(ringPath)) return false;
  // A loudness cut measures the section unchanged; its gain comes from the measurement.
  if (loudnessTarget) volume = pcm::kUnityGain;
  if (!encoder->Begin(this, base::UTF8ToWide(part.WritePath().string()), plan->jobBytes,
                      plan->fadeInMs, plan->fadeOutMs, volume, channels)) {
    part.Discard();
    return false;
  }

  cutRunning = true;
  jobStartMs = startMs;
  jobEndMs = endMs;
  jobBytesPerSecond = plan->bytesPerSecond;
  earlySongEnd.reset();
  succeededValue.store(false);
  cancelRequested.store(false);
  jobFinishedValue.store(false);
  progressPercentValue.store(0.0f);
  measuringValue.store(false);
  report = {};
  jobStartUnits = startMs * kUnitsPerMillisecond;
  jobSectionMs = endMs - startMs;
  jobChannels = channels;

  auto worker = std::make_unique<base::Thread>("ConvertWork");
  const bool started = worker->Start();
  if (started) {
    worker->message_loop()->PostTask(
        base::Location("TVPlayerWrapper::StartCutRing", "tvplayer_wrapper", 269,
                       base::GetProgramCounter()),
        base::Bind(&TVPlayerWrapper::RunConvertJob, this, plan->jobBytes));
    if (progressUi) {
      progressUi(notifyWindow, *this);
    } else {
      while (!WaitForJob(std::chrono::seconds(1))) {
      }
    }
  }

  {
    // Decided under the lock the worker commits under: either the ring was committed before this
    // point, or the worker sees the cancel and commits nothing.
    std::lock_guard<std::mutex> lock(jobEndMutex);
    if (!succeededValue.load()) cancelRequested.store(true);
  }
  // Stopping waits for the running task; the loop sees the cancel before its next block.
  if (worker->IsRunning()) worker->Stop();
  progressPercentValue.store(0.0f);

  // The worker finished the file and committed it before it reported success; what is left of a
  // job that did not succeed is only discarded here.
  if (!started) encoder->End();
  DisposeEncoder();
  if (!succeededValue.load()) part.Discard();

  sourceObject.Reset();
  worker.reset();
  cutRunning = false;
  return started;
}

namespace {

// How much of the bar the measuring pass of a loudness cut covers: about its share of the time,
// as scripts/bench measures it (decoding, then the meter; then decoding and the encoder).
float MeasuringShare(int32_t format) {
  return format == TVPlayerWrapper::kFormatWav ? 0.5f : 0.25f;
}

}  // namespace

void TVPlayerWrapper::AddProgress(int32_t bytes, int jobBytes, float barShare) {
  if (jobBytes < 1) {
    progressPercentValue.store(0.0f, std::memory_order_relaxed);
    return;
  }
  const float share = static_cast<float>(static_cast<uint32_t>(bytes)) /
                      static_cast<float>(jobBytes) * 100.0f * barShare;
  progressPercentValue.store(progressPercentValue.load(std::memory_order_relaxed) + share,
                             std::memory_order_relaxed);
}

bool TVPlayerWrapper::MeasureSection(int jobBytes) {
  const auto began = std::chrono::steady_clock::now();
  const float barShare = MeasuringShare(encoderFormat);
  if (jobSectionMs < loudness::kShortestMeasurableMs) {
    // Nothing to measure: the ring is written as it is, and the source has not moved.
    report.decision = loudness::TooShort();
    return encoder->Rewind(pcm::kUnityGain);
  }
  LoudnessMeter meter(sourceInfo.sampleRate, sourceInfo.bitsPerSample, sourceInfo.channels,
                      jobChannels);
  if (!meter.ok()) return false;
  const auto measure = [&meter](const uint8_t* block, int32_t bytes) { meter.Add(block, bytes); };
  measuringValue.store(true, std::memory_order_relaxed);
  int32_t bytes = 0;
  if (encoder->MeasureStep(bytes, measure)) {
    while (!cancelRequested.load(std::memory_order_acquire)) {
      AddProgress(bytes, jobBytes, barShare);
      if (!encoder->MeasureStep(bytes, measure)) break;
    }
  }
  measuringValue.store(false, std::memory_order_relaxed);
  if (cancelRequested.load(std::memory_order_acquire)) return false;

  report.measurement = meter.Result();
  // The rate the plug-in really writes, which the codec's level depends on.
  const int32_t kbps = encoderFormat == kFormatMp3
                           ? Mp3Encoder::WrittenBitrate(preparedBitrate, sourceInfo.sampleRate,
                                                        jobChannels)
                           : preparedBitrate;
  report.decision = loudness::Decide(report.measurement, *loudnessTarget,
                                     loudness::CodecLevelOf(encoderFormat, kbps));
  report.measured = true;
  // The writing pass takes the same section again from its start: the PCM the encoder kept, or
  // the source put back.
  if (!encoder->Rewind(report.decision.gain)) return false;
  if (!encoder->replaysSection() && sourceObject->Seek(jobStartUnits) < 0) return false;
  progressPercentValue.store(barShare * 100.0f, std::memory_order_relaxed);
  report.measureMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
  return true;
}

void TVPlayerWrapper::RunConvertJob(int jobBytes) {
  int32_t bytes = 0;
  int64_t written = 0;
  // Every block the encoder took, so a job that found no sound at all can tell.
  const auto step = [&] {
    const bool more = encoder->Step(bytes);
    written += bytes;
    return more;
  };
  const bool measured = !loudnessTarget || MeasureSection(jobBytes);
  const float barShare = loudnessTarget ? 1.0f - MeasuringShare(encoderFormat) : 1.0f;
  if (measured && step()) {
    while (!cancelRequested.load(std::memory_order_acquire)) {
      AddProgress(bytes, jobBytes, barShare);
      if (!step()) break;
    }
  }
  // A write that failed (a full disk) ends the loop like the section's end; it must not count as
  // a saved ring. Neither does a section where the source had no sound left at all (a file whose
  // header promises more than it holds): an empty ring would replace the user's file.
  bool saved = measured && !cancelRequested.load(std::memory_order_acquire) &&
               !encoder->failed() && written > 0;
  // The source ran dry before the job's bytes were taken. Where the song ends within the section
  // (or before it begins), the ring would be short or empty: the job fails and tells where.
  if (measured && !cancelRequested.load(std::memory_order_acquire) && !encoder->failed() &&
      written < jobBytes) {
    int64_t songEnd = 0;
    if (sourceObject->GetReachedEnd(&songEnd) != tavio::S_OK) {
      songEnd = jobStartMs * kUnitsPerMillisecond + written * kUnitsPerSecond / jobBytesPerSecond;
    }
    if (cutplan::SongEndsBeforeSection(songEnd, jobEndMs)) {
      earlySongEnd = songEnd;
      saved = false;
    }
  }
  // Finishing the file (the MP3 flush and tag, the WAV header, the sync to disk) is part of the
  // job: it runs here, so the progress window stays live on a slow disk, and success is raised
  // only for a ring that exists under its name. End deletes a file it could not complete.
  if (!encoder->End()) saved = false;
  if (saved && !cancelRequested.load(std::memory_order_acquire)) TagFinishedRing();
  {
    std::lock_guard<std::mutex> lock(jobEndMutex);
    // A cancel that came while the file was being finished still wins: nothing is committed.
    if (saved && cancelRequested.load(std::memory_order_acquire)) saved = false;
    if (saved && !part.Commit()) saved = false;
    succeededValue.store(saved, std::memory_order_release);
    jobFinishedValue.store(true, std::memory_order_release);
  }
  jobEnded.notify_all();
}

bool TVPlayerWrapper::WaitForJob(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(jobEndMutex);
  return jobEnded.wait_for(lock, timeout, [this] { return jobFinished(); });
}

void TVPlayerWrapper::TagFinishedRing() {
  ringtags::Container container;
  if (encoderFormat == kFormatMp3) {
    container = ringtags::Container::kMp3;
  } else if (encoderFormat == kFormatM4r) {
    container = ringtags::Container::kMp4;
  } else if (encoderFormat == kFormatOgg) {
    container = ringtags::Container::kOgg;
  } else {
    return;  // WAV rings carry the sound only
  }
  // Whatever happens here, the untagged ring is still whole in the part file.
  ringtags::TagFinishedRing(part, ringPath, container, ringtags::ReadSongTags(songFile));
}

void TVPlayerWrapper::DisposeEncoder() {
  encoder.reset();
}
