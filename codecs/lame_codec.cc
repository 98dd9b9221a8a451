#include "codecs/lame_codec.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <span>

#include "audio/pcm_samples.h"

namespace codecs {
namespace {

constexpr std::int32_t kChunkFrames = 4096;
// LAME's own bound for one call's output, 1.25 × samples + 7200, counts the samples it codes:
// input below MP3's lowest rate is resampled up first, so the bound grows with that ratio.
std::size_t Mp3BufferBytes(std::int32_t inRate, std::int32_t outRate) {
  const std::int64_t codedSamples =
      (std::int64_t{kChunkFrames} * outRate + inRate - 1) / inRate;
  return static_cast<std::size_t>(std::max<std::int64_t>(codedSamples, kChunkFrames) * 5 / 4 +
                                  7200);
}


// LAME reports through printf-like hooks; a plug-in has no console of its own to talk to.
void Quiet(const char*, va_list) {}

}  // namespace

LameEncoderObject::~LameEncoderObject() = default;

std::int32_t LameEncoderObject::NonDelegatingQueryInterface(const tavio::GUID& iid, void** out) {
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

std::int32_t LameEncoderObject::InitStream(tavio::IEncoderCallback* sink,
                                           const tavio::WaveFormatEx* format) {
  if (sink == nullptr || format == nullptr) return tavio::E_POINTER;
  if (lame) return tavio::E_FAIL;
  const std::int32_t channels = format->nChannels;
  const std::int32_t bits = format->wBitsPerSample;
  const std::int32_t rate = static_cast<std::int32_t>(
      std::min<std::uint32_t>(format->nSamplesPerSec, 1u << 30));
  if (format->wFormatTag != tavio::kWaveFormatPcm || (channels != 1 && channels != 2) ||
      !pcm::IsSampleWidth(bits) ||
      format->nBlockAlign != channels * bits / 8 || rate < 1000 || rate > 768000) {
    return tavio::E_INVALIDARG;
  }

  LameHandle flags(lame_init());
  if (!flags) return tavio::E_OUTOFMEMORY;
  lame_set_errorf(flags.get(), Quiet);
  lame_set_debugf(flags.get(), Quiet);
  lame_set_msgf(flags.get(), Quiet);

  const bool mono = channelMode == MONO;
  const std::int32_t outRate = Mp3SampleRateFor(rate);
  // Without its tag a stream decodes with LAME's delay and padding as extra silence, so a
  // constant rate too small to carry the tag is raised to the lowest one that can.
  const std::int32_t kbps = writeInfoTag && !variableBitrate
                                ? TaggableMp3Bitrate(bitrateKbps, outRate, mono, errorProtection)
                                : NearestMp3Bitrate(bitrateKbps, outRate);
  // LAME codes one-channel input as mono whatever the mode, so mono PCM bound for a stereo file
  // is handed over as two identical channels.
  lame_set_num_channels(flags.get(), mono ? channels : 2);
  lame_set_mode(flags.get(), mono ? MONO : STEREO);
  lame_set_in_samplerate(flags.get(), rate);
  lame_set_out_samplerate(flags.get(), outRate);
  lame_set_quality(flags.get(), quality);
  lame_set_error_protection(flags.get(), errorProtection ? 1 : 0);
  lame_set_bWriteVbrTag(flags.get(), writeInfoTag ? 1 : 0);
  if (variableBitrate) {
    lame_set_VBR(flags.get(), vbr_abr);
    lame_set_VBR_mean_bitrate_kbps(flags.get(), kbps);
  } else {
    lame_set_VBR(flags.get(), vbr_off);
    lame_set_brate(flags.get(), kbps);
  }
  if (lame_init_params(flags.get()) < 0) return tavio::E_FAIL;

  left.assign(kChunkFrames, 0);
  right.assign(kChunkFrames, 0);
  mp3Buffer.assign(Mp3BufferBytes(rate, outRate), 0);
  lame = std::move(flags);
  bitrateKbps = variableBitrate ? kbps : lame_get_brate(lame.get());
  inputChannels = channels;
  bitsPerSample = bits;
  blockAlign = format->nBlockAlign;
  carry.Reset(blockAlign);
  doubleMono = !mono && channels == 1;
  callback = base::ComPtr<tavio::IEncoderCallback>::Share(sink);
  return tavio::S_OK;
}

bool LameEncoderObject::WriteOut(const unsigned char* data, std::int32_t bytes) {
  if (bytes <= 0) return true;
  if (!wroteAnything) {
    // The first bytes are the tag frame that Finish rewrites; remember where they go.
    if (callback->Seek(0, 1, &streamStart) != 0) return false;
    wroteAnything = true;
  }
  return callback->Write(data, bytes) == 0;
}

bool LameEncoderObject::EncodeFrames(const std::uint8_t* pcm, std::int32_t frames) {
  const std::int32_t width = bitsPerSample / 8;
  while (frames > 0) {
    const std::int32_t n = std::min(frames, kChunkFrames);
    for (std::int32_t i = 0; i < n; ++i) {
      const std::uint8_t* frame = pcm + static_cast<std::size_t>(i) * blockAlign;
      // lame_encode_buffer_int takes samples at the full range of int.
      left[i] = pcm::LoadSampleAs32(frame, bitsPerSample);
      if (inputChannels == 2) right[i] = pcm::LoadSampleAs32(frame + width, bitsPerSample);
    }
    const int* rightChannel = inputChannels == 2 ? right.data() : left.data();
    const int written = lame_encode_buffer_int(lame.get(), left.data(), rightChannel, n,
                                               mp3Buffer.data(),
                                               static_cast<int>(mp3Buffer.size()));
    if (written < 0 || !WriteOut(mp3Buffer.data(), written)) return false;
    pcm += static_cast<std::size_t>(n) * blockAlign;
    frames -= n;
  }
  return true;
}

std::int32_t LameEncoderObject::Encode(const void* pcm, std::int32_t bytes) {
  if (!lame || finished || failed || bytes < 0 || (pcm == nullptr && bytes > 0)) return -1;
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

std::int32_t LameEncoderObject::Finish() {
  if (!lame || finished) return -1;
  finished = true;
  if (failed) return -1;
  // A trailing partial frame is not a sample of every channel; it is dropped.
  const int flushed =
      lame_encode_flush(lame.get(), mp3Buffer.data(), static_cast<int>(mp3Buffer.size()));
  if (flushed < 0 || !WriteOut(mp3Buffer.data(), flushed)) return -1;
  if (!writeInfoTag || !wroteAnything) return 0;

  unsigned char tag[2880];  // the largest MP3 frame (MPEG-2.5, 8 kHz, 160 kbps) is 1441 bytes
  const std::size_t tagBytes = lame_get_lametag_frame(lame.get(), tag, sizeof(tag));
  if (tagBytes == 0) return 0;  // LAME dropped the tag (it does for some settings)
  if (tagBytes > sizeof(tag)) return -1;
  std::uint64_t position = 0;
  if (callback->Seek(static_cast<std::int64_t>(streamStart), 0, &position) != 0 ||
      callback->Write(tag, static_cast<std::int32_t>(tagBytes)) != 0 ||
      callback->Seek(0, 2, &position) != 0) {
    return -1;
  }
  return 0;
}

std::int32_t LameEncoderObject::SetBitrate(std::int32_t kbps) {
  if (kbps < 0) return tavio::E_INVALIDARG;
  if (!lame) bitrateKbps = kbps;
  return tavio::S_OK;
}

std::int32_t LameEncoderObject::GetBitrate(std::int32_t* kbps) {
  if (kbps == nullptr) return tavio::E_POINTER;
  *kbps = bitrateKbps;
  return tavio::S_OK;
}

std::int32_t LameEncoderObject::SetQuality(std::int32_t value) {
  if (value < 0 || value > 9) return tavio::E_INVALIDARG;
  if (!lame) quality = value;
  return tavio::S_OK;
}

std::int32_t LameEncoderObject::SetChannelMode(std::int32_t mode) {
  if (mode != STEREO && mode != MONO) return tavio::E_INVALIDARG;
  if (!lame) channelMode = mode;
  return tavio::S_OK;
}

std::int32_t LameEncoderObject::GetChannelMode(std::int32_t* mode) {
  if (mode == nullptr) return tavio::E_POINTER;
  *mode = channelMode;
  return tavio::S_OK;
}

std::int32_t LameEncoderObject::SetVariableBitrate(std::uint8_t on) {
  if (on > 1) return tavio::E_INVALIDARG;
  if (!lame) variableBitrate = on != 0;
  return tavio::S_OK;
}

std::int32_t LameEncoderObject::SetWriteInfoTag(std::uint8_t on) {
  if (on > 1) return tavio::E_INVALIDARG;
  if (!lame) writeInfoTag = on != 0;
  return tavio::S_OK;
}

std::int32_t LameEncoderObject::SetErrorProtection(std::uint8_t on) {
  if (on > 1) return tavio::E_INVALIDARG;
  if (!lame) errorProtection = on != 0;
  return tavio::S_OK;
}

}  // namespace codecs
