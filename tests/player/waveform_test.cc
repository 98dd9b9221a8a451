// The waveform the preview player of tvplayer.so computes for an opened song: its shape at the
// right places for each kind of file, the song it belongs to when another one opens during the
// work, a file with less sound than its header promises, and the end of the work with the player.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <string>
#include <thread>

#include "tests/player/player_test_support.h"
#include "tests/support/param_name.h"

namespace player_test {
namespace {

using namespace std::chrono_literals;

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

PlayerPtr NewQuietPlayer() {
  IPreviewPlayer* player = nullptr;
  if (CreatePreviewPlayerFunction()(nullptr, nullptr, &player) != tavio::S_OK) return nullptr;
  return PlayerPtr(player);
}

bool WaitForState(IPreviewPlayer& player, int state, std::chrono::milliseconds timeout = 15s) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (player.GetState() != state) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

struct Snapshot {
  WaveformState state{};
  std::vector<WaveformPeak> peaks;
  bool ok = false;
};

Snapshot Read(IPreviewPlayer& player) {
  Snapshot s;
  s.peaks.resize(kWaveformBins * 2);
  s.ok = player.GetWaveform(&s.state, s.peaks.data(), static_cast<int>(s.peaks.size())) ==
         tavio::S_OK;
  s.peaks.resize(static_cast<std::size_t>(s.state.bins) * s.state.channels);
  return s;
}

Snapshot WaitForComplete(IPreviewPlayer& player, std::chrono::milliseconds timeout = 60s) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    Snapshot s = Read(player);
    if ((s.ok && s.state.complete) || std::chrono::steady_clock::now() > end) return s;
    std::this_thread::sleep_for(5ms);
  }
}

// Tone (left at `left`, right at `right` of full scale) between `from` and `to` seconds of a
// song of `seconds`, silence elsewhere.
std::vector<std::int32_t> TonePulse(int bits, int channels, double seconds, double from, double to,
                                    double left = 0.5, double right = 0.25) {
  const auto frames = static_cast<std::size_t>(seconds * kRate);
  const double full = bits == 8 ? 127.0 : std::ldexp(1.0, bits - 1) - 1;
  std::vector<std::int32_t> samples;
  samples.reserve(frames * channels);
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double s = t >= from && t < to ? std::sin(2 * kPi * 441 * t) : 0.0;
    for (int c = 0; c < channels; ++c) {
      const auto v = static_cast<std::int32_t>(std::lround(s * (c == 0 ? left : right) * full));
      samples.push_back(bits == 8 ? v + 128 : v);
    }
  }
  return samples;
}

// The largest magnitude over stretches [from, to) of a fraction of the song, per channel.
double PeakOver(const Snapshot& s, int channel, double from, double to) {
  const int first = static_cast<int>(from * s.state.bins);
  const int last = static_cast<int>(to * s.state.bins);
  int peak = 0;
  for (int b = first; b < last; ++b) {
    const WaveformPeak& p = s.peaks[static_cast<std::size_t>(b) * s.state.channels + channel];
    peak = std::max({peak, std::abs(static_cast<int>(p.low)), std::abs(static_cast<int>(p.high))});
  }
  return peak / 32767.0;
}

int UnknownStretches(const Snapshot& s) {
  int unknown = 0;
  for (const WaveformPeak& p : s.peaks) unknown += p.low > p.high ? 1 : 0;
  return unknown;
}

int ThreadsNamed(const std::string& name) {
  int count = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string line;
    if (std::getline(comm, line) && line == name) ++count;
  }
  return count;
}

struct ShapeCase {
  const char* name;
  int bits;
  int channels;
  const char* encode;  // ffmpeg options, or null for the WAV itself
  const char* extension;
  double tolerance;  // of full scale; lossy codecs ring around the edges of the tone
};

void PrintTo(const ShapeCase& c, std::ostream* out) { *out << c.name; }

const ShapeCase kShapes[] = {
    {"wav_s16", 16, 2, nullptr, ".wav", 0.01},
    {"wav_u8_mono", 8, 1, nullptr, ".wav", 0.02},
    {"wav_s24", 24, 2, nullptr, ".wav", 0.01},
    {"flac", 16, 2, "-c:a flac", ".flac", 0.01},
    {"mp3", 16, 2, "-c:a libmp3lame -b:a 192k", ".mp3", 0.08},
    {"mp3_mono", 16, 1, "-c:a libmp3lame -b:a 96k", ".mp3", 0.08},
};

class WaveformShapeTest : public testing::TestWithParam<ShapeCase> {};

