// The part the AAC and Vorbis encoder objects of codecs.so share: the settings interface, the
// checks of InitStream, blocks cut into whole frames, and the announced integer PCM turned into
// floating-point planes at the ring's channels (mixed down to one as (L + R) / 2, as WAV rings
// are, or doubled to two) and, where the format lacks the PCM's rate, resampled with
// libswresample to exactly the frames the ring's rate gives. A derived object gets the planes and
// turns them into its stream.
//
// Threads: driven by one thread at a time (settings and InitStream on the UI thread, Encode and
// Finish on the cut worker). The coding itself runs on a thread of the object's own, a few blocks
// behind, so the next block is decoded while this one is coded: Encode converts the PCM and queues
// it; the coding thread's output (Emit) is kept under the object's lock and written through the
// callback by the next Encode or by Finish, on the caller's thread, so the callback is never
// called from two threads. Finish waits for the coding thread and ends the stream on the caller's
// thread, where the stream may also seek (Reposition). A derived object's destructor calls
// StopCoding before it frees what the coding thread uses. Reference counts are atomic.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/com_ptr.h"
#include "codecs/frame_carry.h"
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
  // Codes `frames` frames, one plane per channel, writing what is ready with Emit. Runs on the
  // coding thread.
  virtual bool EncodePlanar(const float* const* planes, std::int32_t frames) = 0;
  // Codes what is left and ends the stream, on the caller's thread.
  virtual bool Close() = 0;

  // Writes bytes of the stream: through the callback on the caller's thread, or, from the coding
  // thread, kept until the caller's next Encode or Finish. False when the bytes cannot be written.
  bool Emit(const void* data, std::int32_t bytes);
  // Moves the stream's write position (origin as IEncoderCallback::Seek, offsets from the file's
  // start); only on the caller's thread, so only while the stream ends. The coding thread may only
  // ask where it is (offset 0 from the current position).
  bool Reposition(std::int64_t offset, std::int32_t origin, std::uint64_t* position);
  // Where the callback's file stood when the stream began.
  std::uint64_t streamStart() const { return startPosition; }
  // Ends the coding thread, dropping what it has not coded yet. Derived destructors call it first.
  void StopCoding();

 private:
  // A converted block on its way to the coding thread.
  struct Chunk {
    std::vector<float> planes[2];
    std::int32_t frames = 0;
  };
  void CodingLoop();
  // Writes what the coding thread emitted; false when that or the coding itself failed.
  bool WritePending();

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
  FrameCarry carry;
  std::uint64_t startPosition = 0;

  // The coding thread and what it shares with the caller, all under `lock`.
  std::thread coder;
  std::mutex lock;
  std::condition_variable changed;
  std::deque<Chunk> queued;
  std::vector<Chunk> spare;              // blocks handed back, to be filled again
  std::vector<std::uint8_t> pending;     // emitted by the coding thread, not yet written
  std::uint64_t emittedTotal = 0;        // every byte emitted so far, written or pending
  bool ending = false;                   // no more blocks: code the queue, then stop
  bool stopping = false;                 // stop now
  bool codingFailed = false;
};

}  // namespace codecs
