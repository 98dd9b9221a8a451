#include "editor/usage_counters.h"

#include <string>
#include <system_error>

#include "base/program_folders.h"
#include "base/replace_file.h"

void UsageCounters::Count(uint16_t id) {
  for (uint32_t& record : counters) {
    if ((record & 0xffff) == id) {
      const auto count = static_cast<uint16_t>((record >> 16) + 1);
      record = id | (static_cast<uint32_t>(count) << 16);
      return;
    }
  }
  counters.push_back(id | (1u << 16));
}

bool UsageCounters::Save(const std::filesystem::path& file) const {
  if (counters.empty()) return true;
  std::string bytes;
  for (uint32_t record : counters) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>(record >> shift));
  }
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  return base::ReplaceFileContents(file, bytes, 0644);
}

std::filesystem::path UsageCounters::DefaultFile() {
  return base::UsageCounterFolder() / "sonaclip.dat";
}
