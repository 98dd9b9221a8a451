// Pixel arithmetic of the section track bar (SectionTrackBar): where the track, the thumb, the
// two section markers and the highlighted section lie for given values, and which value a mouse
// x stands for. Free of the UI library so the figures can be tested directly. Pure; any thread.

#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace tavio_ui {

// A rectangle as the track bar keeps it: left and top inside, right and bottom outside.
struct TrackRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  bool operator==(const TrackRect&) const = default;
};

// Part sizes taken from the skin.
struct TrackPartSizes {
  int thumbWidth = 0;
  int thumbHeight = 0;
  int markerWidth = 0;
  int markerHeight = 0;
};

struct TrackValues {
  int minimum = 0;
  int maximum = 0;
  int value = 0;
  int sectionStart = 0;
  int sectionEnd = 0;
};

struct TrackLayout {
  TrackRect track;
  TrackRect thumb;
  TrackRect startMarker;
  TrackRect endMarker;
  TrackRect section;
  int markerOffset = 0;

  bool operator==(const TrackLayout&) const = default;
};

// The layout for a client rectangle that starts at (0, 0). The upper half of the control holds
// the track with the thumb centred in it; the markers sit around the middle line. The centre of
// the thumb and of each marker lies at its value's share of the track width. No layout exists
// while maximum <= minimum.
std::optional<TrackLayout> ComputeTrackLayout(const TrackRect& client, const TrackValues& values,
                                              const TrackPartSizes& sizes);

// The value under mouse x for a part `partWidth` pixels wide whose centre follows the pointer,
// over a control `clientRight` pixels wide with a thumb `thumbWidth` wide. x left of the control
// counts as 0. Not clamped into the range. Empty when the control is not wider than its thumb,
// since there is then no track to drag along.
std::optional<int> TrackValueAt(int x, int minimum, int maximum, int partWidth, int clientRight,
                                int thumbWidth);

// v clamped into the range: below minimum gives minimum, otherwise at most maximum.
int ClampToTrackRange(int v, int minimum, int maximum);

// One stretch of a song's waveform: its lowest and highest sample, full scale being 32767. A
// stretch with low above high is not known yet.
struct WavePeak {
  std::int16_t low = 0;
  std::int16_t high = 0;
  bool operator==(const WavePeak&) const = default;
};

// A song's waveform as the track bar draws it: equal stretches of the whole song, one peak per
// channel each (stretch by stretch, channel 0 first).
struct TrackWaveform {
  int channels = 0;  // 0: no waveform
  std::vector<WavePeak> peaks;

  int Stretches() const { return channels > 0 ? static_cast<int>(peaks.size()) / channels : 0; }
  bool operator==(const TrackWaveform&) const = default;
};

// How far the waveform reaches from the track's centre line at one pixel column, in pixels.
struct WaveExtent {
  int above = 0;
  int below = 0;
  bool operator==(const WaveExtent&) const = default;
};

// The waveform at pixel column `column` of a track `columns` pixels wide, with `reach` pixels on
// either side of its centre line: the loudest of the known stretches under the column, its
// height the square root of its share of full scale (so quiet passages show). A mono song is one
// shape, its highest samples above the line and its lowest below; a stereo song shows the first
// channel's loudness above and the second's below. Empty where no stretch under the column is
// known yet (nothing is drawn there); silence is a flat line, 0 and 0.
std::optional<WaveExtent> WaveformExtentAt(const TrackWaveform& wave, int column, int columns,
                                           int reach);

}  // namespace tavio_ui
