#include "codecs/aac_codec.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/ring_bitrates.h"

namespace codecs {
namespace {

constexpr int kIoBufferBytes = 64 * 1024;

}  // namespace

void FfmpegFreer::operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
void FfmpegFreer::operator()(AVFormatContext* context) const { avformat_free_context(context); }
void FfmpegFreer::operator()(AVIOContext* context) const {
  if (context != nullptr) av_freep(&context->buffer);
  avio_context_free(&context);
}
void FfmpegFreer::operator()(AVFrame* frame) const { av_frame_free(&frame); }
void FfmpegFreer::operator()(AVPacket* packet) const { av_packet_free(&packet); }

AacEncoderObject::AacEncoderObject() = default;

AacEncoderObject::~AacEncoderObject() {
  StopCoding();
  // The muxer's streams go with it; its I/O context is ours and goes after it.
  muxer.reset();
  io.reset();
}

std::int32_t AacEncoderObject::OutputRateFor(std::int32_t rate) const {
  return AacSampleRateFor(rate);
}

std::int32_t AacEncoderObject::BitrateFor(std::int32_t kbps, std::int32_t rate,
                                          std::int32_t outChannels) const {
  return AacBitrate(kbps, rate, outChannels);
}

bool AacEncoderObject::Open(std::int32_t outChannels, std::int32_t rate, std::int32_t kbps,
                            std::int64_t expectedFrames) {
  // FFmpeg's own encoder by name: another AAC encoder (fdk) would have another delay.
  // FFmpeg's notes (the encoder's statistics, the muxer's advice on file names) have no reader
  // in a plug-in; a log level someone chose is kept.
  if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_QUIET);
  const AVCodec* aac = avcodec_find_encoder_by_name("aac");
  const AVOutputFormat* ipod = av_guess_format("ipod", nullptr, nullptr);
  if (aac == nullptr || ipod == nullptr) return false;

  std::unique_ptr<AVCodecContext, FfmpegFreer> context(avcodec_alloc_context3(aac));
  if (!context) return false;
  context->sample_fmt = AV_SAMPLE_FMT_FLTP;
  context->sample_rate = rate;
  av_channel_layout_default(&context->ch_layout, outChannels);
  context->bit_rate = static_cast<std::int64_t>(kbps) * 1000;
  context->profile = FF_PROFILE_AAC_LOW;
  context->time_base = AVRational{1, rate};
  context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // MPEG-4 keeps the decoder setup in its index
  if (avcodec_open2(context.get(), aac, nullptr) < 0 || context->frame_size <= 0) return false;

  AVFormatContext* made = nullptr;
  if (avformat_alloc_output_context2(&made, ipod, nullptr, nullptr) < 0) return false;
  std::unique_ptr<AVFormatContext, FfmpegFreer> format(made);
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
  if (buffer == nullptr) return false;
  std::unique_ptr<AVIOContext, FfmpegFreer> output(
      avio_alloc_context(buffer, kIoBufferBytes, 1, this, nullptr, &WriteOut, &SeekOut));
  if (!output) {
    av_free(buffer);
    return false;
  }
  format->pb = output.get();
  format->flags |= AVFMT_FLAG_CUSTOM_IO;
  AVStream* audio = avformat_new_stream(format.get(), nullptr);
  if (audio == nullptr || avcodec_parameters_from_context(audio->codecpar, context.get()) < 0) {
    return false;
  }
  audio->time_base = context->time_base;

  const std::int32_t samples = context->frame_size;
  leadingPadding = expectedFrames > 0 ? (samples - expectedFrames % samples) % samples : 0;
  audio->codecpar->initial_padding = static_cast<int>(context->initial_padding + leadingPadding);

  std::unique_ptr<AVFrame, FfmpegFreer> block(av_frame_alloc());
  std::unique_ptr<AVPacket, FfmpegFreer> coded(av_packet_alloc());
  if (!block || !coded) return false;
  block->nb_samples = samples;
  block->format = AV_SAMPLE_FMT_FLTP;
  block->sample_rate = rate;
  if (av_channel_layout_copy(&block->ch_layout, &context->ch_layout) < 0 ||
      av_frame_get_buffer(block.get(), 0) < 0) {
    return false;
  }

