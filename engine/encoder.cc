#include "engine/encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/pcm_samples.h"
#include "base/strings.h"
#include "engine/tvplayer_wrapper.h"

// Reads the wrapper's PCM source and, for the format, the source's record first: it describes
// the bytes the source delivers. The preview player's (which has the same song open) stands in
// when the source cannot give one.
class Encoder::WrapperInput final : public EncoderInput {
 public:
  explicit WrapperInput(TVPlayerWrapper* wrapper) : wrapper(wrapper) {}

  int32_t ReadPcm(void* data, int32_t bytes) override {
    IPcmSource* source = wrapper->source();
    return source ? source->Read(data, bytes) : -1;
  }
  bool ReadFormat(MediaInfo* info) override {
    if (IPcmSource* source = wrapper->source(); source && source->GetMediaInfo(info) >= 0) {
      return true;
    }
    IPreviewPlayer* player = wrapper->player();
    return player && player->GetMediaInfo(info) >= 0;
  }
  int64_t FramesLeft() override { return wrapper->cutFramesLeft(); }

 private:
  TVPlayerWrapper* const wrapper;  // outlives the encoder it owns
};

namespace {

// trunc(done / total × 10000) clamped to 0…10000, the linear ramp of a fade.
int32_t RampGain(int64_t done, int32_t total) {
  const double gain = std::trunc(static_cast<double>(done) / total * 10000.0);
  return static_cast<int32_t>(std::clamp(gain, 0.0, 10000.0));
}

}  // namespace

Encoder::~Encoder() = default;

bool Encoder::Begin(TVPlayerWrapper* wrapper, const std::wstring& outputPath, int32_t jobBytes,
                    int32_t fadeInMs, int32_t fadeOutMs, int32_t volumeGain, int32_t channels) {
  if (wrapper == nullptr || begun) return false;
  wrapperInput = std::make_unique<WrapperInput>(wrapper);
  return Begin(wrapperInput.get(), std::filesystem::path(base::WideToUTF8(outputPath)), jobBytes,
               fadeInMs, fadeOutMs, volumeGain, channels);
}

bool Encoder::Begin(EncoderInput* source, const std::filesystem::path& outputPath,
                    int32_t jobBytes, int32_t fadeInMs, int32_t fadeOutMs, int32_t volumeGain,
                    int32_t channels) {
  if (source == nullptr || begun || (channels != 1 && channels != 2)) return false;
  MediaInfo info{};
  if (!source->ReadFormat(&info) || !pcm::IsSampleWidth(info.bitsPerSample) || info.channels < 1 ||
      info.channels > 2 || info.sampleRate <= 0) {
    return false;
  }
  begun = true;
  input = source;
  format = info;
  remainingBytes = jobBytes;
  this->jobBytes = jobBytes;
  volume = volumeGain;
  outputChannels = channels;
  fadeInDoneBytes = 0;
  // Whole bytes per millisecond, truncated: 44.1 kHz 16-bit stereo gives 176, not 176.4.
  const int64_t bytesPerMs =
      static_cast<int64_t>(info.bitsPerSample / 8) * info.sampleRate * info.channels / 1000;
  // A fade is kept to whole frames: a block shortened to meet the fade-out must still end on a
  // frame, or every later sample would be read with its channels and bytes shifted.
  const int64_t frameBytes = static_cast<int64_t>(info.bitsPerSample / 8) * info.channels;
  auto fadeBytes = [&](int32_t ms) {
    const int64_t bytes = std::min<int64_t>(std::max<int64_t>(ms, 0) * bytesPerMs, INT32_MAX);
    return static_cast<int32_t>(bytes - bytes % frameBytes);
  };
  fadeInBytes = fadeBytes(fadeInMs);
  fadeOutBytes = fadeBytes(fadeOutMs);

  if (!PrepareFormat(info)) return false;
  buffer.assign(kBlockBytes, 0);
  if (!file.Open(outputPath)) return false;
  if (!StartFile()) {
    file.Remove();
    return false;
  }
  return true;
}

