// WavEncoder writes the ring as a canonical 44-byte-header PCM WAV file at the source's sample
// width and rate, mixing a stereo source down to one channel or doubling a mono source to two when
// the ring's channel count differs from the song's. The header is written with zero counts when
// the file is created and patched with the real sizes by End. Threads as Encoder.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/encoder.h"

class WavEncoder final : public Encoder {
 public:
  static constexpr int32_t kHeaderBytes = 44;

  WavEncoder();
  ~WavEncoder() override;

 private:
  bool StartFile() override;
  bool HandBlock(uint8_t* block, int32_t bytes) override;
  bool FinishFile() override;
  bool WriteHeader();

  // The header's numbers, little-endian in the file.
  uint32_t riffSize = 0;
  uint16_t channelCount = 2;
  uint32_t sampleRate = 0;
  uint32_t byteRate = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  uint32_t dataSize = 0;

  std::vector<uint8_t> stereoBlock;  // a mono block doubled to two channels
};
