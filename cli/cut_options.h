// The command line of sonaclip-cut, parsed into the values a cut needs. Kept apart from main so
// every refusal can be tested without running a cut. Pure; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CutOptions {
  enum class Format { kFromExtension, kMp3, kWav };

  std::string song;
  std::string ring;                      // empty only with --info
  std::optional<int32_t> startMs;        // default 0
  std::optional<int32_t> endMs;          // default: the song's end
  Format format = Format::kFromExtension;
  int32_t channels = 2;
  std::optional<int32_t> bitrateKbps;    // default: the song's own
  int32_t volume = 10000;                // 1/10000
  int32_t fadeInMs = 0;                  // as typed; the fade rule is applied by the cut
  int32_t fadeOutMs = 0;
  bool info = false;
  bool help = false;

  // MP3 or WAV for the ring: the --format given, else RING's extension (.wav is WAV), else MP3.
  bool WantsWav() const;
};

// Parses argv[1..]. On a usage error returns nothing and sets error to a one-line reason.
std::optional<CutOptions> ParseCutOptions(const std::vector<std::string>& args, std::string& error);

extern const char kCutUsage[];
