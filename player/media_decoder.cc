#include "player/media_decoder.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "audio/pcm_samples.h"
#include "player/playlist.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
}

namespace tvplayer {
namespace {

// Time allowed to one blocking step. A local file answers in milliseconds; only a broken or
// hostile file (or a dead network mount) comes near these.
constexpr int kOpenSeconds = 10;
constexpr int kReadSeconds = 5;
// Packets in a row the decoder may refuse before the rest of the stream counts as lost.
constexpr int kMaxConsecutiveErrors = 500;
constexpr int kMaxSampleRate = 768000;
// Entries of a playlist tried before giving up on it.
constexpr int kMaxPlaylistTries = 8;
// Probing reads at most this much of a file.
constexpr std::int64_t kProbeBytes = 5 * 1000 * 1000;
// Demuxers without an index of their own (MP3, ADTS, FLAC...) add one entry of 24 bytes for every
// packet read, up to a megabyte a stream: playing would cost memory by the minute. A thousand or
// so entries still place a timestamp seek near its target, and every seek decodes forward from
// where it lands anyway.
constexpr unsigned kMaxIndexBytes = 32 * 1024;

// Demuxers that open further files or addresses on a file's say-so. We resolve our own playlists.
bool IsRefusedDemuxer(const char* name) {
  static const char* const kRefused[] = {"hls", "concat", "dash", "ffmetadata"};
  for (const char* refused : kRefused) {
    if (std::strcmp(name, refused) == 0) return true;
  }
  return false;
}

// Containers whose timestamps after a seek name the exact sample (a time base as fine as the
// sample rate, and taken from the file, not estimated from the byte position). Others (ASF and
// Matroska count whole milliseconds; raw AC-3 estimates) are positioned by decoding forward.
bool HasSampleExactTimestamps(const AVFormatContext& format, AVRational timeBase, int rate) {
  static const char* const kExact[] = {"wav", "w64", "flac", "mp3", "ogg", "aiff", "au", "caf",
                                       "aac", "ape", "wv", "tta", "mpc", "mpc8", "voc",
                                       "mov,mp4,m4a,3gp,3g2,mj2"};
  bool known = false;
  for (const char* name : kExact) known = known || std::strcmp(format.iformat->name, name) == 0;
  return known && timeBase.num > 0 &&
         static_cast<std::int64_t>(timeBase.den) >= static_cast<std::int64_t>(timeBase.num) * rate;
}

// The time base of MediaInfo's durations.
constexpr AVRational kUnitTimeBase{1, kUnitsPerSecond};

std::string FfmpegError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof(text));
  return text;
}

void SetError(std::string* error, const std::string& step, const std::string& path,
              const std::string& why) {
  if (error != nullptr) *error = step + " failed for " + path + ": " + why;
}

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

MediaDecoder::MediaDecoder() {
  // FFmpeg reports every damaged frame on stderr. A host that chose its own level keeps it; the
  // desktop program has no console to show them on.
  static const bool quieted = [] {
    if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_QUIET);
    return true;
  }();
  (void)quieted;
}

MediaDecoder::~MediaDecoder() {
  Close();
}

void MediaDecoder::ArmDeadline(int seconds) {
  deadlineNs.store(NowNs() + static_cast<std::int64_t>(seconds) * 1000000000);
}

int MediaDecoder::InterruptCallback(void* opaque) {
  auto* self = static_cast<MediaDecoder*>(opaque);
  return self->abort.load() || NowNs() > self->deadlineNs.load() ? 1 : 0;
}

void MediaDecoder::Close() {
  codec.reset();
  format.reset();
  packet.reset();
  frame.reset();
  openedPath.clear();
  streamIndex = -1;
  mediaInfo = MediaInfo{};
  foundEnd = -1;
  ResetDecodeState();
}

void MediaDecoder::ResetDecodeState() {
  if (codec) avcodec_flush_buffers(codec.get());
  resampler.reset();
  av_channel_layout_uninit(&resamplerInLayout);
  resamplerInFormat = AV_SAMPLE_FMT_NONE;
  resamplerInRate = 0;
  pending.clear();
  pendingOffset = 0;
  demuxEnded = false;
  decoderEnded = false;
  needAnchor = false;
  decodedSample = 0;
  nextSample = 0;
}

