#include "config/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cwctype>
#include <system_error>

#include "base/replace_file.h"
#include "config/ini_text.h"

namespace config {
namespace {

// The characters removed around keys and values: a run of spaces at each end first, then a run
// of tabs, so "\t 3" keeps its space.
void TrimRun(std::wstring& text, wchar_t c) {
  const size_t first = text.find_first_not_of(c);
  if (first == std::wstring::npos) {
    text.clear();
    return;
  }
  text.erase(0, first);
  text.erase(text.find_last_not_of(c) + 1);
}

void TrimKeyOrValue(std::wstring& text) {
  if (text.empty()) return;
  TrimRun(text, L' ');
  TrimRun(text, L'\t');
}

}  // namespace

bool IsPrintableLead(wchar_t c) {
  const auto code = static_cast<char32_t>(c);
  if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) return false;
  if (code >= 0xD800 && code <= 0xDFFF) return false;
  return code <= 0x10FFFF;
}

int WideToInt(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  long long value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > static_cast<long long>(INT_MAX) + 1) {
      value = static_cast<long long>(INT_MAX) + 1;
    }
  }
  if (negative) return value > INT_MAX ? INT_MIN : -static_cast<int>(value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

IniFile::IniFile(const std::wstring& path)
    : path(path), backupFile(path.empty() ? std::wstring() : path + L".bak") {}

IniFile::~IniFile() = default;

std::wstring IniFile::FoldCase(std::wstring text) const {
  if (!caseInsensitive) return text;
  for (wchar_t& c : text)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return text;
}

int IniFile::DetectEncoding() const {
  const int fd = ::open(WidePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return EncodingAnsi;
  char head[1024];
  ssize_t n;
  do {
    n = ::read(fd, head, sizeof head);
  } while (n < 0 && errno == EINTR);
  ::close(fd);
  return n > 0 ? DetectEncodingOfBytes(std::string_view(head, static_cast<size_t>(n))) : EncodingAnsi;
}

bool IniFile::Load() {
  const std::filesystem::path path = WidePath(this->path);
  std::error_code error;
  if (!std::filesystem::exists(path, error) && !backupFile.empty()) {
    const std::filesystem::path backup = WidePath(backupFile);
    if (std::filesystem::exists(backup, error)) std::filesystem::rename(backup, path, error);
  }

  std::string bytes;
  if (!ReadWholeFile(path, &bytes)) return false;
  return LoadBytes(bytes);
}

bool IniFile::LoadBytes(std::string_view bytes) {
  fileEncoding = DetectEncodingOfBytes(bytes.substr(0, 1024));
  std::wstring currentSection;
  for (std::wstring& line : DecodeLines(bytes, fileEncoding)) {
    if (!ParseLine(std::move(line), &currentSection)) return false;
  }
  return !sectionMap.empty();
}

bool IniFile::ParseLine(std::wstring line, std::wstring* currentSection) {
  if (line.empty()) return true;
  line.erase(0, line.find_first_not_of(L'\t'));
  if (!line.empty() && line.back() == L'\r') line.pop_back();
  if (line.empty()) return true;
  if (!IsPrintableLead(line.front())) {
    std::printf("Failing on char %d\n", static_cast<int>(line.front()));
    return false;
  }

  const size_t mark = line.find_first_of(L";#[=");
  if (mark == std::wstring::npos) return true;
  switch (line[mark]) {
    case L';':
    case L'#': {
      std::wstring text = line.substr(mark + 1);
      if (sectionMap.empty()) {
        leadingComments.push_back(std::move(text));
      } else if (IniSection* section = FindSection(*currentSection)) {
        section->comments.push_back(std::move(text));
      }
      return true;
    }
    case L'=': {
      std::wstring key = line.substr(0, mark);
      std::wstring value = line.substr(mark + 1);
      TrimKeyOrValue(key);
      TrimKeyOrValue(value);
      SetString(*currentSection, key, value);
      return true;
    }
    default: {  // '['
      const size_t close = line.rfind(L']');
      if (close == std::wstring::npos || close <= mark) return true;
      *currentSection = line.substr(mark + 1, close - mark - 1);
      AddSection(*currentSection);
      return true;
    }
  }
}

std::string IniFile::SavedBytes() const {
  // Every line ends with CR LF in all three encodings: the ANSI file of the Windows design is
  // written in text mode, which turns its LF into CR LF.
  const wchar_t* const lineEnd = L"\r\n";
  std::wstring text;
  for (const std::wstring& comment : leadingComments) text += L";" + comment + lineEnd;
  if (!leadingComments.empty()) text += lineEnd;
  for (const auto& [name, section] : sectionMap) {
    text += L"[" + name + L"]" + lineEnd;
    for (const std::wstring& comment : section.comments) text += L";" + comment + lineEnd;
    for (const auto& [key, value] : section.entries) text += key + L"=" + value + lineEnd;
    text += lineEnd;
  }
  // A file read as UTF-8 goes back as UTF-16LE, the one Unicode form the writer knows.
  if (fileEncoding != EncodingAnsi) return "\xFF\xFE" + WideToUtf16LE(text);
  return WideToAnsi(text);
}

bool IniFile::Save() {
  if (path.empty()) return false;
  return base::ReplaceFileContents(WidePath(path), SavedBytes());
}

std::wstring IniFile::GetString(const std::wstring& section, const std::wstring& key,
                                const std::wstring& defaultValue) const {
  const IniSection* found = FindSection(section);
  if (!found) return defaultValue;
  const std::wstring foldedKey = FoldCase(key);
  for (const auto& [name, value] : found->entries)
    if (FoldCase(name) == foldedKey) return value;
  return defaultValue;
}

int IniFile::GetInt(const std::wstring& section, const std::wstring& key) const {
  return WideToInt(GetString(section, key, L"0"));
}

bool IniFile::SetString(const std::wstring& section, const std::wstring& key,
                        const std::wstring& value) {
  IniSection* found = FindSection(section);
  if (!found) {
    AddSection(section);
    found = FindSection(section);
  }
  found->entries[key] = value;
  return true;
}

bool IniFile::SetInt(const std::wstring& section, const std::wstring& key, int n) {
  return SetString(section, key, std::to_wstring(n));
}

void IniFile::AddSection(const std::wstring& name) {
  sectionMap.try_emplace(name);
}

IniSection* IniFile::FindSection(const std::wstring& name) {
  return const_cast<IniSection*>(static_cast<const IniFile*>(this)->FindSection(name));
}

const IniSection* IniFile::FindSection(const std::wstring& name) const {
  const std::wstring folded = FoldCase(name);
  for (const auto& [sectionName, section] : sectionMap)
    if (FoldCase(sectionName) == folded) return &section;
  return nullptr;
}

}  // namespace config
