#include "engine/mp3_bitrates.h"

#include <cstdlib>
#include <span>

namespace codecs {
namespace {

constexpr std::int32_t kMpeg1Bitrates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr std::int32_t kMpeg2Bitrates[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
constexpr std::size_t kMpeg25BitrateCount = 8;
constexpr std::int32_t kMp3SampleRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};

// The bit rates of the MP3 layer that codes sampleRate, ascending.
std::span<const std::int32_t> LayerBitrates(std::int32_t sampleRate) {
  if (sampleRate >= 32000) return kMpeg1Bitrates;
  if (sampleRate >= 16000) return kMpeg2Bitrates;
  return std::span<const std::int32_t>(kMpeg2Bitrates).first(kMpeg25BitrateCount);  // as LAME
}

}  // namespace

std::int32_t Mp3SampleRateFor(std::int32_t rate) {
  std::int32_t best = kMp3SampleRates[0];
  for (std::int32_t candidate : kMp3SampleRates) {
    if (std::abs(static_cast<std::int64_t>(candidate) - rate) <
        std::abs(static_cast<std::int64_t>(best) - rate)) {
      best = candidate;
    }
  }
  return best;
}

bool InfoTagFits(std::int32_t kbps, std::int32_t sampleRate, bool mono, bool crc) {
  // LAME writes its tag into a frame of the stream's own rate and drops it when the frame is
  // smaller than the side information plus the 156 bytes of the tag (its InitVbrTag).
  const bool mpeg1 = sampleRate >= 32000;
  const std::int32_t sideInfo = (mpeg1 ? (mono ? 21 : 36) : (mono ? 13 : 21)) + (crc ? 2 : 0);
  const std::int64_t frameBytes = (mpeg1 ? 2 : 1) * std::int64_t{72000} * kbps / sampleRate;
  return frameBytes >= sideInfo + 156;
}

std::int32_t NearestMp3Bitrate(std::int32_t kbps, std::int32_t sampleRate) {
  const std::span<const std::int32_t> rates = LayerBitrates(sampleRate);
  std::int32_t best = rates.front();
  for (std::int32_t rate : rates) {
    if (std::abs(static_cast<std::int64_t>(rate) - kbps) <
        std::abs(static_cast<std::int64_t>(best) - kbps)) {
      best = rate;
    }
  }
  return best;
}

std::int32_t TaggableMp3Bitrate(std::int32_t kbps, std::int32_t sampleRate, bool mono, bool crc) {
  const std::int32_t nearest = NearestMp3Bitrate(kbps, sampleRate);
  for (std::int32_t rate : LayerBitrates(sampleRate)) {
    if (rate >= nearest && InfoTagFits(rate, sampleRate, mono, crc)) return rate;
  }
  return nearest;
}

}  // namespace codecs
