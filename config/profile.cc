#include "config/profile.h"

#include <cstdint>
#include <cwctype>
#include <optional>

#include "base/path_service.h"
#include "config/ini_text.h"

namespace config {
namespace {

constexpr size_t kIntBufferChars = 30;  // the buffer GetPrivateProfileIntW reads the value into

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\v' || c == L'\f';
}

std::wstring_view Trim(std::wstring_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

wchar_t FoldLetter(wchar_t c) {
  return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
}

bool SameName(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldLetter(a[i]) != FoldLetter(b[i])) return false;
  return true;
}

// The raw value of the first `key` inside the first `section`, both in file order; nullopt when
// the file, the section or the key is missing.
std::optional<std::wstring> FindValue(const std::filesystem::path& file, std::wstring_view section,
                                      std::wstring_view key) {
  std::string bytes;
  if (file.empty() || !ReadWholeFile(file, &bytes)) return std::nullopt;
  const std::wstring_view wantedSection = Trim(section);
  const std::wstring_view wantedKey = Trim(key);
  bool inSection = false;
  bool sectionSeen = false;
  for (const std::wstring& raw : DecodeLines(bytes, DetectEncodingOfBytes(bytes))) {
    const std::wstring_view line = Trim(raw);
    if (line.empty() || line.front() == L';') continue;
    if (line.front() == L'[') {
      const size_t close = line.rfind(L']');
      const std::wstring_view name =
          Trim(line.substr(1, close == std::wstring_view::npos ? std::wstring_view::npos : close - 1));
      // Only the first section of a name counts; a later one of the same name is not read.
      if (inSection) return std::nullopt;
      inSection = !sectionSeen && SameName(name, wantedSection);
      sectionSeen = sectionSeen || inSection;
      continue;
    }
    if (!inSection) continue;
    const size_t equals = line.find(L'=');
    const std::wstring_view name = Trim(line.substr(0, equals));
    if (!SameName(name, wantedKey)) continue;
    if (equals == std::wstring_view::npos) return std::wstring();
    std::wstring_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return std::wstring(value);
  }
  return std::nullopt;
}

std::wstring Cut(std::wstring text, size_t bufferChars) {
  if (bufferChars == 0) return std::wstring();
  if (text.size() > bufferChars - 1) text.resize(bufferChars - 1);
  return text;
}

unsigned DigitValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return static_cast<unsigned>(c - L'0');
  if (c >= L'a' && c <= L'z') return static_cast<unsigned>(c - L'a' + 10);
  if (c >= L'A' && c <= L'Z') return static_cast<unsigned>(c - L'A' + 10);
  return 99;
}

// RtlUnicodeStringToInteger with base 0, which GetPrivateProfileIntW uses.
int ProfileTextToInt(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size() && static_cast<char32_t>(text[i]) <= L' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  unsigned base = 10;
  if (i + 1 < text.size() && text[i] == L'0') {
    switch (text[i + 1]) {
      case L'x': case L'X': base = 16; i += 2; break;
      case L'o': case L'O': base = 8; i += 2; break;
      case L'b': case L'B': base = 2; i += 2; break;
      default: break;
    }
  }
  std::uint32_t value = 0;
  for (; i < text.size(); ++i) {
    const unsigned digit = DigitValue(text[i]);
    if (digit >= base) break;
    value = value * base + digit;
  }
  if (negative) value = 0u - value;
  return static_cast<int>(value);
}

}  // namespace

std::wstring ReadProfileString(const std::filesystem::path& file, std::wstring_view section,
                               std::wstring_view key, std::wstring_view defaultValue,
                               size_t bufferChars) {
  std::optional<std::wstring> value = FindValue(file, section, key);
  if (!value) {
    // Win32 drops trailing blanks of the default as it copies it.
    std::wstring_view fallback = defaultValue;
    while (!fallback.empty() && fallback.back() == L' ') fallback.remove_suffix(1);
    return Cut(std::wstring(fallback), bufferChars);
  }
  return Cut(std::move(*value), bufferChars);
}

int ReadProfileInt(const std::filesystem::path& file, std::wstring_view section,
                   std::wstring_view key, int defaultValue) {
  const std::wstring text = ReadProfileString(file, section, key, L"", kIntBufferChars);
  if (text.empty()) return defaultValue;
  return ProfileTextToInt(text);
}

std::filesystem::path OptionIniPath() {
  std::filesystem::path folder;
  if (!base::PathService::Get(base::PathService::DIR_EXE, &folder)) return {};
  return folder / "optionv7.ini";
}

std::wstring ReadOtherRingTemplate() {
  return ReadProfileString(OptionIniPath(), L"Sonaclip", L"OtherRing", L"");
}

std::filesystem::path CrashDataFolder() {
  std::filesystem::path folder;
  if (!base::PathService::Get(base::PathService::DIR_APP_DATA, &folder)) return {};
  return folder / "TaVio8";
}

int ReadUploadDumpSwitch() {
  const std::filesystem::path folder = CrashDataFolder();
  if (folder.empty()) return 0;
  return ReadProfileInt(folder / "net_option.ini", L"CrashReport",
                        L"UploadHttpDmp_" + std::to_wstring(kCrashProductId), 0);
}

}  // namespace config
