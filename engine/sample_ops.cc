#include "engine/sample_ops.h"

#include <algorithm>
#include <cstring>

namespace {

int32_t Load24(const uint8_t* p) {
  int32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
  return (v & 0x800000) ? v - 0x1000000 : v;
}

void Store24(uint8_t* p, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  p[0] = static_cast<uint8_t>(u);
  p[1] = static_cast<uint8_t>(u >> 8);
  p[2] = static_cast<uint8_t>(u >> 16);
}

int32_t Load32(const uint8_t* p) {
  uint32_t u;
  std::memcpy(&u, p, 4);  // little-endian host
  return static_cast<int32_t>(u);
}

void Store32(uint8_t* p, int32_t v) { std::memcpy(p, &v, 4); }

int16_t Load16(const uint8_t* p) {
  int16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

void Store16(uint8_t* p, int16_t v) { std::memcpy(p, &v, 2); }

int64_t Clamp(int64_t v, int64_t low, int64_t high) { return std::min(std::max(v, low), high); }

}  // namespace

void ApplyGain(void* buffer, int32_t bitsPerSample, int32_t channels, int32_t gain,
               uint32_t frames) {
  if (buffer == nullptr || channels <= 0) return;
  auto* p = static_cast<uint8_t*>(buffer);
  const uint64_t samples = static_cast<uint64_t>(frames) * static_cast<uint32_t>(channels);
  switch (bitsPerSample) {
    case 8:
      for (uint64_t i = 0; i < samples; ++i) {
        const int64_t v = (static_cast<int64_t>(p[i]) - 128) * gain / 10000;
        p[i] = static_cast<uint8_t>(Clamp(v, -128, 127) + 128);
      }
      break;
    case 16:
      for (uint64_t i = 0; i < samples; ++i, p += 2) {
        const int64_t v = static_cast<int64_t>(Load16(p)) * gain / 10000;
        Store16(p, static_cast<int16_t>(Clamp(v, -32768, 32767)));
      }
      break;
    case 24:
      for (uint64_t i = 0; i < samples; ++i, p += 3) {
        const int64_t v = static_cast<int64_t>(Load24(p)) * gain / 10000;
        Store24(p, static_cast<int32_t>(Clamp(v, -8388608, 8388607)));
      }
      break;
    case 32:
      for (uint64_t i = 0; i < samples; ++i, p += 4) {
        const int64_t v = static_cast<int64_t>(Load32(p)) * gain / 10000;
        Store32(p, static_cast<int32_t>(Clamp(v, -2147483647, 2147483647)));
      }
      break;
    default:
      break;
  }
}

void StereoToMono(void* buffer, int32_t bitsPerSample, uint32_t bytes) {
  if (buffer == nullptr || bitsPerSample < 8) return;
  auto* p = static_cast<uint8_t*>(buffer);
  const uint32_t frames = bytes / static_cast<uint32_t>(bitsPerSample / 8) / 2;
  switch (bitsPerSample) {
    case 8:
      for (uint32_t i = 0; i < frames; ++i) {
        const int32_t v = ((p[2 * i] - 128) + (p[2 * i + 1] - 128)) / 2;
        p[i] = static_cast<uint8_t>(Clamp(v, -128, 127) + 128);
      }
      break;
    case 16:
      for (uint32_t i = 0; i < frames; ++i) {
        const int32_t v = (Load16(p + 4 * i) + Load16(p + 4 * i + 2)) / 2;
        Store16(p + 2 * i, static_cast<int16_t>(Clamp(v, -32768, 32767)));
      }
      break;
    case 24:
      for (uint32_t i = 0; i < frames; ++i) {
        Store24(p + 3 * i, (Load24(p + 6 * i) + Load24(p + 6 * i + 3)) / 2);
      }
      break;
    case 32:
      for (uint32_t i = 0; i < frames; ++i) {
        const int64_t sum = static_cast<int64_t>(Load32(p + 8 * i)) + Load32(p + 8 * i + 4);
        Store32(p + 4 * i, static_cast<int32_t>(sum / 2));
      }
      break;
    default:
      break;
  }
}

void MonoToStereo(void* buffer, int32_t bitsPerSample, uint32_t bytes) {
  if (buffer == nullptr) return;
  if (bitsPerSample != 8 && bitsPerSample != 16 && bitsPerSample != 24 && bitsPerSample != 32) {
    return;
  }
  auto* p = static_cast<uint8_t*>(buffer);
  const uint32_t width = static_cast<uint32_t>(bitsPerSample / 8);
  const uint32_t samples = bytes / width;
  // Backwards, so no sample is overwritten before it has been copied.
  for (uint32_t i = samples; i-- > 0;) {
    uint8_t sample[4];
    std::memcpy(sample, p + i * width, width);
    std::memcpy(p + 2 * i * width, sample, width);
    std::memcpy(p + (2 * i + 1) * width, sample, width);
  }
}
