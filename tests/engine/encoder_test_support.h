// Helpers of the encoder tests: PCM made in memory, an EncoderInput that serves it the way the
// player's PCM source does (whole frames, at most the count asked) and records what was asked,
// sample access by width, and a scratch folder. Test code only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/pcm_bytes.h"
#include "tests/support/temp_dir.h"

#include "engine/encoder.h"

namespace enctest {

// Deterministic PCM of the given width: a loud sine mixed with full-range noise, so gains meet
// their clamps. 8-bit samples are unsigned.
std::vector<uint8_t> MakePcm(int bits, int channels, int64_t frames, uint32_t seed = 7);
// A sine at `level` of full scale (0..1), the same on every channel.
std::vector<uint8_t> MakeSine(int bits, int channels, int rate, int64_t frames, double hz,
                              double level);

// Sample i of a buffer of the given width, signed (8-bit made signed: s - 128).
using testsupport::SampleAt;

class MemoryInput final : public EncoderInput {
 public:
  MemoryInput(int bits, int channels, int rate, std::vector<uint8_t> pcm);

  int32_t ReadPcm(void* buffer, int32_t bytes) override;
  bool ReadFormat(MediaInfo* out) override;

  MediaInfo info{};
  std::vector<uint8_t> pcm;
  size_t position = 0;
  std::vector<int32_t> requests;  // every count asked for
  bool formatKnown = true;
};

using testsupport::TempDir;

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
// Runs a shell command and returns its standard output; exit status into *status when given.
std::string Capture(const std::string& command, int* status = nullptr);

}  // namespace enctest
