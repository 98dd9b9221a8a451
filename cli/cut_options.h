// The command line of sonaclip-cut, parsed into the cuts to make. Kept apart from main so every
// refusal can be tested without running a cut. The options are declared once, with CLI11, which
// gives the parsing, the help text and the error messages; this file adds only the time syntax
// and the rules that tie options to file names. Pure; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The option names, written once: the parser declares the options under them, and the usage
// lines and the refusals quote them. (The tests spell them out as a user types them, so a renamed
// option shows there as the changed command line it is.)
namespace cutopt {
inline constexpr char kStart[] = "--start";
inline constexpr char kEnd[] = "--end";
inline constexpr char kFadeIn[] = "--fade-in";
inline constexpr char kFadeOut[] = "--fade-out";
inline constexpr char kFormat[] = "--format";
inline constexpr char kChannels[] = "--channels";
inline constexpr char kBitrate[] = "--bitrate";
inline constexpr char kVolume[] = "--volume";
inline constexpr char kOverwrite[] = "-y";
inline constexpr char kOverwriteLong[] = "--overwrite";
inline constexpr char kFolder[] = "-o";
inline constexpr char kFolderLong[] = "--folder";
inline constexpr char kInfo[] = "--info";
inline constexpr char kNoLengthLimit[] = "--no-length-limit";
inline constexpr char kLoudness[] = "--loudness";
inline constexpr char kTruePeak[] = "--true-peak";
}  // namespace cutopt

struct CutOptions {
  enum class Format { kMp3, kWav, kM4r, kOgg };

  // The longest ring an iPhone takes; a longer ".m4r" is refused unless noLengthLimit.
  static constexpr int32_t kIphoneRingMaxMs = 40000;

  // One song and where its ring goes.
  struct Job {
    std::string song;
    std::string ring;  // empty with --info
  };

  // SONG RING gives one job; SONG... -o FOLDER one job per song, the rings in FOLDER.
  std::vector<Job> jobs;
  std::string folder;                    // set only in the second form
  std::optional<int32_t> startMs;        // default 0
  std::optional<int32_t> endMs;          // default: the song's end
  Format format = Format::kMp3;          // settled: --format, else the ring's extension
  int32_t channels = 2;
  std::optional<int32_t> bitrateKbps;    // default: the song's own
  int32_t volume = 10000;                // 1/10000
  int32_t fadeInMs = 0;                  // as typed; the 200 ms floor is the cut's rule
  int32_t fadeOutMs = 0;
  bool overwrite = false;                // replace existing rings without asking
  bool info = false;
  bool noLengthLimit = false;            // cut ".m4r" rings longer than an iPhone takes
  // --loudness: the ring normalised to this integrated loudness (LUFS), its true peak at most
  // truePeakDbtp; with --info, the song's loudness and true peak printed too.
  std::optional<double> loudnessLufs;
  double truePeakDbtp = -1.0;

  bool Batch() const { return !folder.empty(); }
};

// What the command line asks for: the cuts, or a text to print and an exit code (0 with the
// help on stdout, 2 with a usage error for stderr).
struct ParsedCommandLine {
  std::optional<CutOptions> options;
  int exitCode = 0;
  std::string text;
};

// Parses argv[1..].
ParsedCommandLine ParseCutOptions(const std::vector<std::string>& args);
