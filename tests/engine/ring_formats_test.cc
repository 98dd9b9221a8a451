// The rings coded by codecs.so through the whole cut: real songs, tagged by the ffmpeg command,
// cut by the real plug-ins, the rings read back with ffprobe and ffmpeg. What the tags of each
// kind of song become on each kind of ring, exactness with the tags in place, and a tag that
// cannot be read or written costing nothing but the tag.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <string>
#include <thread>

#include "base/strings.h"
#include "engine/cut_plan.h"
#include "engine/tvplayer_wrapper.h"
#include "tests/engine/ring_fixtures.h"

namespace {

using ringtest::TempDir;

std::wstring W(const std::filesystem::path& path) { return base::UTF8ToWide(path.string()); }
std::string Q(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

struct RingKind {
  int32_t format;
  const char* extension;
};
constexpr RingKind kTaggedKinds[] = {{TVPlayerWrapper::kFormatMp3, ".mp3"},
                                     {TVPlayerWrapper::kFormatM4r, ".m4r"},
                                     {TVPlayerWrapper::kFormatOgg, ".ogg"}};

// A 3 s two-tone song, with the tags and a 64×64 PNG cover when `tagged`.
bool MakeSong(const std::filesystem::path& song, const std::filesystem::path& cover, bool tagged) {
  std::string command = "ffmpeg -v error -y -f lavfi -i 'sine=frequency=440:duration=3' ";
  if (tagged) {
    command += "-i " + Q(cover) + " -map 0:a -map 1:v -c:v copy -disposition:v attached_pic "
               "-metadata title='铃声 Title' -metadata artist='歌手' -metadata album='Album' ";
  }
  return ringtest::Run(command + "-ar 44100 -ac 2 " + Q(song)) == 0;
}

// A tag as ffprobe reads it: of the file (MP3, MP4) or of its audio stream (Vorbis comments).
std::string Tag(const std::filesystem::path& file, const std::string& key) {
  std::string value = ringtest::Capture("ffprobe -v error -show_entries format_tags=" + key +
                                        ":stream_tags=" + key +
                                        " -of default=noprint_wrappers=1:nokey=1 " + Q(file));
  while (!value.empty() && value.back() == '\n') value.pop_back();
  return value.substr(0, value.find('\n'));
}

// The codec of the ring's attached picture, empty without one.
std::string Cover(const std::filesystem::path& file) {
  std::string value = ringtest::Capture(
      "ffprobe -v error -select_streams v -show_entries stream=codec_name:stream_disposition="
      "attached_pic -of csv=p=0 " + Q(file));
  while (!value.empty() && value.back() == '\n') value.pop_back();
  return value;
}

class RingFormatsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(wrapper.Initialize(0)) << "tvplayer.so beside the test executable";
    ASSERT_EQ(ringtest::Run("ffmpeg -v error -y -f lavfi -i color=c=red:s=64x64 -frames:v 1 " +
                            Q(dir / "cover.png")),
              0);
  }

  // The cut the window makes of a 3 s song: 0.5 to 2.5 s, fades, volume ×1.5, stereo.
  bool Cut(const std::filesystem::path& song, const std::filesystem::path& ring, int32_t format) {
    wrapper.PrepareCut(W(song), format, 128);
    return wrapper.StartCutRing(W(ring), 500, 2500, 300, 300, 15000, 2) && wrapper.succeeded();
  }

  // Frames the cut of Cut gives: the section's whole frames and one more.
  static int64_t CutFrames() {
    const auto plan = cutplan::PlanCut(16, 2, 44100, 500, 2500, 0, 0);
    return plan->jobBytes / plan->blockAlign;
  }

  TVPlayerWrapper wrapper;
  TempDir dir;
};

