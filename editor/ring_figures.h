// The arithmetic the ring editor shows a person: time texts, the song's information line, the
// song length split into minutes, the size estimate, and the mapping between milliseconds and the
// track bar's per-mille. (The fade and volume rules of a save are the cut's own, in cut_plan.h.) Pure functions, so tests can call them
// directly; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace ring {

// Whole seconds as "mm:ss", or "mmm:ss" from 100 minutes on; a negative count gives "".
std::wstring TimeText(int64_t seconds);

// "(03:07，双声道，44100Hz,128kbps)"; a bit rate below 80 kbps is marked red for the HTML label.
std::wstring SongInfoText(int64_t durationUnits, int32_t channels, int32_t sampleRate,
                          int32_t bitrateKbps);

// A song length in 100-ns units as the editor keeps it.
struct SongLength {
  int32_t durationMs = 0;
  int32_t durationMinutes = 0;
  int32_t lastMinuteMs = 0;  // the milliseconds past the last whole minute
};
SongLength SplitSongLength(int64_t durationUnits);

// The estimated size in KB (1024 bytes) of a section of sectionMs at kbps, rounded up after
// adding half a KB. kbps is what the ring will really be written at, channels included;
// containerBytes what the file adds to the sound (0 for MP3 and WAV, as the estimate always was).
int32_t SizeKB(int32_t sectionMs, int32_t kbps, int64_t containerBytes = 0);
// Rings above this many KB get the size warning (a warning only: they still save).
constexpr int32_t kSizeWarningKB = 2048;

// The kbps of a WAV ring: its channels, the source's rate and the sample width it keeps.
int32_t WavBitrateKbps(int32_t channels, int32_t sampleRate, int32_t bitsPerSample);

// The integer at the start of text: an optional sign, then digits up to the first other
// character; 0 without digits. Values beyond int32 stop at its bounds.
int32_t LeadingInteger(const std::wstring& text);

// ms as per-mille of durationMs, truncated; whenNoLength when the length is 0.
int32_t PerMille(int64_t ms, int64_t durationMs, int32_t whenNoLength);

// The 100-ns position of ms in a song of durationUnits whose length is durationMs.
int64_t SeekUnits(int64_t durationUnits, int64_t ms, int64_t durationMs);

}  // namespace ring
