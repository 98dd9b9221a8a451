// Helpers of the cut tests: exact PCM songs written by our own WAV writer, songs of other formats
// made with the ffmpeg command, a reader for WAV rings, and an independent computation of the
// samples a ring must hold (volume, then fade-in, then fade-out, per frame, then the channel
// change). Test code only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace ringtest {

struct Pcm {
  int bits = 16;
  int channels = 2;
  int rate = 8000;
  std::vector<int64_t> samples;  // interleaved; 8-bit samples as stored (128 is silence)
  int64_t frames() const { return static_cast<int64_t>(samples.size()) / channels; }
};

// A deterministic song that visits the extremes of the width, so gains meet their clamps.
Pcm MakeSong(int bits, int channels, int rate, int64_t frames, uint32_t seed = 1);

void WriteWav(const std::filesystem::path& path, const Pcm& pcm);

// A WAV ring as written: header fields and samples. ok is false for a malformed file.
struct WavFile {
  bool ok = false;
  uint32_t riffSize = 0, dataSize = 0, fileSize = 0;
  uint16_t formatTag = 0, blockAlign = 0;
  uint32_t byteRate = 0;
  Pcm pcm;
};
WavFile ReadWav(const std::filesystem::path& path);

// What a cut of pcm must give: the frames from startFrame on, jobBytes of them at most (the
// source may end first), with volume and the fades in bytes as the encoders compute them, then
// mixed or doubled to outChannels.
Pcm ExpectedRing(const Pcm& pcm, int64_t startFrame, int32_t jobBytes, int32_t volume,
                 int32_t fadeInMs, int32_t fadeOutMs, int outChannels);

// Runs a shell command; its exit status.
int Run(const std::string& command);
// A stereo 44.1 kHz 128 kbps MP3 of a 300 Hz tone, `seconds` long, made by the ffmpeg command;
// false when it could not be made.
bool MakeToneMp3(const std::filesystem::path& path, int seconds);
// The same, cut off after its first keptBytes as a broken download is: its LAME header still
// promises `seconds`, while 16000 bytes hold a second of sound.
bool MakeCutOffMp3(const std::filesystem::path& path, int seconds, std::uintmax_t keptBytes);
// Runs a shell command and returns its standard output.
std::string Capture(const std::string& command);

// Decodes any audio file with the ffmpeg command to 16-bit PCM at its own rate and channels;
// the frame count, or -1 when ffmpeg fails.
int64_t DecodedFrames(const std::filesystem::path& path, int channels);
// One field of ffprobe's first audio stream ("channels", "bit_rate", "sample_rate").
std::string ProbeStream(const std::filesystem::path& path, const std::string& field);

// The independent meter: the ffmpeg command's ebur128 filter with true peaks, as its summary
// prints them (one decimal). ok is false when ffmpeg could not read the file.
struct Loudness {
  bool ok = false;
  double lufs = 0.0;
  double truePeakDbtp = 0.0;
};
Loudness MeasureLoudness(const std::filesystem::path& path);
// The largest sample magnitude of any audio file decoded by the ffmpeg command to 16 bits; -1
// when it cannot be decoded.
int32_t PeakSample16(const std::filesystem::path& path);

using testsupport::TempDir;

std::string ReadAll(const std::filesystem::path& path);
void WriteAll(const std::filesystem::path& path, const std::string& text);

}  // namespace ringtest
