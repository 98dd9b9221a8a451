// Loudness-normalised rings end to end: the real plug-ins, real files, and the ffmpeg command's
// ebur128 filter as the meter that checks what the cut job measured and wrote.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>

#include "base/strings.h"
#include "engine/cut_plan.h"
#include "engine/loudness.h"
#include "engine/tvplayer_wrapper.h"
#include "tests/engine/ring_fixtures.h"
#include "tests/support/param_name.h"

namespace {

using loudness::Outcome;
using ringtest::TempDir;

std::wstring W(const std::filesystem::path& path) { return base::UTF8ToWide(path.string()); }

// FNV-1a, 64 bits: a file's bytes in one number a table can hold.
uint64_t Digest(const std::string& bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (char c : bytes) hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211ull;
  return hash;
}

// The arithmetic of the gain, on measurements made up to meet each limit.
TEST(LoudnessDecisionTest, OneGainForTheTargetUnlessAPeakStopsIt) {
  const double kNoSound = -HUGE_VAL;
  const loudness::CodecLevel wav = loudness::CodecLevelOf(TVPlayerWrapper::kFormatWav, 0);
  const loudness::CodecLevel mp3 = loudness::CodecLevelOf(TVPlayerWrapper::kFormatMp3, 128);
  const double wavCeiling = -1.0 - loudness::kPeakReadingMarginDb;
  struct Row {
    const char* what;
    loudness::Measurement measured;
    loudness::CodecLevel codec;
    Outcome outcome;
    double gainDb;
  };
  const Row rows[] = {
      {"quiet, raised", {-30.0, -20.0, -20.0}, wav, Outcome::kNormalised, 16.0},
      {"loud, lowered", {-8.0, -0.1, -0.1}, wav, Outcome::kNormalised, -6.0},
      {"a peak stops it", {-40.0, -3.0, -3.0}, wav, Outcome::kStoppedAtCeiling, wavCeiling + 3.0},
      {"MP3 keeps room and makes up its loss", {-30.0, -25.0, -25.0}, mp3, Outcome::kNormalised,
       16.0 + mp3.loudnessLossDb},
      {"MP3 room below the ceiling", {-20.0, -3.0, -3.0}, mp3, Outcome::kStoppedAtCeiling,
       wavCeiling - mp3.peakMarginDb + 3.0},
      // A mono ring mixed from channels in opposite phase is quiet; its channels are not, and no
      // gain may take them past full scale before the mix.
      {"a song channel stops it", {-40.0, -30.0, -0.5}, wav, Outcome::kStoppedAtCeiling, 0.5},
      {"silence", {kNoSound, kNoSound, kNoSound}, wav, Outcome::kSilent, 0.0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const loudness::Decision decision = loudness::Decide(row.measured, {}, row.codec);
    EXPECT_EQ(decision.outcome, row.outcome);
    EXPECT_NEAR(decision.gainDb, row.gainDb, 0.01);
    EXPECT_LE(decision.gain, std::pow(10.0, row.gainDb / 20.0) * 10000.0) << "rounded down";
  }
}

class LoudnessCutTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(wrapper.Initialize(0)) << "tvplayer.so beside the test"; }

  // A song made by the ffmpeg command from an aevalsrc expression, 8 s long.
  std::filesystem::path Song(const std::string& name, const std::string& expression,
                             const std::string& layout, const std::string& codec) {
    const std::filesystem::path path = dir / name;
    EXPECT_EQ(ringtest::Run("ffmpeg -v error -y -f lavfi -i \"aevalsrc='" + expression +
                            "':s=44100:d=8:c=" + layout + "\" " + codec + " '" + path.string() +
                            "'"),
              0);
    return path;
  }

