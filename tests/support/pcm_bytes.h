// Little-endian PCM samples read and written the plain way, byte by byte, for the tests of the
// sample library, the encoders and the cut: written apart from audio/pcm_samples so the two check
// each other. Test code only.
#pragma once

#include <cstdint>

namespace testsupport {

// Sample i of a buffer of the given width, signed (8-bit made signed: s - 128).
inline int64_t SampleAt(const uint8_t* data, int bits, int64_t i) {
  const int width = bits / 8;
  uint64_t u = 0;
  for (int b = 0; b < width; ++b) u |= static_cast<uint64_t>(data[i * width + b]) << (8 * b);
  if (bits == 8) return static_cast<int64_t>(u) - 128;
  const uint64_t sign = uint64_t{1} << (bits - 1);
  return static_cast<int64_t>((u ^ sign) - sign);
}

// Stores the signed value as sample i (8-bit stored with 128 as zero); the width keeps its low
// bits.
inline void PutSample(uint8_t* data, int bits, int64_t i, int64_t value) {
  const int width = bits / 8;
  if (bits == 8) value += 128;
  const auto u = static_cast<uint64_t>(value);
  for (int b = 0; b < width; ++b) data[i * width + b] = static_cast<uint8_t>(u >> (8 * b));
}

}  // namespace testsupport
