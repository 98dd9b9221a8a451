#include "engine/mp3_encoder.h"

#include "engine/mp3_bitrates.h"

namespace {

constexpr int32_t kChannelModeStereo = 0;
constexpr int32_t kChannelModeMono = 3;

}  // namespace

Mp3Encoder::Mp3Encoder() : Mp3Encoder(std::filesystem::path()) {}

Mp3Encoder::Mp3Encoder(std::filesystem::path folder)
    : CodecPluginEncoder(tavio::CLSID_Mp3Encoder, std::move(folder)) {}

Mp3Encoder::~Mp3Encoder() = default;

void Mp3Encoder::Configure(tavio::ICodecSettings& settings) {
  settings.SetChannelMode(outputChannels == 1 ? kChannelModeMono : kChannelModeStereo);
  settings.SetVariableBitrate(variableBitrateSetting);
  settings.SetWriteInfoTag(infoTagSetting);
  settings.SetErrorProtection(errorProtectionSetting);
  settings.SetBitrate(bitrateKbps);
  settings.SetQuality(qualitySetting);
}

int32_t Mp3Encoder::WrittenBitrate(int32_t kbps, int32_t sampleRate, int32_t channels) {
  const int32_t outRate = codecs::Mp3SampleRateFor(sampleRate);
  if (infoTagSetting && !variableBitrateSetting)
    return codecs::TaggableMp3Bitrate(kbps, outRate, channels == 1, errorProtectionSetting != 0);
  return codecs::NearestMp3Bitrate(kbps, outRate);
}