  bool Cut(const std::filesystem::path& song, const std::filesystem::path& ring, int32_t format,
           int32_t bitrate, int32_t channels, int32_t startMs = 1000, int32_t endMs = 7000,
           double targetLufs = loudness::kDefaultTargetLufs) {
    wrapper.PrepareCut(W(song), format, bitrate);
    wrapper.NormaliseLoudness({targetLufs, loudness::kDefaultCeilingDbtp});
    return wrapper.StartCutRing(W(ring), startMs, endMs, 1000, 1000, 10000, channels);
  }

  TVPlayerWrapper wrapper;
  TempDir dir;
};

struct Fixture {
  const char* name;
  const char* expression;
  const char* layout;
  const char* codec;
  double lufs;  // what the meter reads on the song itself
};
// A tone at -30 LUFS (24-bit, 48 kHz), a square-ish wave near full scale at -8 LUFS (mono), and a
// quiet song with one loud click, as an MP3: raised, lowered, and held at the ceiling.
const Fixture kTone{"tone.wav", "0.0316*sin(2*PI*1000*t)", "stereo", "-c:a pcm_s24le -ar 48000",
                    -30.0};
const Fixture kSquare{"square.wav", "0.98*tanh(5*sin(2*PI*30*t))", "mono", "-c:a pcm_s16le", -8.2};
const Fixture kClick{"click.mp3", "0.004*sin(2*PI*500*t)+if(between(t,4,4.0003),0.9,0)", "stereo",
                     "-c:a libmp3lame -b:a 192k", -40.8};
// Hard square waves near full scale are where MP3 overshoots most: asked for 0 LUFS, the ring
// stops at the ceiling, and its decoded true peak must still be under it.
const Fixture kHardSquare{"hard.wav", "0.97*tanh(50*sin(2*PI*300*t))|0.97*tanh(50*sin(2*PI*303*t+1))",
                          "stereo", "-c:a pcm_s16le", 2.4};
// AAC overshoots most on a square wave of a few hundred hertz.
const Fixture kHardSquare440{"hard440.wav", "0.98*sgn(sin(2*PI*440*t))", "mono", "-c:a pcm_s16le",
                             -0.2};

struct RingCase {
  const Fixture* song;
  int32_t format, bitrate, channels;
  bool reachesTarget;
  double targetLufs = loudness::kDefaultTargetLufs;
};

const char* ExtensionOf(int32_t format) {
  switch (format) {
    case TVPlayerWrapper::kFormatWav: return "wav";
    case TVPlayerWrapper::kFormatM4r: return "m4r";
    case TVPlayerWrapper::kFormatOgg: return "ogg";
    default: return "mp3";
  }
}

void PrintTo(const RingCase& c, std::ostream* out) {
  *out << std::filesystem::path(c.song->name).stem().string() << "_" << ExtensionOf(c.format) << "_"
       << (c.format == TVPlayerWrapper::kFormatWav ? 0 : c.bitrate) << "k_" << c.channels << "ch_to_"
       << c.targetLufs;
}

class LoudnessRingTest : public LoudnessCutTest, public ::testing::WithParamInterface<RingCase> {};

// The independent meter reads the ring at the target, or below it where a peak stopped the gain;
// either way its true peak is under the ceiling and no decoded sample reaches full scale.
TEST_P(LoudnessRingTest, TheMeterConfirmsTheTargetAndTheCeiling) {
  const RingCase& c = GetParam();
  const auto song = Song(c.song->name, c.song->expression, c.song->layout, c.song->codec);
  const ringtest::Loudness before = ringtest::MeasureLoudness(song);
  ASSERT_TRUE(before.ok);
  ASSERT_NEAR(before.lufs, c.song->lufs, 0.5) << "the fixture's own loudness";

  const auto ring = dir / (std::string("ring.") + ExtensionOf(c.format));
  ASSERT_TRUE(Cut(song, ring, c.format, c.bitrate, c.channels, 1000, 7000, c.targetLufs));
  ASSERT_TRUE(wrapper.succeeded());
  const TVPlayerWrapper::LoudnessReport& report = wrapper.loudnessReport();
  ASSERT_TRUE(report.measured);

  const ringtest::Loudness after = ringtest::MeasureLoudness(ring);
  ASSERT_TRUE(after.ok);
  if (c.reachesTarget) {
    EXPECT_EQ(report.decision.outcome, Outcome::kNormalised);
    EXPECT_NEAR(after.lufs, c.targetLufs, 0.5);
  } else {
    EXPECT_EQ(report.decision.outcome, Outcome::kStoppedAtCeiling);
    EXPECT_LT(after.lufs, c.targetLufs - 0.5);
  }
  // What the job expected the ring to measure is what the meter reads.
  EXPECT_NEAR(after.lufs, report.decision.ringLufs, 0.5);
  EXPECT_LE(after.truePeakDbtp, loudness::kDefaultCeilingDbtp);
  const int32_t peak = ringtest::PeakSample16(ring);
  EXPECT_GT(peak, 0);
  EXPECT_LT(peak, 32767);
}