// Silence, a tone, silence: the tone shows in the middle third, at its level on each channel,
// and nothing else shows anywhere.
TEST_P(WaveformShapeTest, ShowsTheToneWhereItIsAndSilenceAroundIt) {
  const ShapeCase& c = GetParam();
  ScratchDir dir;
  const auto wav = dir / "source.wav";
  WriteWav(wav, c.bits, c.channels, kRate, TonePulse(c.bits, c.channels, 6.0, 2.0, 4.0));
  auto song = wav;
  if (c.encode != nullptr) {
    song = dir / (std::string("song") + c.extension);
    ASSERT_TRUE(Ffmpeg("-i " + Quoted(wav) + " " + c.encode + " " + Quoted(song)));
  }
  auto player = NewQuietPlayer();
  ASSERT_TRUE(player);
  ASSERT_EQ(player->Open(Wide(song).c_str(), 0), tavio::S_OK);
  ASSERT_TRUE(WaitForState(*player, kTVPlayerOpened));
  const Snapshot s = WaitForComplete(*player);
  ASSERT_TRUE(s.ok && s.state.complete) << "the waveform never completed";
  EXPECT_EQ(s.state.bins, kWaveformBins);
  EXPECT_EQ(s.state.known, kWaveformBins);
  ASSERT_EQ(s.state.channels, c.channels);
  EXPECT_EQ(UnknownStretches(s), 0);

  const double levels[] = {0.5, 0.25};
  for (int ch = 0; ch < c.channels; ++ch) {
    SCOPED_TRACE("channel " + std::to_string(ch));
    // Away from the edges by a tenth of a second: an MP3's frames blur them that much.
    EXPECT_LT(PeakOver(s, ch, 0.0, 1.9 / 6), c.tolerance);
    EXPECT_NEAR(PeakOver(s, ch, 2.1 / 6, 3.9 / 6), levels[ch], c.tolerance);
    EXPECT_LT(PeakOver(s, ch, 4.1 / 6, 1.0), c.tolerance);
    // Each stretch inside the tone holds a whole cycle of it: both of its peaks.
    const WaveformPeak& middle = s.peaks[(s.state.bins / 2) * c.channels + ch];
    EXPECT_NEAR(middle.high / 32767.0, levels[ch], c.tolerance);
    EXPECT_NEAR(middle.low / 32767.0, -levels[ch], c.tolerance);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, WaveformShapeTest, testing::ValuesIn(kShapes),
                         testsupport::PrintedParamName());

TEST(WaveformTest, ASongOpenedDuringTheWorkShowsOnlyItsOwnShape) {
  ScratchDir dir;
  // The first song is long enough to be still in the work when the second one is asked for;
  // its tone fills its first half, where the second song is silent.
  const auto first = dir / "first.mp3";
  ASSERT_TRUE(Ffmpeg("-f lavfi -i \"aevalsrc='0.5*sin(2*PI*441*t)*lt(t,150)':s=44100:d=300\" "
                     "-ac 2 -c:a libmp3lame -b:a 128k " + Quoted(first)));
  const auto second = dir / "second.wav";
  WriteWav(second, 16, 2, kRate, TonePulse(16, 2, 6.0, 3.0, 6.0));

  auto player = NewQuietPlayer();
  ASSERT_TRUE(player);
  ASSERT_EQ(player->Open(Wide(first).c_str(), 0), tavio::S_OK);
  ASSERT_TRUE(WaitForState(*player, kTVPlayerOpened));
  const auto end = std::chrono::steady_clock::now() + 30s;
  Snapshot partial;
  while (!(partial.ok && partial.state.known > 0) && std::chrono::steady_clock::now() < end) {
    partial = Read(*player);
  }
  ASSERT_TRUE(partial.ok && partial.state.known > 0);
  ASSERT_FALSE(partial.state.complete) << "the first song finished before the second was opened";

  ASSERT_EQ(player->Open(Wide(second).c_str(), 0), tavio::S_OK);
  // From this call on nothing of the first song is handed out: every answer is the second
  // song's, known so far, until it is complete.
  Snapshot s;
  int answers = 0;
  while (std::chrono::steady_clock::now() < end) {
    s = Read(*player);
    if (s.ok) {
      ++answers;
      for (int b = 0; b < s.state.bins / 2 - 2; ++b) {
        const WaveformPeak& p = s.peaks[static_cast<std::size_t>(b) * 2];
        if (p.low <= p.high) {
          ASSERT_LT(std::max(-p.low, +p.high), 64) << "stretch " << b;
        }
      }
      if (s.state.complete) break;
    }
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_TRUE(s.ok && s.state.complete);
  EXPECT_GE(answers, 1);
  EXPECT_NEAR(PeakOver(s, 0, 0.55, 0.95), 0.5, 0.01);
  // The second song's workers end right after their last stretch; the first song's were joined
  // before the second song opened.
  while (ThreadsNamed("TVWaveform") > 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(ThreadsNamed("TVWaveform"), 0);
}

TEST(WaveformTest, AFileWithLessSoundThanItsHeaderSaysCompletesWithSilenceForTheRest) {
  ScratchDir dir;
  const auto song = dir / "cut short.wav";
  WriteWav(song, 16, 2, kRate, TonePulse(16, 2, 6.0, 0.0, 6.0));
  // The header still promises six seconds; the last two are gone.
  std::filesystem::resize_file(song, 44 + 4 * kRate * 4);
  auto player = NewQuietPlayer();
  ASSERT_TRUE(player);
  ASSERT_EQ(player->Open(Wide(song).c_str(), 0), tavio::S_OK);
  ASSERT_TRUE(WaitForState(*player, kTVPlayerOpened));
  MediaInfo info{};
  ASSERT_EQ(player->GetMediaInfo(&info), tavio::S_OK);
  const Snapshot s = WaitForComplete(*player);
  ASSERT_TRUE(s.ok && s.state.complete);
  EXPECT_EQ(UnknownStretches(s), 0);
  const double sound = 4.0 * kUnitsPerSecond / static_cast<double>(info.duration);
  EXPECT_NEAR(PeakOver(s, 0, 0.0, sound - 0.01), 0.5, 0.01);
  EXPECT_EQ(PeakOver(s, 0, sound + 0.01, 1.0), 0.0);
}

TEST(WaveformTest, ReopeningTheSameFileKeepsItsWaveformAndClosingDropsIt) {
  ScratchDir dir;
  const auto song = dir / "song.wav";
  WriteWav(song, 16, 2, kRate, TonePulse(16, 2, 3.0, 1.0, 2.0));
  auto player = NewQuietPlayer();
  ASSERT_TRUE(player);
  ASSERT_EQ(player->Open(Wide(song).c_str(), 0), tavio::S_OK);
  ASSERT_TRUE(WaitForState(*player, kTVPlayerOpened));
  const Snapshot done = WaitForComplete(*player);
  ASSERT_TRUE(done.ok && done.state.complete);

  // Playing again after the end opens the song again: its picture is not computed twice.
  ASSERT_EQ(player->Play(), tavio::S_OK);
  ASSERT_TRUE(WaitForState(*player, kTVPlayerPlaying));
  ASSERT_EQ(player->Open(Wide(song).c_str(), 0), tavio::S_OK);
  ASSERT_TRUE(WaitForState(*player, kTVPlayerOpened));
  Snapshot again = Read(*player);
  ASSERT_TRUE(again.ok);
  EXPECT_TRUE(again.state.complete);
  EXPECT_EQ(again.state.revision, done.state.revision);

  ASSERT_EQ(player->Close(), tavio::S_OK);
  EXPECT_FALSE(Read(*player).ok) << "a closed song still has a waveform";

  WaveformState state{};
  EXPECT_EQ(player->GetWaveform(nullptr, nullptr, 0), tavio::E_POINTER);
  EXPECT_EQ(player->GetWaveform(&state, nullptr, 4), tavio::E_POINTER);
  EXPECT_EQ(player->GetWaveform(&state, again.peaks.data(), -1), tavio::E_INVALIDARG);
}

TEST(WaveformTest, TheWorkEndsWithThePlayer) {
  ScratchDir dir;
  const auto song = dir / "long.mp3";
  ASSERT_TRUE(Ffmpeg("-f lavfi -i \"sine=frequency=441:duration=300\" -ac 2 -c:a libmp3lame "
                     "-b:a 128k " + Quoted(song)));
  auto player = NewQuietPlayer();
  ASSERT_TRUE(player);
  ASSERT_EQ(player->Open(Wide(song).c_str(), 0), tavio::S_OK);
  ASSERT_TRUE(WaitForState(*player, kTVPlayerOpened));
  const auto end = std::chrono::steady_clock::now() + 30s;
  while (ThreadsNamed("TVWaveform") == 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_GT(ThreadsNamed("TVWaveform"), 0);
  ASSERT_FALSE(Read(*player).state.complete);
  player.reset();  // the last Release
  EXPECT_EQ(ThreadsNamed("TVWaveform"), 0);
}

}  // namespace
}  // namespace player_test
