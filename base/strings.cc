#include "base/strings.h"

namespace base {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsValidCodePoint(char32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

void AppendUTF8(char32_t c, std::string* out) {
  if (!IsValidCodePoint(c)) c = kReplacement;
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

std::string WideToUTF8(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (wchar_t w : wide) AppendUTF8(static_cast<char32_t>(w), &out);
  return out;
}

std::wstring UTF8ToWide(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  size_t i = 0;
  const size_t n = utf8.size();
  while (i < n) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    int length;
    char32_t c;
    if (lead < 0x80) {
      out.push_back(static_cast<wchar_t>(lead));
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      c = lead & 0x07;
    } else {
      out.push_back(static_cast<wchar_t>(kReplacement));
      ++i;
      continue;
    }
    int taken = 1;
    while (taken < length && i + taken < n) {
      const unsigned char next = static_cast<unsigned char>(utf8[i + taken]);
      if ((next & 0xC0) != 0x80) break;
      c = (c << 6) | (next & 0x3F);
      ++taken;
    }
    // Overlong forms, surrogates and values past U+10FFFF are refused like truncated sequences.
    const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
    if (taken < length || overlong || !IsValidCodePoint(c)) {
      out.push_back(static_cast<wchar_t>(kReplacement));
      i += taken;
      continue;
    }
    out.push_back(static_cast<wchar_t>(c));
    i += length;
  }
  return out;
}

std::wstring FileNameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'/');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring WithoutExtension(const std::wstring& name) {
  const size_t slash = name.find_last_of(L'/');
  const size_t start = slash == std::wstring::npos ? 0 : slash + 1;
  const size_t dot = name.find_last_of(L'.');
  if (dot == std::wstring::npos || dot <= start) return name;
  return name.substr(0, dot);
}

}  // namespace base
