#include "engine/stream_encoders.h"

#include <algorithm>
#include <climits>

#include "engine/ring_bitrates.h"

namespace {

constexpr int32_t kChannelModeStereo = 0;
constexpr int32_t kChannelModeMono = 3;

}  // namespace

void StreamEncoder::Configure(tavio::ICodecSettings& settings) {
  settings.SetChannelMode(outputChannels == 1 ? kChannelModeMono : kChannelModeStereo);
  settings.SetBitrate(bitrateKbps);
  const int64_t frameBytes =
      static_cast<int64_t>(sourceFormat().bitsPerSample / 8) * sourceFormat().channels;
  // The section's frames, or fewer where the song ends first.
  int64_t frames = frameBytes > 0 ? remainingBytes / frameBytes : 0;
  if (const int64_t left = sourceFramesLeft(); left >= 0) frames = std::min(frames, left);
  settings.SetExpectedFrames(static_cast<int32_t>(std::min<int64_t>(frames, INT32_MAX)));
}

M4rEncoder::M4rEncoder() : M4rEncoder(std::filesystem::path()) {}
M4rEncoder::M4rEncoder(std::filesystem::path folder)
    : StreamEncoder(tavio::CLSID_AacEncoder, std::move(folder)) {}

int32_t M4rEncoder::WrittenBitrate(int32_t kbps, int32_t sampleRate, int32_t channels) {
  return codecs::AacBitrate(kbps, codecs::AacSampleRateFor(sampleRate), channels);
}

int64_t M4rEncoder::ContainerBytes(int32_t sectionMs, int32_t sampleRate) {
  const int32_t rate = codecs::AacSampleRateFor(sampleRate);
  return codecs::Mp4ContainerBytes(int64_t{sectionMs} * rate / 1000, rate);
}

OggEncoder::OggEncoder() : OggEncoder(std::filesystem::path()) {}
OggEncoder::OggEncoder(std::filesystem::path folder)
    : StreamEncoder(tavio::CLSID_VorbisEncoder, std::move(folder)) {}

int32_t OggEncoder::WrittenBitrate(int32_t kbps, int32_t sampleRate, int32_t channels) {
  return codecs::VorbisBitrate(kbps, codecs::VorbisSampleRateFor(sampleRate), channels);
}

int64_t OggEncoder::ContainerBytes(int32_t sectionMs, int32_t sampleRate, int32_t writtenKbps) {
  const int32_t rate = codecs::VorbisSampleRateFor(sampleRate);
  return codecs::OggContainerBytes(int64_t{sectionMs} * rate / 1000, rate, writtenKbps);
}
