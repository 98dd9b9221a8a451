#include "cli/cut_options.h"

#include <cctype>
#include <charconv>
#include <cstdlib>

#include "engine/cut_plan.h"

const char kCutUsage[] =
    "usage: sonaclip-cut [options] SONG RING\n"
    "  --start TIME        section start (default 0)\n"
    "  --end TIME          section end (default: end of the song)\n"
    "  --format mp3|wav    default: from RING's extension, else mp3\n"
    "  --channels 1|2      default 2\n"
    "  --bitrate KBPS      MP3 bit rate; default: the song's own\n"
    "  --volume X          gain multiplier 1 to 3 (1, 1.5, 2, 2.5, 3); default 1\n"
    "  --fade-in MS        0 = off (default); an enabled fade is at least 200 ms\n"
    "  --fade-out MS       likewise\n"
    "  --info              print the song's media information as one JSON object and exit\n"
    "TIME is whole milliseconds (12500), seconds with a decimal point (12.5), or m:ss[.fff] "
    "(0:12.5)\n";

namespace {

std::optional<int32_t> ParseWhole(const std::string& text, int32_t low, int32_t high) {
  int32_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty() || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

std::optional<double> ParseDecimal(const std::string& text) {
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.') return std::nullopt;
  }
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

bool CutOptions::WantsWav() const {
  if (format != Format::kFromExtension) return format == Format::kWav;
  const size_t slash = ring.find_last_of('/');
  const size_t dot = ring.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  return Lower(ring.substr(dot)) == ".wav";
}

std::optional<CutOptions> ParseCutOptions(const std::vector<std::string>& args,
                                          std::string& error) {
  CutOptions options;
  std::vector<std::string> positional;
  bool optionsEnded = false;

  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--info") {
      options.info = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      continue;
    }
    // Every other option takes a value, as "--name VALUE" or "--name=VALUE".
    std::string name = arg;
    std::string value;
    const size_t equals = arg.find('=');
    if (equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    } else {
      static const char* const kWithValue[] = {"--start",   "--end",    "--format",
                                               "--channels", "--bitrate", "--volume",
                                               "--fade-in", "--fade-out"};
      bool known = false;
      for (const char* option : kWithValue) known = known || name == option;
      if (!known) {
        error = "unknown option " + arg;
        return std::nullopt;
      }
      if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return std::nullopt;
      }
      value = args[++i];
    }

    auto bad = [&](const char* what) {
      error = "bad " + name + " value \"" + value + "\": " + what;
      return std::nullopt;
    };
    if (name == "--start" || name == "--end") {
      auto ms = cutplan::ParseTimeMs(value);
      if (!ms) return bad("expected 12500, 12.5 or 0:12.5");
      (name == "--start" ? options.startMs : options.endMs) = *ms;
    } else if (name == "--format") {
      const std::string format = Lower(value);
      if (format == "mp3") {
        options.format = CutOptions::Format::kMp3;
      } else if (format == "wav") {
        options.format = CutOptions::Format::kWav;
      } else {
        return bad("expected mp3 or wav");
      }
    } else if (name == "--channels") {
      auto channels = ParseWhole(value, 1, 2);
      if (!channels) return bad("expected 1 or 2");
      options.channels = *channels;
    } else if (name == "--bitrate") {
      auto kbps = ParseWhole(value, 1, 100000);
      if (!kbps) return bad("expected a bit rate in kbps");
      options.bitrateKbps = *kbps;
    } else if (name == "--volume") {
      auto multiplier = ParseDecimal(value);
      auto volume = multiplier ? cutplan::VolumeFromMultiplier(*multiplier) : std::nullopt;
      if (!volume) return bad("expected a multiplier from 1 to 3");
      options.volume = *volume;
    } else if (name == "--fade-in" || name == "--fade-out") {
      auto ms = ParseWhole(value, 0, 24 * 3600 * 1000);
      if (!ms) return bad("expected milliseconds, 0 for off");
      (name == "--fade-in" ? options.fadeInMs : options.fadeOutMs) = *ms;
    } else {
      error = "unknown option " + name;
      return std::nullopt;
    }
  }

  if (options.help) return options;
  if (positional.size() != (options.info ? 1u : 2u)) {
    error = options.info ? "--info takes one SONG" : "expected SONG and RING";
    return std::nullopt;
  }
  options.song = positional[0];
  if (positional.size() > 1) options.ring = positional[1];
  if (options.startMs && options.endMs && *options.startMs >= *options.endMs) {
    error = "the section is empty: --start must lie before --end";
    return std::nullopt;
  }
  return options;
}
