#include "cli/duration.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

TEST(DurationTest, ReadsBothFormsAsTheFfmpegCommandDoes) {
  struct Case {
    const char* text;
    std::optional<int64_t> us;
  };
  const Case cases[] = {
      // S+[.m...][s|ms|us]: a bare number is seconds.
      {"55", 55'000'000},
      {"0", 0},
      {"0.2", 200'000},
      {"23.189", 23'189'000},
      {"200ms", 200'000},
      {"200000us", 200'000},
      {"2s", 2'000'000},
      {"1.5s", 1'500'000},
      {"1.5ms", 1'500},
      {"1.5us", 1},                  // finer than a microsecond is dropped
      {"1.0000019", 1'000'001},
      {"007", 7'000'000},
      // [-][HH:]MM:SS[.m...]
      {"1:05.5", 65'500'000},
      {"1:5", 65'000'000},
      {"59:59", 3'599'000'000},
      {"12:03:45", 43'425'000'000},
      {"0:00:00.001", 1'000},
      {"100:00:00", 360'000'000'000},
      // The sign belongs to both forms.
      {"-5", -5'000'000},
      {"-1:00", -60'000'000},
      {"-200ms", -200'000},
      // Neither form.
      {"", std::nullopt},
      {"-", std::nullopt},
      {"abc", std::nullopt},
      {".5", std::nullopt},          // S+ needs a digit before the point
      {"1.", std::nullopt},          // and one after it
      {"1:", std::nullopt},
      {":30", std::nullopt},
      {"1:60", std::nullopt},        // seconds below 60
      {"60:00", std::nullopt},       // minutes below 60: an hour is 1:00:00
      {"123:45", std::nullopt},      // minutes have two digits at most
      {"1:123", std::nullopt},
      {"1:60:00", std::nullopt},
      {"1:2:3:4", std::nullopt},
      {"1:00s", std::nullopt},       // a unit only after a plain number
      {"5m", std::nullopt},
      {"5sms", std::nullopt},
      {"5 s", std::nullopt},
      {" 5", std::nullopt},
      {"+5", std::nullopt},
      {"--5", std::nullopt},
      {"1e3", std::nullopt},
      {"1.5.5", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"9223372036855s", std::nullopt},  // past int64 microseconds
      {"9223372036854775807us", 9'223'372'036'854'775'807},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cutcli::ParseDurationUs(c.text), c.us) << '"' << c.text << '"';
  }
}

TEST(DurationTest, TimesAreWrittenInTenthsTheReaderTakesBack) {
  struct Case {
    int64_t us;
    const char* text;
  };
  const Case cases[] = {
      {0, "0:00.0"},
      {18'799'999, "0:18.7"},  // cut, not rounded: the song has not reached 0:18.8
      {1'200'000'000, "20:00.0"},
      {3'723'400'000, "1:02:03.4"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cutcli::FormatDurationTenths(c.us), c.text);
    EXPECT_EQ(cutcli::ParseDurationUs(c.text), c.us / 100'000 * 100'000) << c.text;
  }
}

}  // namespace
