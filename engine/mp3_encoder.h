// Mp3Encoder writes the ring as MP3 through the codec plug-in codecs.so (CodecPluginEncoder). It
// configures the plug-in's LAME object with channel mode 3 for a one-channel ring, otherwise 0;
// constant bit rate, info tag on, no CRC; bitrateKbps; effort 5. At the end the plug-in rewrites
// the stream's first frame with the final LAME/Xing tag, so a decoder yields exactly the samples
// given. Threads and ownership as CodecPluginEncoder.
#pragma once

#include <cstdint>
#include <filesystem>

#include "engine/codec_plugin_encoder.h"

class Mp3Encoder final : public CodecPluginEncoder {
 public:
  // Loads codecs.so from the executable's folder.
  Mp3Encoder();
  // Loads codecs.so from componentFolder instead (tests, tools).
  explicit Mp3Encoder(std::filesystem::path componentFolder);
  ~Mp3Encoder() override;

  // The bit rate in kbps that a ring asked for at kbps is really written at, for PCM at
  // sampleRate Hz going out with `channels` channels: the plug-in takes the nearest MP3 rate and
  // raises one too low to carry the info tag. What a size estimate must count.
  static int32_t WrittenBitrate(int32_t kbps, int32_t sampleRate, int32_t channels);

 private:
  void Configure(tavio::ICodecSettings& settings) override;

  // Fixed settings handed over by Begin: slot 10 (variable bit rate off), 11 (info tag on),
  // 12 (CRC off), 5 (effort).
  static constexpr uint8_t variableBitrateSetting = 0;
  static constexpr uint8_t infoTagSetting = 1;
  static constexpr uint8_t errorProtectionSetting = 0;
  static constexpr int32_t qualitySetting = 5;
};
