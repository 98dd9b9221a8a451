// The block loop and the WAV writer, driven through Encoder's public operations with PCM made in
// memory; every ring is compared sample by sample with a per-frame computation of what it must
// hold.
#include "engine/wav_encoder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <ostream>
#include <string>
#include <vector>

#include "encoder_test_support.h"
#include "tests/support/param_name.h"

namespace {

using enctest::MemoryInput;
using enctest::SampleAt;
using enctest::TempDir;

uint32_t U32(const std::vector<uint8_t>& d, size_t at) {
  return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (static_cast<uint32_t>(d[at + 3]) << 24);
}
uint16_t U16(const std::vector<uint8_t>& d, size_t at) {
  return static_cast<uint16_t>(d[at] | (d[at + 1] << 8));
}

int64_t ClampWidth(int64_t v, int bits) {
  const int64_t top = (int64_t{1} << (bits - 1)) - 1;
  const int64_t bottom = bits == 32 ? -top : -top - 1;
  return std::clamp(v, bottom, top);
}

struct Job {
  int32_t jobBytes;
  int32_t volume;
  int32_t fadeInMs;
  int32_t fadeOutMs;
  int outChannels;
};

// The samples a ring must hold, frame by frame from each frame's byte offset in the section:
// volume, then the fade-in ramp, then the fade-out ramp, then the channel change.
std::vector<int64_t> Expected(const MemoryInput& in, const Job& job) {
  const int bits = in.info.bitsPerSample;
  const int channels = in.info.channels;
  const int64_t frameBytes = bits / 8 * channels;
  const int64_t bytesPerMs = int64_t{bits / 8} * in.info.sampleRate * channels / 1000;
  const int64_t fadeIn = job.fadeInMs * bytesPerMs / frameBytes * frameBytes;
  const int64_t fadeOut = job.fadeOutMs * bytesPerMs / frameBytes * frameBytes;
  const int64_t frames = std::min<int64_t>(job.jobBytes, in.pcm.size()) / frameBytes;
  std::vector<int64_t> out;
  for (int64_t k = 0; k < frames; ++k) {
    const int64_t offset = k * frameBytes;
    const int64_t left = job.jobBytes - offset;
    int64_t gainIn = 10000, gainOut = 10000;
    if (fadeIn > 0) gainIn = std::min<int64_t>(10000, std::trunc(double(offset) / fadeIn * 1e4));
    if (fadeOut > 0 && left <= fadeOut) gainOut = std::trunc(double(left) / fadeOut * 1e4);
    std::vector<int64_t> frame;
    for (int c = 0; c < channels; ++c) {
      int64_t s = SampleAt(in.pcm.data(), bits, k * channels + c);
      if (job.volume != 10000) s = ClampWidth(s * job.volume / 10000, bits);
      s = ClampWidth(s * gainIn / 10000, bits);
      s = ClampWidth(s * gainOut / 10000, bits);
      frame.push_back(s);
    }
    if (job.outChannels == 1 && channels == 2) {
      out.push_back(ClampWidth((frame[0] + frame[1]) / 2, bits));
    } else if (job.outChannels == 2 && channels == 1) {
      out.insert(out.end(), {frame[0], frame[0]});
    } else {
      out.insert(out.end(), frame.begin(), frame.end());
    }
  }
  return out;
}

// Runs a whole job; the Step results in order.
std::vector<bool> RunJob(Encoder& encoder) {
  std::vector<bool> steps;
  int32_t bytes = 0;
  do {
    steps.push_back(encoder.Step(bytes));
  } while (steps.back() && steps.size() < 100000);
  return steps;
}

struct WavCase {
  int bits;
  int sourceChannels;
  int rate;
  int64_t frames;
  Job job;
};

void PrintTo(const WavCase& c, std::ostream* os) {
  *os << c.bits << "bit_" << c.sourceChannels << "ch_to_" << c.job.outChannels << "ch_vol"
      << c.job.volume << "_in" << c.job.fadeInMs << "_out" << c.job.fadeOutMs;
}

class WavRingTest : public ::testing::TestWithParam<WavCase> {};

TEST_P(WavRingTest, HoldsTheProcessedSamplesUnderAPatchedHeader) {
  const WavCase& c = GetParam();
  TempDir dir;
  MemoryInput input(c.bits, c.sourceChannels, c.rate,
                    enctest::MakePcm(c.bits, c.sourceChannels, c.frames));
  WavEncoder encoder;
  ASSERT_TRUE(encoder.Begin(&input, dir / "ring.wav", c.job.jobBytes, c.job.fadeInMs,
                            c.job.fadeOutMs, c.job.volume, c.job.outChannels));
  RunJob(encoder);
  ASSERT_TRUE(encoder.End());

  const std::vector<uint8_t> file = enctest::ReadBytes(dir / "ring.wav");
  ASSERT_GE(file.size(), 44u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(std::string(file.begin() + 36, file.begin() + 40), "data");
  EXPECT_EQ(U32(file, 4), file.size() - 8);
  EXPECT_EQ(U32(file, 16), 16u);
  EXPECT_EQ(U16(file, 20), 1);
  EXPECT_EQ(U16(file, 22), c.job.outChannels);
  EXPECT_EQ(U32(file, 24), static_cast<uint32_t>(c.rate));
  EXPECT_EQ(U16(file, 32), c.job.outChannels * c.bits / 8);
  EXPECT_EQ(U32(file, 28), static_cast<uint32_t>(c.rate * c.job.outChannels * c.bits / 8));
  EXPECT_EQ(U16(file, 34), c.bits);
  EXPECT_EQ(U32(file, 40), file.size() - 44);

  const std::vector<int64_t> expected = Expected(input, c.job);
  const int width = c.bits / 8;
  ASSERT_EQ(file.size() - 44, expected.size() * width);
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(SampleAt(file.data() + 44, c.bits, static_cast<int64_t>(i)), expected[i])
        << "sample " << i;
  }
}

// Sections of 0.9 s at 22050 Hz span several blocks; the source holds more than the section, so
// the job's extra frame is read. Volume ×1.5 drives the extremes into the clamps.
std::vector<WavCase> AllWidthsAndChannelChanges() {
  std::vector<WavCase> cases;
  for (int bits : {8, 16, 24, 32}) {
    for (int source : {1, 2}) {
      for (int out : {1, 2}) {
        const int32_t frameBytes = bits / 8 * source;
        cases.push_back({bits, source, 22050, 22050,
                         Job{(19845 + 1) * frameBytes, 15000, 100, 150, out}});
      }
    }
  }
  // A fade-in as long as the whole job.
  cases.push_back({24, 1, 8000, 9000, Job{24000, 10000, 1000, 0, 1}});
  // The source ends before the section: the shorter ring is kept.
  cases.push_back({16, 1, 8000, 5000, Job{20000, 20000, 200, 200, 2}});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Sources, WavRingTest, ::testing::ValuesIn(AllWidthsAndChannelChanges()),
                         testsupport::PrintedParamName());

TEST(WavRing, UnityVolumeWithoutFadesCopiesTheSourceBytes) {
  TempDir dir;
  MemoryInput input(16, 2, 44100, enctest::MakePcm(16, 2, 30000));
  WavEncoder encoder;
  ASSERT_TRUE(encoder.Begin(&input, dir / "ring.wav", 100000, 0, 0, 10000, 2));
  RunJob(encoder);
  ASSERT_TRUE(encoder.End());
  const std::vector<uint8_t> file = enctest::ReadBytes(dir / "ring.wav");
  ASSERT_EQ(file.size(), 44u + 100000u);
  EXPECT_TRUE(std::equal(file.begin() + 44, file.end(), input.pcm.begin()));
}

struct BlockCase {
  int bits;
  int channels;
  int32_t jobBytes;
  int32_t fadeOutMs;
  std::vector<int32_t> requests;  // empty: only check the boundary
};

void PrintTo(const BlockCase& c, std::ostream* os) {
  *os << c.bits << "bit_" << c.channels << "ch_job" << c.jobBytes << "_fadeout" << c.fadeOutMs;
}

class BlockLoopTest : public ::testing::TestWithParam<BlockCase> {};

// Blocks are at most 32768 bytes, and one block is shortened so that the next one begins exactly
// where the fade-out does.
TEST_P(BlockLoopTest, AsksForBlocksEndingWhereTheFadeOutBegins) {
  const BlockCase& c = GetParam();
  TempDir dir;
  const int frameBytes = c.bits / 8 * c.channels;
  MemoryInput input(c.bits, c.channels, 44100,
                    std::vector<uint8_t>(static_cast<size_t>(c.jobBytes) + frameBytes));
  WavEncoder encoder;
  ASSERT_TRUE(encoder.Begin(&input, dir / "ring.wav", c.jobBytes, 0, c.fadeOutMs, 10000,
                            c.channels));
  std::vector<int32_t> delivered;
  std::vector<bool> steps;
  int32_t bytes = 0;
  do {
    steps.push_back(encoder.Step(bytes));
    delivered.push_back(bytes);
  } while (steps.back());
  ASSERT_TRUE(encoder.End());

  if (!c.requests.empty()) {
    EXPECT_EQ(input.requests, c.requests);
  }
  for (int32_t r : input.requests) {
    EXPECT_LE(r, Encoder::kBlockBytes);
  }
  EXPECT_EQ(std::accumulate(delivered.begin(), delivered.end(), 0), c.jobBytes);
  EXPECT_EQ(std::count(steps.begin(), steps.end(), false), 1);

  const int64_t bytesPerMs = int64_t{c.bits / 8} * 44100 * c.channels / 1000;
  const int64_t fadeOut = c.fadeOutMs * bytesPerMs / frameBytes * frameBytes;
  if (fadeOut > 0 && fadeOut < c.jobBytes) {
    std::vector<int64_t> boundaries;
    std::partial_sum(delivered.begin(), delivered.end(), std::back_inserter(boundaries));
    EXPECT_NE(std::find(boundaries.begin(), boundaries.end(), c.jobBytes - fadeOut),
              boundaries.end());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sections, BlockLoopTest,
    ::testing::Values(
        BlockCase{16, 2, 70000, 0, {32768, 32768, 4464}},
        BlockCase{16, 2, 100000, 100, {32768, 32768, 16864, 17600}},
        // 176 bytes per ms (176.4 truncated): 2000 ms is 352000 bytes.
        BlockCase{16, 2, 400000, 2000,
                  {32768, 15232, 32768, 32768, 32768, 32768, 32768, 32768, 32768, 32768, 32768,
                   32768, 24320}},
        BlockCase{16, 2, 50000, 1000, {32768, 17232}},  // the whole job is inside the fade
        // Frames of 6 bytes: the source answers 32766 for 32768.
        BlockCase{24, 2, 6 * 20000, 300, {}}, BlockCase{24, 1, 3 * 50001, 700, {}}),
    testsupport::PrintedParamName());

TEST(WavEncoderBegin, RefusesWithoutCreatingAFile) {
  TempDir dir;
  const std::filesystem::path ring = dir / "ring.wav";
  struct Refusal {
    const char* why;
    int bits, channels, rate, outChannels;
    bool formatKnown;
  };
  const Refusal refusals[] = {
      {"format unknown", 16, 2, 44100, 2, false}, {"12-bit samples", 12, 2, 44100, 2, true},
      {"six channels", 16, 6, 44100, 2, true},    {"no sample rate", 16, 2, 0, 2, true},
      {"zero ring channels", 16, 2, 44100, 0, true}, {"three ring channels", 16, 2, 44100, 3, true},
  };
  for (const Refusal& r : refusals) {
    MemoryInput input(r.bits, r.channels, r.rate, std::vector<uint8_t>(1000));
    input.formatKnown = r.formatKnown;
    WavEncoder encoder;
    EXPECT_FALSE(encoder.Begin(&input, ring, 800, 0, 0, 10000, r.outChannels)) << r.why;
    EXPECT_FALSE(encoder.End()) << r.why;
  }
  WavEncoder noInput;
  EXPECT_FALSE(noInput.Begin(static_cast<EncoderInput*>(nullptr), ring, 800, 0, 0, 10000, 2));
  EXPECT_TRUE(dir.Files().empty());
}

TEST(WavEncoderBegin, FailsForAFolderThatCannotBeWritten) {
  TempDir dir;
  enctest::Capture("touch '" + (dir / "plain").string() + "'");
  std::filesystem::create_directory(dir / "taken.wav");
  const std::filesystem::path targets[] = {
      dir / "missing" / "ring.wav",  // no such folder
      dir / "plain" / "ring.wav",    // the folder is a file
      dir / "taken.wav",             // the name is a folder
      "/proc/sonaclip-ring.wav",     // a file system that takes no new files, even from root
  };
  for (const auto& target : targets) {
    MemoryInput input(16, 2, 44100, std::vector<uint8_t>(1000));
    WavEncoder encoder;
    EXPECT_FALSE(encoder.Begin(&input, target, 800, 0, 0, 10000, 2)) << target;
  }
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"plain", "taken.wav"}));
  EXPECT_TRUE(std::filesystem::is_empty(dir / "taken.wav"));
}

