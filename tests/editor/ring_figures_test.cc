// The figures the ring editor shows a person, and where it keeps its files: time texts, the song
// information line, the song length split, the size estimate and its warning threshold, the
// fade edits' number reading, the track bar's per-mille, the usage
// counter file, and the choice between the program's folder and the user's.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "base/program_folders.h"
#include "base/strings.h"
#include "editor/main_form.h"
#include "editor/ring_figures.h"
#include "editor/usage_counters.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int64_t kUnitsPerMs = 10000;

TEST(RingFiguresTest, TimeTextHasTwoDigitMinutesUpToAHundredThenThree) {
  EXPECT_EQ(ring::TimeText(0), L"00:00");
  EXPECT_EQ(ring::TimeText(187), L"03:07");
  EXPECT_EQ(ring::TimeText(59 * 60 + 59), L"59:59");
  EXPECT_EQ(ring::TimeText(100 * 60), L"100:00");
  EXPECT_EQ(ring::TimeText(125 * 60), L"125:00");
  EXPECT_EQ(ring::TimeText(-1), L"");
}

TEST(RingFiguresTest, SongLengthSplitsIntoWholeMinutesAndTheLastMinutesMilliseconds) {
  // 59:59.5
  const ring::SongLength length = ring::SplitSongLength((59 * 60000 + 59500) * kUnitsPerMs);
  EXPECT_EQ(length.durationMinutes, 59);
  EXPECT_EQ(length.lastMinuteMs, 59500);
  EXPECT_EQ(length.durationMs, 59 * 60000 + 59500);
  // A 10-minute song: past the 429.5 s a 32-bit count of 100-ns units could hold.
  const ring::SongLength tenMinutes = ring::SplitSongLength(600000 * kUnitsPerMs);
  EXPECT_EQ(tenMinutes.durationMs, 600000);
  EXPECT_EQ(tenMinutes.durationMinutes, 10);
  EXPECT_EQ(tenMinutes.lastMinuteMs, 0);
}

TEST(RingFiguresTest, SongInfoShowsChannelsAndARedBitrateBelowEighty) {
  const int64_t threeMinutesSeven = 187000 * kUnitsPerMs;
  EXPECT_EQ(ring::SongInfoText(threeMinutesSeven, 2, 44100, 80), L"(03:07，双声道，44100Hz,80kbps)");
  EXPECT_EQ(ring::SongInfoText(threeMinutesSeven, 2, 44100, 79),
            L"(03:07，双声道，44100Hz,<c #FF0000>79kbps</c>)");
  EXPECT_EQ(ring::SongInfoText(threeMinutesSeven, 1, 22050, 128), L"(03:07，单声道，22050Hz,128kbps)");
  // Whole seconds, truncated, of a 100-minute song.
  EXPECT_EQ(ring::SongInfoText(6000999 * kUnitsPerMs, 2, 48000, 320),
            L"(100:00，双声道，48000Hz,320kbps)");
}

TEST(RingFiguresTest, SizeEstimateRoundsUpAfterHalfAKilobyte) {
  EXPECT_EQ(ring::SizeKB(30000, 128), 470);    // 469.25
  EXPECT_EQ(ring::SizeKB(131072, 128), 2049);  // 2048.5: over the warning threshold
  EXPECT_EQ(ring::SizeKB(131000, 128), 2048);  // 2047.375: just within it
  EXPECT_EQ(ring::SizeKB(102400, 8), 101);     // exactly 100 still gains the half
  EXPECT_EQ(ring::SizeKB(0, 128), 1);
}

TEST(RingFiguresTest, WavRateCountsTheRingsChannelsAndSampleWidth) {
  EXPECT_EQ(ring::WavBitrateKbps(2, 44100, 16), 1411);
  EXPECT_EQ(ring::WavBitrateKbps(1, 44100, 16), 705);  // mono out of a stereo song: half
  EXPECT_EQ(ring::WavBitrateKbps(2, 22050, 16), 705);  // a mono song saved as two channels
  EXPECT_EQ(ring::WavBitrateKbps(2, 48000, 24), 2304);
  EXPECT_EQ(ring::WavBitrateKbps(2, 44100, 32), 2822);
  EXPECT_EQ(ring::WavBitrateKbps(0, 0, 0), 0);
}

TEST(RingFiguresTest, FadeEditsReadTheNumberAtTheStartOfTheirText) {
  EXPECT_EQ(ring::LeadingInteger(L"2000"), 2000);
  EXPECT_EQ(ring::LeadingInteger(L"1500ms"), 1500);
  EXPECT_EQ(ring::LeadingInteger(L"-30"), -30);
  EXPECT_EQ(ring::LeadingInteger(L"+7"), 7);
  EXPECT_EQ(ring::LeadingInteger(L"abc"), 0);
  EXPECT_EQ(ring::LeadingInteger(L""), 0);
  EXPECT_EQ(ring::LeadingInteger(L"99999999999999"), INT32_MAX);
  EXPECT_EQ(ring::LeadingInteger(L"-99999999999999"), INT32_MIN);
}

