// Conversions between the program's wide text (wchar_t, UTF-32 on Linux) and UTF-8, the text of
// file names, the terminal and the libraries. Invalid input becomes U+FFFD. Any thread.
#pragma once

#include <string>
#include <string_view>

namespace base {

std::string WideToUTF8(std::wstring_view wide);
std::wstring UTF8ToWide(std::string_view utf8);

// The last component of a "/"-separated path.
std::wstring FileNameOf(const std::wstring& path);
// A name without its last extension; a leading dot names a hidden file, not an extension, and a
// dot in a folder of a path is no extension either.
std::wstring WithoutExtension(const std::wstring& name);

}  // namespace base
