#include "engine/ring_bitrates.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace codecs {
namespace {

constexpr std::int32_t kAacRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
constexpr std::int32_t kAacFrameSamples = 1024;

// libvorbis picks its setup by sample rate; each setup takes its own range of bit rates. The
// bands are its setups' rate ranges, narrowed where two meet so both accept the whole range.
struct VorbisBand {
  std::int32_t maxRate;           // the band covers rates up to this one
  std::int32_t monoMin, monoMax;  // kbps
  std::int32_t stereoMin, stereoMax;
};
constexpr VorbisBand kVorbisBands[] = {
    {8999, 8, 42, 12, 84},      {15000, 12, 50, 16, 100},   {19000, 16, 100, 24, 200},
    {25999, 16, 90, 30, 180},   {40000, 30, 190, 36, 380},  {50000, 32, 240, 45, 500},
};

}  // namespace

std::int32_t AacSampleRateFor(std::int32_t rate) {
  if (rate > 48000) return rate % 44100 == 0 ? 44100 : 48000;
  std::int32_t best = kAacRates[0];
  for (std::int32_t candidate : kAacRates) {
    if (std::abs(static_cast<std::int64_t>(candidate) - rate) <
        std::abs(static_cast<std::int64_t>(best) - rate)) {
      best = candidate;
    }
  }
  return best;
}

std::int32_t AacBitrate(std::int32_t kbps, std::int32_t sampleRate, std::int32_t channels) {
  const std::int64_t most = std::int64_t{6144} * sampleRate / kAacFrameSamples / 1000 * channels;
  const std::int32_t high = static_cast<std::int32_t>(std::min<std::int64_t>(most, 320));
  return std::clamp(kbps, std::min(8 * channels, high), high);
}

std::int32_t VorbisSampleRateFor(std::int32_t rate) {
  if (rate > 50000) return rate % 44100 == 0 ? 44100 : 48000;
  return std::max(rate, 8000);
}

std::int32_t VorbisBitrate(std::int32_t kbps, std::int32_t sampleRate, std::int32_t channels) {
  const VorbisBand* band = &kVorbisBands[std::size(kVorbisBands) - 1];
  for (const VorbisBand& candidate : kVorbisBands) {
    if (sampleRate <= candidate.maxRate) {
      band = &candidate;
      break;
    }
  }
  return channels == 1 ? std::clamp(kbps, band->monoMin, band->monoMax)
                       : std::clamp(kbps, band->stereoMin, band->stereoMax);
}

std::int64_t Mp4ContainerBytes(std::int64_t frames, std::int32_t sampleRate) {
  if (sampleRate <= 0) return 0;
  // ftyp, free, the mdat header and the fixed boxes of moov; then per AAC frame its size entry
  // (stsz), and per second or so a chunk offset and a sample-to-chunk entry.
  const std::int64_t aacFrames = (std::max<std::int64_t>(frames, 0) + 2 * kAacFrameSamples - 1) /
                                 kAacFrameSamples;
  const std::int64_t chunks = aacFrames / 40 + 1;
  return 1000 + 4 * aacFrames + 16 * chunks;
}

std::int64_t OggContainerBytes(std::int64_t frames, std::int32_t sampleRate, std::int32_t kbps) {
  if (sampleRate <= 0) return 0;
  // The three Vorbis headers (the setup header with its codebooks is most of it), then a page
  // header of 27 bytes plus its lacing values for about every 4 KB of sound.
  const std::int64_t soundBytes = std::max<std::int64_t>(frames, 0) * kbps * 125 / sampleRate;
  return 4000 + (soundBytes / 4096 + 1) * 45;
}

}  // namespace codecs
