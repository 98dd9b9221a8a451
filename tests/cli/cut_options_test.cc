#include "cli/cut_options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Format = CutOptions::Format;

std::string Joined(const std::vector<std::string>& args) {
  std::string line;
  for (const auto& a : args) line += a + " ";
  return line;
}

// The options, or nothing after a usage error, whose text is kept in *error.
std::optional<CutOptions> Parse(const std::vector<std::string>& args,
                                std::string* error = nullptr) {
  ParsedCommandLine parsed = ParseCutOptions(args);
  if (error) *error = parsed.text;
  if (!parsed.options) {
    EXPECT_EQ(parsed.exitCode, 2) << Joined(args);
    EXPECT_NE(parsed.text.find("sonaclip-cut: "), std::string::npos)
        << "a refusal always says why: " << Joined(args);
  }
  return parsed.options;
}

TEST(CutOptionsTest, DefaultsLeaveTheSongToDecide) {
  auto options = Parse({"song.flac", "ring.mp3"});
  ASSERT_TRUE(options);
  ASSERT_EQ(options->jobs.size(), 1u);
  EXPECT_EQ(options->jobs[0].song, "song.flac");
  EXPECT_EQ(options->jobs[0].ring, "ring.mp3");
  EXPECT_FALSE(options->Batch());
  EXPECT_FALSE(options->startMs);
  EXPECT_FALSE(options->endMs);
  EXPECT_FALSE(options->bitrateKbps);
  EXPECT_EQ(options->format, Format::kMp3);
  EXPECT_EQ(options->channels, 2);
  EXPECT_EQ(options->volume, 10000);
  EXPECT_EQ(options->fadeInMs, 0);
  EXPECT_EQ(options->fadeOutMs, 0);
  EXPECT_FALSE(options->overwrite);
}

TEST(CutOptionsTest, ReadsEveryOptionInBothSpellings) {
  auto options = Parse({"--start", "0:12.5", "--end=20", "--channels", "1", "--bitrate=064",
                        "--volume", "2.5", "--fade-in", "50ms", "--fade-out=3", "--overwrite",
                        "a b.mp3", "out.WAV"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->startMs, 12500);
  EXPECT_EQ(options->endMs, 20000);
  EXPECT_EQ(options->channels, 1);
  EXPECT_EQ(options->bitrateKbps, 64);  // decimal, not octal
  EXPECT_EQ(options->volume, 25000);
  EXPECT_EQ(options->fadeInMs, 50);  // the 200 ms floor belongs to the cut, not the parser
  EXPECT_EQ(options->fadeOutMs, 3000);
  EXPECT_TRUE(options->overwrite);
  EXPECT_EQ(options->jobs[0].song, "a b.mp3");
  EXPECT_EQ(options->format, Format::kWav);
  EXPECT_TRUE(Parse({"-y", "s", "r.mp3"})->overwrite);
}

// Every time option takes every form, in whole milliseconds; a refusal names the option and the
// text it could not read.
TEST(CutOptionsTest, TimeOptionsReadTheDurationForms) {
  struct Accepted {
    const char* text;
    int32_t ms;
  };
  const Accepted accepted[] = {
      {"30", 30000},       {"1:05.5", 65500},          {"1.5", 1500},      {"1500ms", 1500},
      {"2s", 2000},        {"250000us", 250},          {"0.0019", 1},      {"1:00:00", 3600000},
      {"0", 0},            {"596:31:23.647", 2147483647},
  };
  const char* const refused[] = {"abc", "-5", "-0:01", "1:60", "90:00", "1.", "596:31:23.648",
                                 "1e3", ""};
  for (const char* option : {"--start", "--end", "--fade-in", "--fade-out"}) {
    for (const Accepted& a : accepted) {
      auto options = Parse({option, a.text, "s", "r.mp3"});
      ASSERT_TRUE(options) << option << " " << a.text;
      const std::string name = option;
      const int32_t got = name == "--start"     ? options->startMs.value_or(-1)
                          : name == "--end"     ? options->endMs.value_or(-1)
                          : name == "--fade-in" ? options->fadeInMs
                                                : options->fadeOutMs;
      EXPECT_EQ(got, a.ms) << option << " " << a.text;
    }
    for (const char* text : refused) {
      std::string error;
      EXPECT_FALSE(Parse({option, text, "s", "r.mp3"}, &error)) << option << " " << text;
      EXPECT_NE(error.find(option), std::string::npos) << error;
      EXPECT_NE(error.find("\"" + std::string(text) + "\""), std::string::npos) << error;
    }
  }
}

TEST(CutOptionsTest, TheRingsNameSettlesItsFormat) {
  struct Case {
    std::vector<std::string> args;
    Format format;
  };
  const Case accepted[] = {
      {{"s", "r.wav"}, Format::kWav},
      {{"s", "r.MP3"}, Format::kMp3},
      {{"s", "dir.mp3/R.Wav"}, Format::kWav},
      {{"--format", "mp3", "s", "r.mp3"}, Format::kMp3},
      {{"--format", "WAV", "s", "r.wav"}, Format::kWav},
      {{"--format", "mp3", "s", "ring.bin"}, Format::kMp3},  // asked for in so many words
      {{"--format", "wav", "s", "ring"}, Format::kWav},
      {{"s", "r.m4r"}, Format::kM4r},
      {{"s", "r.M4A"}, Format::kM4r},  // the same AAC ring under Android's name
      {{"s", "r.mp3.ogg"}, Format::kOgg},
      {{"--format", "ogg", "s", "r.ogg"}, Format::kOgg},
      {{"--format", "M4R", "s", "r.m4a"}, Format::kM4r},
  };
  for (const Case& c : accepted) {
    auto options = Parse(c.args);
    ASSERT_TRUE(options) << Joined(c.args);
    EXPECT_EQ(options->format, c.format) << Joined(c.args);
  }

  // Each refusal names what it would take: every format for a name of none, the two formats of a
  // mismatch.
  const std::vector<std::string> allFormats = {"mp3", "wav", "m4r", "ogg", ".m4a"};
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> named;
  } refused[] = {
      {{"s", "r.aac"}, allFormats},
      {{"s", "ring"}, allFormats},
      {{"s", "dir.wav/ring"}, allFormats},  // a dot in a folder name is no extension
      {{"--format", "mp3", "s", "r.wav"}, {"mp3", "wav"}},
      {{"--format", "wav", "s", "r.Mp3"}, {"mp3", "wav"}},
      {{"--format", "m4r", "s", "r.ogg"}, {"m4r", "ogg"}},
      {{"--format", "ogg", "s", "r.m4a"}, {"m4r", "ogg"}},
      {{"--format", "opus", "s", "r.opus"}, {"opus"}},
  };
  for (const auto& c : refused) {
    std::string error;
    EXPECT_FALSE(Parse(c.args, &error)) << Joined(c.args);
    for (const std::string& name : c.named) {
      EXPECT_NE(error.find(name), std::string::npos) << "names " << name << ": " << error;
    }
  }
}

