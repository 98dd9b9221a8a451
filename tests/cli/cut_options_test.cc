#include "cli/cut_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::optional<CutOptions> Parse(std::vector<std::string> args, std::string* error = nullptr) {
  std::string reason;
  auto options = ParseCutOptions(args, reason);
  if (error) *error = reason;
  if (!options) {
    EXPECT_FALSE(reason.empty()) << "a refusal always says why";
  }
  return options;
}

TEST(CutOptionsTest, DefaultsLeaveTheSongToDecide) {
  auto options = Parse({"song.flac", "ring.mp3"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->song, "song.flac");
  EXPECT_EQ(options->ring, "ring.mp3");
  EXPECT_FALSE(options->startMs);
  EXPECT_FALSE(options->endMs);
  EXPECT_FALSE(options->bitrateKbps);
  EXPECT_EQ(options->channels, 2);
  EXPECT_EQ(options->volume, 10000);
  EXPECT_EQ(options->fadeInMs, 0);
  EXPECT_EQ(options->fadeOutMs, 0);
  EXPECT_FALSE(options->WantsWav());
}

TEST(CutOptionsTest, ReadsEveryOptionInBothSpellings) {
  auto options = Parse({"--start", "0:12.5", "--end=20000", "--channels", "1", "--bitrate=64",
                        "--volume", "2.5", "--fade-in", "50", "--fade-out=3000", "a b.mp3",
                        "out.WAV"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->startMs, 12500);
  EXPECT_EQ(options->endMs, 20000);
  EXPECT_EQ(options->channels, 1);
  EXPECT_EQ(options->bitrateKbps, 64);
  EXPECT_EQ(options->volume, 25000);
  EXPECT_EQ(options->fadeInMs, 50);  // the 200 ms floor belongs to the cut, not the parser
  EXPECT_EQ(options->fadeOutMs, 3000);
  EXPECT_EQ(options->song, "a b.mp3");
  EXPECT_TRUE(options->WantsWav());  // extension in any case
}

TEST(CutOptionsTest, FormatComesFromTheOptionThenTheExtension) {
  struct Case {
    std::vector<std::string> args;
    bool wav;
  };
  const Case cases[] = {
      {{"s", "r.wav"}, true},
      {{"s", "r.mp3"}, false},
      {{"s", "ring"}, false},
      {{"s", "dir.wav/ring"}, false},  // a dot in a folder name is no extension
      {{"--format", "mp3", "s", "r.wav"}, false},
      {{"--format", "WAV", "s", "r.mp3"}, true},
  };
  for (const Case& c : cases) {
    auto options = Parse(c.args);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->WantsWav(), c.wav) << c.args.back();
  }
}

TEST(CutOptionsTest, InfoTakesTheSongAlone) {
  auto options = Parse({"--info", "song.mp3"});
  ASSERT_TRUE(options);
  EXPECT_TRUE(options->info);
  EXPECT_TRUE(options->ring.empty());
  EXPECT_FALSE(Parse({"--info", "song.mp3", "ring.mp3"}));
  EXPECT_TRUE(Parse({"--help"})->help);
}

TEST(CutOptionsTest, RefusesBadUsageWithAReason) {
  const std::vector<std::vector<std::string>> refused = {
      {},
      {"song.mp3"},
      {"a", "b", "c"},
      {"--start", "abc", "s", "r"},
      {"--start", "5", "--end", "5", "s", "r"},
      {"--end", "1.5", "--start", "0:02", "s", "r"},
      {"--channels", "3", "s", "r"},
      {"--channels", "", "s", "r"},
      {"--format", "ogg", "s", "r"},
      {"--bitrate", "0", "s", "r"},
      {"--bitrate", "128k", "s", "r"},
      {"--volume", "0.5", "s", "r"},
      {"--volume", "4", "s", "r"},
      {"--volume", "-1", "s", "r"},
      {"--volume", "1e0", "s", "r"},
      {"--fade-in", "-200", "s", "r"},
      {"--fade-out", "2s", "s", "r"},
      {"--bogus", "s", "r"},
      {"s", "r", "--end"},
  };
  for (const auto& args : refused) {
    std::string line;
    for (const auto& a : args) line += a + " ";
    EXPECT_FALSE(Parse(args)) << line;
  }
}

TEST(CutOptionsTest, DoubleDashEndsOptions) {
  auto options = Parse({"--", "-song.mp3", "--ring.mp3"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->song, "-song.mp3");
  EXPECT_EQ(options->ring, "--ring.mp3");
}

}  // namespace