TEST(RingFiguresTest, TrackBarPerMilleAndSeeksTruncate) {
  EXPECT_EQ(ring::PerMille(1999, 10000, 0), 199);
  EXPECT_EQ(ring::PerMille(10000, 10000, 0), 1000);
  EXPECT_EQ(ring::PerMille(500, 0, 0), 0);
  EXPECT_EQ(ring::PerMille(500, 0, 1000), 1000);
  // A 10-minute song: the last second still maps and seeks within 64 bits.
  EXPECT_EQ(ring::PerMille(599000, 600000, 0), 998);
  EXPECT_EQ(ring::SeekUnits(600000 * kUnitsPerMs, 599000, 600000), 599000 * kUnitsPerMs);
  EXPECT_EQ(ring::SeekUnits(600000 * kUnitsPerMs, 0, 600000), 0);
}

TEST(RingFiguresTest, SongNamesComeFromTheLastPathComponent) {
  EXPECT_EQ(base::FileNameOf(L"/music/a b/Rock & Roll.mp3"), L"Rock & Roll.mp3");
  EXPECT_EQ(base::WithoutExtension(L"Rock & Roll.mp3"), L"Rock & Roll");
  EXPECT_EQ(base::WithoutExtension(L"live.2009.flac"), L"live.2009");
  EXPECT_EQ(base::WithoutExtension(L"noext"), L"noext");
  EXPECT_EQ(base::FileNameOf(L"song.wav"), L"song.wav");
}

// The Win32 form ends right after the double NUL: nothing is read or kept past the literal.
TEST(RingFiguresTest, SaveFiltersAreDescriptionNulPatternNulNul) {
  struct Case {
    int32_t format;
    std::wstring description, pattern;
  };
  const Case cases[] = {{TVPlayerWrapper::kFormatMp3, L"MP3音乐文件(*.mp3)", L"*.mp3"},
                        {TVPlayerWrapper::kFormatWav, L"波形文件(*.wav)", L"*.wav"}};
  for (const Case& c : cases) {
    const std::wstring expected = c.description + L'\0' + c.pattern + L'\0' + L'\0';
    EXPECT_EQ(MainForm::RingSaveFilter(c.format), expected) << c.format;
  }
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(UsageCountersTest, RecordsAreWrittenInOrderOfFirstUseAsLittleEndianPairs) {
  testsupport::TempDir dir;
  UsageCounters counters;
  counters.Count(UsageCounters::kAddSong);
  counters.Count(UsageCounters::kAddSong);
  counters.Count(UsageCounters::kSaveRing);
  ASSERT_TRUE(counters.Save(dir / "sonaclip.dat"));
  EXPECT_EQ(ReadBytes(dir / "sonaclip.dat"), std::string("\xE9\x03\x02\x00\xEB\x03\x01\x00", 8));
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"sonaclip.dat"}) << "no temporary file stays";
}

TEST(UsageCountersTest, CountsWrapAfter65535AndNothingCountedKeepsAnOldFile) {
  testsupport::TempDir dir;
  UsageCounters counters;
  for (int i = 0; i < 65536; ++i) counters.Count(UsageCounters::kPlayPause);
  counters.Count(UsageCounters::kPlayPause);
  EXPECT_EQ(counters.records(), std::vector<uint32_t>{1002u | (1u << 16)});

  std::ofstream(dir / "sonaclip.dat") << "older";
  EXPECT_TRUE(UsageCounters().Save(dir / "sonaclip.dat"));
  EXPECT_EQ(ReadBytes(dir / "sonaclip.dat"), "older");
  EXPECT_FALSE(counters.Save("/proc/sonaclip.dat")) << "a folder that takes no file";
}

TEST(ProgramFoldersTest, AFolderTakesFilesOnlyWhereOneCanReallyBeCreated) {
  testsupport::TempDir dir;
  EXPECT_TRUE(base::FolderTakesFiles(dir.path()));
  EXPECT_TRUE(dir.Files().empty()) << "the probe leaves nothing behind";
  EXPECT_FALSE(base::FolderTakesFiles("/proc"));
  EXPECT_FALSE(base::FolderTakesFiles(dir / "missing"));
  EXPECT_EQ(base::ProgramOrUserFolder("/opt/p/Ring", true, "/home/u/Music/Ring"), "/opt/p/Ring");
  EXPECT_EQ(base::ProgramOrUserFolder("/usr/lib/p/Ring", false, "/home/u/Music/Ring"),
            "/home/u/Music/Ring");
  // The test program's folder is a build folder: rings go beside it, and both places are listed.
  const std::vector<std::filesystem::path> folders = base::RingFolders();
  ASSERT_FALSE(folders.empty());
  EXPECT_EQ(folders.front(), base::RingFolder());
  EXPECT_EQ(folders.front().filename(), "Ring");
}

}  // namespace
