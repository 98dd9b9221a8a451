#include "engine/loudness_meter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "audio/pcm_samples.h"

namespace {

double Decibels(double amplitude) {
  return amplitude > 0.0 ? 20.0 * std::log10(amplitude) : -HUGE_VAL;
}

}  // namespace

struct LoudnessMeter::State {
  explicit State(ebur128_state* st) : st(st) {}
  ~State() { ebur128_destroy(&st); }
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ebur128_state* st;
};

LoudnessMeter::LoudnessMeter(int32_t sampleRate, int bitsPerSample, int songChannels,
                             int ringChannels, Peak peak)
    : bits(bitsPerSample), songChannels(songChannels), ringChannels(ringChannels), peak(peak) {
  if (!pcm::IsSampleWidth(bits) || songChannels < 1 || songChannels > 2 || ringChannels < 1 ||
      ringChannels > 2 || sampleRate <= 0) {
    return;
  }
  const int mode = EBUR128_MODE_I | (peak == Peak::kTrue ? EBUR128_MODE_TRUE_PEAK
                                                         : EBUR128_MODE_SAMPLE_PEAK);
  if (ebur128_state* st = ebur128_init(static_cast<unsigned>(ringChannels),
                                       static_cast<unsigned long>(sampleRate), mode)) {
    state = std::make_unique<State>(st);
  }
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::Add(const uint8_t* pcm, int32_t bytes) {
  if (!state || pcm == nullptr || bytes <= 0) return;
  const int width = bits / 8;
  const size_t count = static_cast<size_t>(bytes) / static_cast<size_t>(width * songChannels);
  const float scale = 1.0f / static_cast<float>(int64_t{1} << (bits - 1));
  frames.resize(count * static_cast<size_t>(ringChannels));
  float* out = frames.data();
  int32_t largest = largestSample;
  for (size_t i = 0; i < count; ++i, pcm += width * songChannels) {
    const int32_t left = pcm::LoadSample(pcm, bits);
    const int32_t right = songChannels == 2 ? pcm::LoadSample(pcm + width, bits) : left;
    // Magnitudes in 64 bits: the most negative 32-bit sample has no positive twin.
    largest = static_cast<int32_t>(std::max<int64_t>(
        {largest, std::llabs(left) - (left == INT32_MIN), std::llabs(right) - (right == INT32_MIN)}));
    if (ringChannels == 1) {
      // As the encoders mix: (L + R) / 2.
      *out++ = static_cast<float>((static_cast<int64_t>(left) + right) / 2) * scale;
    } else {
      *out++ = static_cast<float>(left) * scale;
      *out++ = static_cast<float>(right) * scale;
    }
  }
  largestSample = largest;
  ebur128_add_frames_float(state->st, frames.data(), count);
}

loudness::Measurement LoudnessMeter::Result() const {
  loudness::Measurement result;
  if (!state) {
    result.integratedLufs = -HUGE_VAL;
    return result;
  }
  ebur128_loudness_global(state->st, &result.integratedLufs);
  double highest = 0.0;
  for (int channel = 0; channel < ringChannels; ++channel) {
    double value = 0.0;
    if (peak == Peak::kTrue) {
      ebur128_true_peak(state->st, static_cast<unsigned>(channel), &value);
    } else {
      ebur128_sample_peak(state->st, static_cast<unsigned>(channel), &value);
    }
    highest = std::max(highest, value);
  }
  result.truePeakDbtp = Decibels(highest);
  result.samplePeakDbfs =
      Decibels(static_cast<double>(largestSample) / static_cast<double>(int64_t{1} << (bits - 1)));
  return result;
}
