#include "cli/duration.h"

#include <cstdio>
#include <limits>

namespace cutcli {
namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Takes the leading digits of text (at least one, at most maxDigits) as a number; nothing when
// there are none, too many or the number passes kMax / scale.
std::optional<int64_t> TakeNumber(std::string_view& text, size_t maxDigits, int64_t scale) {
  size_t n = 0;
  int64_t value = 0;
  while (n < text.size() && IsDigit(text[n])) {
    if (value > (kMax / scale - (text[n] - '0')) / 10) return std::nullopt;
    value = value * 10 + (text[n] - '0');
    ++n;
  }
  if (n == 0 || n > maxDigits) return std::nullopt;
  text.remove_prefix(n);
  return value;
}

// An optional ".m..." (at least one digit after the point) as a count of 1 / unitDigits-th parts:
// ".25" with unitDigits 6 is 250000. Digits past unitDigits are read and dropped.
std::optional<int64_t> TakeFraction(std::string_view& text, int unitDigits) {
  if (text.empty() || text.front() != '.') return 0;
  text.remove_prefix(1);
  if (text.empty() || !IsDigit(text.front())) return std::nullopt;
  int64_t value = 0;
  for (int place = 0; place < unitDigits; ++place) {
    value *= 10;
    if (!text.empty() && IsDigit(text.front())) {
      value += text.front() - '0';
      text.remove_prefix(1);
    }
  }
  while (!text.empty() && IsDigit(text.front())) text.remove_prefix(1);
  return value;
}

// [HH:]MM:SS[.m...] after the sign; nothing when text has no colon or is malformed.
std::optional<int64_t> ClockUs(std::string_view text) {
  int64_t fields[3] = {};
  int count = 0;
  while (true) {
    // The first of three fields (hours) may have any number of digits; minutes and seconds
    // have one or two, below 60.
    const bool hours = count == 0 && text.find(':') != text.rfind(':');
    auto field = TakeNumber(text, hours ? 20 : 2, hours ? 3600'000'000 : 1);
    if (!field || count == 3 || (!hours && *field > 59)) return std::nullopt;
    fields[count++] = *field;
    if (text.empty() || text.front() != ':') break;
    text.remove_prefix(1);
  }
  if (count < 2) return std::nullopt;
  auto fraction = TakeFraction(text, 6);
  if (!fraction || !text.empty()) return std::nullopt;
  const int64_t hours = count == 3 ? fields[0] : 0;
  const int64_t minutes = fields[count - 2];
  const int64_t seconds = fields[count - 1];
  return hours * 3600'000'000 + (minutes * 60 + seconds) * 1000'000 + *fraction;
}

// S+[.m...][s|ms|us] after the sign.
std::optional<int64_t> NumberUs(std::string_view text) {
  // The unit is known only at the end: find it first.
  int64_t unitUs = 1000'000;
  int unitDigits = 6;
  if (text.ends_with("ms")) {
    unitUs = 1000;
    unitDigits = 3;
    text.remove_suffix(2);
  } else if (text.ends_with("us")) {
    unitUs = 1;
    unitDigits = 0;
    text.remove_suffix(2);
  } else if (text.ends_with("s")) {
    text.remove_suffix(1);
  }
  auto whole = TakeNumber(text, 20, unitUs);
  if (!whole) return std::nullopt;
  auto fraction = TakeFraction(text, unitDigits);
  if (!fraction || !text.empty()) return std::nullopt;
  if (*whole * unitUs > kMax - *fraction) return std::nullopt;
  return *whole * unitUs + *fraction;
}

}  // namespace

std::optional<int64_t> ParseDurationUs(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  auto us = text.find(':') != std::string_view::npos ? ClockUs(text) : NumberUs(text);
  if (!us) return std::nullopt;
  return negative ? -*us : *us;
}

std::string FormatDurationTenths(int64_t us) {
  const int64_t tenths = us > 0 ? us / 100'000 : 0;
  const int64_t seconds = tenths / 10;
  char text[48];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%lld",
                  static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                  static_cast<long long>(seconds % 60), static_cast<long long>(tenths % 10));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60), static_cast<long long>(tenths % 10));
  }
  return text;
}

}  // namespace cutcli
