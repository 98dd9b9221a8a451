// The text layer under the INI reader and the profile reads: which of the three encodings a file
// is in, its lines as wide text, and the conversions to and from the bytes on disk.
//
// "ANSI" is the locale's character set on this platform: UTF-8 on every usual system (and for the
// C locale, whose ASCII is a subset of it); another character set is converted with iconv.
// Free functions without state; any thread.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace config {

enum Encoding { EncodingAnsi = 0, EncodingUtf16 = 1, EncodingUtf8 = 2 };

// The encoding the first bytes of a file announce: FF FE is UTF-16LE, EF BB BF is UTF-8, anything
// else (an empty file too) is ANSI.
int DetectEncodingOfBytes(std::string_view head);

// The whole file, or false when it cannot be opened or read.
bool ReadWholeFile(const std::filesystem::path& path, std::string* bytes);

// The file's text split at LF, in `encoding`. A UTF-16 text ends at its first zero character, as
// the C string it is read into on Windows does; with either byte-order mark the mark itself (and
// a U+FEFF that starts the first line) is not part of the text. The CR of a CR LF line end goes
// with the LF, as the Windows text-mode read drops it; any CR before that one is kept.
std::vector<std::wstring> DecodeLines(std::string_view bytes, int encoding);

std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);

// UTF-16LE code units (surrogate pairs above U+FFFF), without a byte-order mark.
std::string WideToUtf16LE(std::wstring_view text);

// The path of a wide file name (UTF-8 on disk).
std::filesystem::path WidePath(std::wstring_view path);

}  // namespace config
