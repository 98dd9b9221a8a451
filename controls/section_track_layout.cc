#include "controls/section_track_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace tavio_ui {
namespace {

// Products of a value span and a pixel width can pass 32 bits for wide ranges; the result of the
// division always fits again once it is clamped.
int ToInt(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

int ShareOf(int position, int minimum, std::int64_t range, int width) {
  return ToInt((static_cast<std::int64_t>(position) - minimum) * width / range);
}

}  // namespace

std::optional<TrackLayout> ComputeTrackLayout(const TrackRect& client, const TrackValues& values,
                                              const TrackPartSizes& sizes) {
  if (values.maximum <= values.minimum) return std::nullopt;

  TrackLayout layout;
  const int half = client.Height() / 2;
  layout.markerOffset = sizes.thumbWidth / 2 - sizes.markerWidth / 2;

  layout.track = client;
  layout.track.bottom -= half;
  layout.track.left += sizes.thumbWidth / 2;
  layout.track.right -= sizes.thumbWidth / 2;
  const int trackWidth = layout.track.Width();
  const std::int64_t range = static_cast<std::int64_t>(values.maximum) - values.minimum;

  TrackRect& thumb = layout.thumb;
  thumb.top = (half - sizes.thumbHeight) / 2;
  thumb.left = ShareOf(values.value, values.minimum, range, trackWidth);
  if (thumb.left + sizes.thumbWidth > client.right) thumb.left = client.right - sizes.thumbWidth;
  thumb.right = thumb.left + sizes.thumbWidth;
  thumb.bottom = thumb.top + sizes.thumbHeight;

  const int markerTop = (half + sizes.markerHeight) / 2 - 2;
  auto place_marker = [&](int position) {
    TrackRect marker;
    marker.left = ShareOf(position, values.minimum, range, trackWidth) + layout.markerOffset;
    marker.right = marker.left + sizes.markerWidth;
    marker.top = markerTop;
    marker.bottom = markerTop + sizes.markerHeight;
    return marker;
  };
  layout.startMarker = place_marker(values.sectionStart);
  layout.endMarker = place_marker(values.sectionEnd);

  layout.section.left = layout.startMarker.left + sizes.markerWidth / 2;
  layout.section.top = 0;
  layout.section.right = layout.endMarker.left + sizes.markerWidth / 2;
  layout.section.bottom = layout.track.bottom;
  return layout;
}

std::optional<int> TrackValueAt(int x, int minimum, int maximum, int partWidth, int clientRight,
                                int thumbWidth) {
  x = std::max(x, 0);
  const int width = clientRight - thumbWidth;
  if (width <= 0) return std::nullopt;
  const std::int64_t span = static_cast<std::int64_t>(maximum) - minimum;
  return ToInt(minimum + span * (x - partWidth / 2) / width);
}

int ClampToTrackRange(int v, int minimum, int maximum) {
  if (v < minimum) return minimum;
  return std::min(v, maximum);
}

std::optional<WaveExtent> WaveformExtentAt(const TrackWaveform& wave, int column, int columns,
                                           int reach) {
  const int stretches = wave.Stretches();
  if (stretches <= 0 || columns <= 0 || column < 0 || column >= columns || reach < 0) {
    return std::nullopt;
  }
  const auto first = static_cast<int>(static_cast<std::int64_t>(column) * stretches / columns);
  // A column narrower than a stretch still shows the stretch it lies in.
  const int end = std::max(first + 1, static_cast<int>(static_cast<std::int64_t>(column + 1) *
                                                       stretches / columns));
  const bool stereo = wave.channels >= 2;
  int up = 0;
  int down = 0;
  bool known = false;
  for (int s = first; s < end; ++s) {
    const WavePeak* peak = &wave.peaks[static_cast<std::size_t>(s) * wave.channels];
    if (peak[0].low > peak[0].high) continue;
    known = true;
    if (stereo) {
      up = std::max({up, std::abs(int{peak[0].low}), int{peak[0].high}});
      if (peak[1].low <= peak[1].high) {
        down = std::max({down, std::abs(int{peak[1].low}), int{peak[1].high}});
      }
    } else {
      up = std::max(up, int{peak[0].high});
      down = std::max(down, -int{peak[0].low});
    }
  }
  if (!known) return std::nullopt;
  // The square root of the level: a verse at a tenth of full scale still stands a third of the
  // way up, where a straight scale would leave it hidden under the groove. Rounded to the
  // nearest pixel, so the hiss of a lossy file's silence stays flat; full scale reaches the edge
  // and no further.
  auto pixels = [reach](int level) {
    const double share = std::sqrt(std::max(level, 0) / 32767.0);
    return static_cast<int>(std::min<double>(reach, std::floor(share * reach + 0.5)));
  };
  return WaveExtent{pixels(up), pixels(down)};
}

}  // namespace tavio_ui