// A disk that fills during the job: the job stops, reports the failure, and leaves no file.
TEST(WavEncoderWrite, AFailedWriteEndsTheJobAndDeletesTheFile) {
  TempDir dir;
  MemoryInput input(16, 2, 44100, enctest::MakePcm(16, 2, 50000));
  WavEncoder encoder;
  ASSERT_TRUE(encoder.Begin(&input, dir / "ring.wav", 200000, 0, 0, 10000, 2));

  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 50000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  int steps = 0;
  int32_t bytes = 0;
  while (encoder.Step(bytes)) ++steps;
  const bool failed = encoder.failed();
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &previous, nullptr);

  EXPECT_TRUE(failed);
  EXPECT_LT(steps, 3);  // stopped at the failure, not at the end of the section
  EXPECT_FALSE(encoder.End());
  EXPECT_TRUE(dir.Files().empty());
}

TEST(WavEncoderEnd, EndsOnlyOnce) {
  TempDir dir;
  MemoryInput input(8, 1, 8000, enctest::MakePcm(8, 1, 1000));
  WavEncoder encoder;
  ASSERT_TRUE(encoder.Begin(&input, dir / "ring.wav", 1000, 0, 0, 10000, 1));
  RunJob(encoder);
  EXPECT_TRUE(encoder.End());
  EXPECT_FALSE(encoder.End());
  EXPECT_EQ(enctest::ReadBytes(dir / "ring.wav").size(), 44u + 1000u);
}

}  // namespace

