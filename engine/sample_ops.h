// The sample arithmetic of a cut: volume gain and the fades (ApplyGain) and the channel
// conversions of the WAV writer (StereoToMono, MonoToStereo). Samples are little-endian and
// interleaved by frame; 8-bit samples are unsigned with 128 as zero, 16-, 24- (three bytes) and
// 32-bit samples are signed. Integer arithmetic, divisions truncate toward zero, results are
// clamped to the width's range. Widths other than 8, 16, 24 and 32 are left unchanged.
// Pure functions over the caller's buffer; any thread.
#pragma once

#include <cstdint>

// Gain in 1/10000 that leaves a sample unchanged.
inline constexpr int32_t kUnityGain = 10000;

// Multiplies every sample of `frames` frames of `channels` samples by gain / 10000.
void ApplyGain(void* buffer, int32_t bitsPerSample, int32_t channels, int32_t gain,
               uint32_t frames);

// Mixes the stereo frames of the first `bytes` bytes in place into mono samples, (L + R) / 2,
// at the start of the buffer; bytes / 2 bytes hold the result.
void StereoToMono(void* buffer, int32_t bitsPerSample, uint32_t bytes);

// Turns the mono samples of the first `bytes` bytes into stereo frames (s, s), in place, working
// from the last sample backwards; the buffer must hold 2 × bytes.
void MonoToStereo(void* buffer, int32_t bitsPerSample, uint32_t bytes);
