#include "cli/cut_options.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <sstream>

#include "cli/duration.h"
#include "engine/cut_plan.h"
#include "engine/loudness.h"

namespace {

constexpr int kExitUsage = 2;
constexpr char kProgram[] = "sonaclip-cut";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The help's usage names the three forms, which CLI11 cannot tell from one list of positionals.
class CutFormatter : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App*, std::string name) const override {
    using namespace cutopt;
    return "Usage: " + name + " [OPTIONS] SONG RING\n" +
           "       " + name + " [OPTIONS] SONG... " + kFolder + " FOLDER\n" +
           "       " + name + " " + kInfo + " SONG\n";
  }
};

// A time in one of the ffmpeg command's duration forms, from 0 to the longest section (int32
// milliseconds), handed on as whole milliseconds.
CLI::Validator Time() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        const std::optional<int64_t> us = cutcli::ParseDurationUs(text);
        if (!us) {
          return "cannot read " + Quoted(text) +
                 " as a time; write it as 90, 1.5, 1:30, 1:02:03.5, 1500ms or 2s";
        }
        if (*us < 0) return Quoted(text) + " is negative; times count from the song's start";
        const int64_t ms = *us / 1000;
        if (ms > std::numeric_limits<int32_t>::max()) {
          return Quoted(text) + " is longer than the longest section, 596:31:23.647";
        }
        text = std::to_string(ms);
        return {};
      },
      "");
}

// Plain decimal digits within [low, high]. CLI11 alone would read "010" as octal and "0x10" as hex.
CLI::Validator Whole(int32_t low, int32_t high) {
  return CLI::Validator(
      [low, high](std::string& text) -> std::string {
        int32_t value = 0;
        const char* end = text.data() + text.size();
        const auto [ptr, error] = std::from_chars(text.data(), end, value);
        const bool digits = !text.empty() && std::isdigit(static_cast<unsigned char>(text[0]));
        if (!digits || error != std::errc() || ptr != end || value < low || value > high) {
          return "expected a whole number from " + std::to_string(low) + " to " +
                 std::to_string(high) + ", not " + Quoted(text);
        }
        text = std::to_string(value);
        return {};
      },
      "");
}

// A gain multiplier from 1 to 3 in decimal notation, handed on in 1/10000.
CLI::Validator Multiplier() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        std::optional<int32_t> volume;
        if (!text.empty() && text.find_first_not_of("0123456789.") == std::string::npos) {
          char* end = nullptr;
          const double multiplier = std::strtod(text.c_str(), &end);
          if (end == text.c_str() + text.size()) volume = cutplan::VolumeFromMultiplier(multiplier);
        }
        if (!volume) return "expected a multiplier from 1 to 3, not " + Quoted(text);
        text = std::to_string(*volume);
        return {};
      },
      "");
}

// A level in decibels from low to high, in plain decimal notation ("-14", "-0.5"), handed on as
// written.
CLI::Validator Decibels(double low, double high, const char* unit) {
  return CLI::Validator(
      [low, high, unit](std::string& text) -> std::string {
        const size_t sign = text.find_last_of("+-");
        const bool decimal = !text.empty() && (sign == std::string::npos || sign == 0) &&
                             text.find_first_not_of("+-0123456789.") == std::string::npos;
        char* end = nullptr;
        const double value = decimal ? std::strtod(text.c_str(), &end) : 0.0;
        if (!decimal || end != text.c_str() + text.size() || !(value >= low && value <= high)) {
          std::ostringstream range;
          range << "expected " << unit << " from " << low << " to " << high << ", not "
                << Quoted(text);
          return range.str();
        }
        return {};
      },
      "");
}

// Whether text reads as a number, so that it is the value of the option before it.
bool LooksLikeNumber(const std::string& text) {
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size();
}

const char* FormatName(CutOptions::Format format) {
  switch (format) {
    case CutOptions::Format::kWav:
      return "wav";
    case CutOptions::Format::kM4r:
      return "m4r";
    case CutOptions::Format::kOgg:
      return "ogg";
    case CutOptions::Format::kMp3:
      break;
  }
  return "mp3";
}

// The format a file name's extension names, in any case; nothing for any other extension. ".m4a"
// is the M4R ring under the name Android's players know it by.
std::optional<CutOptions::Format> FormatOfName(const std::string& path) {
  const std::string extension = Lower(std::filesystem::path(path).extension().string());
  if (extension == ".mp3") return CutOptions::Format::kMp3;
  if (extension == ".wav") return CutOptions::Format::kWav;
  if (extension == ".m4r" || extension == ".m4a") return CutOptions::Format::kM4r;
  if (extension == ".ogg") return CutOptions::Format::kOgg;
  return std::nullopt;
}

