#include "audio/pcm_samples.h"

#include <algorithm>

namespace pcm {
namespace {

// One width: its size, its load and store, and its range.
template <int Bits, std::int32_t (*LoadFn)(const std::uint8_t*),
          void (*StoreFn)(std::uint8_t*, std::int32_t)>
struct Width {
  static constexpr std::size_t kBytes = Bits / 8;
  static constexpr std::int64_t kMax = (std::int64_t{1} << (Bits - 1)) - 1;
  static constexpr std::int64_t kMin = -kMax - 1;
  static std::int32_t Load(const std::uint8_t* p) { return LoadFn(p); }
  static void Store(std::uint8_t* p, std::int64_t v) {
    StoreFn(p, static_cast<std::int32_t>(std::clamp(v, kMin, kMax)));
  }
};

using U8 = Width<8, LoadU8, StoreU8>;
using S16 = Width<16, Load16, Store16>;
using S24 = Width<24, Load24, Store24>;
using S32 = Width<32, Load32, Store32>;

// Calls f with the Width of `bits`; false (and no call) for any other width.
template <typename F>
bool WithWidth(int bits, F&& f) {
  switch (bits) {
    case 8: f(U8{}); break;
    case 16: f(S16{}); break;
    case 24: f(S24{}); break;
    case 32: f(S32{}); break;
    default: return false;
  }
  return true;
}

}  // namespace

void ApplyGain(void* buffer, int bitsPerSample, int channels, std::int32_t gain,
               std::uint32_t frames) {
  if (buffer == nullptr || channels <= 0) return;
  const std::uint64_t samples =
      static_cast<std::uint64_t>(frames) * static_cast<std::uint32_t>(channels);
  WithWidth(bitsPerSample, [&](auto width) {
    using W = decltype(width);
    // Symmetric for 32 bits: -2^31 has no positive twin to be scaled from.
    constexpr std::int64_t low = W::kBytes == 4 ? -W::kMax : W::kMin;
    auto* p = static_cast<std::uint8_t*>(buffer);
    for (std::uint64_t i = 0; i < samples; ++i, p += W::kBytes) {
      const std::int64_t v = static_cast<std::int64_t>(W::Load(p)) * gain / kUnityGain;
      W::Store(p, std::max(v, low));
    }
  });
}

void StereoToMono(void* buffer, int bitsPerSample, std::uint32_t bytes) {
  if (buffer == nullptr) return;
  WithWidth(bitsPerSample, [&](auto width) {
    using W = decltype(width);
    auto* p = static_cast<std::uint8_t*>(buffer);
    const std::uint32_t frames = bytes / W::kBytes / 2;
    for (std::uint32_t i = 0; i < frames; ++i) {
      const std::uint8_t* frame = p + 2 * W::kBytes * i;
      const std::int64_t sum =
          static_cast<std::int64_t>(W::Load(frame)) + W::Load(frame + W::kBytes);
      W::Store(p + W::kBytes * i, sum / 2);
    }
  });
}

void MonoToStereo(void* buffer, int bitsPerSample, std::uint32_t bytes) {
  if (buffer == nullptr || !IsSampleWidth(bitsPerSample)) return;
  auto* p = static_cast<std::uint8_t*>(buffer);
  const auto width = static_cast<std::uint32_t>(bitsPerSample / 8);
  const std::uint32_t samples = bytes / width;
  // Backwards, so no sample is overwritten before it has been copied.
  for (std::uint32_t i = samples; i-- > 0;) {
    std::uint8_t sample[4];
    std::memcpy(sample, p + i * width, width);
    std::memcpy(p + 2 * i * width, sample, width);
    std::memcpy(p + (2 * i + 1) * width, sample, width);
  }
}

void Pack32To24(const std::uint8_t* from, std::uint8_t* to, std::size_t samples) {
  for (std::size_t i = 0; i < samples; ++i, from += 4, to += 3) {
    to[0] = from[1];
    to[1] = from[2];
    to[2] = from[3];
  }
}

}  // namespace pcm
