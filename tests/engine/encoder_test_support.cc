#include "encoder_test_support.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>

namespace enctest {
namespace {

using testsupport::PutSample;

int64_t FullScale(int bits) { return (int64_t{1} << (bits - 1)) - 1; }

}  // namespace

std::vector<uint8_t> MakePcm(int bits, int channels, int64_t frames, uint32_t seed) {
  std::vector<uint8_t> data(static_cast<size_t>(frames * channels * (bits / 8)));
  std::mt19937 random(seed);
  const int64_t top = FullScale(bits);
  // The lowest value of every width but 32 bits, whose -2^31 no gain can give back (the gain's
  // clamp is symmetric).
  const int64_t bottom = bits == 32 ? -top : -top - 1;
  std::uniform_int_distribution<int64_t> noise(bottom, top);
  for (int64_t f = 0; f < frames; ++f) {
    for (int c = 0; c < channels; ++c) {
      int64_t v = static_cast<int64_t>(0.9 * top * std::sin(0.01 * f + c)) / 2 + noise(random) / 2;
      if (f % 97 == 0) v = (c == 0) ? top : bottom;  // the extremes, often
      PutSample(data.data(), bits, f * channels + c, v);
    }
  }
  return data;
}

std::vector<uint8_t> MakeSine(int bits, int channels, int rate, int64_t frames, double hz,
                              double level) {
  std::vector<uint8_t> data(static_cast<size_t>(frames * channels * (bits / 8)));
  const double top = static_cast<double>(FullScale(bits));
  for (int64_t f = 0; f < frames; ++f) {
    const auto v = static_cast<int64_t>(
        std::lround(level * top * std::sin(2 * std::numbers::pi * hz * f / rate)));
    for (int c = 0; c < channels; ++c) PutSample(data.data(), bits, f * channels + c, v);
  }
  return data;
}

MemoryInput::MemoryInput(int bits, int channels, int rate, std::vector<uint8_t> data)
    : pcm(std::move(data)) {
  info.bitsPerSample = bits;
  info.channels = channels;
  info.sampleRate = rate;
}

int32_t MemoryInput::ReadPcm(void* buffer, int32_t bytes) {
  requests.push_back(bytes);
  const size_t frame = static_cast<size_t>(info.bitsPerSample / 8 * info.channels);
  size_t n = std::min(static_cast<size_t>(std::max(bytes, 0)), pcm.size() - position);
  n -= n % frame;
  std::memcpy(buffer, pcm.data() + position, n);
  position += n;
  return static_cast<int32_t>(n);
}

bool MemoryInput::ReadFormat(MediaInfo* out) {
  if (!formatKnown) return false;
  *out = info;
  return true;
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string Capture(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    if (status) *status = -1;
    return out;
  }
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof(chunk), pipe)) > 0) out.append(chunk, n);
  const int raw = pclose(pipe);
  if (status) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

}  // namespace enctest