bool MediaDecoder::Reopen() {
  const std::string path = openedPath;
  codec.reset();
  format.reset();
  ResetDecodeState();
  if (!OpenDemuxer(path, nullptr) || !OpenCodec(path, nullptr)) {
    Close();
    return false;
  }
  openedPath = path;
  return true;
}

bool MediaDecoder::Open(const std::string& path, std::string* error, bool countLength) {
  Close();
  if (IsPlaylistPath(path)) {
    // A few candidates only: each open may take its full time on a hostile file.
    int tries = 0;
    for (const std::string& entry : ResolvePlaylist(path)) {
      if (IsPlaylistPath(entry)) continue;  // one level only: no playlist loops
      if (OpenFile(entry, nullptr, countLength)) return true;
      if (++tries == kMaxPlaylistTries) break;
    }
    SetError(error, "playlist", path, "it names no local file that plays");
    return false;
  }
  return OpenFile(path, error, countLength);
}

bool MediaDecoder::OpenFile(const std::string& path, std::string* error, bool countLength) {
  Close();
  if (!OpenDemuxer(path, error) || !OpenCodec(path, error) || !FindOrigin(path, error)) {
    Close();
    return false;
  }
  FillMediaInfo(path);
  openedPath = path;
  // A length guessed from the first frame's bit rate (VBR MP3 without a header, raw AAC) can be
  // off by a tenth; the song's length bounds every section, so count it instead.
  if (countLength && (format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE ||
                      mediaInfo.duration <= 0)) {
    MeasureDuration(path);
    if (!IsOpen()) {  // the file went away or changed between the two reads
      SetError(error, "length", path, "the file could not be read again to count its length");
      return false;
    }
  }
  return true;
}

void MediaDecoder::MeasureDuration(const std::string& path) {
  // Opening decoded the first frame; count from the very first packet.
  if (!Reopen()) return;
  ArmDeadline(kOpenSeconds);
  std::int64_t first = AV_NOPTS_VALUE;
  std::int64_t end = AV_NOPTS_VALUE;
  std::int64_t summed = 0;
  while (av_read_frame(format.get(), packet.get()) >= 0) {
    if (packet->stream_index == streamIndex) {
      if (packet->pts != AV_NOPTS_VALUE) {
        first = first == AV_NOPTS_VALUE ? packet->pts : std::min(first, packet->pts);
        end = std::max(end == AV_NOPTS_VALUE ? packet->pts : end,
                       packet->pts + packet->duration);
      }
      summed += packet->duration;
    }
    av_packet_unref(packet.get());
  }
  const bool complete = !InterruptCallback(this);
  std::int64_t measured = summed;
  if (first != AV_NOPTS_VALUE) measured = std::max(measured, end - first);
  if (complete && measured > 0) {
    mediaInfo.duration = av_rescale_q(measured, timeBase, kUnitTimeBase);
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && mediaInfo.duration > 0) {
      const std::int64_t bitRate =
          av_rescale(static_cast<std::int64_t>(size) * 8, kUnitsPerSecond, mediaInfo.duration);
      mediaInfo.bitrateKbps =
          static_cast<std::int32_t>(std::clamp<std::int64_t>((bitRate + 500) / 1000, 0, INT32_MAX));
    }
  }
  // Back to the first sample, as a fresh open leaves it (a failure closes the decoder).
  SeekByRestart(0);
}

