// Figures of the custom controls that need no window: clock texts and glyph packing, track bar
// layout and drag values, spin edit bounds and display.

#include <climits>
#include <string>

#include <gtest/gtest.h>

#include "controls/digital_time_text.h"
#include "controls/section_track_layout.h"
#include "controls/spin_edit_value.h"

namespace tavio_ui {
namespace {

TEST(DigitalTimeText, AutomaticStyleSwitchesToHoursOnlyAboveOneHour) {
  const struct {
    int seconds;
    const wchar_t* text;
  } cases[] = {
      {0, L"00:00"},     {59, L"00:59"},         {61, L"01:01"},
      {3600, L"60:00"},  {3601, L"01:00:01"},    {-75, L"-01:15"},
      {6000, L"01:40:00"}, {86399, L"23:59:59"},   {-3601, L"-01:00:01"},
      {INT_MIN, L"-596523:14:08"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDigitalTime(c.seconds, 0), c.text) << c.seconds;
  }
}

TEST(DigitalTimeText, ExplicitStylesAndUnknownStyle) {
  EXPECT_EQ(FormatDigitalTime(7, 1), L"07");
  EXPECT_EQ(FormatDigitalTime(75, 2), L"01:15");
  EXPECT_EQ(FormatDigitalTime(75, 3), L"00:01:15");
  EXPECT_EQ(FormatDigitalTime(6000, 2), L"100:00");  // minutes are not cut to two digits
  EXPECT_EQ(FormatDigitalTime(-7, 1), L"-07");
  EXPECT_EQ(FormatDigitalTime(75, 4), L"");
  EXPECT_EQ(FormatDigitalTime(-75, -1), L"");
}

TEST(DigitalTimeText, GlyphsPackLeftToRightAndMissingBitmapsTakeNoRoom) {
  std::array<int, kDigitalGlyphCount> widths;
  widths.fill(10);
  widths[kDigitalGlyphColon] = 4;
  widths[kDigitalGlyphMinus] = 6;

  auto placed = PackDigitalGlyphs(L"-01:15", widths);
  ASSERT_EQ(placed.size(), 6u);
  const int glyphs[] = {kDigitalGlyphMinus, 0, 1, kDigitalGlyphColon, 1, 5};
  const int xs[] = {0, 6, 16, 26, 30, 40};
  for (size_t i = 0; i < placed.size(); ++i) {
    EXPECT_EQ(placed[i].glyph, glyphs[i]) << i;
    EXPECT_EQ(placed[i].x, xs[i]) << i;
  }

  // A skin without the colon shows 01:15 as four packed digits.
  widths[kDigitalGlyphColon] = -1;
  placed = PackDigitalGlyphs(L"01:15", widths);
  ASSERT_EQ(placed.size(), 4u);
  EXPECT_EQ(placed[0].glyph, 0);
  EXPECT_EQ(placed[2].glyph, 1);
  EXPECT_EQ(placed[2].x, 20);
  EXPECT_EQ(placed[3].glyph, 5);
  EXPECT_EQ(placed[3].x, 30);

  // Characters the display has no glyph for are dropped.
  EXPECT_EQ(DigitalGlyphIndices(L"1 a.2"), (std::vector<int>{1, 2}));
}

constexpr TrackPartSizes kSizes{/*thumbWidth=*/16, /*thumbHeight=*/12, /*markerWidth=*/10,
                                /*markerHeight=*/9};

TEST(SectionTrackLayout, PartsSitAtTheirShareOfTheTrack) {
  // A 400-pixel track: the control is the track plus half a thumb on each side.
  const TrackRect client{0, 0, 416, 40};
  auto layout = ComputeTrackLayout(client, {0, 1000, 500, 250, 750}, kSizes);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->track, (TrackRect{8, 0, 408, 20}));
  EXPECT_EQ(layout->thumb, (TrackRect{200, 4, 216, 16}));
  EXPECT_EQ(layout->markerOffset, 3);
  // Marker centres at 8 + 100 and 8 + 300; tops at (20 + 9) / 2 - 2.
  EXPECT_EQ(layout->startMarker, (TrackRect{103, 12, 113, 21}));
  EXPECT_EQ(layout->endMarker, (TrackRect{303, 12, 313, 21}));
  EXPECT_EQ(layout->section, (TrackRect{108, 0, 308, 20}));

  // The ends of the range: the thumb stays inside the control.
  layout = ComputeTrackLayout(client, {0, 1000, 1000, 0, 1000}, kSizes);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->thumb.right, client.right);
  EXPECT_EQ(layout->thumb.left, 400);
  EXPECT_EQ(layout->startMarker.left, 3);
  EXPECT_EQ(layout->endMarker.left, 403);

  // An offset range lays out like the same span from zero.
  auto shifted = ComputeTrackLayout(client, {-500, 500, 0, -250, 250}, kSizes);
  ASSERT_TRUE(shifted);
  EXPECT_EQ(shifted->thumb, (TrackRect{200, 4, 216, 16}));
  EXPECT_EQ(shifted->startMarker.left, 103);
}

TEST(SectionTrackLayout, NoLayoutForAnEmptyRangeAndNoOverflowForAWideOne) {
  const TrackRect client{0, 0, 416, 40};
  EXPECT_FALSE(ComputeTrackLayout(client, {0, 0, 0, 0, 0}, kSizes));
  EXPECT_FALSE(ComputeTrackLayout(client, {10, 5, 0, 0, 0}, kSizes));

  // value x width passes 32 bits here.
  auto layout = ComputeTrackLayout(client, {0, INT_MAX, INT_MAX / 2, 0, INT_MAX}, kSizes);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->thumb.left, 199);
  EXPECT_EQ(layout->endMarker.left, 403);
}

