// The AAC encoder object of codecs.so: AAC-LC from FFmpeg's own aac encoder in an MPEG-4 file
// from libavformat's ipod muxer, as iPhones take rings. The muxer writes through the program's
// callback (StreamEncoderObject's Emit, and Reposition from where the stream starts); the index goes
// at the end, written by Finish on the caller's thread.
//
// Exact length: the encoder's delay (its first 1024 samples) and the padding of the last frame
// are hidden by the edit list. Since MPEG-4 players trim only whole frames at the end, the padding
// is put before the sound, beside the delay, when the length is announced (SetExpectedFrames), so
// the last frame ends exactly on the last sample.
//
// Threads as StreamEncoderObject.
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/stream_encoder.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVIOContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

namespace codecs {

struct FfmpegFreer {
  void operator()(AVCodecContext* context) const;
  void operator()(AVFormatContext* context) const;
  void operator()(AVIOContext* context) const;
  void operator()(AVFrame* frame) const;
  void operator()(AVPacket* packet) const;
};

class AacEncoderObject final : public StreamEncoderObject {
 public:
  AacEncoderObject();

 private:
  ~AacEncoderObject() override;

  std::int32_t OutputRateFor(std::int32_t rate) const override;
  std::int32_t BitrateFor(std::int32_t kbps, std::int32_t rate,
                          std::int32_t channels) const override;
  bool Open(std::int32_t channels, std::int32_t rate, std::int32_t kbps,
            std::int64_t expectedFrames) override;
  bool EncodePlanar(const float* const* planes, std::int32_t frames) override;
  bool Close() override;

  // Writes the file's header and the leading padding, once.
  bool StartFile();
  // Appends silence or sound to the frame being filled, coding every frame that fills.
  bool Append(const float* const* planes, std::int32_t frames);
  // Hands a frame (null: the end) to the encoder and writes the packets it gives back.
  bool Send(const AVFrame* frame);

  // The AVIO callbacks, over the program's callback.
  static int WriteOut(void* opaque, std::uint8_t* data, int bytes);
  static std::int64_t SeekOut(void* opaque, std::int64_t offset, int whence);

  std::unique_ptr<AVCodecContext, FfmpegFreer> codec;
  std::unique_ptr<AVFormatContext, FfmpegFreer> muxer;
  std::unique_ptr<AVIOContext, FfmpegFreer> io;
  std::unique_ptr<AVFrame, FfmpegFreer> frame;
  std::unique_ptr<AVPacket, FfmpegFreer> packet;
  AVStream* stream = nullptr;  // the muxer's
  std::int32_t channels = 0;
  std::int32_t sampleRate = 0;
  std::int32_t frameSamples = 0;
  std::int32_t filled = 0;        // samples in the frame being filled
  std::int64_t nextPts = 0;
  std::int64_t leadingPadding = 0;
  bool started = false;
};

}  // namespace codecs
