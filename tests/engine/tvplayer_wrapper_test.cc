// The cut job end to end: real tvplayer.so and codecs.so from the build's bin folder, real files.
#include "engine/tvplayer_wrapper.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "base/path_service.h"
#include "base/strings.h"
#include "engine/cut_plan.h"
#include "tests/engine/ring_fixtures.h"

namespace {

using ringtest::Pcm;
using ringtest::TempDir;

std::wstring W(const std::filesystem::path& path) { return base::UTF8ToWide(path.string()); }

// The encoders read the song's format from the preview player, as in the program, where the song
// is open for listening when it is saved: open it there and wait for the player's answer.
bool OpenSong(TVPlayerWrapper& wrapper, const std::filesystem::path& song) {
  wrapper.OpenPreview(W(song));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    const int32_t state = wrapper.player()->GetState();
    if (state == kTVPlayerOpened) return true;
    if (state == kTVPlayerOpenFailed) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

struct Cut {
  int32_t startMs = 0, endMs = 0, fadeInMs = 0, fadeOutMs = 0, volume = 10000, channels = 2;
  int32_t format = TVPlayerWrapper::kFormatWav;
  int32_t bitrate = 128;
};

class WrapperCutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(wrapper.Initialize(0)) << "tvplayer.so beside the test executable";
  }

  // PrepareCut then StartCutRing, as the save does.
  bool CutTo(const std::filesystem::path& song, const std::filesystem::path& ring, const Cut& cut) {
    wrapper.PrepareCut(W(song), cut.format, cut.bitrate);
    return wrapper.StartCutRing(W(ring), cut.startMs, cut.endMs, cut.fadeInMs, cut.fadeOutMs,
                                cut.volume, cut.channels);
  }

  TVPlayerWrapper wrapper;
  TempDir dir;
};

struct WavCase {
  int bits, channels, rate, outChannels;
  Cut cut;
};

void PrintTo(const WavCase& c, std::ostream* out) {
  *out << c.bits << "-bit " << c.channels << "ch to " << c.outChannels << "ch at " << c.rate
       << " Hz, " << c.cut.startMs << "-" << c.cut.endMs << " ms, fades " << c.cut.fadeInMs << "/"
       << c.cut.fadeOutMs << " ms, volume " << c.cut.volume;
}

class WavRingTest : public WrapperCutTest, public ::testing::WithParamInterface<WavCase> {};

TEST_P(WavRingTest, HoldsExactlyTheExpectedSamples) {
  const WavCase& c = GetParam();
  const Pcm song = ringtest::MakeSong(c.bits, c.channels, c.rate, c.rate * 3, c.bits + c.channels);
  ringtest::WriteWav(dir / "song.wav", song);
  ASSERT_TRUE(OpenSong(wrapper, dir / "song.wav"));

  Cut cut = c.cut;
  cut.channels = c.outChannels;
  ASSERT_TRUE(CutTo(dir / "song.wav", dir / "ring.wav", cut));
  ASSERT_TRUE(wrapper.succeeded());

  const auto plan = cutplan::PlanCut(c.bits, c.channels, c.rate, cut.startMs, cut.endMs,
                                     cut.fadeInMs, cut.fadeOutMs);
  ASSERT_TRUE(plan);
  const int64_t startFrame = int64_t{cut.startMs} * c.rate / 1000;
  const Pcm expected = ringtest::ExpectedRing(song, startFrame, plan->jobBytes, cut.volume,
                                              plan->fadeInMs, plan->fadeOutMs, c.outChannels);

  const ringtest::WavFile ring = ringtest::ReadWav(dir / "ring.wav");
  ASSERT_TRUE(ring.ok);
  EXPECT_EQ(ring.formatTag, 1);
  EXPECT_EQ(ring.pcm.bits, c.bits);
  EXPECT_EQ(ring.pcm.rate, c.rate);
  EXPECT_EQ(ring.pcm.channels, c.outChannels);
  EXPECT_EQ(ring.blockAlign, c.outChannels * c.bits / 8);
  EXPECT_EQ(ring.byteRate, static_cast<uint32_t>(c.rate * ring.blockAlign));
  EXPECT_EQ(ring.riffSize, ring.fileSize - 8);
  EXPECT_EQ(ring.dataSize, ring.fileSize - 44);
  ASSERT_EQ(ring.pcm.samples.size(), expected.samples.size());
  size_t mismatches = 0, first = 0;
  for (size_t i = 0; i < expected.samples.size(); ++i) {
    if (ring.pcm.samples[i] != expected.samples[i] && mismatches++ == 0) first = i;
  }
  EXPECT_EQ(mismatches, 0u) << "first at sample " << first << ": " << ring.pcm.samples[first]
                            << " instead of " << expected.samples[first];
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"ring.wav", "song.wav"}));
}

