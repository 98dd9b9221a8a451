#include "codecs/stream_encoder.h"

#include <pthread.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <system_error>

#include "audio/pcm_samples.h"

namespace codecs {
namespace {

constexpr std::int32_t kChunkFrames = 4096;
// Blocks the coding thread may lag behind: enough to keep it busy while the next is decoded.
constexpr std::size_t kMaxQueued = 4;
constexpr std::int32_t kChannelModeStereo = 0;
constexpr std::int32_t kChannelModeMono = 3;
constexpr float kFullScale = 2147483648.0f;  // LoadSampleAs32 spans the whole int32 range

// frames × to / from, rounded to nearest: the length of a ring resampled from `from` to `to`.
std::int64_t Rescaled(std::int64_t frames, std::int32_t from, std::int32_t to) {
  return (frames * to + from / 2) / from;
}

// The object whose coding thread this is (none on other threads).
thread_local const void* codingFor = nullptr;

}  // namespace

void SwrFreer::operator()(SwrContext* context) const { swr_free(&context); }

StreamEncoderObject::StreamEncoderObject() = default;
StreamEncoderObject::~StreamEncoderObject() { StopCoding(); }

void StreamEncoderObject::StopCoding() {
  {
    std::lock_guard<std::mutex> guard(lock);
    stopping = true;
  }
  changed.notify_all();
  if (coder.joinable()) coder.join();
}

void StreamEncoderObject::CodingLoop() {
  codingFor = this;
  pthread_setname_np(pthread_self(), "CodecWork");
  std::unique_lock<std::mutex> guard(lock);
  for (;;) {
    changed.wait(guard, [this] { return stopping || ending || !queued.empty(); });
    if (stopping || queued.empty()) return;  // stopped, or ending with everything coded
    Chunk chunk = std::move(queued.front());
    queued.pop_front();
    guard.unlock();
    const float* planesOf[2] = {chunk.planes[0].data(), chunk.planes[1].data()};
    const bool coded = EncodePlanar(planesOf, chunk.frames);
    guard.lock();
    if (!coded) codingFailed = true;
    spare.push_back(std::move(chunk));
    changed.notify_all();
  }
}

bool StreamEncoderObject::Emit(const void* data, std::int32_t bytes) {
  if (bytes < 0 || (data == nullptr && bytes > 0)) return false;
  if (codingFor == this) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::lock_guard<std::mutex> guard(lock);
    pending.insert(pending.end(), p, p + bytes);
    emittedTotal += static_cast<std::uint64_t>(bytes);
    return true;
  }
  emittedTotal += static_cast<std::uint64_t>(bytes);
  return callback->Write(data, bytes) == 0;
}

bool StreamEncoderObject::Reposition(std::int64_t offset, std::int32_t origin,
                                     std::uint64_t* position) {
  if (codingFor == this) {
    if (offset != 0 || origin != 1 || position == nullptr) return false;
    std::lock_guard<std::mutex> guard(lock);
    *position = startPosition + emittedTotal;
    return true;
  }
  return callback->Seek(offset, origin, position) == 0;
}

bool StreamEncoderObject::WritePending() {
  std::vector<std::uint8_t> bytes;
  bool failedCoding = false;
  {
    std::lock_guard<std::mutex> guard(lock);
    bytes.swap(pending);
    failedCoding = codingFailed;
  }
  const bool written =
      bytes.empty() || callback->Write(bytes.data(), static_cast<std::int32_t>(bytes.size())) == 0;
  if (bytes.capacity() > 0) {
    // The buffer goes back for the coding thread to fill again.
    bytes.clear();
    std::lock_guard<std::mutex> guard(lock);
    if (pending.empty()) pending.swap(bytes);
  }
  return written && !failedCoding;
}

std::int32_t StreamEncoderObject::NonDelegatingQueryInterface(const tavio::GUID& iid, void** out) {
  if (out == nullptr) return tavio::E_POINTER;
  if (iid == tavio::IID_ICodecEncoder) {
    *out = static_cast<tavio::ICodecEncoder*>(this);
  } else if (iid == tavio::IID_ICodecSettings) {
    *out = static_cast<tavio::ICodecSettings*>(this);
  } else {
    return Unknown::NonDelegatingQueryInterface(iid, out);
  }
  NonDelegatingAddRef();
  return tavio::S_OK;
}