INSTANTIATE_TEST_SUITE_P(
    Songs, LoudnessRingTest,
    ::testing::Values(RingCase{&kTone, TVPlayerWrapper::kFormatWav, 0, 2, true},
                      RingCase{&kTone, TVPlayerWrapper::kFormatMp3, 64, 2, true},
                      RingCase{&kTone, TVPlayerWrapper::kFormatMp3, 128, 1, true},
                      RingCase{&kSquare, TVPlayerWrapper::kFormatWav, 0, 1, true},
                      RingCase{&kSquare, TVPlayerWrapper::kFormatWav, 0, 2, true},
                      RingCase{&kSquare, TVPlayerWrapper::kFormatMp3, 64, 2, true},
                      RingCase{&kClick, TVPlayerWrapper::kFormatWav, 0, 2, false},
                      RingCase{&kClick, TVPlayerWrapper::kFormatMp3, 64, 1, false},
                      RingCase{&kHardSquare, TVPlayerWrapper::kFormatMp3, 64, 2, false, 0.0},
                      RingCase{&kHardSquare, TVPlayerWrapper::kFormatWav, 0, 1, false, 0.0},
                      RingCase{&kTone, TVPlayerWrapper::kFormatM4r, 64, 2, true},
                      RingCase{&kTone, TVPlayerWrapper::kFormatOgg, 64, 2, true},
                      RingCase{&kHardSquare, TVPlayerWrapper::kFormatOgg, 64, 2, false, 0.0},
                      RingCase{&kHardSquare440, TVPlayerWrapper::kFormatM4r, 64, 1, false, 0.0}),
    testsupport::PrintedParamName());

// A section too short to measure, or silent, is written as it is: the bytes the unchanged volume
// item writes.
TEST_F(LoudnessCutTest, WhatCannotBeMeasuredIsWrittenUnchanged) {
  const auto tone = Song(kTone.name, kTone.expression, kTone.layout, kTone.codec);
  const auto silence = Song("silence.wav", "0", "stereo", "-c:a pcm_s16le");
  struct Row {
    std::filesystem::path song;
    int32_t startMs, endMs;
    Outcome outcome;
  };
  for (const Row& row : {Row{tone, 2000, 2399, Outcome::kTooShort},
                         Row{silence, 1000, 7000, Outcome::kSilent}}) {
    SCOPED_TRACE(row.song.filename().string());
    ASSERT_TRUE(Cut(row.song, dir / "ring.wav", TVPlayerWrapper::kFormatWav, 0, 2, row.startMs,
                    row.endMs));
    ASSERT_TRUE(wrapper.succeeded());
    EXPECT_EQ(wrapper.loudnessReport().decision.outcome, row.outcome);
    wrapper.PrepareCut(W(row.song), TVPlayerWrapper::kFormatWav, 0);
    ASSERT_TRUE(wrapper.StartCutRing(W(dir / "plain.wav"), row.startMs, row.endMs, 1000, 1000,
                                     cutplan::VolumeFromIndex(0), 2));
    EXPECT_TRUE(ringtest::ReadAll(dir / "ring.wav") == ringtest::ReadAll(dir / "plain.wav"));
  }
}

