#include "editor/ring_figures.h"

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <limits>

#include "engine/tvplayer_interfaces.h"

namespace ring {

std::wstring TimeText(int64_t seconds) {
  if (seconds < 0) return std::wstring();
  const int64_t minutes = seconds / 60;
  wchar_t text[64];
  std::swprintf(text, std::size(text), minutes < 100 ? L"%.2lld:%.2lld" : L"%.3lld:%.2lld",
                static_cast<long long>(minutes), static_cast<long long>(seconds % 60));
  return text;
}

std::wstring SongInfoText(int64_t durationUnits, int32_t channels, int32_t sampleRate,
                          int32_t bitrateKbps) {
  const std::wstring time = TimeText(durationUnits / kUnitsPerSecond);
  const wchar_t* format = bitrateKbps >= 80 ? L"(%ls，%ls声道，%dHz,%dkbps)"
                                            : L"(%ls，%ls声道，%dHz,<c #FF0000>%dkbps</c>)";
  wchar_t text[256];
  std::swprintf(text, std::size(text), format, time.c_str(), channels == 2 ? L"双" : L"单",
                sampleRate, bitrateKbps);
  return text;
}

SongLength SplitSongLength(int64_t durationUnits) {
  SongLength length;
  const int64_t ms = durationUnits / kUnitsPerMillisecond;
  length.durationMs = static_cast<int32_t>(
      std::min<int64_t>(ms, std::numeric_limits<int32_t>::max()));
  length.durationMinutes = static_cast<int32_t>(durationUnits / (60 * kUnitsPerSecond));
  length.lastMinuteMs = static_cast<int32_t>(ms % 60000);
  return length;
}

int32_t SizeKB(int32_t sectionMs, int32_t kbps, int64_t containerBytes) {
  const double seconds = sectionMs / 1000.0;
  // 0.125 turns kilobits into kilobytes of 1000 bytes, 0.9765625 those into KB of 1024.
  const double x = kbps * 0.125 * seconds * 0.9765625 + containerBytes / 1024.0 + 0.5;
  return static_cast<int32_t>(std::ceil(x));
}

int32_t WavBitrateKbps(int32_t channels, int32_t sampleRate, int32_t bitsPerSample) {
  return static_cast<int32_t>(static_cast<int64_t>(channels) * sampleRate * bitsPerSample / 1000);
}

int32_t LeadingInteger(const std::wstring& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > std::numeric_limits<int32_t>::max()) {
      value = std::numeric_limits<int32_t>::max() + int64_t{negative};
      break;
    }
  }
  return static_cast<int32_t>(negative ? -value : value);
}

int32_t PerMille(int64_t ms, int64_t durationMs, int32_t whenNoLength) {
  if (durationMs == 0) return whenNoLength;
  return static_cast<int32_t>(std::trunc(ms * 1000.0 / durationMs));
}

int64_t SeekUnits(int64_t durationUnits, int64_t ms, int64_t durationMs) {
  if (durationMs == 0) return 0;
  return static_cast<int64_t>(durationUnits * (static_cast<double>(ms) / durationMs));
}

}  // namespace ring
