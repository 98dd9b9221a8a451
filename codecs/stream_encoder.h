// The part the AAC and Vorbis encoder objects of codecs.so share: the settings interface, the
// checks of InitStream, blocks cut into whole frames, and the announced integer PCM turned into
// floating-point planes at the ring's channels (mixed down to one as (L + R) / 2, as WAV rings
// are, or doubled to two) and, where the format lacks the PCM's rate, resampled with
// libswresample to exactly the frames the ring's rate gives. A derived object gets the planes and
// turns them into its stream.
//
// Threads: driven by one thread at a time (settings and InitStream on the UI thread, Encode and
// Finish on the cut worker); no lock of its own. Reference counts are atomic.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/com_ptr.h"
#include "engine/codec_interfaces.h"

struct SwrContext;

namespace codecs {

struct SwrFreer {
  void operator()(SwrContext* context) const;
};

class StreamEncoderObject : public tavio::ICodecEncoder,
                            public tavio::ICodecSettings,
                            public tavio::Unknown {
 public:
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
  std::int32_t SetExpectedFrames(std::int32_t frames) override;
  std::int32_t Reserved7() override { return tavio::E_NOTIMPL; }
  std::int32_t SetChannelMode(std::int32_t mode) override;
  std::int32_t GetChannelMode(std::int32_t* mode) override;
  std::int32_t SetVariableBitrate(std::uint8_t on) override;
  std::int32_t SetWriteInfoTag(std::uint8_t on) override;
  std::int32_t SetErrorProtection(std::uint8_t on) override;

 protected:
  StreamEncoderObject();
  ~StreamEncoderObject() override;

  // The sample rate and bit rate this format writes for PCM at `rate` going out with `channels`.
  virtual std::int32_t OutputRateFor(std::int32_t rate) const = 0;
  virtual std::int32_t BitrateFor(std::int32_t kbps, std::int32_t rate,
                                  std::int32_t channels) const = 0;
  // Prepares the encoder for planes of `channels` at `rate` and `kbps`; expectedFrames is the
  // ring's length at that rate, 0 when not known. Writes nothing yet.
  virtual bool Open(std::int32_t channels, std::int32_t rate, std::int32_t kbps,
                    std::int64_t expectedFrames) = 0;
  // Codes `frames` frames, one plane per channel, writing what is ready through sink().
  virtual bool EncodePlanar(const float* const* planes, std::int32_t frames) = 0;
  // Codes what is left and ends the stream.
  virtual bool Close() = 0;

  tavio::IEncoderCallback* sink() const { return callback.Get(); }

 private:
  tavio::IUnknown* IdentityUnknown() override { return static_cast<tavio::ICodecEncoder*>(this); }
  // Converts whole frames of the announced PCM and hands them on.
  bool EncodeFrames(const std::uint8_t* pcm, std::int32_t frames);
  // Hands resampled or converted planes on, never more than the ring's length at its rate.
  bool HandOn(float* const* planes, std::int32_t frames);

  // Settings, used by InitStream.
  std::int32_t bitrateKbps = 128;
  std::int32_t channelMode = 0;
  std::int32_t expectedFrames = 0;

  // The stream, once InitStream accepted it.
  base::ComPtr<tavio::IEncoderCallback> callback;  // one reference held until destruction
  bool open = false;
  bool finished = false;
  bool failed = false;
  std::int32_t inputChannels = 0;
  std::int32_t outputChannels = 0;
  std::int32_t bitsPerSample = 0;
  std::int32_t blockAlign = 0;
  std::int32_t inputRate = 0;
  std::int32_t outputRate = 0;
  std::int64_t framesIn = 0;
  std::int64_t framesOut = 0;
  std::unique_ptr<SwrContext, SwrFreer> resampler;  // only when the rates differ
  std::vector<float> planes[2];                     // converted, at the input rate
  std::vector<float> resampled[2];
  std::uint8_t partialFrame[8] = {};  // a frame split across two Encode calls
  std::int32_t partialBytes = 0;
};

}  // namespace codecs
