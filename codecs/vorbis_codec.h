// The Vorbis encoder object of codecs.so: libvorbis in bit-rate managed mode without its slow
// rate management (an average near the chosen rate, as oggenc and FFmpeg do it), paged into an Ogg
// stream with libogg and written through the program's callback. The three headers come first,
// the identification header alone on the first page, as the Ogg mapping of Vorbis asks, and the
// first sound packet has a page to itself too (see Drain); the last
// page carries the end-of-stream mark and the final granule position, which tells a decoder how
// many of the last block's samples are sound, so the ring decodes to exactly the samples given.
//
// Threads as StreamEncoderObject.
#pragma once

#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include <cstdint>

#include "codecs/stream_encoder.h"

namespace codecs {

class VorbisEncoderObject final : public StreamEncoderObject {
 public:
  VorbisEncoderObject();

 private:
  ~VorbisEncoderObject() override;

  std::int32_t OutputRateFor(std::int32_t rate) const override;
  std::int32_t BitrateFor(std::int32_t kbps, std::int32_t rate,
                          std::int32_t channels) const override;
  bool Open(std::int32_t channels, std::int32_t rate, std::int32_t kbps,
            std::int64_t expectedFrames) override;
  bool EncodePlanar(const float* const* planes, std::int32_t frames) override;
  bool Close() override;

  // The three headers, once, before the first sound.
  bool StartFile();
  // Codes every block libvorbis has ready and writes the pages that fill (all, with flush).
  bool Drain(bool flush);
  bool WritePages(bool flush);

  vorbis_info info{};
  vorbis_comment comment{};
  vorbis_dsp_state dsp{};
  vorbis_block block{};
  ogg_stream_state pages{};
  bool infoReady = false;
  bool encoderReady = false;
  bool pagesReady = false;
  bool started = false;
  bool firstSoundPacket = true;
  std::int32_t channels = 0;
};

}  // namespace codecs