  codec = std::move(context);
  muxer = std::move(format);
  io = std::move(output);
  frame = std::move(block);
  packet = std::move(coded);
  stream = audio;
  channels = outChannels;
  sampleRate = rate;
  frameSamples = samples;
  return true;
}

int AacEncoderObject::WriteOut(void* opaque, std::uint8_t* data, int bytes) {
  auto* self = static_cast<AacEncoderObject*>(opaque);
  return self->Emit(data, bytes) ? bytes : AVERROR(EIO);
}

std::int64_t AacEncoderObject::SeekOut(void* opaque, std::int64_t offset, int whence) {
  auto* self = static_cast<AacEncoderObject*>(opaque);
  whence &= ~AVSEEK_FORCE;
  std::int32_t origin = 0;
  const auto start = static_cast<std::int64_t>(self->streamStart());
  if (whence == SEEK_SET) {
    offset += start;
  } else if (whence == SEEK_CUR) {
    origin = 1;
  } else if (whence == SEEK_END) {
    origin = 2;
  } else {
    return AVERROR(ENOSYS);  // AVSEEK_SIZE: the muxer does without
  }
  std::uint64_t position = 0;
  if (!self->Reposition(offset, origin, &position)) return AVERROR(EIO);
  return static_cast<std::int64_t>(position) - start;
}

bool AacEncoderObject::StartFile() {
  if (started) return true;
  started = true;
  // Edit-list times in the sound's own units, so the edit ends on the sample, not the millisecond.
  AVDictionary* options = nullptr;
  av_dict_set(&options, "movie_timescale", std::to_string(sampleRate).c_str(), 0);
  const int written = avformat_write_header(muxer.get(), &options);
  av_dict_free(&options);
  if (written < 0) return false;
  // The last frame's padding, before the sound.
  const float silence[1] = {0.0f};
  std::int64_t left = leadingPadding;
  while (left > 0) {
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(left, frameSamples - filled));
    for (int c = 0; c < channels; ++c) {
      std::fill_n(reinterpret_cast<float*>(frame->data[c]) + filled, n, silence[0]);
    }
    filled += n;
    left -= n;
    if (filled == frameSamples && !Append(nullptr, 0)) return false;
  }
  return true;
}

bool AacEncoderObject::Append(const float* const* planes, std::int32_t frames) {
  std::int32_t done = 0;
  do {
    if (filled == frameSamples) {
      frame->nb_samples = frameSamples;
      frame->pts = nextPts;
      nextPts += frameSamples;
      filled = 0;
      if (!Send(frame.get())) return false;
      // The encoder may still hold the buffer it was given.
      if (av_frame_make_writable(frame.get()) < 0) return false;
    }
    const std::int32_t n = std::min(frames - done, frameSamples - filled);
    for (int c = 0; c < channels && n > 0; ++c) {
      std::memcpy(reinterpret_cast<float*>(frame->data[c]) + filled, planes[c] + done,
                  static_cast<std::size_t>(n) * sizeof(float));
    }
    filled += std::max(n, 0);
    done += std::max(n, 0);
  } while (done < frames || filled == frameSamples);
  return true;
}

bool AacEncoderObject::Send(const AVFrame* input) {
  if (avcodec_send_frame(codec.get(), input) < 0) return false;
  for (;;) {
    const int received = avcodec_receive_packet(codec.get(), packet.get());
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
    if (received < 0) return false;
    // The padding counts as part of the encoder's delay: before the first sample of the sound.
    packet->pts -= leadingPadding;
    packet->dts -= leadingPadding;
    packet->stream_index = stream->index;
    av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
    if (av_write_frame(muxer.get(), packet.get()) < 0) return false;
  }
}

bool AacEncoderObject::EncodePlanar(const float* const* planes, std::int32_t frames) {
  return StartFile() && Append(planes, frames);
}

bool AacEncoderObject::Close() {
  if (!StartFile()) return false;
  if (filled > 0) {
    frame->nb_samples = filled;
    frame->pts = nextPts;
    nextPts += filled;
    filled = 0;
    if (!Send(frame.get())) return false;
  }
  if (!Send(nullptr)) return false;
  const bool trailer = av_write_trailer(muxer.get()) >= 0;
  avio_flush(io.get());
  return trailer && io->error == 0;
}

}  // namespace codecs
