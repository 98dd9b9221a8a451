#include "audio/pcm_samples.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/param_name.h"
#include "tests/support/pcm_bytes.h"

namespace {

using pcm::ApplyGain;
using pcm::kUnityGain;
using pcm::MonoToStereo;
using pcm::StereoToMono;
using testsupport::PutSample;
using testsupport::SampleAt;

// Random bytes: samples of every value, the extremes among them.
std::vector<uint8_t> Noise(size_t bytes, uint32_t seed = 7) {
  std::mt19937 random(seed);
  std::vector<uint8_t> data(bytes);
  for (uint8_t& b : data) b = static_cast<uint8_t>(random());
  return data;
}

// Signed samples (8-bit given signed, stored with 128 as zero), little-endian.
std::vector<uint8_t> Samples(int bits, std::initializer_list<int64_t> values) {
  std::vector<uint8_t> data(values.size() * (bits / 8));
  int64_t i = 0;
  for (int64_t v : values) PutSample(data.data(), bits, i++, v);
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
    std::vector<uint8_t> data = Noise(static_cast<size_t>(bits / 8 * 2 * 500));
    // Except -2^31, which the symmetric 32-bit clamp raises by one.
    for (int64_t i = 0; bits == 32 && i < 1000; ++i) {
      if (SampleAt(data.data(), 32, i) == INT32_MIN) data[i * 4] = 1;
    }
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
    const std::vector<uint8_t> mono = Noise(static_cast<size_t>(bits / 8 * 300));
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

struct WidthCase {
  int bits;
  std::vector<uint8_t> bytes;  // one sample, little-endian
  int32_t value;               // signed
};

void PrintTo(const WidthCase& c, std::ostream* os) { *os << c.bits << "bit " << c.value; }

class SampleWidthTest : public ::testing::TestWithParam<WidthCase> {};

// A sample read from its bytes gives its value; the value at the top of 32 bits (what LAME reads)
// and stored back, the same bytes.
TEST_P(SampleWidthTest, LoadsStoresAndWidensToThirtyTwoBits) {
  const WidthCase& c = GetParam();
  EXPECT_EQ(pcm::LoadSample(c.bytes.data(), c.bits), c.value);
  EXPECT_EQ(pcm::LoadSampleAs32(c.bytes.data(), c.bits),
            static_cast<int32_t>(static_cast<int64_t>(c.value) << (32 - c.bits)));
  std::vector<uint8_t> stored(c.bytes.size() + 1, 0xEE);
  switch (c.bits) {
    case 8:
      pcm::StoreU8(stored.data(), c.value);
      break;
    case 16:
      pcm::Store16(stored.data(), c.value);
      break;
    case 24:
      pcm::Store24(stored.data(), c.value);
      break;
    default:
      pcm::Store32(stored.data(), c.value);
      break;
  }
  EXPECT_EQ(std::vector<uint8_t>(stored.begin(), stored.end() - 1), c.bytes);
  EXPECT_EQ(stored.back(), 0xEE) << "wrote past the sample";
}

INSTANTIATE_TEST_SUITE_P(
    Widths, SampleWidthTest,
    ::testing::Values(WidthCase{8, {0x00}, -128}, WidthCase{8, {0x80}, 0},
                      WidthCase{8, {0xFF}, 127}, WidthCase{16, {0x00, 0x80}, -32768},
                      WidthCase{16, {0xFF, 0xFF}, -1}, WidthCase{16, {0x34, 0x12}, 0x1234},
                      WidthCase{24, {0x00, 0x00, 0x80}, -8388608},
                      WidthCase{24, {0xFF, 0xFF, 0xFF}, -1},
                      WidthCase{24, {0xFF, 0xFF, 0x7F}, 8388607},
                      WidthCase{24, {0x56, 0x34, 0x12}, 0x123456},
                      WidthCase{32, {0x00, 0x00, 0x00, 0x80}, INT32_MIN},
                      WidthCase{32, {0xFE, 0xFF, 0xFF, 0xFF}, -2},
                      WidthCase{32, {0x78, 0x56, 0x34, 0x12}, 0x12345678}),
    testsupport::PrintedParamName());

TEST(SampleWidth, OnlyTheFourWidthsAreSamples) {
  const uint8_t bytes[4] = {1, 2, 3, 4};
  for (int bits : {0, 4, 12, 20, 64}) {
    EXPECT_FALSE(pcm::IsSampleWidth(bits)) << bits;
    EXPECT_EQ(pcm::LoadSample(bytes, bits), 0) << bits;
    EXPECT_EQ(pcm::LoadSampleAs32(bytes, bits), 0) << bits;
  }
}

// The decoder's 24-bit samples come in 32-bit words with an empty low byte: the three high bytes
// of each word, in order, and nothing written past them.
TEST(Pack32To24, KeepsTheThreeHighBytesOfEveryWord) {
  const std::vector<uint8_t> words = {0x00, 0x56, 0x34, 0x12, 0x00, 0x00, 0x00, 0x80,
                                      0x00, 0xFF, 0xFF, 0x7F};
  std::vector<uint8_t> packed(10, 0xEE);
  pcm::Pack32To24(words.data(), packed.data(), 3);
  EXPECT_EQ(packed, (std::vector<uint8_t>{0x56, 0x34, 0x12, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F,
                                          0xEE}));
  EXPECT_EQ(pcm::Load24(packed.data()), 0x123456);
  EXPECT_EQ(pcm::Load24(packed.data() + 3), -8388608);
}

}  // namespace