Cut Section(int32_t start, int32_t end, int32_t in, int32_t out, int32_t volume) {
  Cut cut;
  cut.startMs = start;
  cut.endMs = end;
  cut.fadeInMs = in;
  cut.fadeOutMs = out;
  cut.volume = volume;
  return cut;
}

// Widths and channel layouts, each with a volume that meets the clamps, and fades whose lengths
// make the block loop shorten a block to where the fade-out begins.
INSTANTIATE_TEST_SUITE_P(
    WidthsAndChannels, WavRingTest,
    ::testing::Values(WavCase{8, 1, 8000, 1, Section(250, 2750, 300, 700, 15000)},
                      WavCase{8, 2, 8000, 1, Section(0, 2999, 200, 200, 30000)},
                      WavCase{16, 1, 8000, 2, Section(125, 2125, 1500, 0, 20000)},
                      WavCase{16, 2, 44100, 2, Section(1000, 2500, 400, 600, 15000)},
                      WavCase{16, 2, 44100, 1, Section(500, 1500, 0, 1000, 10000)},
                      WavCase{24, 1, 48000, 1, Section(10, 1210, 300, 300, 25000)},
                      WavCase{24, 2, 8000, 1, Section(1000, 3000, 2000, 2000, 15000)},
                      WavCase{32, 1, 8000, 2, Section(100, 2900, 250, 650, 30000)},
                      WavCase{32, 2, 8000, 2, Section(2000, 3000, 0, 0, 15000)}),
    [](const auto& info) {
      const WavCase& c = info.param;
      return std::to_string(c.bits) + "bit" + std::to_string(c.channels) + "to" +
             std::to_string(c.outChannels) + "at" + std::to_string(c.rate);
    });

// A section the song does not reach to its end is no ring: the job fails and tells where the song
// really ended, also when the section begins after it. One that ends with the song is whole.
TEST_F(WrapperCutTest, SectionPastTheSongsEndIsNoRingAndTellsWhereTheSongEnds) {
  const Pcm song = ringtest::MakeSong(16, 2, 8000, 8000, 7);  // 1 s
  ringtest::WriteWav(dir / "song.wav", song);
  ASSERT_TRUE(OpenSong(wrapper, dir / "song.wav"));
  struct Case {
    int32_t startMs, endMs;
    int64_t frames;  // 0: no ring
  };
  for (const Case& c : {Case{500, 1500, 0}, Case{1200, 1800, 0}, Case{500, 1000, 4000},
                        Case{0, 1000 + cutplan::kSongEndSlackMs, 8000}}) {
    ringtest::WriteAll(dir / "ring.wav", "older");
    ASSERT_TRUE(
        CutTo(dir / "song.wav", dir / "ring.wav", Section(c.startMs, c.endMs, 0, 0, 10000)));
    EXPECT_EQ(wrapper.succeeded(), c.frames > 0) << c.startMs << ".." << c.endMs;
    if (c.frames == 0) {
      EXPECT_EQ(wrapper.songEndBeforeSection(), std::optional<int64_t>(kUnitsPerSecond));
      EXPECT_TRUE(ringtest::ReadAll(dir / "ring.wav") == "older");
    } else {
      EXPECT_EQ(wrapper.songEndBeforeSection(), std::nullopt);
      EXPECT_EQ(ringtest::ReadWav(dir / "ring.wav").pcm.frames(), c.frames);
    }
    EXPECT_EQ(dir.Files(), (std::vector<std::string>{"ring.wav", "song.wav"}));
  }
}

