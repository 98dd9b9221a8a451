#include "controls/digital_time_text.h"

#include <cstdint>
#include <cwchar>

namespace tavio_ui {

std::wstring FormatDigitalTime(int seconds, int style) {
  // Widened so that the magnitude of INT_MIN exists.
  const std::int64_t m = seconds < 0 ? -static_cast<std::int64_t>(seconds) : seconds;
  if (style == 0) style = m > 3600 ? 3 : 2;

  wchar_t buffer[256];
  switch (style) {
    case 1:
      std::swprintf(buffer, 256, L"%.2lld", static_cast<long long>(m));
      break;
    case 2:
      std::swprintf(buffer, 256, L"%.2lld:%.2lld", static_cast<long long>(m / 60),
                    static_cast<long long>(m % 60));
      break;
    case 3:
      std::swprintf(buffer, 256, L"%.2lld:%.2lld:%.2lld", static_cast<long long>(m / 3600),
                    static_cast<long long>(m / 60 % 60), static_cast<long long>(m % 60));
      break;
    default:
      return std::wstring();
  }
  std::wstring text(buffer);
  if (seconds < 0) text.insert(text.begin(), L'-');
  return text;
}

std::vector<int> DigitalGlyphIndices(const std::wstring& text) {
  std::vector<int> glyphs;
  glyphs.reserve(text.size());
  for (wchar_t c : text) {
    if (c >= L'0' && c <= L'9') {
      glyphs.push_back(c - L'0');
    } else if (c == L':') {
      glyphs.push_back(kDigitalGlyphColon);
    } else if (c == L'-') {
      glyphs.push_back(kDigitalGlyphMinus);
    }
  }
  return glyphs;
}

std::vector<DigitalGlyphPlacement> PackDigitalGlyphs(
    const std::wstring& text, const std::array<int, kDigitalGlyphCount>& widths) {
  std::vector<DigitalGlyphPlacement> placed;
  int x = 0;
  for (int glyph : DigitalGlyphIndices(text)) {
    const int width = widths[glyph];
    if (width < 0) continue;
    placed.push_back({glyph, x});
    x += width;
  }
  return placed;
}

}  // namespace tavio_ui