TEST(SectionTrackLayout, ValueUnderThePointer) {
  // 416 wide with a 16-pixel thumb leaves 400 pixels of travel.
  EXPECT_EQ(TrackValueAt(208, 0, 1000, 16, 416, 16), 500);
  EXPECT_EQ(TrackValueAt(8, 0, 1000, 16, 416, 16), 0);
  EXPECT_EQ(TrackValueAt(408, 0, 1000, 16, 416, 16), 1000);
  // A marker's centre follows the pointer by its own half width.
  EXPECT_EQ(TrackValueAt(205, 0, 1000, 10, 416, 16), 500);
  // Left of the control counts as x = 0; the result is not yet clamped.
  EXPECT_EQ(TrackValueAt(-300, 0, 1000, 16, 416, 16), TrackValueAt(0, 0, 1000, 16, 416, 16));
  EXPECT_EQ(TrackValueAt(0, 0, 1000, 16, 416, 16), -20);
  EXPECT_EQ(ClampToTrackRange(-20, 0, 1000), 0);
  EXPECT_EQ(ClampToTrackRange(2000, 0, 1000), 1000);
  EXPECT_EQ(ClampToTrackRange(300, 0, 1000), 300);
}

TEST(SectionTrackLayout, NoTravelWhenTheControlIsNotWiderThanItsThumb) {
  EXPECT_FALSE(TrackValueAt(5, 0, 1000, 16, 16, 16));
  EXPECT_FALSE(TrackValueAt(5, 0, 1000, 16, 10, 16));
  EXPECT_FALSE(TrackValueAt(5, 0, 1000, 0, 0, 0));
  EXPECT_EQ(TrackValueAt(5, 0, 1000, 16, 17, 16), -3000);
}

TEST(SectionTrackLayout, WaveformColumnsShowTheLoudestKnownStretchUnderThem) {
  constexpr WavePeak kUnknown{1, 0};
  auto mono = [](std::vector<WavePeak> peaks) { return TrackWaveform{1, std::move(peaks)}; };
  const TrackWaveform stereo{2, {{-32767, 16384}, {-8192, 0}, kUnknown, kUnknown}};
  const TrackWaveform four = mono({{0, 0}, {-16384, 32767}, kUnknown, {-3, 2}});
  struct Case {
    const char* what;
    TrackWaveform wave;
    int column;
    int columns;
    std::optional<WaveExtent> extent;
  };
  const Case cases[] = {
      {"full scale reaches the edge", mono({{-32768, 32767}}), 0, 1, WaveExtent{10, 10}},
      {"a tenth of full scale stands a third high", mono({{-3277, 3277}}), 0, 1, WaveExtent{3, 3}},
      {"silence is a flat line", mono({{0, 0}}), 0, 1, WaveExtent{0, 0}},
      {"the hiss of a lossy silence stays flat", four, 3, 4, WaveExtent{0, 0}},
      {"mono: highest above, lowest below", four, 1, 4, WaveExtent{10, 7}},
      {"not known yet draws nothing", four, 2, 4, std::nullopt},
      {"a wide column takes the loudest", four, 0, 2, WaveExtent{10, 7}},
      {"unknown stretches are skipped", four, 1, 2, WaveExtent{0, 0}},
      {"a narrow column shows its stretch", four, 3, 8, WaveExtent{10, 7}},
      {"stereo: first channel above, second below", stereo, 0, 2, WaveExtent{10, 5}},
      {"no waveform", TrackWaveform{}, 0, 1, std::nullopt},
      {"a column off the track", four, 4, 4, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WaveformExtentAt(c.wave, c.column, c.columns, 10), c.extent) << c.what;
  }
}

TEST(SpinEditValue, BoundsCapAtMaximumThenRaiseToMinimum) {
  EXPECT_EQ(BoundSpinValue(60099, 0, 59999), 59999);
  EXPECT_EQ(BoundSpinValue(-100, 0, 59999), 0);
  EXPECT_EQ(BoundSpinValue(50, 0, 10), 10);
  EXPECT_EQ(BoundSpinValue(7, 0, 10), 7);
  EXPECT_EQ(BoundSpinValue(3, 10, 5), 10);  // inverted range: minimum wins
  EXPECT_EQ(BoundSpinValue(static_cast<std::int64_t>(INT_MAX) + 100, INT_MIN, INT_MAX), INT_MAX);
  EXPECT_EQ(BoundSpinValue(static_cast<std::int64_t>(INT_MIN) - 1, INT_MIN, INT_MAX), INT_MIN);
}

TEST(SpinEditValue, Display) {
  const struct {
    int value;
    bool tenths;
    const wchar_t* text;
  } cases[] = {
      {59999, true, L"59.9"}, {100, true, L"00.1"},  {99, true, L"00.0"},
      {0, true, L"00.0"},     {5, false, L"05"},     {123, false, L"123"},
      {0, false, L"00"},      {-1500, true, L"-01.5"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatSpinValue(c.value, c.tenths), c.text) << c.value << " " << c.tenths;
  }
}

}  // namespace
}  // namespace tavio_ui
