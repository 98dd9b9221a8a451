// Durations written the way the ffmpeg command writes them, so a user of audio tools types a time
// once and both programs read it alike:
//   [-][HH:]MM:SS[.m...]      hours (any number of digits), minutes and seconds (one or two
//                             digits, 0 to 59), an optional decimal part of the seconds
//   [-]S+[.m...][s|ms|us]     a number of seconds, or of milliseconds or microseconds with the
//                             suffix; a bare number is seconds
// Digits finer than a microsecond are dropped, as ffmpeg drops them. Pure; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cutcli {

// The duration in microseconds (negative with a leading '-'), or nothing when text is not written
// in one of the two forms or lies beyond about 290,000 years.
std::optional<int64_t> ParseDurationUs(std::string_view text);

// A time of 0 or more, cut to tenths of a second, written so ParseDurationUs reads it back:
// "0:18.7", "20:00.0", "1:02:03.4".
std::string FormatDurationTenths(int64_t us);

}  // namespace cutcli
