#include "config/ini_text.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "base/strings.h"

namespace config {
namespace {

// The locale's character set when it is not UTF-8 (nor the ASCII of the C locale), else empty.
std::string ForeignCodeset() {
  const char* codeset = nl_langinfo(CODESET);
  if (!codeset || !*codeset || std::strcmp(codeset, "UTF-8") == 0 ||
      std::strcmp(codeset, "ANSI_X3.4-1968") == 0)
    return {};
  return codeset;
}

// Converts with iconv; characters that do not convert become '?', as a lossy code page
// conversion on Windows does. Returns false when iconv knows neither side.
bool Iconv(const std::string& to, const std::string& from, std::string_view in, std::string* out) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out->clear();
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char buffer[1024];
  while (srcLeft > 0) {
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    const size_t done = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out->append(buffer, dst);
    if (done == static_cast<size_t>(-1) && errno != E2BIG) {
      // An invalid or incomplete sequence: skip one byte and mark it.
      out->append(to == "WCHAR_T" ? std::string(reinterpret_cast<const char*>(L"?"), sizeof(wchar_t))
                                  : std::string("?"));
      ++src;
      --srcLeft;
    }
  }
  iconv_close(cd);
  return true;
}

void AppendUtf16Unit(char16_t unit, std::string* out) {
  out->push_back(static_cast<char>(unit & 0xFF));
  out->push_back(static_cast<char>(unit >> 8));
}

}  // namespace

int DetectEncodingOfBytes(std::string_view head) {
  if (head.size() >= 2 && head[0] == '\xFF' && head[1] == '\xFE') return EncodingUtf16;
  if (head.size() >= 3 && head.substr(0, 3) == "\xEF\xBB\xBF") return EncodingUtf8;
  return EncodingAnsi;
}

bool ReadWholeFile(const std::filesystem::path& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

std::vector<std::wstring> DecodeLines(std::string_view bytes, int encoding) {
  std::wstring text;
  if (encoding == EncodingUtf16) {
    bytes.remove_prefix(std::min<size_t>(2, bytes.size()));
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      char32_t unit = static_cast<unsigned char>(bytes[i]) |
                      (static_cast<unsigned char>(bytes[i + 1]) << 8);
      if (unit == 0) break;
      if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
        const char32_t low = static_cast<unsigned char>(bytes[i + 2]) |
                             (static_cast<unsigned char>(bytes[i + 3]) << 8);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          i += 2;
        }
      }
      text.push_back(static_cast<wchar_t>(unit));
    }
  } else if (encoding == EncodingUtf8) {
    text = base::UTF8ToWide(bytes.substr(std::min<size_t>(3, bytes.size())));
  } else {
    text = AnsiToWide(bytes);
  }
  // A second mark right after the first one is a stray U+FEFF the line must not start with.
  if (encoding != EncodingAnsi && !text.empty() && text.front() == 0xFEFF) text.erase(0, 1);

  std::vector<std::wstring> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t lineFeed = text.find(L'\n', start);
    const size_t end = lineFeed == std::wstring::npos ? text.size() : lineFeed;
    // The CR of a CR LF ending goes with the LF, as a text-mode read of the file drops it; a
    // CR before it stays for the reader, which removes one more.
    const size_t keep = lineFeed != std::wstring::npos && end > start && text[end - 1] == L'\r'
                            ? end - 1
                            : end;
    lines.emplace_back(text, start, keep - start);
    start = end + 1;
  }
  return lines;
}

std::wstring AnsiToWide(std::string_view text) {
  const std::string codeset = ForeignCodeset();
  std::string converted;
  if (codeset.empty() || !Iconv("WCHAR_T", codeset, text, &converted))
    return base::UTF8ToWide(text);
  return std::wstring(reinterpret_cast<const wchar_t*>(converted.data()),
                      converted.size() / sizeof(wchar_t));
}

std::string WideToAnsi(std::wstring_view text) {
  const std::string codeset = ForeignCodeset();
  std::string converted;
  const std::string_view raw(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  if (codeset.empty() || !Iconv(codeset, "WCHAR_T", raw, &converted))
    return base::WideToUTF8(text);
  return converted;
}

std::string WideToUtf16LE(std::wstring_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (wchar_t w : text) {
    char32_t c = static_cast<char32_t>(w);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c >= 0x10000) {
      c -= 0x10000;
      AppendUtf16Unit(static_cast<char16_t>(0xD800 + (c >> 10)), &out);
      AppendUtf16Unit(static_cast<char16_t>(0xDC00 + (c & 0x3FF)), &out);
    } else {
      AppendUtf16Unit(static_cast<char16_t>(c), &out);
    }
  }
  return out;
}

std::filesystem::path WidePath(std::wstring_view path) {
  return std::filesystem::path(base::WideToUTF8(path));
}

}  // namespace config