bool MediaDecoder::OpenDemuxer(const std::string& path, std::string* error) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    SetError(error, "open", path, "not a regular file");
    return false;
  }
  AVFormatContext* context = avformat_alloc_context();
  if (context == nullptr) {
    SetError(error, "open", path, "out of memory");
    return false;
  }
  context->interrupt_callback.callback = &MediaDecoder::InterruptCallback;
  context->interrupt_callback.opaque = this;
  context->probesize = kProbeBytes;
  context->max_analyze_duration = 5 * static_cast<std::int64_t>(AV_TIME_BASE);
  context->max_index_size = kMaxIndexBytes;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  ArmDeadline(kOpenSeconds);
  // "file:" keeps a colon in a file name from being read as a protocol.
  int ret = avformat_open_input(&context, ("file:" + path).c_str(), nullptr, &options);
  av_dict_free(&options);
  if (ret < 0) {  // avformat_open_input frees the context on failure
    SetError(error, "open", path, FfmpegError(ret));
    return false;
  }
  format.reset(context);
  if (IsRefusedDemuxer(format->iformat->name)) {
    SetError(error, "open", path, std::string("refused container ") + format->iformat->name);
    return false;
  }
  ret = avformat_find_stream_info(format.get(), nullptr);
  if (ret < 0) {
    SetError(error, "stream info", path, FfmpegError(ret));
    return false;
  }
  const AVCodec* decoder = nullptr;
  ret = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
  if (ret < 0 || decoder == nullptr) {
    SetError(error, "audio stream", path, ret < 0 ? FfmpegError(ret) : "no decoder");
    return false;
  }
  streamIndex = ret;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    format->streams[i]->discard = static_cast<int>(i) == streamIndex ? AVDISCARD_DEFAULT
                                                                       : AVDISCARD_ALL;
  }
  timeBase = format->streams[streamIndex]->time_base;
  return true;
}

bool MediaDecoder::OpenCodec(const std::string& path, std::string* error) {
  const AVCodecParameters* parameters = format->streams[streamIndex]->codecpar;
  const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
  if (decoder == nullptr) {
    SetError(error, "decoder", path, "no decoder for this codec");
    return false;
  }
  codec.reset(avcodec_alloc_context3(decoder));
  packet.reset(av_packet_alloc());
  frame.reset(av_frame_alloc());
  if (!codec || !packet || !frame) {
    SetError(error, "decoder", path, "out of memory");
    return false;
  }
  int ret = avcodec_parameters_to_context(codec.get(), parameters);
  if (ret < 0) {
    SetError(error, "decoder", path, FfmpegError(ret));
    return false;
  }
  codec->pkt_timebase = timeBase;
  codec->thread_count = 1;
  ret = avcodec_open2(codec.get(), decoder, nullptr);
  if (ret < 0) {
    SetError(error, "decoder", path, FfmpegError(ret));
    return false;
  }
  const AVCodecDescriptor* descriptor = avcodec_descriptor_get(parameters->codec_id);
  lossless = descriptor != nullptr && (descriptor->props & AV_CODEC_PROP_LOSSLESS) != 0;
  return true;
}

void MediaDecoder::ChooseOutputFormat() {
  const AVFrame& frame = *this->frame;
  outRate = frame.sample_rate;
  outChannels = frame.ch_layout.nb_channels >= 2 ? 2 : 1;
  int rawBits = codec->bits_per_raw_sample;
  if (rawBits <= 0) rawBits = format->streams[streamIndex]->codecpar->bits_per_raw_sample;
  outBits = 16;
  if (lossless) {
    switch (av_get_packed_sample_fmt(static_cast<AVSampleFormat>(frame.format))) {
      case AV_SAMPLE_FMT_U8:
        outBits = 8;
        break;
      case AV_SAMPLE_FMT_S16:
        outBits = 16;
        break;
      case AV_SAMPLE_FMT_S32:
        outBits = rawBits > 16 && rawBits <= 24 ? 24 : rawBits > 0 && rawBits <= 16 ? 16 : 32;
        break;
      case AV_SAMPLE_FMT_S64:
        outBits = 32;
        break;
      default:  // float PCM and anything new: 16 bits like the lossy sources
        outBits = 16;
        break;
    }
  }
  outSampleFormat = outBits == 8    ? AV_SAMPLE_FMT_U8
                     : outBits == 16 ? AV_SAMPLE_FMT_S16
                                      : AV_SAMPLE_FMT_S32;
}

