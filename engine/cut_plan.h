// The arithmetic of one cut, kept apart from the wrapper so the editor, the command-line cutter and
// the tests all use the same rules: how many source bytes a section spans, how fades are fitted
// into it, and how the window's fade and volume choices become the job's values. Pure functions of
// their arguments; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "audio/pcm_samples.h"

namespace cutplan {

// Win32 MulDiv: a * b / c with a 64-bit intermediate, rounded to the nearest integer (halves away
// from zero). Returns -1 for c == 0 or a result outside int32, as MulDiv does.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// What the cut job derives from the source format and the section before it begins the encoder.
struct CutPlan {
  int32_t blockAlign = 0;      // bytes per frame of source PCM
  int32_t bytesPerSecond = 0;  // of source PCM
  int32_t sectionBytes = 0;    // the section's bytes, rounded to nearest
  int32_t jobBytes = 0;        // whole frames of the section plus one more frame
  int32_t fadeInMs = 0;        // after fitting into the section
  int32_t fadeOutMs = 0;
};

// The plan for a section [startMs, endMs) of a source of the given format, or nothing when the
// format has no bytes per second or the section has no bytes (the job then does not start).
std::optional<CutPlan> PlanCut(int32_t bitsPerSample, int32_t channels, int32_t sampleRate,
                               int32_t startMs, int32_t endMs, int32_t fadeInMs,
                               int32_t fadeOutMs);

// Whether a song whose decoding ended at songEndUnits (100-ns units) ends before a section that
// ends at sectionEndMs: a cut-off file whose header promises more than it holds. A song that
// ends within kSongEndSlackMs of the section's end still makes the ring (containers round their
// lengths by a frame or so).
constexpr int32_t kSongEndSlackMs = 100;
bool SongEndsBeforeSection(int64_t songEndUnits, int32_t sectionEndMs);

// Fades that together do not fit into the section become half the section each.
void FitFades(int32_t sectionMs, int32_t& fadeInMs, int32_t& fadeOutMs);

// The window's fade rule: a disabled fade is 0, an enabled one is never shorter than 200 ms.
constexpr int32_t kMinFadeMs = 200;
int32_t FadeMs(bool enabled, int32_t editMs);

// The window's volume rule: item index 0..4 of the volume list gives 10000..30000 (1/10000 units),
// never below 10000.
using pcm::kUnityGain;
int32_t VolumeFromIndex(int32_t volumeIndex);
// The item after them, "自动响度": the ring normalised to the window's loudness target
// (loudness.h) instead of a fixed gain.
constexpr int32_t kLoudnessVolumeIndex = 5;

// A gain multiplier between 1 and 3 (as the cutter takes it) in 1/10000 units, or nothing when it
// lies outside that range or is not a number.
std::optional<int32_t> VolumeFromMultiplier(double multiplier);

// "默认" quality: the song's own bit rate, as its media information gives it.
inline int32_t DefaultBitrateKbps(int32_t songBitrateKbps) { return songBitrateKbps; }

}  // namespace cutplan
