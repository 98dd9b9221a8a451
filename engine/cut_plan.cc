#include "engine/cut_plan.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace cutplan {

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  const int64_t product = static_cast<int64_t>(a) * b;
  // Round half away from zero, on magnitudes, then restore the sign.
  const bool negative = (product < 0) != (c < 0);
  const uint64_t num = product < 0 ? static_cast<uint64_t>(-product) : static_cast<uint64_t>(product);
  const uint64_t den = c < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(c)) : static_cast<uint64_t>(c);
  const uint64_t q = (num + den / 2) / den;
  if (q > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return -1;
  return negative ? -static_cast<int32_t>(q) : static_cast<int32_t>(q);
}

bool SongEndsBeforeSection(int64_t songEndUnits, int32_t sectionEndMs) {
  constexpr int64_t kUnitsPerMs = 10000;
  return songEndUnits < (static_cast<int64_t>(sectionEndMs) - kSongEndSlackMs) * kUnitsPerMs;
}

void FitFades(int32_t sectionMs, int32_t& fadeInMs, int32_t& fadeOutMs) {
  if (static_cast<int64_t>(fadeInMs) + fadeOutMs > sectionMs) {
    fadeInMs = sectionMs / 2;
    fadeOutMs = sectionMs / 2;
  }
}

std::optional<CutPlan> PlanCut(int32_t bitsPerSample, int32_t channels, int32_t sampleRate,
                               int32_t startMs, int32_t endMs, int32_t fadeInMs,
                               int32_t fadeOutMs) {
  CutPlan plan;
  const int64_t blockAlign = static_cast<int64_t>(channels) * bitsPerSample / 8;
  const int64_t bytesPerSecond = static_cast<int64_t>(sampleRate) * blockAlign;
  if (blockAlign <= 0 || bytesPerSecond <= 0 ||
      bytesPerSecond > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  plan.blockAlign = static_cast<int32_t>(blockAlign);
  plan.bytesPerSecond = static_cast<int32_t>(bytesPerSecond);

  const int64_t sectionMs = static_cast<int64_t>(endMs) - startMs;
  if (sectionMs <= 0 || sectionMs > std::numeric_limits<int32_t>::max()) return std::nullopt;
  plan.sectionBytes = MulDiv(static_cast<int32_t>(sectionMs), plan.bytesPerSecond, 1000);
  if (plan.sectionBytes <= 0) return std::nullopt;

  // One frame past the section, also when the section is already whole frames: the source may
  // deliver less than asked at its end, never more.
  const int64_t jobBytes = (static_cast<int64_t>(plan.sectionBytes) / blockAlign + 1) * blockAlign;
  if (jobBytes > std::numeric_limits<int32_t>::max()) return std::nullopt;
  plan.jobBytes = static_cast<int32_t>(jobBytes);

  plan.fadeInMs = fadeInMs;
  plan.fadeOutMs = fadeOutMs;
  FitFades(static_cast<int32_t>(sectionMs), plan.fadeInMs, plan.fadeOutMs);
  return plan;
}

int32_t FadeMs(bool enabled, int32_t editMs) {
  return enabled ? std::max(editMs, kMinFadeMs) : 0;
}

int32_t VolumeFromIndex(int32_t volumeIndex) {
  const double gain = std::trunc((volumeIndex * 0.5 + 1.0) * 10000.0);
  return std::max(static_cast<int32_t>(std::clamp(gain, -2e9, 2e9)), kUnityGain);
}

std::optional<int32_t> VolumeFromMultiplier(double multiplier) {
  if (!(multiplier >= 1.0 && multiplier <= 3.0)) return std::nullopt;
  // Rounded rather than truncated, so 1.1 is 11000 and not the 10999 its binary form would give.
  return static_cast<int32_t>(std::lround(multiplier * kUnityGain));
}

}  // namespace cutplan
