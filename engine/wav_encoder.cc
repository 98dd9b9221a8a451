#include "engine/wav_encoder.h"

#include <cstring>

#include "audio/pcm_samples.h"

namespace {

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

WavEncoder::WavEncoder() = default;
WavEncoder::~WavEncoder() = default;

bool WavEncoder::WriteHeader() {
  uint8_t header[kHeaderBytes];
  std::memcpy(header, "RIFF", 4);
  Put32(header + 4, riffSize);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  Put32(header + 16, 16);
  Put16(header + 20, 1);  // integer PCM
  Put16(header + 22, channelCount);
  Put32(header + 24, sampleRate);
  Put32(header + 28, byteRate);
  Put16(header + 32, blockAlign);
  Put16(header + 34, bitsPerSample);
  std::memcpy(header + 36, "data", 4);
  Put32(header + 40, dataSize);
  return file.Write(header, sizeof(header));
}

bool WavEncoder::StartFile() { return WriteHeader(); }

bool WavEncoder::HandBlock(uint8_t* block, int32_t bytes) {
  const int32_t sourceChannels = sourceFormat().channels;
  const int32_t bits = sourceFormat().bitsPerSample;
  if (outputChannels > 1 && sourceChannels < 2) {
    stereoBlock.resize(2 * static_cast<size_t>(bytes));
    std::memcpy(stereoBlock.data(), block, static_cast<size_t>(bytes));
    pcm::MonoToStereo(stereoBlock.data(), bits, static_cast<uint32_t>(bytes));
    return file.Write(stereoBlock.data(), stereoBlock.size());
  }
  if (outputChannels <= 1 && sourceChannels == 2) {
    pcm::StereoToMono(block, bits, static_cast<uint32_t>(bytes));
    return file.Write(block, static_cast<size_t>(bytes / 2));
  }
  return file.Write(block, static_cast<size_t>(bytes));
}

bool WavEncoder::FinishFile() {
  uint64_t fileLength = 0;
  if (!file.Seek(0, 2, &fileLength) || fileLength < kHeaderBytes || fileLength > UINT32_MAX) {
    return false;
  }
  riffSize = static_cast<uint32_t>(fileLength - 8);
  channelCount = static_cast<uint16_t>(outputChannels);
  bitsPerSample = static_cast<uint16_t>(sourceFormat().bitsPerSample);
  sampleRate = static_cast<uint32_t>(sourceFormat().sampleRate);
  blockAlign = static_cast<uint16_t>(channelCount * bitsPerSample / 8);
  byteRate = sampleRate * blockAlign;
  dataSize = static_cast<uint32_t>(fileLength - kHeaderBytes);
  uint64_t start = 0;
  return file.Seek(0, 0, &start) && WriteHeader();
}