TEST_F(WrapperCutTest, Mp3RingsDecodeToTheCutsLengthWithTheChosenChannelsAndRate) {
  const Pcm stereo = ringtest::MakeSong(16, 2, 44100, 44100 * 3, 3);
  ringtest::WriteWav(dir / "stereo.wav", stereo);
  const Pcm mono = ringtest::MakeSong(16, 1, 44100, 44100 * 3, 4);
  ringtest::WriteWav(dir / "mono.wav", mono);

  struct Mp3Case {
    const char* song;
    int32_t channels, bitrate;
  };
  for (const Mp3Case& c : {Mp3Case{"stereo.wav", 1, 64}, Mp3Case{"mono.wav", 2, 128},
                           Mp3Case{"stereo.wav", 2, 192}}) {
    SCOPED_TRACE(std::string(c.song) + " to " + std::to_string(c.channels) + " channels");
    ASSERT_TRUE(OpenSong(wrapper, dir / c.song));
    Cut cut = Section(500, 2500, 300, 300, 15000);
    cut.format = TVPlayerWrapper::kFormatMp3;
    cut.channels = c.channels;
    cut.bitrate = c.bitrate;
    ASSERT_TRUE(CutTo(dir / c.song, dir / "ring.mp3", cut));
    ASSERT_TRUE(wrapper.succeeded());
    const auto plan = cutplan::PlanCut(16, c.channels == 1 ? 2 : 1, 44100, 500, 2500, 0, 0);
    EXPECT_EQ(ringtest::DecodedFrames(dir / "ring.mp3", c.channels), 88200 + 1) << plan->jobBytes;
    EXPECT_EQ(ringtest::ProbeStream(dir / "ring.mp3", "channels"), std::to_string(c.channels));
    EXPECT_EQ(ringtest::ProbeStream(dir / "ring.mp3", "bit_rate"),
              std::to_string(c.bitrate * 1000));
  }
}

// Every format of the open dialog that the ffmpeg command can write: opened, and cut to the
// section's length.
TEST_F(WrapperCutTest, EachFormatOpensAndCuts) {
  struct Format {
    const char* file;
    const char* args;
  };
  const Format formats[] = {
      {"song.mp3", "-c:a libmp3lame -b:a 128k"}, {"song.mp2", "-c:a mp2"},
      {"song.wma", "-c:a wmav2"},                {"song.ogg", "-c:a libvorbis"},
      {"song.m4a", "-c:a aac"},                  {"song.aac", "-c:a aac -f adts"},
      {"song.flac", "-c:a flac"},                {"song.aiff", "-c:a pcm_s16be"},
      {"song.au", "-c:a pcm_s16be"},             {"song.ac3", "-c:a ac3"},
      {"song.aifc", "-c:a pcm_f32be -f aiff"},   {"song.snd", "-c:a pcm_mulaw -f au"},
      {"song.wav", "-c:a pcm_s24le"},
  };
  for (const Format& f : formats) {
    SCOPED_TRACE(f.file);
    const auto song = dir / f.file;
    ASSERT_EQ(ringtest::Run("ffmpeg -v error -y -f lavfi -i 'sine=frequency=440:duration=3' "
                            "-ar 44100 -ac 2 " + std::string(f.args) + " '" + song.string() + "'"),
              0);
    ASSERT_TRUE(OpenSong(wrapper, song));
    ASSERT_TRUE(CutTo(song, dir / "ring.wav", Section(500, 2000, 200, 200, 10000)));
    ASSERT_TRUE(wrapper.succeeded());
    const MediaInfo& info = wrapper.sourceMediaInfo();
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.channels, 2);
    const auto plan = cutplan::PlanCut(info.bitsPerSample, 2, 44100, 500, 2000, 0, 0);
    const auto ring = ringtest::ReadWav(dir / "ring.wav");
    ASSERT_TRUE(ring.ok);
    EXPECT_EQ(ring.pcm.frames(), plan->jobBytes / plan->blockAlign);
  }

  // A playlist cuts the first song it names.
  ringtest::WriteAll(dir / "list.m3u", "#EXTM3U\nsong.flac\nsong.wav\n");
  ASSERT_TRUE(CutTo(dir / "list.m3u", dir / "ring.wav", Section(0, 1000, 0, 0, 10000)));
  EXPECT_TRUE(wrapper.succeeded());
  EXPECT_EQ(ringtest::ReadWav(dir / "ring.wav").pcm.bits, 16) << "the FLAC, not the 24-bit WAV";
}