// Closing the progress window in either pass leaves no ring, no part file, and the user's file.
TEST_F(LoudnessCutTest, CancelInEitherPassLeavesNoRing) {
  ASSERT_TRUE(ringtest::MakeToneMp3(dir / "song.mp3", 60));
  ringtest::WriteAll(dir / "ring.mp3", "the user's own file");
  for (const bool inMeasuringPass : {true, false}) {
    SCOPED_TRACE(inMeasuringPass ? "measuring" : "writing");
    bool sawPass = false;
    wrapper.SetProgressUi([&](HWND, TVPlayerWrapper& job) {
      while (!job.jobFinished()) {
        const bool measuring = job.measuring();
        if (measuring == inMeasuringPass && job.progressPercent() > (measuring ? 1.0f : 30.0f)) {
          sawPass = true;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      return 0;
    });
    wrapper.PrepareCut(W(dir / "song.mp3"), TVPlayerWrapper::kFormatMp3, 128);
    wrapper.NormaliseLoudness({});
    EXPECT_TRUE(wrapper.StartCutRing(W(dir / "ring.mp3"), 0, 59000, 2000, 2000, 10000, 2));
    EXPECT_TRUE(sawPass);
    EXPECT_FALSE(wrapper.succeeded());
    EXPECT_EQ(ringtest::ReadAll(dir / "ring.mp3"), "the user's own file");
    EXPECT_EQ(dir.Files(), (std::vector<std::string>{"ring.mp3", "song.mp3"}));
  }
}

// The five volume items keep the bytes they wrote before rings could be normalised: the same
// gains, clamped the same way, with the fades after them.
TEST_F(LoudnessCutTest, TheFiveVolumeItemsWriteTheBytesTheyAlwaysWrote) {
  ringtest::WriteWav(dir / "song.wav", ringtest::MakeSong(16, 2, 44100, 44100 * 3, 11));
  struct Row {
    int32_t format, channels;
    const char* ring;
    uint64_t digests[5];
  };
  const Row rows[] = {
      {TVPlayerWrapper::kFormatWav, 2, "ring.wav",
       {0xfbd4fa2d1ff83ccbull, 0xca70222e407b6de6ull, 0x854334acfdea17a0ull,
        0xb12327d9918fba7full, 0x8044fbf1baa73a6eull}},
      {TVPlayerWrapper::kFormatWav, 1, "ring.wav",
       {0x51c39dbf7c9ae716ull, 0xeba80c5940e4252eull, 0xdfb6b63ca7825601ull,
        0x5877c239af6c83b0ull, 0xcd427a260a7bdf96ull}},
      {TVPlayerWrapper::kFormatMp3, 2, "ring.mp3",
       {0xd8fb34b61d02c5e6ull, 0x2a845cef1e87ce19ull, 0xdbfa0d8df6e25c16ull,
        0x988a8af4745dac0full, 0x07535238bb973a4dull}},
  };
  for (const Row& row : rows) {
    for (int item = 0; item < 5; ++item) {
      SCOPED_TRACE(std::string(row.ring) + ", " + std::to_string(row.channels) + " channels, item " +
                   std::to_string(item));
      wrapper.PrepareCut(W(dir / "song.wav"), row.format, 128);
      ASSERT_TRUE(wrapper.StartCutRing(W(dir / row.ring), 250, 2750, 300, 700,
                                       cutplan::VolumeFromIndex(item), row.channels));
      ASSERT_TRUE(wrapper.succeeded());
      const uint64_t digest = Digest(ringtest::ReadAll(dir / row.ring));
      EXPECT_EQ(digest, row.digests[item]) << std::hex << "0x" << digest;
    }
  }
}

}  // namespace