// A measuring pass, then the writing pass with the gain it chose: the meter sees each block as the
// ring will hold it before the gain (fades applied), and the ring holds what one plain pass with
// that gain writes. A section longer than the encoder keeps is read from the source again.
TEST(WavEncoderPasses, TheWritingPassWritesWhatOnePlainPassWrites) {
  struct Row {
    int bits, channels;
    int64_t frames;
    size_t replayLimit;
    bool replays;
  };
  for (const Row& row : {Row{24, 2, 30000, Encoder::kReplayLimitBytes, true},
                         Row{8, 1, 30000, 29999, false}}) {
    SCOPED_TRACE(std::to_string(row.bits) + " bits");
    TempDir dir;
    const auto pcm = enctest::MakePcm(row.bits, row.channels, row.frames);
    const int32_t jobBytes = static_cast<int32_t>(pcm.size());
    const Job job{jobBytes, 7000, 200, 300, row.channels};

    MemoryInput plainInput(row.bits, row.channels, 8000, pcm);
    WavEncoder plain;
    ASSERT_TRUE(plain.Begin(&plainInput, dir / "plain.wav", jobBytes, 200, 300, job.volume,
                            row.channels));
    RunJob(plain);
    ASSERT_TRUE(plain.End());

    MemoryInput input(row.bits, row.channels, 8000, pcm);
    WavEncoder twoPass;
    twoPass.SetReplayLimit(row.replayLimit);
    ASSERT_TRUE(twoPass.Begin(&input, dir / "ring.wav", jobBytes, 200, 300, 10000, row.channels));
    std::vector<uint8_t> measured;
    const auto measure = [&](const uint8_t* block, int32_t bytes) {
      measured.insert(measured.end(), block, block + bytes);
    };
    int32_t bytes = 0;
    while (twoPass.MeasureStep(bytes, measure)) {
    }
    ASSERT_TRUE(twoPass.Rewind(job.volume));
    EXPECT_EQ(twoPass.replaysSection(), row.replays);
    if (!twoPass.replaysSection()) input.position = 0;
    const size_t readsBefore = input.requests.size();
    RunJob(twoPass);
    EXPECT_EQ(input.requests.size() > readsBefore, !row.replays);
    ASSERT_TRUE(twoPass.End());
    EXPECT_FALSE(twoPass.Rewind(10000)) << "nothing to rewind once written";

    EXPECT_TRUE(enctest::ReadBytes(dir / "ring.wav") == enctest::ReadBytes(dir / "plain.wav"));
    MemoryInput unity(row.bits, row.channels, 8000, pcm);
    const std::vector<int64_t> faded = Expected(unity, Job{jobBytes, 10000, 200, 300, row.channels});
    ASSERT_EQ(measured.size(), faded.size() * (row.bits / 8));
    for (size_t i = 0; i < faded.size(); i += 997) {
      ASSERT_EQ(SampleAt(measured.data(), row.bits, static_cast<int64_t>(i)), faded[i]) << i;
    }
  }
}
