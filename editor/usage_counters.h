// UsageCounters: how often the user took each counted action during this run, kept as 32-bit
// records (event id in the low half, count in the high half, wrapping at 65536) in the order of
// first use, and written as 4-byte little-endian records to "sonaclip.dat" when the main window
// goes. Nobody in the program reads the file back. Owned by the main window; main thread only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

class UsageCounters {
 public:
  // The counted actions.
  static constexpr uint16_t kAddSong = 1001;
  static constexpr uint16_t kPlayPause = 1002;
  static constexpr uint16_t kSaveRing = 1003;
  static constexpr uint16_t kCutStart = 1006;
  static constexpr uint16_t kCutEnd = 1007;
  static constexpr uint16_t kListenRing = 1008;
  static constexpr uint16_t kTryOtherSong = 1012;

  void Count(uint16_t id);
  const std::vector<uint32_t>& records() const { return counters; }

  // Writes the records to file, replacing it in one step (a crash midway keeps the old file);
  // writes nothing, and keeps an existing file, when nothing was counted. False when it could not
  // write; the caller ignores that, the counters are not worth a word to the user.
  bool Save(const std::filesystem::path& file) const;

  // "sonaclip.dat" in the folder the program keeps its counters in.
  static std::filesystem::path DefaultFile();

 private:
  std::vector<uint32_t> counters;
};