bool MediaDecoder::FindOrigin(const std::string& path, std::string* error) {
  ArmDeadline(kOpenSeconds);
  if (DecodeFrame() <= 0) {
    SetError(error, "decode", path, "no audio could be decoded");
    return false;
  }
  // Beyond any real recording; a damaged header claiming more would size buffers by it.
  if (frame->sample_rate <= 0 || frame->sample_rate > kMaxSampleRate ||
      frame->ch_layout.nb_channels <= 0) {
    SetError(error, "decode", path, "no usable sample rate or channel count");
    return false;
  }
  ChooseOutputFormat();
  const std::int64_t ts = frame->best_effort_timestamp != AV_NOPTS_VALUE
                              ? frame->best_effort_timestamp
                              : frame->pts;
  const AVIOContext* io = format->pb;
  canSeekByTimestamp = ts != AV_NOPTS_VALUE && io != nullptr &&
                        (io->seekable & AVIO_SEEKABLE_NORMAL) != 0 &&
                        (format->iformat->flags & AVFMT_NOTIMESTAMPS) == 0 &&
                        HasSampleExactTimestamps(*format, timeBase, outRate);
  originPts = ts != AV_NOPTS_VALUE ? ts : 0;
  // The open began from Close, so this frame is sample 0 and nothing is pending.
  if (ConvertFrame() <= 0) {
    SetError(error, "convert", path, "the decoded sound cannot be turned into PCM");
    return false;
  }
  return true;
}

void MediaDecoder::FillMediaInfo(const std::string& path) {
  const AVStream* stream = format->streams[streamIndex];
  mediaInfo = MediaInfo{};
  mediaInfo.bitsPerSample = outBits;
  mediaInfo.channels = outChannels;
  mediaInfo.sampleRate = outRate;
  if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
    mediaInfo.duration = av_rescale_q(stream->duration, stream->time_base, kUnitTimeBase);
  } else if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
    mediaInfo.duration = format->duration * (kUnitsPerSecond / AV_TIME_BASE);
  }
  std::int64_t bitRate = format->bit_rate;
  if (bitRate <= 0) bitRate = stream->codecpar->bit_rate;
  if (bitRate <= 0 && mediaInfo.duration > 0) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec) {
      bitRate = av_rescale(static_cast<std::int64_t>(size) * 8, kUnitsPerSecond, mediaInfo.duration);
    }
  }
  mediaInfo.bitrateKbps = static_cast<std::int32_t>(std::clamp<std::int64_t>((bitRate + 500) / 1000, 0,
                                                                         INT32_MAX));
}

int MediaDecoder::DecodeFrame() {
  int errors = 0;
  for (;;) {
    if (InterruptCallback(this)) return 0;
    int ret = avcodec_receive_frame(codec.get(), frame.get());
    if (ret == 0) {
      if (frame->nb_samples > 0) return 1;
      av_frame_unref(frame.get());
      continue;
    }
    if (ret == AVERROR_EOF) return 0;
    if (ret != AVERROR(EAGAIN)) {
      if (++errors > kMaxConsecutiveErrors) return 0;
      continue;
    }
    if (demuxEnded) return 0;
    ret = av_read_frame(format.get(), packet.get());
    if (ret < 0) {
      // End of file, a read error or the deadline: the decoder gives out what it still holds.
      demuxEnded = true;
      avcodec_send_packet(codec.get(), nullptr);
      continue;
    }
    if (packet->stream_index != streamIndex) {
      av_packet_unref(packet.get());
      continue;
    }
    ret = avcodec_send_packet(codec.get(), packet.get());
    av_packet_unref(packet.get());
    if (ret < 0 && ret != AVERROR(EAGAIN)) {
      // A damaged packet: skip it, as players do, unless the whole stream is garbage.
      if (++errors > kMaxConsecutiveErrors) return 0;
    } else {
      errors = 0;
    }
  }
}