std::int32_t StreamEncoderObject::InitStream(tavio::IEncoderCallback* sink,
                                             const tavio::WaveFormatEx* format) {
  if (sink == nullptr || format == nullptr) return tavio::E_POINTER;
  if (open || finished) return tavio::E_FAIL;
  const std::int32_t channels = format->nChannels;
  const std::int32_t bits = format->wBitsPerSample;
  const std::int32_t rate = static_cast<std::int32_t>(
      std::min<std::uint32_t>(format->nSamplesPerSec, 1u << 30));
  if (format->wFormatTag != tavio::kWaveFormatPcm || (channels != 1 && channels != 2) ||
      !pcm::IsSampleWidth(bits) || format->nBlockAlign != channels * bits / 8 || rate < 1000 ||
      rate > 768000) {
    return tavio::E_INVALIDARG;
  }
  const std::int32_t outChannels = channelMode == kChannelModeMono ? 1 : 2;
  const std::int32_t outRate = OutputRateFor(rate);
  const std::int32_t kbps = BitrateFor(bitrateKbps, outRate, outChannels);

  std::unique_ptr<SwrContext, SwrFreer> swr;
  if (outRate != rate) {
    AVChannelLayout layout;
    av_channel_layout_default(&layout, outChannels);
    SwrContext* made = nullptr;
    if (swr_alloc_set_opts2(&made, &layout, AV_SAMPLE_FMT_FLTP, outRate, &layout,
                            AV_SAMPLE_FMT_FLTP, rate, 0, nullptr) < 0) {
      return tavio::E_OUTOFMEMORY;
    }
    swr.reset(made);
    if (swr_init(swr.get()) < 0) return tavio::E_FAIL;
  }
  const std::int64_t ringFrames = Rescaled(expectedFrames, rate, outRate);
  if (!Open(outChannels, outRate, kbps, ringFrames)) return tavio::E_FAIL;

  open = true;
  bitrateKbps = kbps;
  inputChannels = channels;
  outputChannels = outChannels;
  bitsPerSample = bits;
  blockAlign = format->nBlockAlign;
  carry.Reset(blockAlign);
  inputRate = rate;
  outputRate = outRate;
  resampler = std::move(swr);
  for (int c = 0; c < outChannels; ++c) {
    planes[c].assign(kChunkFrames, 0.0f);
    if (resampler) resampled[c].assign(Rescaled(kChunkFrames, rate, outRate) + 64, 0.0f);
  }
  callback = base::ComPtr<tavio::IEncoderCallback>::Share(sink);
  if (callback->Seek(0, 1, &startPosition) != 0) startPosition = 0;
  try {
    coder = std::thread(&StreamEncoderObject::CodingLoop, this);
  } catch (const std::system_error&) {
    // No thread to be had: the blocks are coded on the caller's thread as they come.
  }
  return tavio::S_OK;
}

bool StreamEncoderObject::HandOn(float* const* data, std::int32_t frames) {
  if (frames <= 0) return true;
  framesOut += frames;
  if (!coder.joinable()) return EncodePlanar(data, frames);
  Chunk chunk;
  {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return queued.size() < kMaxQueued || codingFailed; });
    if (codingFailed) return false;
    if (!spare.empty()) {
      chunk = std::move(spare.back());
      spare.pop_back();
    }
  }
  for (int c = 0; c < outputChannels; ++c) chunk.planes[c].assign(data[c], data[c] + frames);
  chunk.frames = frames;
  {
    std::lock_guard<std::mutex> guard(lock);
    queued.push_back(std::move(chunk));
  }
  changed.notify_all();
  return WritePending();
}

bool StreamEncoderObject::EncodeFrames(const std::uint8_t* pcm, std::int32_t frames) {
  const std::int32_t width = bitsPerSample / 8;
  while (frames > 0) {
    const std::int32_t n = std::min(frames, kChunkFrames);
    float* left = planes[0].data();
    float* right = outputChannels == 2 ? planes[1].data() : nullptr;
    for (std::int32_t i = 0; i < n; ++i) {
      const std::uint8_t* frame = pcm + static_cast<std::size_t>(i) * blockAlign;
      const float l = static_cast<float>(pcm::LoadSampleAs32(frame, bitsPerSample)) / kFullScale;
      const float r = inputChannels == 2
                          ? static_cast<float>(pcm::LoadSampleAs32(frame + width, bitsPerSample)) /
                                kFullScale
                          : l;
      if (right != nullptr) {
        left[i] = l;
        right[i] = r;
      } else {
        left[i] = inputChannels == 2 ? (l + r) * 0.5f : l;
      }
    }
    framesIn += n;
    float* converted[2] = {planes[0].data(), outputChannels == 2 ? planes[1].data() : nullptr};
    if (resampler) {
      const std::uint8_t* in[2] = {reinterpret_cast<const std::uint8_t*>(converted[0]),
                                   reinterpret_cast<const std::uint8_t*>(converted[1])};
      std::uint8_t* out[2] = {reinterpret_cast<std::uint8_t*>(resampled[0].data()),
                              reinterpret_cast<std::uint8_t*>(resampled[1].data())};
      const int got = swr_convert(resampler.get(), out, static_cast<int>(resampled[0].size()), in, n);
      float* ready[2] = {resampled[0].data(), outputChannels == 2 ? resampled[1].data() : nullptr};
      if (got < 0 || !HandOn(ready, got)) return false;
    } else if (!HandOn(converted, n)) {
      return false;
    }
    pcm += static_cast<std::size_t>(n) * blockAlign;
    frames -= n;
  }
  return true;
}

