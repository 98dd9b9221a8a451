// How a ring is brought to a loudness: the target and the ceiling the window's "自动响度" item and
// the cutter's --loudness use, what the measuring pass found, and the one constant gain that
// follows from it. Loudness is integrated loudness after ITU-R BS.1770 (LUFS), the ceiling a true
// peak (dBTP); both are measured on the section as the ring will hold it (loudness_meter.h).
//
// The gain is constant over the whole ring: no compression, no limiting. Where the target would
// push the peaks past the ceiling, the gain stops there, so a ring is never clipped, only quieter
// than asked. Lossy codecs change the level of what they are given (the decoded ring has higher
// peaks between its samples and, at lower bit rates, a little less loudness), so each output
// format names what its codec does in CodecLevelOf, the one place that knows them.
//
// Pure functions of their arguments; any thread.
#pragma once

#include <cstdint>

namespace loudness {

// The window's target: streaming services' level, loud enough in a pocket.
inline constexpr double kDefaultTargetLufs = -14.0;
inline constexpr double kDefaultCeilingDbtp = -1.0;
// Meters disagree about the peaks between samples: the ffmpeg command's ebur128 filter reads up to
// 0.6 dB above libebur128 on content near the top of the band (a 0.5 sine at 11025 Hz, whose true
// peak is -6.02 dBTP, reads -5.4 there). Every ring keeps this much more room, so it stays under
// the ceiling by either meter.
inline constexpr double kPeakReadingMarginDb = 0.6;
// BS.1770 gates 400 ms blocks: a shorter section has no block to measure.
inline constexpr int32_t kShortestMeasurableMs = 400;

struct Target {
  double lufs = kDefaultTargetLufs;
  double ceilingDbtp = kDefaultCeilingDbtp;
};

// What the measuring pass found.
struct Measurement {
  // -infinity when no block passed the gates (silence, or too short to measure).
  double integratedLufs = 0.0;
  // The ring's channels, oversampled: the peak between the samples too.
  double truePeakDbtp = 0.0;
  // The song's channels before the ring's channel conversion, where the gain is applied: no gain
  // may take one of them past full scale, even where the mono ring mixed from them stays lower.
  double samplePeakDbfs = 0.0;
};

enum class Outcome {
  kNormalised,       // the ring is at the target
  kStoppedAtCeiling, // the target would have passed the ceiling: the ring is quieter
  kTooShort,         // under kShortestMeasurableMs: the samples are left as they are
  kSilent,           // nothing passed the gates: the samples are left as they are
};

struct Decision {
  Outcome outcome = Outcome::kTooShort;
  double gainDb = 0.0;
  int32_t gain = 10000;  // in 1/10000, as the encoders apply it; 10000 leaves the samples alone
  // What the ring will measure: the measurement moved by the gain.
  double ringLufs = 0.0;
  double ringTruePeakDbtp = 0.0;
};

// What a format's encoder does to the level of the PCM it is given, as its ring decodes.
struct CodecLevel {
  // How far below the ceiling the true peak of the PCM is aimed, so the decoded ring's true peak,
  // raised by the codec's overshoot, stays under it.
  double peakMarginDb = 0.0;
  // How much less loudness the decoded ring measures than the PCM had; added to the gain.
  double loudnessLossDb = 0.0;
};

// The codec's level for a ring of outputFormat (TVPlayerWrapper's kFormat*) written at
// bitrateKbps: nothing for WAV, which holds the samples themselves; for MP3 enough for LAME's
// overshoot on square waves near full scale at 64 kbps, and the loudness its quantisation takes
// away below 256 kbps. A format it does not know gets the largest lossy margin.
CodecLevel CodecLevelOf(int32_t outputFormat, int32_t bitrateKbps);

// The gain for a ring measured as `measured`, aimed at `target` through a codec of `codec`. Never
// louder than that, rounded down to 1/10000.
Decision Decide(const Measurement& measured, const Target& target, const CodecLevel& codec);
// The same for a section too short to measure.
Decision TooShort();

}  // namespace loudness
