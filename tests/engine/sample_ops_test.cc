#include "engine/sample_ops.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <vector>

#include "encoder_test_support.h"
#include "tests/support/param_name.h"

namespace {

using enctest::SampleAt;

// Stores signed samples (8-bit given signed, stored with 128 as zero) little-endian.
std::vector<uint8_t> Samples(int bits, std::initializer_list<int64_t> values) {
  const int width = bits / 8;
  std::vector<uint8_t> data(values.size() * width);
  size_t i = 0;
  for (int64_t v : values) {
    const auto u = static_cast<uint64_t>(bits == 8 ? v + 128 : v);
    for (int b = 0; b < width; ++b) data[i * width + b] = static_cast<uint8_t>(u >> (8 * b));
    ++i;
  }
  return data;
}

struct GainCase {
  int bits;
  int64_t sample;  // signed (8-bit: stored value - 128)
  int32_t gain;
  int64_t expected;
};

void PrintTo(const GainCase& c, std::ostream* os) {
  *os << c.bits << "bit " << c.sample << " x" << c.gain;
}

class ApplyGainTest : public ::testing::TestWithParam<GainCase> {};

TEST_P(ApplyGainTest, ScalesTruncatesTowardZeroAndClamps) {
  const GainCase& c = GetParam();
  std::vector<uint8_t> data = Samples(c.bits, {c.sample});
  ApplyGain(data.data(), c.bits, 1, c.gain, 1);
  EXPECT_EQ(SampleAt(data.data(), c.bits, 0), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, ApplyGainTest,
    ::testing::Values(
        GainCase{8, 200 - 128, 15000, 236 - 128},  // stored 200 becomes 128 + 108
        GainCase{8, 127, 30000, 127}, GainCase{8, -128, 30000, -128},
        GainCase{8, -3, 15000, -4},                // -4.5 truncates toward zero
        GainCase{16, 20000, 30000, 32767}, GainCase{16, -20000, 30000, -32768},
        GainCase{16, -3, 15000, -4}, GainCase{16, 3, 15000, 4}, GainCase{16, 7, 0, 0},
        GainCase{24, 8000000, 20000, 8388607}, GainCase{24, -8000000, 20000, -8388608},
        GainCase{24, -5, 15000, -7}, GainCase{24, 1000000, 25000, 2500000},
        GainCase{32, 2000000000, 15000, 2147483647},
        GainCase{32, -2000000000, 15000, -2147483647},  // the low clamp is -(2^31 - 1)
        GainCase{32, -2147483647 - 1, 10000, -2147483647},
        GainCase{32, 1000000001, 15000, 1500000001}),
    testsupport::PrintedParamName());

TEST(ApplyGain, UnityGainLeavesEveryWidthUnchangedAndOtherWidthsAreNotTouched) {
  for (int bits : {8, 16, 24, 32}) {
    std::vector<uint8_t> data = enctest::MakePcm(bits, 2, 500);
    const std::vector<uint8_t> before = data;
    ApplyGain(data.data(), bits, 2, kUnityGain, 500);
    EXPECT_EQ(data, before) << bits;
  }
  std::vector<uint8_t> odd = {1, 2, 3, 4, 5, 6};
  ApplyGain(odd.data(), 12, 1, 30000, 3);
  EXPECT_EQ(odd, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
}

TEST(ApplyGain, TouchesOnlyTheFramesItIsGiven) {
  std::vector<uint8_t> data = Samples(16, {100, 100, 100, 100, 100, 100});
  ApplyGain(data.data(), 16, 2, 20000, 2);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(SampleAt(data.data(), 16, i), 200);
  EXPECT_EQ(SampleAt(data.data(), 16, 4), 100);
  EXPECT_EQ(SampleAt(data.data(), 16, 5), 100);
}

struct MixCase {
  int bits;
  int64_t left, right, expected;
};

void PrintTo(const MixCase& c, std::ostream* os) {
  *os << c.bits << "bit " << c.left << "+" << c.right;
}

class StereoToMonoTest : public ::testing::TestWithParam<MixCase> {};

TEST_P(StereoToMonoTest, AveragesEachFrameInPlace) {
  const MixCase& c = GetParam();
  // Two frames, so the second result must land right after the first.
  std::vector<uint8_t> data = Samples(c.bits, {c.left, c.right, c.right, c.left});
  StereoToMono(data.data(), c.bits, static_cast<uint32_t>(data.size()));
  EXPECT_EQ(SampleAt(data.data(), c.bits, 0), c.expected);
  EXPECT_EQ(SampleAt(data.data(), c.bits, 1), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, StereoToMonoTest,
    ::testing::Values(MixCase{8, -128, 127, 0}, MixCase{8, -3, 0, -1}, MixCase{8, 127, 127, 127},
                      MixCase{16, -32768, -32768, -32768}, MixCase{16, -3, 0, -1},
                      MixCase{16, 32767, 32766, 32766},
                      MixCase{24, 8388607, 8388607, 8388607},
                      MixCase{24, -8388608, -1, -4194304},
                      MixCase{32, 2000000000, 2000000000, 2000000000},  // no 32-bit overflow
                      MixCase{32, -2147483647 - 1, -2147483647 - 1, -2147483647 - 1},
                      MixCase{32, -5, 2, -1}),
    testsupport::PrintedParamName());

TEST(MonoToStereo, DoublesEverySampleOfEveryWidth) {
  for (int bits : {8, 16, 24, 32}) {
    const std::vector<uint8_t> mono = enctest::MakePcm(bits, 1, 300);
    std::vector<uint8_t> data(mono.size() * 2, 0xEE);
    std::memcpy(data.data(), mono.data(), mono.size());
    MonoToStereo(data.data(), bits, static_cast<uint32_t>(mono.size()));
    for (int64_t i = 0; i < 300; ++i) {
      ASSERT_EQ(SampleAt(data.data(), bits, 2 * i), SampleAt(mono.data(), bits, i)) << bits;
      ASSERT_EQ(SampleAt(data.data(), bits, 2 * i + 1), SampleAt(mono.data(), bits, i)) << bits;
    }
  }
}

TEST(ChannelConversion, OtherWidthsAreLeftUnchanged) {
  std::vector<uint8_t> data = {1, 2, 3, 4, 5, 6, 7, 8};
  StereoToMono(data.data(), 12, 4);
  MonoToStereo(data.data(), 20, 4);
  EXPECT_EQ(data, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

}  // namespace
