// The MP3 rates LAME writes: the sample rate it codes a given PCM rate at, and the bit rate it
// codes a requested one at. Shared by the MP3 plug-in, which applies them, and the program, which
// estimates a ring's size from what will really be written. Pure functions; any thread.
#pragma once

#include <cstdint>

namespace codecs {

// The MP3 bit rate nearest to kbps among those the layer allows at sampleRate (an output rate of
// the MP3 family); a tie goes to the lower rate.
std::int32_t NearestMp3Bitrate(std::int32_t kbps, std::int32_t sampleRate);

// Whether LAME's info tag fits into one frame of a constant-rate stream (mono: one channel coded;
// crc: frames carry a CRC).
bool InfoTagFits(std::int32_t kbps, std::int32_t sampleRate, bool mono, bool crc);
// NearestMp3Bitrate, raised to the lowest rate whose frame carries the info tag.
std::int32_t TaggableMp3Bitrate(std::int32_t kbps, std::int32_t sampleRate, bool mono, bool crc);

// The MP3 sample rate LAME writes for PCM at rate Hz: the rate itself when MP3 has it, otherwise
// the nearest one (LAME resamples).
std::int32_t Mp3SampleRateFor(std::int32_t rate);

}  // namespace codecs
