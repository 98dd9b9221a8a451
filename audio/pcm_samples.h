// The integer PCM every part of the program exchanges, in one place: loading and storing a sample of
// each width, and the arithmetic done on whole buffers (gain and fades, channel conversions, the
// narrowing of 24-bit samples delivered in 32-bit words).
//
// Samples are little-endian and interleaved by frame; 8-bit samples are unsigned with 128 as zero,
// 16-, 24- (three bytes) and 32-bit samples are signed. Arithmetic is integer, divisions truncate
// toward zero, results are clamped to the width's range. Widths other than 8, 16, 24 and 32 are
// left unchanged by the buffer operations.
//
// Built into the engine and into both plug-ins, so it depends on the C++ standard library alone.
// Pure functions over the caller's buffers; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pcm {

// Gain in 1/10000 that leaves a sample unchanged.
inline constexpr std::int32_t kUnityGain = 10000;

inline constexpr bool IsSampleWidth(int bits) {
  return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// One sample of each width as a signed value (8-bit: the stored value - 128), and back. A store
// keeps the low bits of the value; clamping is the caller's.
inline std::int32_t LoadU8(const std::uint8_t* p) { return static_cast<std::int32_t>(p[0]) - 128; }
inline void StoreU8(std::uint8_t* p, std::int32_t v) { p[0] = static_cast<std::uint8_t>(v + 128); }

inline std::int32_t Load16(const std::uint8_t* p) {
  std::int16_t v;
  std::memcpy(&v, p, 2);  // little-endian host
  return v;
}
inline void Store16(std::uint8_t* p, std::int32_t v) {
  const auto s = static_cast<std::int16_t>(v);
  std::memcpy(p, &s, 2);
}

inline std::int32_t Load24(const std::uint8_t* p) {
  const std::int32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
  return (v & 0x800000) ? v - 0x1000000 : v;
}
inline void Store24(std::uint8_t* p, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  p[0] = static_cast<std::uint8_t>(u);
  p[1] = static_cast<std::uint8_t>(u >> 8);
  p[2] = static_cast<std::uint8_t>(u >> 16);
}

inline std::int32_t Load32(const std::uint8_t* p) {
  std::int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void Store32(std::uint8_t* p, std::int32_t v) { std::memcpy(p, &v, 4); }

// A sample of any width as a signed value; 0 for a width that is not one of the four.
inline std::int32_t LoadSample(const std::uint8_t* p, int bits) {
  switch (bits) {
    case 8:
      return LoadU8(p);
    case 16:
      return Load16(p);
    case 24:
      return Load24(p);
    case 32:
      return Load32(p);
    default:
      return 0;
  }
}

// A sample of any width moved to the top of a 32-bit value, the full range of int32 (as LAME's
// integer input takes it).
inline std::int32_t LoadSampleAs32(const std::uint8_t* p, int bits) {
  return IsSampleWidth(bits) ? LoadSample(p, bits) * (std::int32_t{1} << (32 - bits)) : 0;
}

// Multiplies every sample of `frames` frames of `channels` samples by gain / 10000. The low clamp
// of 32-bit samples is -(2^31 - 1), so a gain never makes the one value without a positive twin.
void ApplyGain(void* buffer, int bitsPerSample, int channels, std::int32_t gain,
               std::uint32_t frames);

// Mixes the stereo frames of the first `bytes` bytes in place into mono samples, (L + R) / 2,
// at the start of the buffer; bytes / 2 bytes hold the result.
void StereoToMono(void* buffer, int bitsPerSample, std::uint32_t bytes);

// Turns the mono samples of the first `bytes` bytes into stereo frames (s, s), in place, working
// from the last sample backwards; the buffer must hold 2 × bytes.
void MonoToStereo(void* buffer, int bitsPerSample, std::uint32_t bytes);

// Keeps the three high bytes of each of `samples` little-endian 32-bit words at `from`: 24-bit
// samples delivered in 32-bit words with the low byte empty, packed into three bytes at `to`.
void Pack32To24(const std::uint8_t* from, std::uint8_t* to, std::size_t samples);

}  // namespace pcm