int32_t Encoder::TakeBlock(bool& more) {
  int32_t bytes = std::min(remainingBytes, kBlockBytes);
  // End this block exactly where the fade-out begins.
  if (remainingBytes > fadeOutBytes && remainingBytes - bytes < fadeOutBytes) {
    bytes = remainingBytes - fadeOutBytes;
  }
  int32_t got = bytes > 0 ? ReadSection(bytes) : 0;
  more = got > 0;
  bytes = more ? std::min(got, bytes) : 0;

  const int32_t bits = format.bitsPerSample;
  const int32_t channels = format.channels;
  const int32_t frameBytes = bits / 8 * channels;
  const auto frames = static_cast<uint32_t>(bytes / frameBytes);
  uint8_t* data = buffer.data();

  if (volume != pcm::kUnityGain) pcm::ApplyGain(data, bits, channels, volume, frames);

  if (fadeInBytes > 0 && fadeInDoneBytes <= fadeInBytes) {
    for (uint32_t i = 0; i < frames; ++i) {
      const int32_t gain = RampGain(fadeInDoneBytes, fadeInBytes);
      pcm::ApplyGain(data + i * frameBytes, bits, channels, gain, 1);
      fadeInDoneBytes += frameBytes;
    }
  }
  if (fadeOutBytes > 0 && remainingBytes <= fadeOutBytes) {
    int64_t r = remainingBytes;
    for (uint32_t i = 0; i < frames; ++i) {
      const int32_t gain = RampGain(r, fadeOutBytes);
      pcm::ApplyGain(data + i * frameBytes, bits, channels, gain, 1);
      r -= frameBytes;
    }
  }
  return bytes;
}

int32_t Encoder::ReadSection(int32_t bytes) {
  if (replaying) {
    // Whole frames, as the source delivers them: 32768 bytes are no whole number of 24-bit ones.
    const size_t frameBytes = static_cast<size_t>(format.bitsPerSample / 8 * format.channels);
    size_t n = std::min(static_cast<size_t>(bytes), kept.size() - keptRead);
    n -= n % frameBytes;
    std::memcpy(buffer.data(), kept.data() + keptRead, n);
    keptRead += n;
    return static_cast<int32_t>(n);
  }
  const int32_t got = input->ReadPcm(buffer.data(), bytes);
  if (recording && got > 0) {
    if (kept.size() + static_cast<size_t>(got) <= replayLimit) {
      kept.insert(kept.end(), buffer.begin(), buffer.begin() + got);
    } else {
      recording = false;
      kept = {};
    }
  }
  return got;
}

bool Encoder::Step(int32_t& bytesOut) {
  bytesOut = 0;
  if (!file.is_open() || failed()) return false;
  bool more = false;
  const int32_t bytes = TakeBlock(more);
  if (bytes > 0) {
    wroteBlock = true;
    if (!HandBlock(buffer.data(), bytes)) writeFailed = true;
  }
  remainingBytes -= bytes;
  bytesOut = bytes;
  return remainingBytes > 0 && more && !failed();
}

bool Encoder::MeasureStep(int32_t& bytesOut,
                          const std::function<void(const uint8_t*, int32_t)>& measure) {
  bytesOut = 0;
  if (!file.is_open() || failed() || wroteBlock) return false;
  if (!measureStarted) {
    measureStarted = true;
    recording = true;
  }
  bool more = false;
  const int32_t bytes = TakeBlock(more);
  if (bytes > 0) measure(buffer.data(), bytes);
  remainingBytes -= bytes;
  bytesOut = bytes;
  return remainingBytes > 0 && more;
}

bool Encoder::Rewind(int32_t volumeGain) {
  if (!file.is_open() || wroteBlock) return false;
  replaying = recording;
  recording = false;
  keptRead = 0;
  remainingBytes = jobBytes;
  fadeInDoneBytes = 0;
  volume = volumeGain;
  return true;
}

bool Encoder::End() {
  if (!begun || !file.is_open()) return false;
  bool complete = !failed() && FinishFile();
  complete = file.Close() && complete;
  if (!complete) file.Remove();
  buffer = {};
  kept = {};
  return complete;
}
