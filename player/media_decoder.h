// The one decoding path of the player plug-in: opens a song with FFmpeg, picks its best audio
// stream and delivers interleaved integer PCM in a fixed format chosen at open (the source's own
// width for PCM and lossless sources, 16 bits for float and lossy ones; one or two channels), with
// seeking exact to the sample. Both the PCM source and the preview player read songs through it,
// so what is heard while marking is what is cut.
//
// Not thread-safe: one thread drives a decoder at a time. Only RequestAbort may be called from
// another thread; it makes a running open, read or seek give up promptly.

#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/tvplayer_interfaces.h"
#include "player/ffmpeg_handles.h"

namespace tvplayer {

class MediaDecoder {
 public:
  MediaDecoder();
  ~MediaDecoder();
  MediaDecoder(const MediaDecoder&) = delete;
  MediaDecoder& operator=(const MediaDecoder&) = delete;

  // Opens a song, or the first playable file an M3U/CUE playlist names. On failure the decoder is
  // closed and `error` (when given) names the step and the file.
  bool Open(const std::string& utf8Path, std::string* error = nullptr);
  void Close();
  bool IsOpen() const { return format_ != nullptr; }

  const MediaInfo& info() const { return info_; }
  int blockAlign() const { return info_.channels * info_.bitsPerSample / 8; }

  // The next Read starts with sample `sample` of a full decode from the beginning (clamped at 0;
  // beyond the end the next Read gives 0).
  bool SeekToSample(std::int64_t sample);
  // The same in 100-ns units: sample = floor(position × rate / 10^7).
  bool SeekToTime(std::int64_t position100ns);
  // Index of the next sample Read delivers.
  std::int64_t position() const { return nextSample_; }

  // Whole frames only, up to `bytes` bytes. Returns the byte count, 0 at the end of the song.
  int Read(std::uint8_t* out, int bytes);

  void RequestAbort() { abort_.store(true); }

 private:
  bool OpenFile(const std::string& path, std::string* error);
  bool OpenDemuxer(const std::string& path, std::string* error);
  bool OpenCodec(const std::string& path, std::string* error);
  void ChooseOutputFormat();
  void FillMediaInfo(const std::string& path);
  // Counts the stream's packets when the container only guessed the length.
  void MeasureDuration(const std::string& path);
  // Decodes the first frame so sample 0 of a full decode is known in stream time.
  bool FindOrigin(const std::string& path, std::string* error);

  // Next decoded frame into frame_: 1 got one, 0 end of stream.
  int DecodeFrame();
  // Converts frame_ to output bytes appended to pending_; returns the sample count appended.
  int ConvertFrame();
  bool ConfigureResampler(const AVFrame& frame);
  // Decodes until pending_ holds data or the stream ends; false at the end.
  bool Refill();
  std::int64_t FrameSample(const AVFrame& frame) const;

  // Forgets everything decoded: flushes the codec, drops the resampler and the pending output,
  // and puts the next Read at sample 0 with trusted sample counting. Every path that opens,
  // reopens, seeks or closes goes through here; a timestamp seek then asks for an anchor.
  void ResetDecodeState();
  // Opens the same file afresh, before its first packet; closes the decoder on failure.
  bool Reopen();

  // Seeking (media_decoder_seek.cc).
  bool SeekByTimestamp(std::int64_t sample);
  bool SeekByRestart(std::int64_t sample);
  // Drops pending output before `sample`, decoding forward as needed.
  bool SkipTo(std::int64_t sample);

  void ArmDeadline(int seconds);
  static int InterruptCallback(void* opaque);

  // Declared before the FFmpeg handles: the interrupt callback reads them while a handle closes.
  std::atomic<bool> abort_{false};
  std::atomic<std::int64_t> deadlineNs_{0};

  FormatContextPtr format_;
  CodecContextPtr codec_;
  ResamplerPtr resampler_;
  PacketPtr packet_;
  FramePtr frame_;

  std::string openedPath_;
  int streamIndex_ = -1;
  AVRational timeBase_{0, 1};
  bool lossless_ = false;
  bool canSeekByTimestamp_ = false;
  std::int64_t originPts_ = 0;

  // Output format, fixed at open.
  AVSampleFormat outSampleFormat_ = AV_SAMPLE_FMT_S16;
  int outBits_ = 16;
  int outChannels_ = 2;
  int outRate_ = 0;
  MediaInfo info_{};

  // Resampler input as last configured.
  AVSampleFormat resamplerInFormat_ = AV_SAMPLE_FMT_NONE;
  int resamplerInRate_ = 0;
  AVChannelLayout resamplerInLayout_{};

  bool demuxEnded_ = false;
  bool decoderEnded_ = false;
  // Sample index of the next decoded frame when its timestamp is not trusted.
  std::int64_t decodedSample_ = 0;
  bool needAnchor_ = false;

  std::vector<std::uint8_t> pending_;
  std::size_t pendingOffset_ = 0;
  std::int64_t nextSample_ = 0;  // sample index of pending_[pendingOffset_]
  std::vector<std::uint8_t> scratch_;
};

}  // namespace tvplayer