// Closing the progress window is the cancel: at every point before success it leaves no ring,
// no temporary file, and the file the user already had.
TEST_F(WrapperCutTest, CancelLeavesNoFileAndKeepsTheExistingOne) {
  ASSERT_TRUE(ringtest::MakeToneMp3(dir / "song.mp3", 60));
  ASSERT_TRUE(OpenSong(wrapper, dir / "song.mp3"));
  ringtest::WriteAll(dir / "ring.mp3", "the user's own file");

  for (float cancelAt : {-1.0f, 0.0f, 5.0f, 30.0f}) {
    SCOPED_TRACE(cancelAt);
    bool sawProgress = cancelAt < 0;
    wrapper.SetProgressUi([&](HWND, TVPlayerWrapper& job) {
      EXPECT_FALSE(job.temporaryPath().empty());
      while (cancelAt >= 0 && job.progressPercent() <= cancelAt && !job.jobFinished()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      sawProgress = sawProgress || job.progressPercent() > cancelAt;
      return 0;
    });
    Cut cut = Section(0, 59000, 2000, 2000, 15000);
    cut.format = TVPlayerWrapper::kFormatMp3;
    EXPECT_TRUE(CutTo(dir / "song.mp3", dir / "ring.mp3", cut));
    EXPECT_FALSE(wrapper.succeeded());
    EXPECT_TRUE(sawProgress);
    EXPECT_EQ(ringtest::ReadAll(dir / "ring.mp3"), "the user's own file");
    EXPECT_EQ(dir.Files(), (std::vector<std::string>{"ring.mp3", "song.mp3"}));
  }

  // And a job that is let finish replaces it.
  wrapper.SetProgressUi(nullptr);
  Cut cut = Section(0, 1000, 0, 0, 10000);
  cut.format = TVPlayerWrapper::kFormatMp3;
  ASSERT_TRUE(CutTo(dir / "song.mp3", dir / "ring.mp3", cut));
  EXPECT_TRUE(wrapper.succeeded());
  EXPECT_NE(ringtest::ReadAll(dir / "ring.mp3"), "the user's own file");
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"ring.mp3", "song.mp3"}));
}

