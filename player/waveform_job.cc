#include "player/waveform_job.h"

#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <limits>
#include <system_error>

#include "audio/pcm_samples.h"
#include "player/media_decoder.h"

namespace tvplayer {
namespace {

// Bytes decoded between two looks at the cancel flag: well under a millisecond of work.
constexpr int kBlockBytes = 32768;
constexpr int kMaxThreads = 16;

constexpr WaveformPeak kUnknown{std::numeric_limits<std::int16_t>::max(),
                                std::numeric_limits<std::int16_t>::min()};
constexpr WaveformPeak kSilence{0, 0};

// Revisions count across all jobs, so a reader that kept one song's revision never takes another
// song's picture for an unchanged one.
std::atomic<std::uint32_t> g_revisions{0};

// A sample of the decoder's width as 16 bits: the top 16 bits of wider ones, 8-bit ones centred.
template <int kBits>
inline std::int32_t Load16Bits(const std::uint8_t* p) {
  if constexpr (kBits == 8) {
    return pcm::LoadU8(p) * 256;
  } else if constexpr (kBits == 16) {
    return pcm::Load16(p);
  } else if constexpr (kBits == 24) {
    return pcm::Load24(p) >> 8;
  } else {
    return pcm::Load32(p) >> 16;
  }
}

// Widens each channel's peak over `frames` interleaved frames.
template <int kBits>
void ScanFrames(const std::uint8_t* data, std::int64_t frames, int channels,
                std::array<std::int32_t, 2>& low, std::array<std::int32_t, 2>& high) {
  constexpr int kBytes = kBits / 8;
  if (channels == 1) {
    std::int32_t lo = low[0];
    std::int32_t hi = high[0];
    for (std::int64_t i = 0; i < frames; ++i) {
      const std::int32_t v = Load16Bits<kBits>(data + i * kBytes);
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
    low[0] = lo;
    high[0] = hi;
    return;
  }
  std::int32_t lo0 = low[0], hi0 = high[0], lo1 = low[1], hi1 = high[1];
  for (std::int64_t i = 0; i < frames; ++i) {
    const std::int32_t a = Load16Bits<kBits>(data + (2 * i) * kBytes);
    const std::int32_t b = Load16Bits<kBits>(data + (2 * i + 1) * kBytes);
    lo0 = std::min(lo0, a);
    hi0 = std::max(hi0, a);
    lo1 = std::min(lo1, b);
    hi1 = std::max(hi1, b);
  }
  low = {lo0, lo1};
  high = {hi0, hi1};
}

// 16-bit samples, which every lossy format decodes to: eight lanes at a time, which the compiler
// turns into vector minima and maxima (the even lanes hold the first channel of a stereo song,
// the odd ones the second). Several times quicker than a frame at a time.
void Scan16(const std::uint8_t* data, std::int64_t frames, int channels,
            std::array<std::int32_t, 2>& low, std::array<std::int32_t, 2>& high) {
  constexpr int kLanes = 8;
  std::int16_t lo[kLanes];
  std::int16_t hi[kLanes];
  std::fill(std::begin(lo), std::end(lo), std::numeric_limits<std::int16_t>::max());
  std::fill(std::begin(hi), std::end(hi), std::numeric_limits<std::int16_t>::min());
  const std::int64_t values = frames * channels;
  std::int64_t i = 0;
  for (; i + kLanes <= values; i += kLanes) {
    std::int16_t v[kLanes];
    std::memcpy(v, data + i * 2, sizeof(v));
    for (int lane = 0; lane < kLanes; ++lane) {
      lo[lane] = std::min(lo[lane], v[lane]);
      hi[lane] = std::max(hi[lane], v[lane]);
    }
  }
  for (int lane = 0; lane < kLanes; ++lane) {
    const int c = lane % channels;
    low[c] = std::min<std::int32_t>(low[c], lo[lane]);
    high[c] = std::max<std::int32_t>(high[c], hi[lane]);
  }
  // The frames after the last whole group of lanes.
  const std::int64_t done = i / channels;
  ScanFrames<16>(data + done * channels * 2, frames - done, channels, low, high);
}

void Scan(int bits, const std::uint8_t* data, std::int64_t frames, int channels,
          std::array<std::int32_t, 2>& low, std::array<std::int32_t, 2>& high) {
  switch (bits) {
    case 8: ScanFrames<8>(data, frames, channels, low, high); break;
    case 16: Scan16(data, frames, channels, low, high); break;
    case 24: ScanFrames<24>(data, frames, channels, low, high); break;
    default: ScanFrames<32>(data, frames, channels, low, high); break;
  }
}

std::int64_t SongSamples(const MediaInfo& info) {
  if (info.sampleRate <= 0 || info.duration <= 0) return 0;
  // Whole samples of the song's length, as the decoder counts them from its start.
  const std::int64_t rate = info.sampleRate;
  return info.duration / kUnitsPerSecond * rate + info.duration % kUnitsPerSecond * rate / kUnitsPerSecond;
}

// Decoding threads take the machine's spare time: the player's own thread and the window, which
// wake often and briefly, win every contest with them (SCHED_BATCH keeps their share of the
// processor, only not their say on wake-ups).
void MarkAsBatchThread() {
  sched_param param{};
  param.sched_priority = 0;
  pthread_setschedparam(pthread_self(), SCHED_BATCH, &param);
  pthread_setname_np(pthread_self(), "TVWaveform");
}

}  // namespace

std::int64_t WaveformJob::BinStart(int bin, int bins, std::int64_t samples) {
  if (bins <= 0) return 0;
  // 2^31 stretches of 2^32-sample songs still fit: samples below 2^40 times bins below 2^16.
  return static_cast<std::int64_t>(bin) * samples / bins;
}

int WaveformJob::DefaultThreads() {
  cpu_set_t set;
  CPU_ZERO(&set);
  int count = 0;
  if (sched_getaffinity(0, sizeof(set), &set) == 0) count = CPU_COUNT(&set);
  if (count <= 0) count = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(count, 1, kMaxThreads);
}

bool WaveformJob::Identify(const std::string& path, FileIdentity* identity) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  identity->device = st.st_dev;
  identity->inode = st.st_ino;
  identity->size = st.st_size;
  identity->modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

WaveformJob::WaveformJob(std::string path, const MediaInfo& info, int bins, int threads)
    : songPath(std::move(path)),
      info(info),
      bins(std::max(bins, 1)),
      totalSamples(SongSamples(info)) {
  const int channels = std::clamp(info.channels, 1, 2);
  peaks.assign(static_cast<std::size_t>(this->bins) * channels, kUnknown);
  identified = Identify(songPath, &identity);

  const int parts = std::clamp(threads, 1, this->bins);
  for (int p = 0; p <= parts; ++p) partStarts.push_back(p * this->bins / parts);
  for (int p = 0; p < parts; ++p) decoders.push_back(std::make_unique<MediaDecoder>());
  partsLeft = parts;
  for (int p = 0; p < parts; ++p) {
    try {
      workers.emplace_back(&WaveformJob::RunPart, this, p);
    } catch (const std::system_error&) {
      // No thread for this part: its stretches show as silence rather than never arriving.
      PublishSilence(partStarts[p], partStarts[p + 1]);
      FinishPart();
    }
  }
}

WaveformJob::~WaveformJob() {
  Cancel();
  for (std::thread& worker : workers) {
    if (worker.joinable()) worker.join();
  }
}

bool WaveformJob::Serves(const std::string& path) const {
  if (cancelled() || path != songPath || !identified) return false;
  FileIdentity now;
  return Identify(path, &now) && now == identity;
}

void WaveformJob::Cancel() {
  cancelRequested.store(true);
  // Each decoder gives up at its next look at its abort flag, even inside a slow open or seek.
  for (const auto& decoder : decoders) decoder->RequestAbort();
}

void WaveformJob::Snapshot(WaveformState* state, WaveformPeak* out, int capacity) const {
  std::lock_guard<std::mutex> lock(mutex);
  *state = WaveformState{};
  state->bins = bins;
  state->channels = static_cast<std::int32_t>(peaks.size() / bins);
  state->known = known;
  state->complete = partsLeft == 0 && known == bins ? 1 : 0;
  state->revision = revision;
  if (out != nullptr && capacity > 0) {
    const std::size_t n = std::min(peaks.size(), static_cast<std::size_t>(capacity));
    std::copy_n(peaks.begin(), n, out);
  }
}

void WaveformJob::RunPart(int part) {
  MarkAsBatchThread();
  MediaDecoder& decoder = *decoders[part];
  const int firstBin = partStarts[part];
  const int endBin = partStarts[part + 1];
  int bin = firstBin;
  // Without the length count: the song's length is known from the open that started the job.
  if (!cancelled() && decoder.Open(songPath, nullptr, false)) {
    const MediaInfo& opened = decoder.info();
    // A file that changed since it was opened for playing no longer matches the picture's
    // stretches; it gets none of its sound drawn.
    if (opened.channels == info.channels && opened.bitsPerSample == info.bitsPerSample &&
        opened.sampleRate == info.sampleRate) {
      bin = DecodePart(decoder, firstBin, endBin);
    }
  }
  // Everything decoded is copied out; the decoder's buffers go now, not with the job.
  decoder.Close();
  if (cancelled()) return;
  PublishSilence(bin, endBin);
  FinishPart();
}

int WaveformJob::DecodePart(MediaDecoder& decoder, int firstBin, int endBin) {
  const int channels = std::clamp(info.channels, 1, 2);
  const int align = decoder.blockAlign();
  int bin = firstBin;
  std::int64_t binEnd = BinStart(bin + 1, bins, totalSamples);
  if (!decoder.SeekToSample(BinStart(bin, bins, totalSamples))) return bin;
  std::int64_t sample = decoder.position();

  std::vector<std::uint8_t> block(static_cast<std::size_t>(kBlockBytes / align) * align);
  std::array<std::int32_t, 2> low{};
  std::array<std::int32_t, 2> high{};
  bool any = false;
  auto reset = [&] {
    low.fill(std::numeric_limits<std::int32_t>::max());
    high.fill(std::numeric_limits<std::int32_t>::min());
    any = false;
  };
  auto publish = [&] {
    std::array<WaveformPeak, 2> binPeaks{};
    for (int c = 0; c < channels; ++c) {
      binPeaks[c] = any ? WaveformPeak{static_cast<std::int16_t>(low[c]),
                                       static_cast<std::int16_t>(high[c])}
                        : kSilence;
    }
    Publish(bin, binPeaks.data());
    reset();
    ++bin;
    binEnd = BinStart(bin + 1, bins, totalSamples);
  };
  reset();

  while (bin < endBin && !cancelled()) {
    const int got = decoder.Read(block.data(), static_cast<int>(block.size()));
    if (got <= 0) break;
    const std::int64_t frames = got / align;
    std::int64_t done = 0;
    while (done < frames && bin < endBin) {
      // Stretches of no samples (songs shorter than the picture is wide) are silence.
      while (bin < endBin && sample + done >= binEnd) publish();
      if (bin >= endBin) break;
      const std::int64_t take = std::min(frames - done, binEnd - (sample + done));
      Scan(info.bitsPerSample, block.data() + done * align, take, channels, low, high);
      any = true;
      done += take;
    }
    sample += frames;
    while (bin < endBin && sample >= binEnd) publish();
  }
  // The song ended inside a stretch: what it had is that stretch's picture.
  if (!cancelled() && bin < endBin && any) publish();
  return bin;
}

void WaveformJob::Publish(int bin, const WaveformPeak* binPeaks) {
  const std::size_t channels = peaks.size() / bins;
  std::lock_guard<std::mutex> lock(mutex);
  std::copy_n(binPeaks, channels, peaks.begin() + static_cast<std::ptrdiff_t>(bin * channels));
  ++known;
  revision = ++g_revisions;
}

void WaveformJob::PublishSilence(int fromBin, int toBin) {
  if (fromBin >= toBin) return;
  const std::size_t channels = peaks.size() / bins;
  std::lock_guard<std::mutex> lock(mutex);
  std::fill(peaks.begin() + static_cast<std::ptrdiff_t>(fromBin * channels),
            peaks.begin() + static_cast<std::ptrdiff_t>(toBin * channels), kSilence);
  known += toBin - fromBin;
  revision = ++g_revisions;
}

void WaveformJob::FinishPart() {
  std::lock_guard<std::mutex> lock(mutex);
  --partsLeft;
  revision = ++g_revisions;
}

}  // namespace tvplayer
