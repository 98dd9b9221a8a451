// MediaDecoder's seeking: exact to the sample, by a timestamp seek where the container's
// timestamps name the sample, else by reading again from the start; both end by decoding forward
// to the target.
#include <algorithm>
#include <cstdint>

#include "player/media_decoder.h"

extern "C" {
#include <libavutil/mathematics.h>
}

namespace tvplayer {
namespace {

// Time allowed to one seek (opening and reading have theirs in media_decoder.cc).
constexpr int kSeekSeconds = 30;

}  // namespace

bool MediaDecoder::SeekToTime(std::int64_t position100ns) {
  if (!IsOpen()) return false;
  const std::int64_t position = std::clamp<std::int64_t>(position100ns, 0, std::int64_t{1} << 50);
  const std::int64_t sample = av_rescale_rnd(position, outRate, kUnitsPerSecond, AV_ROUND_DOWN);
  return SeekToSample(sample);
}

bool MediaDecoder::SeekToSample(std::int64_t sample) {
  if (!IsOpen()) return false;
  // Years past any song's end, and far from overflowing the timestamp arithmetic.
  sample = std::clamp<std::int64_t>(sample, 0, std::int64_t{1} << 40);
  ArmDeadline(kSeekSeconds);
  // Close by, going forward, or where timestamps cannot place a sample: decoding on is exact by
  // construction (and close by, cheaper than a seek).
  if (sample >= nextSample && (!canSeekByTimestamp || sample - nextSample < outRate / 4)) {
    return SkipTo(sample);
  }
  if (canSeekByTimestamp && SeekByTimestamp(sample)) return true;
  return SeekByRestart(sample);
}

bool MediaDecoder::SeekByTimestamp(std::int64_t sample) {
  // Lossy decoders need material before the target to rebuild their state (overlapped transforms,
  // the MP3 bit reservoir, Opus pre-roll); that much is decoded and thrown away.
  const AVCodecParameters* parameters = format->streams[streamIndex]->codecpar;
  std::int64_t margin = lossless ? 0 : outRate / 2;
  if (parameters->seek_preroll > 0) margin += parameters->seek_preroll;
  for (int attempt = 0; attempt < 4; ++attempt) {
    const std::int64_t widened = attempt == 0 ? margin : (margin + outRate) << (2 * attempt);
    const std::int64_t start = sample - widened;
    // Near the beginning a fresh start is exact and costs less than a seek.
    if (start <= 0) return false;
    const std::int64_t ts = originPts + av_rescale_q(start, AVRational{1, outRate}, timeBase);
    if (avformat_seek_file(format.get(), streamIndex, INT64_MIN, ts, ts, 0) < 0) return false;
    ResetDecodeState();
    needAnchor = true;  // the frames now carry timestamps of where the seek landed
    if (!Refill()) continue;            // landed at the end: try further back
    if (nextSample > sample) continue;  // landed after the target: try further back
    return SkipTo(sample);
  }
  return false;
}

bool MediaDecoder::SeekByRestart(std::int64_t sample) {
  if (!Reopen()) return false;
  ArmDeadline(kSeekSeconds);
  return SkipTo(sample);
}

bool MediaDecoder::SkipTo(std::int64_t sample) {
  const int align = blockAlign();
  while (Refill()) {
    const auto available = static_cast<std::int64_t>((pending.size() - pendingOffset) / align);
    if (nextSample + available <= sample) {
      pendingOffset = pending.size();
      nextSample += available;
      continue;
    }
    if (nextSample < sample) {
      pendingOffset += static_cast<std::size_t>(sample - nextSample) * align;
      nextSample = sample;
    }
    return true;
  }
  // The song ends before the target: the next Read reports the end.
  nextSample = std::max(nextSample, sample);
  return true;
}

}  // namespace tvplayer
