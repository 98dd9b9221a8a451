// The user's rings as the built-in ring search service lists them: the MP3, WAV, M4R (and M4A)
// and OGG files of the "Ring" folders, with the length, size and format a listing shows. Reads the folders afresh on
// every call, so a ring saved while the web window is open shows up on the next search. Any
// thread; no state.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ringsearch {

struct RingFile {
  std::filesystem::path path;
  std::wstring name;          // the file name, as listed
  std::uintmax_t bytes = 0;
  std::int64_t modifiedSeconds = 0;  // since the epoch
  std::wstring format;        // "MP3", "WAV", "M4R", "M4A" or "OGG"
  std::int64_t lengthMs = -1;  // -1 when the header does not tell
};

// The folders the program keeps rings in, those that exist: "Ring" beside the program, and
// "Ring" in the user's music folder (home when the system names none).
std::vector<std::filesystem::path> RingFolders();

// The rings of folders whose file names contain key (case-insensitive; an empty key lists all),
// newest first. Only files directly in the folders; links to elsewhere are followed as files.
std::vector<RingFile> FindRings(const std::vector<std::filesystem::path>& folders,
                                const std::wstring& key);

// The length in milliseconds of a WAV (from its format and data chunks), MP3 (its Xing/Info
// frame count, else its first frame's bit rate over the file), Ogg Vorbis or MPEG-4 file (as
// TagLib reads them); -1 when unknown.
std::int64_t ProbeLengthMs(const std::filesystem::path& file);

}  // namespace ringsearch
