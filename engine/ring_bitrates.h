// The rates the AAC and Vorbis encoders of codecs.so really write: the sample rate a ring gets for
// a given PCM rate, and the bit rate a requested one becomes. Shared by the plug-in, which applies
// them, and the program, which estimates a ring's size from what will be written, so the two
// cannot drift apart. Pure functions; any thread.
#pragma once

#include <cstdint>

namespace codecs {

// AAC-LC rings keep the PCM's rate when it is one of the MPEG-4 rates a phone plays (8 to 48 kHz);
// a rate above 48 kHz goes to 44.1 kHz when it is a multiple of it, else to 48 kHz; any other
// rate goes to the nearest of them.
std::int32_t AacSampleRateFor(std::int32_t rate);
// kbps within what the AAC-LC encoder can spend at sampleRate (6144 bits per channel and frame of
// 1024 samples), at most 320, at least 8 per channel.
std::int32_t AacBitrate(std::int32_t kbps, std::int32_t sampleRate, std::int32_t channels);

// Vorbis rings keep the PCM's rate from 8 to 50 kHz (the rates libvorbis has bit-rate modes for);
// above, 44.1 kHz for a multiple of it, else 48 kHz; below, 8 kHz.
std::int32_t VorbisSampleRateFor(std::int32_t rate);
// kbps within the range libvorbis' bit-rate managed modes accept for that rate and channel count.
std::int32_t VorbisBitrate(std::int32_t kbps, std::int32_t sampleRate, std::int32_t channels);

// What the containers add to the coded sound, in bytes, for a ring of `frames` at sampleRate Hz
// (not counting tags): the MPEG-4 boxes with one index entry per AAC frame, and the Ogg headers
// (Vorbis' codebooks among them) with a page header every few kilobytes.
std::int64_t Mp4ContainerBytes(std::int64_t frames, std::int32_t sampleRate);
std::int64_t OggContainerBytes(std::int64_t frames, std::int32_t sampleRate, std::int32_t kbps);

}  // namespace codecs
