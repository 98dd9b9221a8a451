// sonaclip-cut as a script uses it: the built executable, run in a shell, on real files.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/cut_plan.h"
#include "tests/engine/ring_fixtures.h"

namespace {

using ringtest::TempDir;

const std::filesystem::path kBinDir = SONACLIP_BIN_DIR;

struct Result {
  int code;
  std::string out, err;
};

Result Cut(const std::string& args, const std::filesystem::path& binDir = kBinDir) {
  TempDir logs;
  const int code = ringtest::Run("'" + (binDir / "sonaclip-cut").string() + "' " + args + " >'" +
                                 (logs / "out").string() + "' 2>'" + (logs / "err").string() +
                                 "' </dev/null");
  return {code, ringtest::ReadAll(logs / "out"), ringtest::ReadAll(logs / "err")};
}

std::string Q(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

std::vector<std::string> Names(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

size_t Lines(const std::string& text) {
  size_t n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

TEST(SonaclipCutTest, CutsAWavRingWithTheWindowsRules) {
  TempDir dir;
  const ringtest::Pcm song = ringtest::MakeSong(16, 2, 8000, 8000 * 3, 11);
  ringtest::WriteWav(dir / "song.wav", song);

  // 0:00.5 to 2.5 s; a 50 ms fade-in becomes the window's 200 ms; x2.5 volume; one channel.
  const Result r = Cut("--start 0:00.5 --end 2.5 --fade-in 50ms --fade-out 0.3 --volume 2.5 "
                       "--channels 1 " + Q(dir / "song.wav") + " " + Q(dir / "ring.wav"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "") << "no bar when stderr is not a terminal";

  const auto plan = cutplan::PlanCut(16, 2, 8000, 500, 2500, 200, 300);
  const ringtest::Pcm expected =
      ringtest::ExpectedRing(song, 4000, plan->jobBytes, 25000, 200, 300, 1);
  const auto ring = ringtest::ReadWav(dir / "ring.wav");
  ASSERT_TRUE(ring.ok);
  EXPECT_EQ(ring.pcm.channels, 1);
  EXPECT_TRUE(ring.pcm.samples == expected.samples);
}

TEST(SonaclipCutTest, Mp3RingsTakeTheSongsOwnBitRateUnlessTold) {
  TempDir dir;
  ASSERT_EQ(ringtest::Run("ffmpeg -v error -f lavfi -i 'sine=frequency=500:duration=4' -ar 44100 "
                          "-ac 2 -c:a libmp3lame -b:a 192k " + Q(dir / "song.mp3")),
            0);
  // A bare number is seconds: two seconds of ring.
  Result r = Cut("--start 1 --end 3 " + Q(dir / "song.mp3") + " " + Q(dir / "ring.mp3"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(ringtest::ProbeStream(dir / "ring.mp3", "bit_rate"), "192000");
  EXPECT_EQ(ringtest::ProbeStream(dir / "ring.mp3", "channels"), "2");
  EXPECT_EQ(ringtest::DecodedFrames(dir / "ring.mp3", 2), 88200 + 1);

  r = Cut("--format mp3 --bitrate 64 --channels 1 --end 1.0 " + Q(dir / "song.mp3") + " " +
          Q(dir / "ring.x"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(ringtest::ProbeStream(dir / "ring.x", "bit_rate"), "64000");
  EXPECT_EQ(ringtest::ProbeStream(dir / "ring.x", "channels"), "1");

  // A WAV song's own rate (1411 kbps) is more than MP3 allows: the ring still comes out, at the
  // nearest rate the format has.
  ringtest::WriteWav(dir / "song.wav", ringtest::MakeSong(16, 2, 44100, 44100));
  r = Cut(Q(dir / "song.wav") + " " + Q(dir / "big.mp3"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(ringtest::ProbeStream(dir / "big.mp3", "bit_rate"), "320000");
}

// ".m4r" and ".m4a" name the AAC ring, ".ogg" the Vorbis one; an iPhone ring over 40 s is a
// usage error with one line of reason that leaves the older file, unless the limit is lifted.
TEST(SonaclipCutTest, CodedRingsComeFromTheirNamesAndIphoneRingsStopAt40s) {
  TempDir dir;
  ringtest::WriteWav(dir / "song.wav", ringtest::MakeSong(16, 1, 8000, 8000 * 45, 5));
  const auto section = [](int32_t startMs, int32_t endMs) {
    const auto plan = cutplan::PlanCut(16, 1, 8000, startMs, endMs, 0, 0);
    return plan->jobBytes / plan->blockAlign;
  };
  const struct {
    const char* options;
    const char* ring;
    const char* codec;
    int64_t frames;
    int channels = 1;
  } made[] = {
      {"--start 5 --end 44", "ring.m4r", "aac", section(5000, 44000), 2},  // 39 s
      {"--channels 1", "ring.M4A", "aac", 8000 * 45},                    // no limit for Android
      {"--start 1 --end 3 --channels 1", "ring.ogg", "vorbis", section(1000, 3000)},
      {"--no-length-limit --channels 1", "long.m4r", "aac", 8000 * 45},
  };
  for (const auto& m : made) {
    SCOPED_TRACE(m.ring);
    const Result r = Cut(std::string(m.options) + " " + Q(dir / "song.wav") + " " + Q(dir / m.ring));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ringtest::ProbeStream(dir / m.ring, "codec_name"), m.codec);
    EXPECT_EQ(ringtest::DecodedFrames(dir / m.ring, m.channels), m.frames);
  }

  ringtest::WriteAll(dir / "old.m4r", "kept");
  for (const char* options : {"-y", "-y --start 4.9", "-y --format m4r"}) {
    SCOPED_TRACE(options);
    const Result r = Cut(std::string(options) + " " + Q(dir / "song.wav") + " " + Q(dir / "old.m4r"));
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find("40 s"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--no-length-limit"), std::string::npos) << r.err;
    EXPECT_EQ(ringtest::ReadAll(dir / "old.m4r"), "kept");
  }
  EXPECT_EQ(Names(dir.path()),
            (std::vector<std::string>{"long.m4r", "old.m4r", "ring.M4A", "ring.m4r", "ring.ogg",
                                      "song.wav"}));
}

TEST(SonaclipCutTest, InfoPrintsTheSongsMediaInformation) {
  TempDir dir;
  ringtest::WriteWav(dir / "song.wav", ringtest::MakeSong(24, 1, 8000, 8000 * 2));
  const Result r = Cut("--info " + Q(dir / "song.wav"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"bitsPerSample\":24,\"channels\":1,\"sampleRate\":8000,\"bitrateKbps\":192,"
            "\"duration\":20000000}\n");
}

// --loudness as the window's last volume item does it, checked by the ffmpeg command's meter; the
// cases it cannot measure are named; --info --loudness prints the song's own figures.
TEST(SonaclipCutTest, LoudnessNormalisesTheRingAndSaysWhenItCannot) {
  TempDir dir;
  ASSERT_EQ(ringtest::Run("ffmpeg -v error -f lavfi -i 'aevalsrc=0.0316*sin(2*PI*1000*t):s=44100:"
                          "d=6:c=stereo' " + Q(dir / "tone.wav") + " && ffmpeg -v error -f lavfi "
                          "-i 'anullsrc=r=44100:cl=stereo' -t 3 " + Q(dir / "silent.wav")),
            0);
  Result r = Cut("--loudness -16 --start 1 --end 5 " + Q(dir / "tone.wav") + " " +
                 Q(dir / "ring.mp3"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "") << "a ring at its target needs no note";
  const ringtest::Loudness ring = ringtest::MeasureLoudness(dir / "ring.mp3");
  EXPECT_NEAR(ring.lufs, -16.0, 0.5);

  r = Cut("--info --loudness " + Q(dir / "tone.wav"));
  ASSERT_EQ(r.code, 0) << r.err;
  const auto field = [&](const std::string& key) {
    const size_t at = r.out.find("\"" + key + "\":");
    return at == std::string::npos ? 0.0 : std::strtod(r.out.c_str() + at + key.size() + 3, nullptr);
  };
  EXPECT_NEAR(field("integratedLufs"), -30.0, 0.1) << r.out;
  EXPECT_NEAR(field("truePeakDbtp"), -30.0, 0.1) << r.out;

  struct Note {
    std::string args, says;
  };
  for (const Note& n : {Note{"--info --loudness " + Q(dir / "silent.wav"),
                             "\"integratedLufs\":null,\"truePeakDbtp\":null}"},
                        Note{"--loudness -y " + Q(dir / "silent.wav") + " " + Q(dir / "s.wav"),
                             "silent, no loudness to measure; written unchanged"},
                        Note{"--loudness -y --end 300ms " + Q(dir / "tone.wav") + " " +
                                 Q(dir / "s.wav"),
                             "shorter than 0.4 s, too short to measure its loudness"},
                        Note{"--loudness 0 -y " + Q(dir / "tone.wav") + " " + Q(dir / "s.wav"),
                             "LUFS, not 0.0: louder would pass the -1.0 dBTP ceiling"}}) {
    r = Cut(n.args);
    EXPECT_EQ(r.code, 0) << n.args << "\n" << r.err;
    EXPECT_NE((r.out + r.err).find(n.says), std::string::npos) << r.out << r.err;
  }
}

// Refusals: the exit code, one line saying why, and nothing left behind.
TEST(SonaclipCutTest, FailuresExitWithTheirCodeAndLeaveNothing) {
  TempDir dir;
  ringtest::WriteWav(dir / "song.wav", ringtest::MakeSong(16, 2, 8000, 8000 * 2));
  ringtest::WriteAll(dir / "notes.txt", "not a song");
  ringtest::WriteAll(dir / "ring.mp3", "kept");
  const std::string song = Q(dir / "song.wav");

  struct Case {
    std::string args;
    int code;
  };
  const Case cases[] = {
      {"", 2},
      {song, 2},
      {"--channels 3 " + song + " " + Q(dir / "r.wav"), 2},
      {"--volume 5 " + song + " " + Q(dir / "r.wav"), 2},
      {"--start 3.0 " + song + " " + Q(dir / "r.wav"), 2},  // past the song's 2 s
      {"--start 1:00 --end 0:30 " + song + " " + Q(dir / "r.wav"), 2},
      {song + " " + Q(dir / "r.aac"), 2},  // no format of that name
      {"--format mp3 " + song + " " + Q(dir / "r.wav"), 2},
      {song + " " + Q(dir / "ring.mp3"), 1},  // kept without -y
      {Q(dir / "missing.wav") + " " + Q(dir / "r.wav"), 1},
      {Q(dir / "notes.txt") + " " + Q(dir / "r.wav"), 1},
      {"--info " + Q(dir / "notes.txt"), 1},
      {song + " " + Q(dir / "notes.txt" / "r.wav"), 1},  // the folder is a file
      {song + " " + Q(dir / "no" / "such" / "r.wav"), 1},
      {song + " " + song, 1},                               // the ring would replace the song
  };
  for (const Case& c : cases) {
    const Result r = Cut(c.args);
    EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.err;
    if (c.code == 1) {
      EXPECT_EQ(Lines(r.err), 1u) << r.err;
    }
  }
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"notes.txt", "ring.mp3", "song.wav"}));
  EXPECT_EQ(ringtest::ReadAll(dir / "ring.mp3"), "kept");
  EXPECT_EQ(ringtest::ReadWav(dir / "song.wav").pcm.frames(), 16000);
}

// A song that does not open is refused with the step that failed and the decoder's reason, for a
// cut and for --info alike.
TEST(SonaclipCutTest, SaysWhichStepFailedAndWhyForASongThatDoesNotOpen) {
  TempDir dir;
  std::string noise(4096, '\0');
  uint32_t state = 12345;
  for (char& c : noise) c = static_cast<char>((state = state * 1103515245 + 12345) >> 24);
  ringtest::WriteAll(dir / "damaged.mp3", noise);
  ringtest::WriteWav(dir / "silent.wav", ringtest::MakeSong(16, 2, 8000, 0));
  ringtest::WriteAll(dir / "notes.txt", "not a song");

  struct Case {
    std::string song;
    std::string step;
    std::string reason;  // empty: any reason, as long as there is one
  };
  const Case cases[] = {
      {"damaged.mp3", "open", ""},
      {"notes.txt", "open", "Invalid data found when processing input"},
      {"silent.wav", "decode", "no audio could be decoded"},
      {"missing.mp3", "open", "not a regular file"},
  };
  for (const Case& c : cases) {
    const std::string song = (dir / c.song).string();
    const std::string expected =
        "sonaclip-cut: cannot open " + song + ": " + c.step + " failed for " + song + ": ";
    for (const std::string& args :
         {Q(song) + " " + Q(dir / "ring.mp3"), "--info " + Q(song)}) {
      const Result r = Cut(args);
      EXPECT_EQ(r.code, 1) << args;
      ASSERT_EQ(r.err.rfind(expected, 0), 0u) << args << "\n" << r.err;
      const std::string reason = r.err.substr(expected.size());
      if (c.reason.empty()) {
        EXPECT_GT(reason.size(), 1u) << r.err;
        EXPECT_EQ(Lines(reason), 1u) << r.err;
      } else {
        EXPECT_EQ(reason, c.reason + "\n");
      }
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "ring.mp3"));
}

// A song cut off after 10.5 s whose header promises a minute: a section that passes its real end
// is no ring; the cutter says where the song ends and keeps the older ring.
TEST(SonaclipCutTest, ASongThatEndsBeforeItsSectionDoesIsRefusedWithWhereItEnds) {
  TempDir dir;
  const std::filesystem::path song = dir / "cut off.mp3";
  ASSERT_TRUE(ringtest::MakeCutOffMp3(song, 60, 168000));
  const double endsAt = ringtest::DecodedFrames(song, 2) / 44100.0;
  ASSERT_NEAR(endsAt, 10.5, 0.2);
  ringtest::WriteAll(dir / "ring.mp3", "kept");

  struct Case {
    std::string section;
    std::string sectionEnd;  // empty: the ring is cut
  };
  const Case cases[] = {
      {"--start 5 --end 40", "0:40.0"},
      {"--start 0:50 --end 0:55", "0:55.0"},  // begins after the song has ended
      {"--start 2 --end 5", ""},
  };
  for (const Case& c : cases) {
    const Result r = Cut("-y " + c.section + " " + Q(song) + " " + Q(dir / "ring.mp3"));
    if (c.sectionEnd.empty()) {
      EXPECT_EQ(r.code, 0) << c.section << "\n" << r.err;
      EXPECT_NEAR(ringtest::DecodedFrames(dir / "ring.mp3", 2), 3 * 44100, 441) << c.section;
      continue;
    }
    EXPECT_EQ(r.code, 1) << c.section;
    const std::string head = "sonaclip-cut: " + song.string() + " ends at 0:";
    const std::string tail = ", before the section's end (" + c.sectionEnd + "); " +
                             (dir / "ring.mp3").string() + " not written\n";
    ASSERT_EQ(r.err.rfind(head, 0), 0u) << r.err;
    ASSERT_GT(r.err.size(), head.size() + tail.size()) << r.err;
    EXPECT_EQ(r.err.substr(r.err.size() - tail.size()), tail);
    const std::string shown = r.err.substr(head.size(), r.err.size() - head.size() - tail.size());
    EXPECT_NEAR(std::stod(shown), endsAt, 0.15) << r.err;
    EXPECT_EQ(ringtest::ReadAll(dir / "ring.mp3"), "kept") << c.section;
    EXPECT_EQ(dir.Files(), (std::vector<std::string>{"cut off.mp3", "ring.mp3"}));
  }
}

// The cutter on a pseudo-terminal: answers its question, if it asks one, and collects what it
// shows until it exits.
struct TerminalRun {
  int code = -1;
  std::string screen;
  bool asked = false;
};

TerminalRun RunOnTerminal(const std::vector<std::string>& args, const std::string& answer) {
  std::vector<std::string> argv = {(kBinDir / "sonaclip-cut").string()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (std::string& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  TerminalRun run;
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return run;
  if (pid == 0) {
    execv(cargv[0], cargv.data());
    _exit(127);
  }
  // Generous: the machine is shared and the cutter runs under the sanitizers.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd fd = {master, POLLIN, 0};
    if (poll(&fd, 1, 500) <= 0) continue;
    char buffer[512];
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0) break;  // EIO: the cutter has closed its terminal
    run.screen.append(buffer, static_cast<size_t>(got));
    if (!run.asked && run.screen.find("overwrite? [y/N]") != std::string::npos) {
      run.asked = true;
      const std::string line = answer + "\n";
      EXPECT_EQ(write(master, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    }
  }
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);  // still running after the deadline: the test fails below
    waitpid(pid, &status, 0);
  }
  close(master);
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// A ring that exists is kept without -y: refused where nobody can answer, asked on a terminal.
TEST(SonaclipCutTest, AnExistingRingIsReplacedOnlyWhenTheUserSaysSo) {
  TempDir dir;
  ringtest::WriteWav(dir / "song.wav", ringtest::MakeSong(16, 2, 8000, 8000 * 2, 5));
  const std::string song = (dir / "song.wav").string();
  const std::string ring = (dir / "ring.wav").string();
  auto replaced = [&] { return ringtest::ReadWav(ring).ok; };

  ringtest::WriteAll(ring, "kept");
  Result r = Cut("--end 1 " + Q(song) + " " + Q(ring));
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(Lines(r.err), 1u) << r.err;
  EXPECT_NE(r.err.find("-y"), std::string::npos) << "says how to replace it: " << r.err;
  EXPECT_EQ(ringtest::ReadAll(ring), "kept");

  TerminalRun no = RunOnTerminal({"--end", "1", song, ring}, "n");
  EXPECT_TRUE(no.asked) << no.screen;
  EXPECT_EQ(no.code, 1) << no.screen;
  EXPECT_EQ(ringtest::ReadAll(ring), "kept");

  TerminalRun yes = RunOnTerminal({"--end", "1", song, ring}, "y");
  EXPECT_TRUE(yes.asked) << yes.screen;
  EXPECT_EQ(yes.code, 0) << yes.screen;
  ASSERT_TRUE(replaced());
  EXPECT_EQ(ringtest::ReadWav(ring).pcm.frames(),
            cutplan::PlanCut(16, 2, 8000, 0, 1000, 0, 0)->jobBytes / 4);

  ringtest::WriteAll(ring, "kept");
  TerminalRun forced = RunOnTerminal({"--end", "1", "-y", song, ring}, "n");
  EXPECT_FALSE(forced.asked) << forced.screen;
  EXPECT_EQ(forced.code, 0) << forced.screen;
  EXPECT_TRUE(replaced());

  ringtest::WriteAll(ring, "kept");
  r = Cut("--overwrite --end 1 " + Q(song) + " " + Q(ring));
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(replaced());
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"ring.wav", "song.wav"}));
}

// Three songs, the middle one broken: the other two are cut, the broken one is named with its
// reason, and the run says it did not cut everything.
TEST(SonaclipCutTest, ABatchCutsEverySongItCanAndNamesTheOthers) {
  TempDir dir;
  const ringtest::Pcm first = ringtest::MakeSong(16, 2, 8000, 8000 * 2, 21);
  const ringtest::Pcm third = ringtest::MakeSong(16, 1, 8000, 8000 * 3, 23);
  ringtest::WriteWav(dir / "first.wav", first);
  ringtest::WriteAll(dir / "broken.wav", "RIFF and then nothing");
  ringtest::WriteWav(dir / "third.wav", third);
  std::filesystem::create_directory(dir / "rings");

  const Result r = Cut("--start 0.5 --end 0:01.5 --format wav " + Q(dir / "first.wav") + " " +
                       Q(dir / "broken.wav") + " " + Q(dir / "third.wav") + " -o " +
                       Q(dir / "rings"));
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_EQ(Lines(r.err), 3u) << "one line per song:\n" << r.err;
  EXPECT_NE(r.err.find("[2/3] " + (dir / "broken.wav").string() + ": cannot open"),
            std::string::npos)
      << r.err;

  const auto plan = cutplan::PlanCut(16, 2, 8000, 500, 1500, 0, 0);
  const auto ring = ringtest::ReadWav(dir / "rings" / "first.wav");
  ASSERT_TRUE(ring.ok);
  EXPECT_TRUE(ring.pcm.samples ==
              ringtest::ExpectedRing(first, 4000, plan->jobBytes, 10000, 0, 0, 2).samples);
  EXPECT_TRUE(ringtest::ReadWav(dir / "rings" / "third.wav").ok);
  EXPECT_EQ(Names(dir / "rings"), (std::vector<std::string>{"first.wav", "third.wav"}));
}

// Even with -y a batch replaces neither one of its own songs nor a ring it has just made.
TEST(SonaclipCutTest, ABatchReplacesNoneOfItsSongsNorItsOwnRings) {
  TempDir dir;
  std::filesystem::create_directories(dir / "one");
  std::filesystem::create_directories(dir / "two");
  std::filesystem::create_directories(dir / "rings");
  ringtest::WriteWav(dir / "one" / "a.wav", ringtest::MakeSong(16, 2, 8000, 8000, 31));
  ringtest::WriteWav(dir / "two" / "a.wav", ringtest::MakeSong(16, 2, 8000, 8000, 32));
  // A song that lies in the folder, under the name the next song's ring would take.
  ringtest::WriteWav(dir / "rings" / "b.wav", ringtest::MakeSong(16, 2, 8000, 8000, 33));
  ringtest::WriteWav(dir / "two" / "b.wav", ringtest::MakeSong(16, 2, 8000, 8000, 34));
  const auto before = ringtest::ReadAll(dir / "rings" / "b.wav");

  const Result r = Cut("-y --format wav --end 0.5 " + Q(dir / "one" / "a.wav") + " " +
                       Q(dir / "two" / "a.wav") + " " + Q(dir / "rings" / "b.wav") + " " +
                       Q(dir / "two" / "b.wav") + " -o " + Q(dir / "rings"));
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_EQ(Lines(r.err), 4u) << r.err;
  EXPECT_NE(r.err.find("[2/4] " + (dir / "two" / "a.wav").string() + ": "), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("[4/4] " + (dir / "two" / "b.wav").string() + ": "), std::string::npos)
      << r.err;
  EXPECT_EQ(Names(dir / "rings"), (std::vector<std::string>{"a.wav", "b.wav"}));
  EXPECT_EQ(ringtest::ReadAll(dir / "rings" / "b.wav"), before);
  EXPECT_EQ(ringtest::ReadWav(dir / "rings" / "a.wav").pcm.frames(),
            cutplan::PlanCut(16, 2, 8000, 0, 500, 0, 0)->jobBytes / 4);

  // A folder that is not there is one refusal, not one per song.
  const Result missing =
      Cut(Q(dir / "one" / "a.wav") + " " + Q(dir / "two" / "a.wav") + " -o " + Q(dir / "none"));
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(Lines(missing.err), 1u) << missing.err;
}

// A copy of the cutter with only some of its plug-ins beside it.
TEST(SonaclipCutTest, MissingPluginsRefuseWhatNeedsThem) {
  TempDir song;
  ringtest::WriteWav(song / "song.wav", ringtest::MakeSong(16, 2, 8000, 8000));
  TempDir bin;
  std::filesystem::copy_file(kBinDir / "sonaclip-cut", bin / "sonaclip-cut");
  std::filesystem::permissions(bin / "sonaclip-cut", std::filesystem::perms::owner_all);

  // No tvplayer.so: nothing can be opened.
  Result r = Cut(Q(song / "song.wav") + " " + Q(song / "ring.wav"), bin.path());
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("tvplayer.so"), std::string::npos) << r.err;

  // tvplayer.so but no codecs.so: WAV rings still work, coded rings are refused and leave
  // nothing.
  std::filesystem::copy_file(kBinDir / "tvplayer.so", bin / "tvplayer.so");
  for (const char* ring : {"ring.mp3", "ring.m4r", "ring.ogg"}) {
    r = Cut(Q(song / "song.wav") + " " + Q(song / ring), bin.path());
    EXPECT_EQ(r.code, 1) << ring << ": " << r.err;
  }
  r = Cut(Q(song / "song.wav") + " " + Q(song / "ring.wav"), bin.path());
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(song.Files(), (std::vector<std::string>{"ring.wav", "song.wav"}));
}

// Ctrl+C while cutting: the job stops, nothing is written, the earlier file stays.
TEST(SonaclipCutTest, InterruptLeavesTheEarlierFile) {
  TempDir dir;
  ASSERT_EQ(ringtest::Run("ffmpeg -v error -f lavfi -i 'sine=frequency=400:duration=60' -ar 44100 "
                          "-ac 2 -c:a libmp3lame " + Q(dir / "song.mp3")),
            0);
  ringtest::WriteAll(dir / "ring.mp3", "kept");
  // Interrupted as soon as its ConvertWork thread shows that the job runs.
  const std::string script =
      "'" + (kBinDir / "sonaclip-cut").string() + "' -y " + Q(dir / "song.mp3") + " " +
      Q(dir / "ring.mp3") + " 2>" + Q(dir / "err") + " & pid=$!; "
      "for i in $(seq 1 2000); do cat /proc/$pid/task/*/comm 2>/dev/null | grep -q ConvertWork "
      "&& break; sleep 0.005; done; kill -INT $pid; wait $pid";
  TempDir scripts;
  ringtest::WriteAll(scripts / "interrupt.sh", script + "\n");
  EXPECT_EQ(ringtest::Run("bash " + Q(scripts / "interrupt.sh")), 1);
  const std::string err = ringtest::ReadAll(dir / "err");
  std::filesystem::remove(dir / "err");
  EXPECT_NE(err.find("interrupted"), std::string::npos) << err;
  EXPECT_EQ(ringtest::ReadAll(dir / "ring.mp3"), "kept");
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"ring.mp3", "song.mp3"}));
}

}  // namespace