bool MediaDecoder::ConfigureResampler(const AVFrame& frame) {
  const auto format = static_cast<AVSampleFormat>(frame.format);
  if (resampler && format == resamplerInFormat && frame.sample_rate == resamplerInRate &&
      av_channel_layout_compare(&frame.ch_layout, &resamplerInLayout) == 0) {
    return true;
  }
  resampler.reset();
  av_channel_layout_uninit(&resamplerInLayout);
  AVChannelLayout in{};
  if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    av_channel_layout_default(&in, frame.ch_layout.nb_channels);
  } else if (av_channel_layout_copy(&in, &frame.ch_layout) < 0) {
    return false;
  }
  AVChannelLayout out{};
  av_channel_layout_default(&out, outChannels);
  SwrContext* context = nullptr;
  int ret = swr_alloc_set_opts2(&context, &out, outSampleFormat, outRate, &in, format,
                                frame.sample_rate, 0, nullptr);
  ResamplerPtr resampler(context);
  av_channel_layout_uninit(&in);
  av_channel_layout_uninit(&out);
  if (ret < 0 || swr_init(resampler.get()) < 0) return false;
  this->resampler = std::move(resampler);
  resamplerInFormat = format;
  resamplerInRate = frame.sample_rate;
  av_channel_layout_copy(&resamplerInLayout, &frame.ch_layout);
  return true;
}

std::int64_t MediaDecoder::FrameSample(const AVFrame& frame) const {
  if (!needAnchor) return decodedSample;
  const std::int64_t ts =
      frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
  if (ts == AV_NOPTS_VALUE) return -1;
  return av_rescale_q_rnd(ts - originPts, timeBase, AVRational{1, outRate},
                          static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}

int MediaDecoder::ConvertFrame() {
  const AVFrame& frame = *this->frame;
  const std::int64_t sample = FrameSample(frame);
  if (sample == -1 && needAnchor) {  // no timestamp yet after a seek: cannot place this frame
    av_frame_unref(this->frame.get());
    return 0;
  }
  if (!ConfigureResampler(frame)) {
    av_frame_unref(this->frame.get());
    return 0;
  }
  const int maxOut = swr_get_out_samples(resampler.get(), frame.nb_samples);
  if (maxOut <= 0) {
    av_frame_unref(this->frame.get());
    return 0;
  }
  const int outBytesPerSample = av_get_bytes_per_sample(outSampleFormat);
  scratch.resize(static_cast<std::size_t>(maxOut) * outBytesPerSample * outChannels);
  std::uint8_t* outPlanes[1] = {scratch.data()};
  const int converted =
      swr_convert(resampler.get(), outPlanes, maxOut,
                  const_cast<const std::uint8_t**>(frame.extended_data), frame.nb_samples);
  av_frame_unref(this->frame.get());
  if (converted <= 0) return 0;

  needAnchor = false;
  if (pendingOffset >= pending.size()) {
    pending.clear();
    pendingOffset = 0;
    nextSample = sample;
  }
  decodedSample = sample + converted;
  const std::size_t values = static_cast<std::size_t>(converted) * outChannels;
  if (outBits == 24) {
    // 24-bit sources decode to 32-bit words with the low byte empty; keep the three high bytes.
    const std::size_t start = pending.size();
    pending.resize(start + values * 3);
    pcm::Pack32To24(scratch.data(), pending.data() + start, values);
  } else {
    pending.insert(pending.end(), scratch.data(),
                    scratch.data() + values * outBytesPerSample);
  }
  return converted;
}

bool MediaDecoder::Refill() {
  while (pendingOffset >= pending.size()) {
    if (decoderEnded) return false;
    if (DecodeFrame() <= 0) {
      decoderEnded = true;
      // Everything decoded has been taken, so the next sample is the end; unless a time limit or
      // an abort cut the decoding short, or a seek has not yet placed a frame in the song.
      if (!InterruptCallback(this) && !needAnchor) foundEnd = nextSample;
      return false;
    }
    ConvertFrame();
  }
  return true;
}

int MediaDecoder::Read(std::uint8_t* out, int bytes) {
  const int align = blockAlign();
  if (!IsOpen() || out == nullptr || align <= 0 || bytes < align) return -1;
  const std::size_t want = static_cast<std::size_t>(bytes / align) * align;
  std::size_t written = 0;
  ArmDeadline(kReadSeconds);
  while (written < want && Refill()) {
    const std::size_t n = std::min(want - written, pending.size() - pendingOffset);
    std::memcpy(out + written, pending.data() + pendingOffset, n);
    pendingOffset += n;
    written += n;
    nextSample += static_cast<std::int64_t>(n / align);
  }
  return static_cast<int>(written);
}

}  // namespace tvplayer
