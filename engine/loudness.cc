#include "engine/loudness.h"

#include <algorithm>
#include <cmath>

#include "engine/tvplayer_wrapper.h"

namespace loudness {
namespace {

// Measured with the plug-in's LAME settings on square waves from 60 Hz to 5 kHz normalised to the
// ceiling: at 64 kbps the decoded true peak came out up to 2.8 dB higher (less at higher rates, a
// little more at 32 kbps).
constexpr double kMp3PeakMarginDb = 3.0;
// FFmpeg's AAC-LC encoder overshoots more: up to 3.8 dB on full-scale square waves of 150 Hz to
// 1 kHz at 64 kbps (music and noise 1 to 2 dB). A hard stereo square of two close tones goes 7 dB
// over even at 192 kbps, where the ffmpeg command's own AAC does the same; that one is not covered.
constexpr double kAacPeakMarginDb = 4.5;
// libvorbis stays within 1.6 dB on the same songs at 64 kbps.
constexpr double kVorbisPeakMarginDb = 3.0;
// LAME's quantisation rounds towards zero: tones and music alike decode 0.4 dB quieter up to
// 160 kbps, 0.2 dB at 192 and 224, and unchanged from 256 on.
double Mp3LoudnessLossDb(int32_t kbps) { return kbps <= 160 ? 0.4 : kbps < 256 ? 0.2 : 0.0; }

}  // namespace

Decision TooShort() { return Decision{}; }

Decision Decide(const Measurement& measured, const Target& target, const CodecLevel& codec) {
  Decision decision;
  if (!std::isfinite(measured.integratedLufs)) {
    decision.outcome = Outcome::kSilent;
    return decision;
  }
  const double wanted = target.lufs - measured.integratedLufs + codec.loudnessLossDb;
  const double ceiling = target.ceilingDbtp - kPeakReadingMarginDb - codec.peakMarginDb;
  const double allowed = std::min(ceiling - measured.truePeakDbtp, -measured.samplePeakDbfs);
  decision.outcome = wanted <= allowed ? Outcome::kNormalised : Outcome::kStoppedAtCeiling;
  const double gainDb = std::min(wanted, allowed);
  // Rounded down, so the ring never passes the ceiling by the rounding.
  const double gain = std::floor(std::pow(10.0, gainDb / 20.0) * 10000.0);
  decision.gain = static_cast<int32_t>(std::clamp(gain, 1.0, 2e9));
  decision.gainDb = 20.0 * std::log10(decision.gain / 10000.0);
  decision.ringLufs = measured.integratedLufs + decision.gainDb - codec.loudnessLossDb;
  decision.ringTruePeakDbtp = measured.truePeakDbtp + decision.gainDb;
  return decision;
}

CodecLevel CodecLevelOf(int32_t outputFormat, int32_t bitrateKbps) {
  switch (outputFormat) {
    case TVPlayerWrapper::kFormatWav:
      return {};
    case TVPlayerWrapper::kFormatMp3:
      return {kMp3PeakMarginDb, Mp3LoudnessLossDb(bitrateKbps)};
    case TVPlayerWrapper::kFormatM4r:
      return {kAacPeakMarginDb, 0.0};
    case TVPlayerWrapper::kFormatOgg:
      return {kVorbisPeakMarginDb, 0.0};
    default:
      return {kMp3PeakMarginDb, 0.0};
  }
}

}  // namespace loudness
