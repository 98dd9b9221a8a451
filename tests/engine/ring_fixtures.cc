#include "tests/engine/ring_fixtures.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace ringtest {
namespace {

int64_t MinOf(int bits) { return bits == 8 ? 0 : bits == 32 ? -2147483647 - 1 : -(int64_t{1} << (bits - 1)); }
int64_t MaxOf(int bits) { return bits == 8 ? 255 : (int64_t{1} << (bits - 1)) - 1; }

void Put(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

uint64_t Get(const std::string& in, size_t at, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= uint64_t{static_cast<uint8_t>(in[at + i])} << (8 * i);
  return value;
}

int64_t SignExtend(uint64_t value, int bits) {
  if (bits == 8) return static_cast<int64_t>(value);
  const uint64_t sign = uint64_t{1} << (bits - 1);
  return static_cast<int64_t>((value ^ sign)) - static_cast<int64_t>(sign);
}

// ApplyGain of one sample, as the encoders define it: truncating division, clamped to the width.
int64_t Gain(int64_t s, int bits, int64_t gain) {
  switch (bits) {
    case 8:
      return std::clamp<int64_t>((s - 128) * gain / 10000, -128, 127) + 128;
    case 16:
      return std::clamp<int64_t>(s * gain / 10000, -32768, 32767);
    case 24:
      return std::clamp<int64_t>(s * gain / 10000, -8388608, 8388607);
    default:
      return std::clamp<int64_t>(s * gain / 10000, -2147483647, 2147483647);
  }
}

int64_t Mix(int64_t l, int64_t r, int bits) {
  switch (bits) {
    case 8:
      return std::clamp<int64_t>(((l - 128) + (r - 128)) / 2, -128, 127) + 128;
    case 16:
      return std::clamp<int64_t>((l + r) / 2, -32768, 32767);
    default:
      return (l + r) / 2;
  }
}

}  // namespace

Pcm MakeSong(int bits, int channels, int rate, int64_t frames, uint32_t seed) {
  Pcm pcm;
  pcm.bits = bits;
  pcm.channels = channels;
  pcm.rate = rate;
  std::mt19937 random(seed);
  std::uniform_int_distribution<int64_t> any(MinOf(bits), MaxOf(bits));
  pcm.samples.reserve(static_cast<size_t>(frames * channels));
  for (int64_t i = 0; i < frames * channels; ++i) {
    // Mostly loud noise, with the exact extremes and silence mixed in.
    switch (random() % 8) {
      case 0: pcm.samples.push_back(MaxOf(bits)); break;
      case 1: pcm.samples.push_back(MinOf(bits)); break;
      case 2: pcm.samples.push_back(bits == 8 ? 128 : 0); break;
      default: pcm.samples.push_back(any(random)); break;
    }
  }
  return pcm;
}

void WriteWav(const std::filesystem::path& path, const Pcm& pcm) {
  const int width = pcm.bits / 8;
  const uint32_t dataSize = static_cast<uint32_t>(pcm.samples.size() * width);
  std::string out;
  out += "RIFF";
  Put(out, 36 + dataSize, 4);
  out += "WAVEfmt ";
  Put(out, 16, 4);
  Put(out, 1, 2);
  Put(out, pcm.channels, 2);
  Put(out, pcm.rate, 4);
  Put(out, static_cast<uint64_t>(pcm.rate) * pcm.channels * width, 4);
  Put(out, pcm.channels * width, 2);
  Put(out, pcm.bits, 2);
  out += "data";
  Put(out, dataSize, 4);
  for (int64_t s : pcm.samples) Put(out, static_cast<uint64_t>(s), width);
  WriteAll(path, out);
}

WavFile ReadWav(const std::filesystem::path& path) {
  WavFile wav;
  const std::string in = ReadAll(path);
  if (in.size() < 44 || in.compare(0, 4, "RIFF") != 0 || in.compare(8, 8, "WAVEfmt ") != 0 ||
      in.compare(36, 4, "data") != 0) {
    return wav;
  }
  wav.fileSize = static_cast<uint32_t>(in.size());
  wav.riffSize = static_cast<uint32_t>(Get(in, 4, 4));
  wav.formatTag = static_cast<uint16_t>(Get(in, 20, 2));
  wav.pcm.channels = static_cast<int>(Get(in, 22, 2));
  wav.pcm.rate = static_cast<int>(Get(in, 24, 4));
  wav.byteRate = static_cast<uint32_t>(Get(in, 28, 4));
  wav.blockAlign = static_cast<uint16_t>(Get(in, 32, 2));
  wav.pcm.bits = static_cast<int>(Get(in, 34, 2));
  wav.dataSize = static_cast<uint32_t>(Get(in, 40, 4));
  const int width = wav.pcm.bits / 8;
  if (width < 1 || width > 4) return wav;
  for (size_t at = 44; at + width <= in.size(); at += width) {
    wav.pcm.samples.push_back(SignExtend(Get(in, at, width), wav.pcm.bits));
  }
  wav.ok = true;
  return wav;
}

Pcm ExpectedRing(const Pcm& pcm, int64_t startFrame, int32_t jobBytes, int32_t volume,
                 int32_t fadeInMs, int32_t fadeOutMs, int outChannels) {
  const int width = pcm.bits / 8;
  const int64_t blockAlign = int64_t{width} * pcm.channels;
  const int64_t frames = std::min<int64_t>(jobBytes / blockAlign, pcm.frames() - startFrame);
  const int64_t bytesPerMs = int64_t{width} * pcm.rate * pcm.channels / 1000;
  const int64_t fadeInBytes = fadeInMs * bytesPerMs;
  const int64_t fadeOutBytes = fadeOutMs * bytesPerMs;

  Pcm out;
  out.bits = pcm.bits;
  out.rate = pcm.rate;
  out.channels = outChannels;
  std::vector<int64_t> frame(pcm.channels);
  for (int64_t k = 0; k < frames; ++k) {
    const int64_t offset = k * blockAlign;
    for (int c = 0; c < pcm.channels; ++c) {
      frame[c] = pcm.samples[(startFrame + k) * pcm.channels + c];
      if (volume != 10000) frame[c] = Gain(frame[c], pcm.bits, volume);
    }
    if (fadeInBytes > 0) {
      const double g = std::trunc(static_cast<double>(offset) / fadeInBytes * 10000.0);
      for (auto& s : frame) s = Gain(s, pcm.bits, std::clamp<int64_t>(static_cast<int64_t>(g), 0, 10000));
    }
    const int64_t remaining = jobBytes - offset;
    if (fadeOutBytes > 0 && remaining <= fadeOutBytes) {
      const double g = std::trunc(static_cast<double>(remaining) / fadeOutBytes * 10000.0);
      for (auto& s : frame) s = Gain(s, pcm.bits, std::clamp<int64_t>(static_cast<int64_t>(g), 0, 10000));
    }
    if (outChannels == 1 && pcm.channels == 2) {
      out.samples.push_back(Mix(frame[0], frame[1], pcm.bits));
    } else if (outChannels == 2 && pcm.channels == 1) {
      out.samples.push_back(frame[0]);
      out.samples.push_back(frame[0]);
    } else {
      out.samples.insert(out.samples.end(), frame.begin(), frame.end());
    }
  }
  return out;
}

int Run(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool MakeToneMp3(const std::filesystem::path& path, int seconds) {
  return Run("ffmpeg -v error -y -f lavfi -i 'sine=frequency=300:duration=" +
             std::to_string(seconds) + "' -ar 44100 -ac 2 -c:a libmp3lame -b:a 128k '" +
             path.string() + "'") == 0;
}

bool MakeCutOffMp3(const std::filesystem::path& path, int seconds, std::uintmax_t keptBytes) {
  std::error_code error;
  if (!MakeToneMp3(path, seconds)) return false;
  std::filesystem::resize_file(path, keptBytes, error);
  return !error;
}

std::string Capture(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

int64_t DecodedFrames(const std::filesystem::path& path, int channels) {
  const std::string pcm = Capture("ffmpeg -v error -i '" + path.string() +
                                  "' -f s16le -acodec pcm_s16le - 2>/dev/null");
  if (pcm.empty()) return -1;
  return static_cast<int64_t>(pcm.size()) / (2 * channels);
}

std::string ProbeStream(const std::filesystem::path& path, const std::string& field) {
  std::string value = Capture("ffprobe -v error -select_streams a:0 -show_entries stream=" + field +
                              " -of default=noprint_wrappers=1:nokey=1 '" + path.string() + "'");
  while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
  return value;
}

Loudness MeasureLoudness(const std::filesystem::path& path) {
  // The summary comes last on stderr: "I: -14.0 LUFS" and, under "True peak:", "Peak: -1.2 dBFS".
  const std::string log = Capture("ffmpeg -hide_banner -nostats -i '" + path.string() +
                                  "' -af ebur128=peak=true -f null - 2>&1");
  Loudness result;
  const size_t summary = log.rfind("Summary:");
  if (summary == std::string::npos) return result;
  const size_t lufs = log.find("I:", summary);
  const size_t peak = log.find("Peak:", summary);
  if (lufs == std::string::npos || peak == std::string::npos) return result;
  result.lufs = std::strtod(log.c_str() + lufs + 2, nullptr);
  result.truePeakDbtp = std::strtod(log.c_str() + peak + 5, nullptr);
  result.ok = true;
  return result;
}

int32_t PeakSample16(const std::filesystem::path& path) {
  const std::string pcm = Capture("ffmpeg -v error -i '" + path.string() +
                                  "' -f s16le -acodec pcm_s16le - 2>/dev/null");
  if (pcm.empty()) return -1;
  int32_t peak = 0;
  for (size_t at = 0; at + 1 < pcm.size(); at += 2) {
    const auto sample = static_cast<int16_t>(static_cast<uint8_t>(pcm[at]) |
                                             (static_cast<uint8_t>(pcm[at + 1]) << 8));
    peak = std::max(peak, std::abs(static_cast<int32_t>(sample)));
  }
  return peak;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteAll(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace ringtest
