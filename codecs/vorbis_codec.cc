#include "codecs/vorbis_codec.h"

#include <vorbis/vorbisenc.h>

#include <cstring>
#include <random>

#include "engine/ring_bitrates.h"

namespace codecs {

VorbisEncoderObject::VorbisEncoderObject() = default;

VorbisEncoderObject::~VorbisEncoderObject() {
  StopCoding();
  if (pagesReady) ogg_stream_clear(&pages);
  if (encoderReady) {
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
  }
  if (infoReady) {
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
  }
}

std::int32_t VorbisEncoderObject::OutputRateFor(std::int32_t rate) const {
  return VorbisSampleRateFor(rate);
}

std::int32_t VorbisEncoderObject::BitrateFor(std::int32_t kbps, std::int32_t rate,
                                             std::int32_t outChannels) const {
  return VorbisBitrate(kbps, rate, outChannels);
}

bool VorbisEncoderObject::Open(std::int32_t outChannels, std::int32_t rate, std::int32_t kbps,
                               std::int64_t) {
  vorbis_info_init(&info);
  vorbis_comment_init(&comment);
  infoReady = true;
  // An average bit rate, without the bit reservoir's slow management.
  if (vorbis_encode_setup_managed(&info, outChannels, rate, -1, static_cast<long>(kbps) * 1000,
                                  -1) != 0 ||
      vorbis_encode_ctl(&info, OV_ECTL_RATEMANAGE2_SET, nullptr) != 0 ||
      vorbis_encode_setup_init(&info) != 0) {
    return false;
  }
  if (vorbis_analysis_init(&dsp, &info) != 0) return false;
  if (vorbis_block_init(&dsp, &block) != 0) {
    vorbis_dsp_clear(&dsp);
    return false;
  }
  encoderReady = true;
  std::random_device random;
  if (ogg_stream_init(&pages, static_cast<int>(random())) != 0) return false;
  pagesReady = true;
  channels = outChannels;
  return true;
}

bool VorbisEncoderObject::WritePages(bool flush) {
  ogg_page page;
  while (flush ? ogg_stream_flush(&pages, &page) : ogg_stream_pageout(&pages, &page)) {
    if (!Emit(page.header, static_cast<std::int32_t>(page.header_len)) ||
        !Emit(page.body, static_cast<std::int32_t>(page.body_len))) {
      return false;
    }
  }
  return true;
}

bool VorbisEncoderObject::StartFile() {
  if (started) return true;
  started = true;
  ogg_packet identification, comments, setup;
  if (vorbis_analysis_headerout(&dsp, &comment, &identification, &comments, &setup) != 0) {
    return false;
  }
  // The identification header alone on the first page; the other two end on a page of their own.
  ogg_stream_packetin(&pages, &identification);
  if (!WritePages(true)) return false;
  ogg_stream_packetin(&pages, &comments);
  ogg_stream_packetin(&pages, &setup);
  return WritePages(true);
}

bool VorbisEncoderObject::Drain(bool flush) {
  while (vorbis_analysis_blockout(&dsp, &block) == 1) {
    if (vorbis_analysis(&block, nullptr) != 0 || vorbis_bitrate_addblock(&block) != 0) return false;
    ogg_packet packet;
    while (vorbis_bitrate_flushpacket(&dsp, &packet) == 1) {
      ogg_stream_packetin(&pages, &packet);
      // The first sound packet gets a page of its own: it decodes to no samples, and a demuxer
      // that counts it as a full block when it meets others on that page (FFmpeg's does) would
      // take that many samples off the end of the ring.
      if (!WritePages(firstSoundPacket)) return false;
      firstSoundPacket = false;
    }
  }
  return !flush || WritePages(true);
}

bool VorbisEncoderObject::EncodePlanar(const float* const* planes, std::int32_t frames) {
  if (!StartFile()) return false;
  float** buffer = vorbis_analysis_buffer(&dsp, frames);
  if (buffer == nullptr) return false;
  for (int c = 0; c < channels; ++c) {
    std::memcpy(buffer[c], planes[c], static_cast<std::size_t>(frames) * sizeof(float));
  }
  if (vorbis_analysis_wrote(&dsp, frames) != 0) return false;
  return Drain(false);
}

bool VorbisEncoderObject::Close() {
  if (!StartFile()) return false;
  // No more sound: libvorbis ends the stream, marking its last packet.
  if (vorbis_analysis_wrote(&dsp, 0) != 0) return false;
  return Drain(true);
}

}  // namespace codecs
