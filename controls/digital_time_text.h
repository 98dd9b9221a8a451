// The text and glyph arithmetic of the play-time display (DigitalClock): what a number of seconds
// reads as, and where each skin glyph of that text lands. Kept free of the UI library so tests can
// check the figures directly. Pure functions; any thread.

#pragma once

#include <array>
#include <string>
#include <vector>

namespace tavio_ui {

// Glyph slots of the display: 0..9 the digits, then the colon and the minus sign.
inline constexpr int kDigitalGlyphColon = 10;
inline constexpr int kDigitalGlyphMinus = 11;
inline constexpr int kDigitalGlyphCount = 12;

// Style 0 picks minutes:seconds up to one hour inclusive, hours:minutes:seconds above it;
// 1 is plain seconds, 2 minutes:seconds, 3 hours:minutes:seconds. Any other style gives "".
std::wstring FormatDigitalTime(int seconds, int style);

// The glyph slots of `text`, one per character the display can draw; others are dropped.
std::vector<int> DigitalGlyphIndices(const std::wstring& text);

struct DigitalGlyphPlacement {
  int glyph = 0;  // slot, 0..kDigitalGlyphCount-1
  int x = 0;      // left edge in control pixels
};

// Packs the glyphs of `text` left to right from x = 0 without gaps. `widths` holds each slot's
// bitmap width, or a negative number where the skin has no bitmap: such a glyph is skipped and
// takes no room.
std::vector<DigitalGlyphPlacement> PackDigitalGlyphs(
    const std::wstring& text, const std::array<int, kDigitalGlyphCount>& widths);

}  // namespace tavio_ui