// The title, artist, album and cover of an MP3, a FLAC and an M4A song reach every kind of ring,
// which still decodes to exactly the section; a song without tags gives a ring without them.
TEST_F(RingFormatsTest, TheSongsTagsAndCoverReachEveryRing) {
  for (const char* songName : {"song.mp3", "song.flac", "song.m4a", "bare.wav"}) {
    const bool tagged = std::string(songName) != "bare.wav";
    const std::filesystem::path song = dir / songName;
    ASSERT_TRUE(MakeSong(song, dir / "cover.png", tagged));
    for (const RingKind& kind : kTaggedKinds) {
      SCOPED_TRACE(std::string(songName) + " to " + kind.extension);
      const std::filesystem::path ring = dir / (std::string("ring") + kind.extension);
      ASSERT_TRUE(Cut(song, ring, kind.format));
      EXPECT_EQ(Tag(ring, "title"), tagged ? "铃声 Title" : "");
      EXPECT_EQ(Tag(ring, "artist"), tagged ? "歌手" : "");
      EXPECT_EQ(Tag(ring, "album"), tagged ? "Album" : "");
      EXPECT_EQ(Cover(ring), tagged ? "png,1" : "");
      EXPECT_EQ(ringtest::DecodedFrames(ring, 2), CutFrames());
      std::filesystem::remove(ring);
    }
  }
}

// A song whose tag is damaged, and a disk with no room for the tagged copy: the ring is saved all
// the same, whole and without the tag.
TEST_F(RingFormatsTest, ATagThatCannotBeReadOrWrittenCostsOnlyTheTag) {
  ASSERT_TRUE(MakeSong(dir / "song.mp3", dir / "cover.png", true));
  {
    // The ID3v2 tag keeps its size, so decoders still find the sound after it, but its frames
    // are nonsense: a picture frame far larger than the tag, then bytes of no frame at all.
    std::string bytes = ringtest::ReadAll(dir / "song.mp3");
    ASSERT_EQ(bytes.substr(0, 3), "ID3");
    const std::string junk = std::string("APIC\x7f\xff\xff\xff\x00\x00", 10) +
                             std::string(64, '\xfe');
    bytes.replace(10, junk.size(), junk);
    ringtest::WriteAll(dir / "broken.mp3", bytes);
  }
  for (const RingKind& kind : kTaggedKinds) {
    SCOPED_TRACE(kind.extension);
    const std::filesystem::path ring = dir / (std::string("ring") + kind.extension);
    ASSERT_TRUE(Cut(dir / "broken.mp3", ring, kind.format));
    EXPECT_EQ(Cover(ring), "");
    EXPECT_EQ(ringtest::DecodedFrames(ring, 2), CutFrames());

    // The untagged ring fits under the limit; its copy with the cover does not.
    const auto untagged = std::filesystem::file_size(ring);
    std::filesystem::remove(ring);
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = untagged + 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool cut = Cut(dir / "song.mp3", ring, kind.format);
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &previous, nullptr);
    ASSERT_TRUE(cut);
    EXPECT_EQ(Tag(ring, "title"), "");
    EXPECT_EQ(std::filesystem::file_size(ring), untagged);
    EXPECT_EQ(ringtest::DecodedFrames(ring, 2), CutFrames());
    std::filesystem::remove(ring);
  }
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"broken.mp3", "cover.png", "song.mp3"}));
}

// Closing the progress window at any point before success, for each coded ring: no ring, no
// temporary file, and the file the user already had.
TEST_F(RingFormatsTest, CancelLeavesNoFileAndKeepsTheExistingOne) {
  ASSERT_TRUE(ringtest::MakeToneMp3(dir / "song.mp3", 60));
  for (const RingKind& kind : {kTaggedKinds[1], kTaggedKinds[2]}) {
    const std::filesystem::path ring = dir / (std::string("ring") + kind.extension);
    ringtest::WriteAll(ring, "the user's own file");
    for (float cancelAt : {-1.0f, 0.0f, 30.0f}) {
      SCOPED_TRACE(std::string(kind.extension) + " at " + std::to_string(cancelAt));
      wrapper.SetProgressUi([&](HWND, TVPlayerWrapper& job) {
        while (cancelAt >= 0 && job.progressPercent() <= cancelAt && !job.jobFinished()) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return 0;
      });
      wrapper.PrepareCut(W(dir / "song.mp3"), kind.format, 128);
      EXPECT_TRUE(wrapper.StartCutRing(W(ring), 0, 59000, 2000, 2000, 15000, 2));
      EXPECT_FALSE(wrapper.succeeded());
      EXPECT_EQ(ringtest::ReadAll(ring), "the user's own file");
    }
    std::filesystem::remove(ring);
  }
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"cover.png", "song.mp3"}));
}

}  // namespace