// The rules between the options and the names: which form was used, the ring's format, the
// section's order. Throws CLI::ValidationError, so a refusal reads like CLI11's own.
void SettleJobs(CutOptions& options, const std::vector<std::string>& files,
                const std::optional<CutOptions::Format>& format) {
  using CLI::ValidationError;
  if (options.info) {
    if (files.size() != 1 || options.Batch() || options.overwrite) {
      throw ValidationError(std::string(cutopt::kInfo) + " takes one SONG and neither " +
                            cutopt::kFolder + " nor " + cutopt::kOverwrite);
    }
    options.jobs.push_back({files[0], {}});
    return;
  }
  if (options.Batch()) {
    if (files.empty()) {
      throw ValidationError(std::string(cutopt::kFolder) + " FOLDER needs at least one SONG");
    }
    // Rings made from several songs have no name of their own to take a format from.
    options.format = format.value_or(CutOptions::Format::kMp3);
    for (const std::string& song : files) {
      const std::string name =
          std::filesystem::path(song).stem().string() + "." + FormatName(options.format);
      options.jobs.push_back({song, (std::filesystem::path(options.folder) / name).string()});
    }
  } else {
    if (files.size() != 2) {
      throw ValidationError(std::string("expected SONG RING, or SONG... ") + cutopt::kFolder +
                            " FOLDER; got " + std::to_string(files.size()) + " names");
    }
    const std::string& ring = files[1];
    const std::optional<CutOptions::Format> named = FormatOfName(ring);
    if (format && named && *named != *format) {
      throw ValidationError(std::string(cutopt::kFormat) + ": " + FormatName(*format) +
                            " does not suit " + Quoted(ring) + ", a name for " +
                            FormatName(*named));
    }
    if (!format && !named) {
      throw ValidationError("cannot tell the ring's format from " + Quoted(ring) +
                            "; the formats are mp3, wav, m4r and ogg: end the name in .mp3, "
                            ".wav, .m4r, .m4a or .ogg, or give " + cutopt::kFormat);
    }
    options.format = format ? *format : *named;
    options.jobs.push_back({files[0], ring});
  }
  if (options.startMs && options.endMs && *options.startMs >= *options.endMs) {
    throw ValidationError(std::string("the section is empty: ") + cutopt::kStart +
                          " must lie before " + cutopt::kEnd);
  }
}

}  // namespace

