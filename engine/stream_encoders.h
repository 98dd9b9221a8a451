// The two rings coded by codecs.so besides MP3 (CodecPluginEncoder): M4rEncoder writes AAC-LC in
// an MPEG-4 file as iPhones take rings (".m4r"; Android plays the same file as ".m4a"), OggEncoder
// writes Vorbis in Ogg, Android's own ring format. Both are configured with the ring's channel
// mode (3 for one channel, otherwise 0), bitrateKbps and the section's length in frames (which
// lets AAC end exactly on the last sample); the plug-in keeps the source's rate when the format
// has it. Each also says what the window's size estimate must count. Threads and ownership as
// CodecPluginEncoder.
#pragma once

#include <cstdint>
#include <filesystem>

#include "engine/codec_plugin_encoder.h"

class StreamEncoder : public CodecPluginEncoder {
 protected:
  using CodecPluginEncoder::CodecPluginEncoder;

 private:
  void Configure(tavio::ICodecSettings& settings) override;
};

class M4rEncoder final : public StreamEncoder {
 public:
  // Loads codecs.so from the executable's folder, or from componentFolder (tests, tools).
  M4rEncoder();
  explicit M4rEncoder(std::filesystem::path componentFolder);

  // The bit rate a ring asked for at kbps is written at, for PCM at sampleRate Hz going out with
  // `channels` channels.
  static int32_t WrittenBitrate(int32_t kbps, int32_t sampleRate, int32_t channels);
  // The bytes the MPEG-4 file adds to the sound of a ring of sectionMs.
  static int64_t ContainerBytes(int32_t sectionMs, int32_t sampleRate);
};

class OggEncoder final : public StreamEncoder {
 public:
  OggEncoder();
  explicit OggEncoder(std::filesystem::path componentFolder);

  static int32_t WrittenBitrate(int32_t kbps, int32_t sampleRate, int32_t channels);
  // The bytes the Ogg stream and the Vorbis headers add to the sound of a ring of sectionMs.
  static int64_t ContainerBytes(int32_t sectionMs, int32_t sampleRate, int32_t writtenKbps);
};
