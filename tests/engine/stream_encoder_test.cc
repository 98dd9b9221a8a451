// M4rEncoder and OggEncoder with the real codecs.so: rings decoded back with the ffmpeg command
// against the WAV ring of the same cut, what the plug-in makes of the settings, and the ways a
// job can fail without leaving a file.
#include "engine/stream_encoders.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <ostream>
#include <string>
#include <vector>

#include "encoder_test_support.h"
#include "engine/wav_encoder.h"
#include "tests/support/param_name.h"

namespace {

using enctest::MemoryInput;
using enctest::TempDir;

enum class Format { kM4r, kOgg };

std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

std::string Probe(const std::filesystem::path& file, const std::string& entries) {
  std::string out = enctest::Capture("ffprobe -v error -select_streams a:0 -show_entries " +
                                     entries + " -of default=noprint_wrappers=1:nokey=1 " +
                                     Quote(file));
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// The file decoded by the ffmpeg command to 16-bit PCM at its own rate and channels.
std::vector<int16_t> Decode(const std::filesystem::path& file) {
  int status = 0;
  const std::string raw =
      enctest::Capture("ffmpeg -v error -i " + Quote(file) + " -f s16le -acodec pcm_s16le -", &status);
  EXPECT_EQ(status, 0);
  std::vector<int16_t> samples(raw.size() / 2);
  std::memcpy(samples.data(), raw.data(), samples.size() * 2);
  return samples;
}

// Two tones, a different one on each channel, so a swapped or lost channel shows, over a little
// noise, so the codec spends its bit rate as on music.
std::vector<uint8_t> TwoTones(int bits, int channels, int rate, int64_t frames) {
  std::vector<uint8_t> data(static_cast<size_t>(frames * channels * (bits / 8)));
  const double top = std::ldexp(1.0, bits - 1) - 1;
  uint32_t noise = 12345;
  for (int64_t f = 0; f < frames; ++f) {
    for (int c = 0; c < channels; ++c) {
      const double hz = c == 0 ? 440.0 : 660.0;
      noise = noise * 1664525u + 1013904223u;
      const double hiss = (static_cast<double>(noise >> 8) / (1 << 24) - 0.5) * 0.04;
      const double v = 0.3 * std::sin(2 * std::numbers::pi * hz * f / rate) + hiss;
      testsupport::PutSample(data.data(), bits, f * channels + c, std::lround(v * top));
    }
  }
  return data;
}

std::unique_ptr<Encoder> Make(Format format) {
  if (format == Format::kM4r) return std::make_unique<M4rEncoder>();
  return std::make_unique<OggEncoder>();
}

bool RunJob(Encoder& encoder) {
  int32_t bytes = 0;
  while (encoder.Step(bytes)) {
  }
  return encoder.End();
}

struct RingCase {
  Format format;
  int bits, channels, rate;
  int64_t frames;
  int outChannels;
  int32_t kbps, fadeInMs, fadeOutMs, volume;
  int outRate;        // the ring's
  double minSnrDb;    // against the WAV ring, after the first frames; 0: not compared (resampled)
};

void PrintTo(const RingCase& c, std::ostream* os) {
  *os << (c.format == Format::kM4r ? "m4r_" : "ogg_") << c.bits << "bit_" << c.channels << "ch_"
      << c.rate << "Hz_to_" << c.outChannels << "ch_" << c.kbps << "kbps";
}

class StreamRingTest : public ::testing::TestWithParam<RingCase> {};

// The ring decodes to exactly the section's frames at the ring's rate, and, where the rate is the
// song's, to the samples of the WAV ring of the same cut (fades and volume included) within the
// codec's error: a ring shifted by the encoder's delay, or with a channel lost, would not be.
TEST_P(StreamRingTest, DecodesToExactlyTheSectionAndMatchesTheWavRing) {
  const RingCase& c = GetParam();
  TempDir dir;
  const std::vector<uint8_t> pcm = TwoTones(c.bits, c.channels, c.rate, c.frames);
  const auto jobBytes = static_cast<int32_t>(pcm.size());
  const std::filesystem::path ring = dir / (c.format == Format::kM4r ? "ring.m4r" : "ring.ogg");

  MemoryInput wavInput(c.bits, c.channels, c.rate, pcm);
  WavEncoder wav;
  ASSERT_TRUE(wav.Begin(&wavInput, dir / "ring.wav", jobBytes, c.fadeInMs, c.fadeOutMs, c.volume,
                        c.outChannels));
  ASSERT_TRUE(RunJob(wav));

  MemoryInput input(c.bits, c.channels, c.rate, pcm);
  std::unique_ptr<Encoder> encoder = Make(c.format);
  encoder->SetBitrate(c.kbps);
  ASSERT_TRUE(encoder->Begin(&input, ring, jobBytes, c.fadeInMs, c.fadeOutMs, c.volume,
                             c.outChannels));
  ASSERT_TRUE(RunJob(*encoder));

  const bool m4r = c.format == Format::kM4r;
  EXPECT_EQ(Probe(ring, "stream=codec_name"), m4r ? "aac" : "vorbis");
  EXPECT_EQ(Probe(ring, "stream=channels"), std::to_string(c.outChannels));
  EXPECT_EQ(Probe(ring, "stream=sample_rate"), std::to_string(c.outRate));
  if (m4r) {
    EXPECT_EQ(Probe(ring, "stream=profile"), "LC");
  }

  const std::vector<int16_t> decoded = Decode(ring);
  const int64_t expectedFrames = (c.frames * c.outRate + c.rate / 2) / c.rate;
  ASSERT_EQ(static_cast<int64_t>(decoded.size()), expectedFrames * c.outChannels);

  // The size the window estimates: the written rate plus the container. (A mono song doubled to
  // two channels is not counted: a codec spends next to nothing on the copy.)
  const double seconds = static_cast<double>(c.frames) / c.rate;
  const int32_t written = m4r ? M4rEncoder::WrittenBitrate(c.kbps, c.rate, c.outChannels)
                              : OggEncoder::WrittenBitrate(c.kbps, c.rate, c.outChannels);
  const auto sectionMs = static_cast<int32_t>(seconds * 1000);
  const double estimate =
      written * 125.0 * seconds + (m4r ? M4rEncoder::ContainerBytes(sectionMs, c.rate)
                                       : OggEncoder::ContainerBytes(sectionMs, c.rate, written));
  const double size = static_cast<double>(std::filesystem::file_size(ring));
  if (c.channels >= c.outChannels) {
    EXPECT_NEAR(size, estimate, estimate * 0.2) << written << " kbps";
  }

  if (c.minSnrDb <= 0) return;
  const std::vector<int16_t> reference = Decode(dir / "ring.wav");
  ASSERT_EQ(reference.size(), decoded.size());
  const size_t skip = 2048 * static_cast<size_t>(c.outChannels);
  double signal = 0, noise = 0;
  for (size_t i = skip; i < decoded.size(); ++i) {
    signal += double(reference[i]) * reference[i];
    noise += (double(decoded[i]) - reference[i]) * (double(decoded[i]) - reference[i]);
  }
  EXPECT_GT(10 * std::log10(signal / std::max(noise, 1.0)), c.minSnrDb);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, StreamRingTest,
    ::testing::Values(
        RingCase{Format::kM4r, 16, 2, 44100, 88200, 2, 128, 300, 500, 15000, 44100, 20},
        RingCase{Format::kM4r, 16, 2, 44100, 44100 * 3 + 17, 1, 64, 0, 1000, 10000, 44100, 15},
        RingCase{Format::kM4r, 24, 1, 48000, 48000 + 1024, 2, 192, 200, 0, 20000, 48000, 20},
        RingCase{Format::kM4r, 8, 1, 8000, 16001, 1, 1411, 0, 0, 10000, 8000, 15},
        RingCase{Format::kM4r, 32, 2, 96000, 96000, 2, 256, 0, 0, 10000, 48000, 0},
        RingCase{Format::kOgg, 16, 2, 44100, 88200, 2, 128, 300, 500, 15000, 44100, 20},
        RingCase{Format::kOgg, 16, 2, 22050, 22050 * 3 + 5, 1, 64, 0, 1000, 10000, 22050, 15},
        RingCase{Format::kOgg, 24, 1, 48000, 48001, 2, 192, 200, 0, 20000, 48000, 20},
        RingCase{Format::kOgg, 8, 1, 8000, 16001, 1, 1411, 0, 0, 10000, 8000, 10},
        RingCase{Format::kOgg, 32, 2, 88200, 88200, 2, 0, 0, 0, 10000, 44100, 0}),
    testsupport::PrintedParamName());

// The bit rate the plug-in settles on is the one the window's estimate counts, at every rate and
// channel count: the two read one table, and libvorbis must take every rate of it.
TEST(StreamEncoderSettings, ThePluginWritesTheRateTheEstimateCounts) {
  TempDir dir;
  for (Format format : {Format::kM4r, Format::kOgg}) {
    for (int rate : {7000, 8000, 11025, 16000, 22050, 32000, 37800, 44100, 48000, 96000}) {
      for (int channels : {1, 2}) {
        for (int32_t kbps : {0, 8, 64, 128, 320, 1411}) {
          SCOPED_TRACE(std::to_string(rate) + " Hz, " + std::to_string(channels) + " ch, " +
                       std::to_string(kbps) + " kbps");
          MemoryInput input(16, 2, rate, enctest::MakePcm(16, 2, 100));
          auto encoder = std::unique_ptr<CodecPluginEncoder>(
              format == Format::kM4r ? static_cast<CodecPluginEncoder*>(new M4rEncoder)
                                     : new OggEncoder);
          encoder->SetBitrate(kbps);
          ASSERT_TRUE(encoder->Begin(&input, dir / "ring", 400, 0, 0, 10000, channels));
          int32_t written = -1;
          encoder->settings()->GetBitrate(&written);
          EXPECT_EQ(written, format == Format::kM4r
                                 ? M4rEncoder::WrittenBitrate(kbps, rate, channels)
                                 : OggEncoder::WrittenBitrate(kbps, rate, channels));
        }
      }
    }
  }
}

// A missing plug-in, a folder that takes no file, a disk that fills: no ring is left.
TEST(StreamEncoderFailure, LeavesNoFile) {
  for (Format format : {Format::kM4r, Format::kOgg}) {
    TempDir dir;
    TempDir empty;
    {
      MemoryInput input(16, 2, 44100, enctest::MakePcm(16, 2, 1000));
      M4rEncoder m4r(empty.path());
      OggEncoder ogg(empty.path());
      Encoder& encoder = format == Format::kM4r ? static_cast<Encoder&>(m4r) : ogg;
      EXPECT_FALSE(encoder.Begin(&input, dir / "ring", 4000, 0, 0, 10000, 2));
    }
    {
      MemoryInput input(16, 2, 44100, enctest::MakePcm(16, 2, 1000));
      auto encoder = Make(format);
      EXPECT_FALSE(encoder->Begin(&input, dir / "missing" / "ring", 4000, 0, 0, 10000, 2));
    }
    {
      MemoryInput input(16, 2, 44100, TwoTones(16, 2, 44100, 441000));
      auto encoder = Make(format);
      ASSERT_TRUE(encoder->Begin(&input, dir / "ring", 441000 * 4, 0, 0, 10000, 2));
      struct sigaction ignore {}, previous {};
      ignore.sa_handler = SIG_IGN;
      sigaction(SIGXFSZ, &ignore, &previous);
      rlimit saved{};
      getrlimit(RLIMIT_FSIZE, &saved);
      rlimit small = saved;
      small.rlim_cur = 20000;
      ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
      const bool complete = RunJob(*encoder);
      setrlimit(RLIMIT_FSIZE, &saved);
      sigaction(SIGXFSZ, &previous, nullptr);
      EXPECT_FALSE(complete);
    }
    EXPECT_TRUE(dir.Files().empty());
  }
}

}  // namespace