ParsedCommandLine ParseCutOptions(const std::vector<std::string>& args) {
  CutOptions options;
  std::vector<std::string> files;
  int32_t startMs = 0;
  int32_t endMs = 0;
  int32_t bitrateKbps = 0;
  std::string format;
  double loudnessLufs = loudness::kDefaultTargetLufs;

  CLI::App app(
      "Cuts a section of a song into a ring file by the ring maker's rules: fades without\n"
      "clicks, a volume boost, mono or stereo, MP3, WAV, M4R (iPhone) or OGG (Android), with\n"
      "the song's title, artist, album and cover.",
      kProgram);
  app.formatter(std::make_shared<CutFormatter>());
  app.get_formatter()->column_width(24);
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return std::string(kProgram) + ": " + e.what() + "\nRun '" + kProgram +
           " --help' for the options.\n";
  });

  using namespace cutopt;
  CLI::Option* start = app.add_option(kStart, startMs, "section start; default 0")
                           ->type_name("TIME")->transform(Time());
  CLI::Option* end = app.add_option(kEnd, endMs, "section end; default: the song's end")
                         ->type_name("TIME")->transform(Time());
  app.add_option(kFadeIn, options.fadeInMs,
                 "fade-in; 0 is off (default), a fade is at least 200ms")
      ->type_name("TIME")->transform(Time());
  app.add_option(kFadeOut, options.fadeOutMs, "fade-out; likewise")
      ->type_name("TIME")->transform(Time());
  CLI::Option* formatOption =
      app.add_option(kFormat, format,
               "the ring's format; default: RING's extension, mp3 with -o")
          ->type_name("mp3|wav|m4r|ogg")
          ->transform(
              CLI::IsMember({"mp3", "wav", "m4r", "ogg"}, CLI::ignore_case).description(""));
  app.add_option(kChannels, options.channels, "1 (mono) or 2 (stereo); default 2")
      ->type_name("1|2")->transform(Whole(1, 2));
  CLI::Option* bitrate =
      app.add_option(kBitrate, bitrateKbps,
                     "bit rate of MP3, M4R and OGG in kbps; default: the song's own")
          ->type_name("KBPS")->transform(Whole(1, 100000));
  CLI::Option* volumeOption = app.add_option(kVolume, options.volume, "gain from 1 to 3 (1, 1.5, 2, 2.5, 3); default 1")
      ->type_name("X")->transform(Multiplier());
  CLI::Option* loudnessOption =
      app.add_option(kLoudness, loudnessLufs,
                     "normalise the ring to LUFS integrated loudness, e.g. -14 (the default);\n"
                     "with --info, print the song's loudness and true peak")
          ->type_name("[LUFS]")->transform(Decibels(-70, 0, "LUFS"));
  CLI::Option* truePeakOption =
      app.add_option(kTruePeak, options.truePeakDbtp,
                     "the ceiling of --loudness: the ring's highest true peak; default -1")
          ->type_name("DBTP")->transform(Decibels(-20, 0, "dBTP"));
  app.add_flag(std::string(kOverwrite) + "," + kOverwriteLong, options.overwrite,
               "replace an existing ring; else asked on a terminal, kept elsewhere");
  app.add_option(std::string(kFolder) + "," + kFolderLong, options.folder, "cut each SONG into FOLDER, named after the song")
      ->type_name("FOLDER");
  app.add_flag(kInfo, options.info, "print SONG's media information as one JSON object");
  app.add_flag(kNoLengthLimit, options.noLengthLimit,
               "cut an .m4r ring longer than the 40 s an iPhone takes");
  // Named in the usage lines, so left out of the option list.
  app.add_option("files", files)->group("");
  app.footer(
      "TIME is written as the ffmpeg command writes a duration:\n"
      "  [-][HH:]MM:SS[.m...]      1:30 is 90 s, 1:02:03.5 one hour, 2 min, 3.5 s\n"
      "  [-]S+[.m...][s|ms|us]     a bare number is seconds: 90, 1.5, 1500ms, 2s\n"
      "Examples:\n"
      "  sonaclip-cut --start 30 --end 1:05.5 --fade-in 1.5 song.flac ring.mp3\n"
      "  sonaclip-cut --start 1:00 --end 1:30 --fade-out 2000ms -y song.mp3 ring.wav\n"
      "  sonaclip-cut --end 30 --format wav *.mp3 -o rings\n"
      "  sonaclip-cut --start 1:00 --end 1:30 song.mp3 ring.m4r\n"
      "Exit codes: 0 every ring was cut; 1 a song could not be opened or a ring not written\n"
      "(a ring you already had is left as it was); 2 a usage error.");

  ParsedCommandLine parsed;
  try {
    // A bare --loudness (the window's target) takes no value: the name after it is a file.
    std::vector<std::string> given = args;
    for (size_t i = 0; i < given.size(); ++i) {
      if (given[i] == kLoudness && (i + 1 == given.size() || !LooksLikeNumber(given[i + 1]))) {
        given[i] = std::string(kLoudness) + "=" + std::to_string(loudness::kDefaultTargetLufs);
      }
    }
    std::vector<std::string> reversed(given.rbegin(), given.rend());  // CLI11 takes them backwards
    app.parse(reversed);
    if (loudnessOption->count()) options.loudnessLufs = loudnessLufs;
    if (truePeakOption->count() && !loudnessOption->count()) {
      throw CLI::ValidationError(std::string(kTruePeak) + " is the ceiling of " + kLoudness +
                                 "; give " + kLoudness + " too");
    }
    if (volumeOption->count() && loudnessOption->count()) {
      throw CLI::ValidationError(std::string(kVolume) + " and " + kLoudness +
                                 " both set the ring's level; give one of them");
    }
    if (start->count()) options.startMs = startMs;
    if (end->count()) options.endMs = endMs;
    if (bitrate->count()) options.bitrateKbps = bitrateKbps;
    std::optional<CutOptions::Format> chosen;
    if (formatOption->count()) chosen = FormatOfName("ring." + Lower(format));
    SettleJobs(options, files, chosen);
  } catch (const CLI::ParseError& e) {
    std::ostringstream out, err;
    const int code = app.exit(e, out, err);
    parsed.exitCode = code == 0 ? 0 : kExitUsage;
    parsed.text = code == 0 ? out.str() : err.str();
    return parsed;
  }
  parsed.options = std::move(options);
  return parsed;
}
