// Conversions between the program's wide text (wchar_t, UTF-32 on Linux) and UTF-8, the text of
// file names, the terminal and the libraries. Invalid input becomes U+FFFD. Any thread.
#pragma once

#include <string>
#include <string_view>

namespace base {

std::string WideToUTF8(std::wstring_view wide);
std::wstring UTF8ToWide(std::string_view utf8);

}  // namespace base