TEST(CutOptionsTest, SeveralSongsGoIntoTheFolderUnderTheirNames) {
  auto options = Parse({"--end", "30", "one.flac", "-o", "rings", "dir/Two.Song.MP3", "three"});
  ASSERT_TRUE(options);
  EXPECT_TRUE(options->Batch());
  EXPECT_EQ(options->format, Format::kMp3);
  ASSERT_EQ(options->jobs.size(), 3u);
  EXPECT_EQ(options->jobs[0].ring, "rings/one.mp3");
  EXPECT_EQ(options->jobs[1].song, "dir/Two.Song.MP3");
  EXPECT_EQ(options->jobs[1].ring, "rings/Two.Song.mp3");
  EXPECT_EQ(options->jobs[2].ring, "rings/three.mp3");

  options = Parse({"--format", "WAV", "--folder=out", "a.mp3"});
  ASSERT_TRUE(options);
  ASSERT_EQ(options->jobs.size(), 1u);
  EXPECT_EQ(options->jobs[0].ring, "out/a.wav");
  options = Parse({"--format", "m4r", "--no-length-limit", "-o", "out", "a.mp3"});
  ASSERT_TRUE(options);
  EXPECT_TRUE(options->noLengthLimit);
  EXPECT_EQ(options->jobs[0].ring, "out/a.m4r");

  EXPECT_FALSE(Parse({"-o", "out"}));
  EXPECT_FALSE(Parse({"a.mp3", "b.mp3", "c.mp3"}));  // several songs need a folder
}

TEST(CutOptionsTest, InfoTakesTheSongAlone) {
  auto options = Parse({"--info", "song.m4a"});
  ASSERT_TRUE(options);
  EXPECT_TRUE(options->info);
  ASSERT_EQ(options->jobs.size(), 1u);
  EXPECT_EQ(options->jobs[0].song, "song.m4a");
  EXPECT_FALSE(Parse({"--info", "song.mp3", "ring.mp3"}));
  EXPECT_FALSE(Parse({"--info", "song.mp3", "-o", "out"}));
}

