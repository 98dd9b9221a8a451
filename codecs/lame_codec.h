// The MP3 encoder object of codecs.so: LAME behind ICodecEncoder and ICodecSettings. The program reaches these only through the interfaces
// of engine/codec_interfaces.h; the declarations are here so the plug-in's sources share them.
//
// Threads: an encoder object is driven by one thread at a time (settings and InitStream on the UI
// thread, Encode and Finish on the cut worker); it has no lock of its own. Reference counts are
// atomic, so references may be dropped from any thread.
#pragma once

#include <lame/lame.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "base/com_ptr.h"
#include "codecs/frame_carry.h"
#include "engine/codec_interfaces.h"
#include "engine/mp3_bitrates.h"

namespace codecs {

struct LameCloser {
  void operator()(lame_global_flags* flags) const { lame_close(flags); }
};
using LameHandle = std::unique_ptr<lame_global_flags, LameCloser>;

class LameEncoderObject final : public tavio::ICodecEncoder,
                                public tavio::ICodecSettings,
                                public tavio::Unknown {
 public:
  LameEncoderObject() = default;

  // ICodecEncoder and ICodecSettings share one identity; both forward to the count.
  std::int32_t QueryInterface(const tavio::GUID& iid, void** out) override {
    return outer->NonDelegatingQueryInterface(iid, out);
  }
  std::uint32_t AddRef() override { return outer->NonDelegatingAddRef(); }
  std::uint32_t Release() override { return outer->NonDelegatingRelease(); }
  std::int32_t NonDelegatingQueryInterface(const tavio::GUID& iid, void** out) override;

  // ICodecEncoder
  std::int32_t InitStream(tavio::IEncoderCallback* sink,
                          const tavio::WaveFormatEx* format) override;
  std::int32_t Encode(const void* pcm, std::int32_t bytes) override;
  std::int32_t Finish() override;

  // ICodecSettings
  std::int32_t SetBitrate(std::int32_t kbps) override;
  std::int32_t GetBitrate(std::int32_t* kbps) override;
  std::int32_t SetQuality(std::int32_t value) override;
  // The LAME tag tells a decoder the length; MP3 needs it no sooner.
  std::int32_t SetExpectedFrames(std::int32_t frames) override {
    return frames < 0 ? tavio::E_INVALIDARG : tavio::S_OK;
  }
  std::int32_t Reserved7() override { return tavio::E_NOTIMPL; }
  std::int32_t SetChannelMode(std::int32_t mode) override;
  std::int32_t GetChannelMode(std::int32_t* mode) override;
  std::int32_t SetVariableBitrate(std::uint8_t on) override;
  std::int32_t SetWriteInfoTag(std::uint8_t on) override;
  std::int32_t SetErrorProtection(std::uint8_t on) override;

 private:
  ~LameEncoderObject() override;
  tavio::IUnknown* IdentityUnknown() override { return static_cast<tavio::ICodecEncoder*>(this); }

  // Encodes `frames` whole frames of interleaved PCM and writes the result.
  bool EncodeFrames(const std::uint8_t* pcm, std::int32_t frames);
  // Writes through the callback, remembering where the stream started.
  bool WriteOut(const unsigned char* data, std::int32_t bytes);

  // Settings, used by InitStream.
  std::int32_t bitrateKbps = 128;
  std::int32_t quality = 5;
  std::int32_t channelMode = STEREO;
  bool variableBitrate = false;
  bool writeInfoTag = true;
  bool errorProtection = false;

  // The stream, once InitStream accepted it.
  LameHandle lame;
  base::ComPtr<tavio::IEncoderCallback> callback;  // one reference held until destruction
  std::int32_t inputChannels = 0;
  std::int32_t bitsPerSample = 0;
  std::int32_t blockAlign = 0;
  bool doubleMono = false;  // mono PCM written as two channels
  bool finished = false;
  bool failed = false;
  bool wroteAnything = false;
  std::uint64_t streamStart = 0;  // where the tag frame went
  FrameCarry carry;
  std::vector<int> left, right;
  std::vector<unsigned char> mp3Buffer;
};

}  // namespace codecs
