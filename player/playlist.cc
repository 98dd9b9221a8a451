#include "player/playlist.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace tvplayer {
namespace {

// A playlist is a few kilobytes; anything far larger is not one we should read whole.
constexpr std::uintmax_t kMaxPlaylistBytes = 1 << 20;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string LowerExtension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

std::string Trim(const std::string& s) {
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(s[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1]))) --end;
  return s.substr(begin, end - begin);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const int hi = HexValue(s[i + 1]);
      const int lo = HexValue(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

// An entry as written in the playlist becomes a local path, or nothing for a remote address.
std::optional<std::string> EntryToLocalPath(std::string entry, const std::filesystem::path& folder) {
  if (entry.empty()) return std::nullopt;
  const std::size_t scheme = entry.find("://");
  if (scheme != std::string::npos) {
    std::string name = entry.substr(0, scheme);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name != "file") return std::nullopt;
    entry = PercentDecode(entry.substr(scheme + 3));
    // file://host/path: only the local host is ours.
    if (!entry.empty() && entry[0] != '/') {
      const std::size_t slash = entry.find('/');
      if (slash == std::string::npos || entry.substr(0, slash) != "localhost") return std::nullopt;
      entry = entry.substr(slash);
    }
  }
  std::replace(entry.begin(), entry.end(), '\\', '/');
  std::filesystem::path p(entry);
  if (p.is_relative()) p = folder / p;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(p, ec)) return std::nullopt;
  return p.lexically_normal().string();
}

std::vector<std::string> M3uEntries(const std::string& text) {
  std::vector<std::string> entries;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    entries.push_back(line);
  }
  return entries;
}

// FILE "name with blanks.flac" WAVE  |  FILE name.wav WAVE
std::vector<std::string> CueEntries(const std::string& text) {
  std::vector<std::string> entries;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.size() < 5) continue;
    std::string keyword = line.substr(0, 4);
    std::transform(keyword.begin(), keyword.end(), keyword.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (keyword != "FILE" || !std::isspace(static_cast<unsigned char>(line[4]))) continue;
    std::string rest = Trim(line.substr(5));
    std::string name;
    if (!rest.empty() && rest[0] == '"') {
      const std::size_t close = rest.find('"', 1);
      if (close == std::string::npos) continue;
      name = rest.substr(1, close - 1);
    } else {
      // The last word is the file type; the name is everything before it.
      const std::size_t blank = rest.find_last_of(" \t");
      name = blank == std::string::npos ? rest : Trim(rest.substr(0, blank));
    }
    if (!name.empty()) entries.push_back(name);
  }
  return entries;
}

}  // namespace

std::optional<std::string> WidePathToUtf8(const wchar_t* path) {
  if (path == nullptr || *path == L'\0') return std::nullopt;
  std::string out;
  for (const wchar_t* p = path; *p != L'\0'; ++p) {
    const auto c = static_cast<std::uint32_t>(*p);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    AppendUtf8(out, static_cast<char32_t>(c));
  }
  return out;
}

bool IsPlaylistPath(const std::string& path) {
  const std::string ext = LowerExtension(path);
  return ext == ".m3u" || ext == ".m3u8" || ext == ".cue";
}

std::vector<std::string> ResolvePlaylist(const std::string& playlistPath, std::size_t limit) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(playlistPath, ec);
  if (ec || size > kMaxPlaylistBytes) return {};
  std::ifstream file(playlistPath, std::ios::binary);
  if (!file) return {};
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);

  const bool cue = LowerExtension(playlistPath) == ".cue";
  const std::vector<std::string> raw = cue ? CueEntries(text) : M3uEntries(text);
  const std::filesystem::path folder = std::filesystem::path(playlistPath).parent_path();
  std::vector<std::string> files;
  for (const std::string& entry : raw) {
    if (files.size() >= limit) break;
    if (auto local = EntryToLocalPath(entry, folder)) files.push_back(*local);
  }
  return files;
}

}  // namespace tvplayer