// --loudness takes a target or stands alone (the window's -14), also before the song's name;
// --true-peak belongs to it, and --volume cannot go with it.
TEST(CutOptionsTest, LoudnessTakesATargetOrTheWindowsOne) {
  struct Accepted {
    std::vector<std::string> args;
    double lufs, truePeak;
    size_t jobs;
  };
  const Accepted accepted[] = {
      {{"--loudness", "-16", "s", "r.mp3"}, -16.0, -1.0, 1},
      {{"--loudness=-9.5", "--true-peak", "-2", "s", "r.mp3"}, -9.5, -2.0, 1},
      {{"--loudness", "s", "r.mp3"}, -14.0, -1.0, 1},
      {{"s", "r.mp3", "--loudness"}, -14.0, -1.0, 1},
      {{"--info", "--loudness", "s.mp3"}, -14.0, -1.0, 1},
  };
  for (const Accepted& a : accepted) {
    SCOPED_TRACE(Joined(a.args));
    auto options = Parse(a.args);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->loudnessLufs, a.lufs);
    EXPECT_EQ(options->truePeakDbtp, a.truePeak);
    EXPECT_EQ(options->jobs.size(), a.jobs);
  }
  EXPECT_FALSE(Parse({"s", "r.mp3"})->loudnessLufs);

  const std::vector<std::vector<std::string>> refused = {
      {"--loudness", "-14", "--volume", "2", "s", "r.mp3"},
      {"--volume", "1", "--loudness", "s", "r.mp3"},
      {"--true-peak", "-2", "s", "r.mp3"},
      {"--loudness", "5", "s", "r.mp3"},
      {"--loudness", "-14dB", "s", "r.mp3"},
      {"--loudness", "--true-peak", "-30", "s", "r.mp3"},
      {"--loudness", "--true-peak", "1-", "s", "r.mp3"},
  };
  for (const auto& args : refused) {
    std::string error;
    EXPECT_FALSE(Parse(args, &error)) << Joined(args);
    EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 2) << "one line of reason: " << error;
  }
}

TEST(CutOptionsTest, HelpShowsTheFormsAndTimeExamples) {
  const ParsedCommandLine parsed = ParseCutOptions({"--help"});
  EXPECT_FALSE(parsed.options);
  EXPECT_EQ(parsed.exitCode, 0);
  for (const char* shown : {"SONG RING", "SONG... -o FOLDER", "--info SONG", "1:05.5", "1500ms",
                            "--overwrite", "--fade-in"}) {
    EXPECT_NE(parsed.text.find(shown), std::string::npos) << shown;
  }
}

// The help's examples are written out as prose: each one must still be a command line the cutter
// takes.
TEST(CutOptionsTest, EveryExampleOfTheHelpParses) {
  const std::string help = ParseCutOptions({"--help"}).text;
  const std::string prefix = "  sonaclip-cut ";
  int examples = 0;
  for (size_t at = help.find(prefix); at != std::string::npos; at = help.find(prefix, at + 1)) {
    const std::string line = help.substr(at + prefix.size(),
                                         help.find('\n', at) - at - prefix.size());
    std::vector<std::string> args;
    std::istringstream words(line);
    for (std::string word; words >> word;) args.push_back(word);
    std::string error;
    EXPECT_TRUE(Parse(args, &error)) << line << "\n" << error;
    ++examples;
  }
  EXPECT_GE(examples, 3) << help;
}

TEST(CutOptionsTest, RefusesBadUsageWithAReason) {
  const std::vector<std::vector<std::string>> refused = {
      {},
      {"song.mp3"},
      {"--start", "5", "--end", "5", "s", "r.mp3"},
      {"--end", "1.5", "--start", "0:02", "s", "r.mp3"},
      {"--channels", "3", "s", "r.mp3"},
      {"--channels", "", "s", "r.mp3"},
      {"--channels", "0x2", "s", "r.mp3"},
      {"--bitrate", "0", "s", "r.mp3"},
      {"--bitrate", "128k", "s", "r.mp3"},
      {"--bitrate", "+128", "s", "r.mp3"},
      {"--volume", "0.5", "s", "r.mp3"},
      {"--volume", "4", "s", "r.mp3"},
      {"--volume", "-1", "s", "r.mp3"},
      {"--volume", "1e0", "s", "r.mp3"},
      {"--start", "1", "--start", "2", "s", "r.mp3"},
      {"--bogus", "s", "r.mp3"},
      {"s", "r.mp3", "--end"},
  };
  for (const auto& args : refused) {
    EXPECT_FALSE(Parse(args)) << Joined(args);
  }
}

TEST(CutOptionsTest, DoubleDashEndsOptions) {
  auto options = Parse({"--", "-song.mp3", "--ring.mp3"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->jobs[0].song, "-song.mp3");
  EXPECT_EQ(options->jobs[0].ring, "--ring.mp3");
}

}  // namespace