std::int32_t StreamEncoderObject::Encode(const void* pcm, std::int32_t bytes) {
  if (!open || finished || failed || bytes < 0 || (pcm == nullptr && bytes > 0)) return -1;
  const bool coded = carry.Take(static_cast<const std::uint8_t*>(pcm), bytes,
                                [this](const std::uint8_t* frames, std::int32_t count) {
                                  return EncodeFrames(frames, count);
                                });
  if (!coded) {
    failed = true;
    return -1;
  }
  return 0;
}

std::int32_t StreamEncoderObject::Finish() {
  if (!open || finished) return -1;
  finished = true;
  if (failed) return -1;
  // A trailing partial frame is not a sample of every channel; it is dropped.
  if (resampler) {
    // What the resampler still holds, then exactly as many frames as the ring's rate gives:
    // cut where the filter's tail runs past, padded with silence where it falls short.
    const std::int64_t wanted = Rescaled(framesIn, inputRate, outputRate);
    float* ready[2] = {resampled[0].data(), outputChannels == 2 ? resampled[1].data() : nullptr};
    std::uint8_t* out[2] = {reinterpret_cast<std::uint8_t*>(ready[0]),
                            reinterpret_cast<std::uint8_t*>(ready[1])};
    int got = 0;
    while ((got = swr_convert(resampler.get(), out, static_cast<int>(resampled[0].size()), nullptr,
                              0)) > 0) {
      const auto take = static_cast<std::int32_t>(std::min<std::int64_t>(got, wanted - framesOut));
      if (!HandOn(ready, take)) return -1;
    }
    while (framesOut < wanted) {
      const auto take = static_cast<std::int32_t>(
          std::min<std::int64_t>(wanted - framesOut, static_cast<std::int64_t>(resampled[0].size())));
      for (int c = 0; c < outputChannels; ++c) std::fill_n(resampled[c].data(), take, 0.0f);
      if (!HandOn(ready, take)) return -1;
    }
  }
  // Everything queued is coded, then the stream ends here, where it may seek.
  if (coder.joinable()) {
    {
      std::lock_guard<std::mutex> guard(lock);
      ending = true;
    }
    changed.notify_all();
    coder.join();
    if (!WritePending()) return -1;
  }
  return Close() ? 0 : -1;
}

std::int32_t StreamEncoderObject::SetBitrate(std::int32_t kbps) {
  if (kbps < 0) return tavio::E_INVALIDARG;
  if (!open) bitrateKbps = kbps;
  return tavio::S_OK;
}

std::int32_t StreamEncoderObject::GetBitrate(std::int32_t* kbps) {
  if (kbps == nullptr) return tavio::E_POINTER;
  *kbps = bitrateKbps;
  return tavio::S_OK;
}

std::int32_t StreamEncoderObject::SetQuality(std::int32_t value) {
  return value < 0 || value > 9 ? tavio::E_INVALIDARG : tavio::S_OK;
}

std::int32_t StreamEncoderObject::SetExpectedFrames(std::int32_t frames) {
  if (frames < 0) return tavio::E_INVALIDARG;
  if (!open) expectedFrames = frames;
  return tavio::S_OK;
}

std::int32_t StreamEncoderObject::SetChannelMode(std::int32_t mode) {
  if (mode != kChannelModeStereo && mode != kChannelModeMono) return tavio::E_INVALIDARG;
  if (!open) channelMode = mode;
  return tavio::S_OK;
}

std::int32_t StreamEncoderObject::GetChannelMode(std::int32_t* mode) {
  if (mode == nullptr) return tavio::E_POINTER;
  *mode = channelMode;
  return tavio::S_OK;
}

std::int32_t StreamEncoderObject::SetVariableBitrate(std::uint8_t on) {
  return on > 1 ? tavio::E_INVALIDARG : tavio::S_OK;
}

std::int32_t StreamEncoderObject::SetWriteInfoTag(std::uint8_t on) {
  return on > 1 ? tavio::E_INVALIDARG : tavio::S_OK;
}

std::int32_t StreamEncoderObject::SetErrorProtection(std::uint8_t on) {
  return on > 1 ? tavio::E_INVALIDARG : tavio::S_OK;
}

}  // namespace codecs