// Every way a cut can fail to start: false, no thread, no file, and an existing file untouched.
TEST_F(WrapperCutTest, CutsThatCannotStartLeaveNothing) {
  ringtest::WriteWav(dir / "song.wav", ringtest::MakeSong(16, 2, 8000, 16000));
  ringtest::WriteAll(dir / "notes.txt", "not a song");
  ringtest::WriteAll(dir / "ring.wav", "kept");
  ASSERT_TRUE(OpenSong(wrapper, dir / "song.wav"));
  bool uiShown = false;
  wrapper.SetProgressUi([&](HWND, TVPlayerWrapper& job) {
    uiShown = true;
    // A second save cannot start inside the running one, nor take its source and encoder.
    EXPECT_FALSE(job.PrepareCut(W(dir / "song.wav"), TVPlayerWrapper::kFormatWav, 0));
    EXPECT_FALSE(job.StartCutRing(W(dir / "other.wav"), 0, 500, 0, 0, 10000, 2));
    while (!job.WaitForJob(std::chrono::seconds(1))) {
    }
    return 0;
  });

  // No preparation at all.
  EXPECT_FALSE(wrapper.StartCutRing(W(dir / "ring.wav"), 0, 1000, 0, 0, 10000, 2));
  // A folder that cannot hold the ring (its parent is a file).
  EXPECT_FALSE(CutTo(dir / "song.wav", dir / "notes.txt" / "ring.wav", Section(0, 1000, 0, 0, 10000)));
  // An empty and a reversed section.
  EXPECT_FALSE(CutTo(dir / "song.wav", dir / "ring.wav", Section(1000, 1000, 0, 0, 10000)));
  EXPECT_FALSE(CutTo(dir / "song.wav", dir / "ring.wav", Section(1500, 1000, 0, 0, 10000)));
  // A format that makes no encoder.
  wrapper.PrepareCut(W(dir / "song.wav"), 7, 128);
  EXPECT_FALSE(wrapper.StartCutRing(W(dir / "ring.wav"), 0, 1000, 0, 0, 10000, 2));
  // A file that is not a song, in a fresh wrapper (so no earlier format is left over).
  {
    TVPlayerWrapper fresh;
    ASSERT_TRUE(fresh.Initialize(0));
    fresh.PrepareCut(W(dir / "notes.txt"), TVPlayerWrapper::kFormatWav, 0);
    EXPECT_FALSE(fresh.StartCutRing(W(dir / "ring.wav"), 0, 1000, 0, 0, 10000, 2));
  }

  EXPECT_FALSE(uiShown);
  EXPECT_EQ(ringtest::ReadAll(dir / "ring.wav"), "kept");
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"notes.txt", "ring.wav", "song.wav"}));

  // After all that, the same wrapper still cuts.
  ASSERT_TRUE(CutTo(dir / "song.wav", dir / "ring.wav", Section(0, 1000, 0, 0, 10000)));
  EXPECT_TRUE(uiShown);
  EXPECT_TRUE(wrapper.succeeded());
}

// A song that cannot be opened for the cut (gone, or not a song) after an earlier save of another
// one: the earlier song's format must not let the cut start and write an empty "saved" ring.
TEST_F(WrapperCutTest, ASongThatNoLongerOpensIsNoRingAfterAnEarlierSave) {
  ringtest::WriteWav(dir / "first.wav", ringtest::MakeSong(16, 2, 8000, 16000));
  ringtest::WriteWav(dir / "second.wav", ringtest::MakeSong(8, 1, 11025, 22050, 2));
  ASSERT_TRUE(OpenSong(wrapper, dir / "first.wav"));
  ASSERT_TRUE(CutTo(dir / "first.wav", dir / "first-ring.wav", Section(0, 1000, 0, 0, 10000)));
  ASSERT_TRUE(wrapper.succeeded());

  // The second song is open for listening when it goes away.
  wrapper.OpenPreview(W(dir / "second.wav"));
  MediaInfo heard{};
  for (int i = 0; i < 10000 && heard.sampleRate != 11025; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    wrapper.player()->GetMediaInfo(&heard);
  }
  ASSERT_EQ(heard.sampleRate, 11025);
  std::filesystem::remove(dir / "second.wav");
  ringtest::WriteAll(dir / "ring.wav", "kept");
  for (int32_t format : {TVPlayerWrapper::kFormatWav, TVPlayerWrapper::kFormatMp3}) {
    Cut cut = Section(0, 1000, 0, 0, 10000);
    cut.format = format;
    EXPECT_FALSE(CutTo(dir / "second.wav", dir / "ring.wav", cut)) << format;
  }
  EXPECT_EQ(ringtest::ReadAll(dir / "ring.wav"), "kept");
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"first-ring.wav", "first.wav", "ring.wav"}));
}

