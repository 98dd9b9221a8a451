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
  // closed and `error` (when given) names the step and the file. A length the container only
  // guessed is counted, packet by packet, unless countLength is false (a reader that already
  // knows the length from an earlier open of the same file).
  bool Open(const std::string& utf8Path, std::string* error = nullptr, bool countLength = true);
  void Close();
  bool IsOpen() const { return format != nullptr; }
  // The file being decoded (a playlist's entry, not the playlist); empty while closed.
  const std::string& path() const { return openedPath; }

  const MediaInfo& info() const { return mediaInfo; }
  int blockAlign() const { return mediaInfo.channels * mediaInfo.bitsPerSample / 8; }

  // The next Read starts with sample `sample` of a full decode from the beginning (clamped at 0;
  // beyond the end the next Read gives 0).
  bool SeekToSample(std::int64_t sample);
  // The same in 100-ns units: sample = floor(position × rate / 10^7).
  bool SeekToTime(std::int64_t position100ns);
  // Index of the next sample Read delivers.
  std::int64_t position() const { return nextSample; }
  // The sample where decoding found the song's end, once a Read or a seek has run into it; -1
  // before. A file that holds less than its header says (a cut-off download) ends here, before
  // the duration of info().
  std::int64_t endSample() const { return foundEnd; }

  // Whole frames only, up to `bytes` bytes. Returns the byte count, 0 at the end of the song.
  int Read(std::uint8_t* out, int bytes);

  void RequestAbort() { abort.store(true); }

 private:
  bool OpenFile(const std::string& path, std::string* error, bool countLength);
  bool OpenDemuxer(const std::string& path, std::string* error);
  bool OpenCodec(const std::string& path, std::string* error);
  void ChooseOutputFormat();
  void FillMediaInfo(const std::string& path);
  // Counts the stream's packets when the container only guessed the length.
  void MeasureDuration(const std::string& path);
  // Decodes the first frame so sample 0 of a full decode is known in stream time.
  bool FindOrigin(const std::string& path, std::string* error);

  // Next decoded frame into frame: 1 got one, 0 end of stream.
  int DecodeFrame();
  // Converts frame to output bytes appended to pending; returns the sample count appended.
  int ConvertFrame();
  bool ConfigureResampler(const AVFrame& frame);
  // Decodes until pending holds data or the stream ends; false at the end.
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
  std::atomic<bool> abort{false};
  std::atomic<std::int64_t> deadlineNs{0};

  FormatContextPtr format;
  CodecContextPtr codec;
  ResamplerPtr resampler;
  PacketPtr packet;
  FramePtr frame;

  std::string openedPath;
  int streamIndex = -1;
  AVRational timeBase{0, 1};
  bool lossless = false;
  bool canSeekByTimestamp = false;
  std::int64_t originPts = 0;

  // Output format, fixed at open.
  AVSampleFormat outSampleFormat = AV_SAMPLE_FMT_S16;
  int outBits = 16;
  int outChannels = 2;
  int outRate = 0;
  MediaInfo mediaInfo{};

  // Resampler input as last configured.
  AVSampleFormat resamplerInFormat = AV_SAMPLE_FMT_NONE;
  int resamplerInRate = 0;
  AVChannelLayout resamplerInLayout{};

  bool demuxEnded = false;
  bool decoderEnded = false;
  // Sample index of the next decoded frame when its timestamp is not trusted.
  std::int64_t decodedSample = 0;
  bool needAnchor = false;

  std::vector<std::uint8_t> pending;
  std::size_t pendingOffset = 0;
  std::int64_t nextSample = 0;  // sample index of pending[pendingOffset]
  std::int64_t foundEnd = -1;   // see endSample(); kept across seeks, forgotten on Close
  std::vector<std::uint8_t> scratch;
};

}  // namespace tvplayer