// The source cannot be positioned at the section (its file went away after the preparation and
// this format is positioned by opening it afresh): no ring, and the existing file stays.
TEST_F(WrapperCutTest, ASectionTheSourceCannotReachIsNoRing) {
  ASSERT_TRUE(ringtest::MakeToneMp3(dir / "song.mp3", 3));
  ASSERT_TRUE(OpenSong(wrapper, dir / "song.mp3"));
  ringtest::WriteAll(dir / "ring.wav", "kept");
  wrapper.PrepareCut(W(dir / "song.mp3"), TVPlayerWrapper::kFormatWav, 0);
  std::filesystem::remove(dir / "song.mp3");
  const bool started = wrapper.StartCutRing(W(dir / "ring.wav"), 300, 2000, 0, 0, 10000, 2);
  EXPECT_FALSE(started && wrapper.succeeded());
  EXPECT_EQ(ringtest::ReadAll(dir / "ring.wav"), "kept");
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"ring.wav"});
}

// A song whose header promises more than the file holds: a section lying wholly in the missing
// part yields no sound at all, and an empty ring must not replace the user's file as "saved".
TEST_F(WrapperCutTest, ASectionWithNoSoundIsNoRing) {
  ringtest::WriteWav(dir / "song.wav", ringtest::MakeSong(16, 2, 8000, 8000, 3));  // 1 s
  {
    // Claim 10 s of data in the RIFF and data sizes.
    std::fstream file(dir / "song.wav", std::ios::in | std::ios::out | std::ios::binary);
    const uint32_t dataSize = 8000 * 4 * 10;
    const uint32_t riffSize = dataSize + 36;
    file.seekp(4);
    file.write(reinterpret_cast<const char*>(&riffSize), 4);
    file.seekp(40);
    file.write(reinterpret_cast<const char*>(&dataSize), 4);
  }
  ASSERT_TRUE(OpenSong(wrapper, dir / "song.wav"));
  ringtest::WriteAll(dir / "ring.wav", "kept");
  const bool started = CutTo(dir / "song.wav", dir / "ring.wav", Section(5000, 6000, 0, 0, 10000));
  EXPECT_FALSE(started && wrapper.succeeded());
  EXPECT_EQ(ringtest::ReadAll(dir / "ring.wav"), "kept");
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"ring.wav", "song.wav"}));
}

TEST(WrapperLibraryTest, WithoutThePlayerLibraryNothingOpensAndNothingCrashes) {
  TempDir dir;
  ringtest::WriteWav(dir / "song.wav", ringtest::MakeSong(16, 2, 8000, 8000));
  std::filesystem::path bin;
  ASSERT_TRUE(base::PathService::Get(base::PathService::DIR_EXE, &bin));
  for (const std::filesystem::path& library :
       {dir / "tvplayer.so",     // missing
        dir / "song.wav",        // not a library
        bin / "codecs.so"}) {    // a library without the player's exports
    TVPlayerWrapper wrapper;
    EXPECT_FALSE(wrapper.InitializeFrom(library, 0));
    EXPECT_EQ(wrapper.player(), nullptr);
    wrapper.OpenPreview(W(dir / "song.wav"));
    EXPECT_FALSE(wrapper.PrepareCut(W(dir / "song.wav"), TVPlayerWrapper::kFormatWav, 0));
    EXPECT_FALSE(wrapper.StartCutRing(W(dir / "ring.wav"), 0, 500, 0, 0, 10000, 2));
  }
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"song.wav"});
}

}  // namespace
