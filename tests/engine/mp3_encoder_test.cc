// Mp3Encoder with the real codecs.so (beside the test executable): rings decoded back with the
// ffmpeg command, the callback's contract, and the ways Begin can fail without leaving a file.
#include "engine/mp3_encoder.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "encoder_test_support.h"
#include "tests/support/param_name.h"

namespace {

using enctest::MemoryInput;
using enctest::TempDir;

std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

std::string Probe(const std::filesystem::path& file, const std::string& field) {
  std::string out = enctest::Capture(
      "ffprobe -v error -select_streams a:0 -show_entries stream=" + field +
      " -of default=noprint_wrappers=1:nokey=1 " + Quote(file));
  out.erase(std::remove(out.begin(), out.end(), '\n'), out.end());
  return out;
}

// The ring decoded to 16-bit PCM at its own channel count.
std::vector<int16_t> Decode(const std::filesystem::path& file) {
  int status = 0;
  const std::string raw = enctest::Capture(
      "ffmpeg -v error -i " + Quote(file) + " -f s16le -acodec pcm_s16le -", &status);
  EXPECT_EQ(status, 0);
  std::vector<int16_t> samples(raw.size() / 2);
  std::memcpy(samples.data(), raw.data(), samples.size() * 2);
  return samples;
}

struct Mp3Case {
  int bits;
  int sourceChannels;
  int rate;
  int64_t frames;  // of the section
  int outChannels;
  int32_t kbps;
  int32_t writtenKbps;  // after clamping to the layer's rates
  int32_t volume;
};

void PrintTo(const Mp3Case& c, std::ostream* os) {
  *os << c.bits << "bit_" << c.sourceChannels << "ch_" << c.rate << "Hz_to_" << c.outChannels
      << "ch_" << c.kbps << "kbps";
}

class Mp3RingTest : public ::testing::TestWithParam<Mp3Case> {};

// A decoder yields exactly the frames of the section, with the chosen channels and bit rate, and
// the tone at the level the volume gave it.
TEST_P(Mp3RingTest, DecodesToExactlyTheSection) {
  const Mp3Case& c = GetParam();
  TempDir dir;
  const double level = 0.4;
  MemoryInput input(c.bits, c.sourceChannels, c.rate,
                    enctest::MakeSine(c.bits, c.sourceChannels, c.rate, c.frames, 441.0, level));
  Mp3Encoder encoder;
  encoder.SetBitrate(c.kbps);
  const int32_t jobBytes = static_cast<int32_t>(input.pcm.size());
  ASSERT_TRUE(encoder.Begin(&input, dir / "ring.mp3", jobBytes, 0, 0, c.volume, c.outChannels));
  int32_t bytes = 0;
  while (encoder.Step(bytes)) {
  }
  ASSERT_TRUE(encoder.End());
  const std::filesystem::path ring = dir / "ring.mp3";

  EXPECT_EQ(Probe(ring, "channels"), std::to_string(c.outChannels));
  EXPECT_EQ(Probe(ring, "sample_rate"), std::to_string(c.rate));
  EXPECT_EQ(Probe(ring, "bit_rate"), std::to_string(c.writtenKbps * 1000));
  const std::vector<int16_t> decoded = Decode(ring);
  EXPECT_EQ(static_cast<int64_t>(decoded.size()), c.frames * c.outChannels);

  // The first frame is the finished LAME tag of a constant-rate stream.
  const std::vector<uint8_t> file = enctest::ReadBytes(ring);
  ASSERT_GT(file.size(), 200u);
  EXPECT_EQ(file[0], 0xFF);
  EXPECT_NE(std::search(file.begin(), file.begin() + 200, "Info", "Info" + 4), file.begin() + 200);

  if (c.frames < 1000) return;  // too short to carry the tone
  int peak = 0;
  for (int16_t s : decoded) peak = std::max(peak, std::abs(static_cast<int>(s)));
  const double expected = level * c.volume / 10000.0 * 32767;
  EXPECT_NEAR(peak, expected, expected * 0.15);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, Mp3RingTest,
    ::testing::Values(
        Mp3Case{16, 2, 44100, 88200, 2, 128, 128, 15000},
        Mp3Case{16, 1, 22050, 33075, 2, 64, 64, 10000},      // mono doubled into stereo
        Mp3Case{24, 2, 48000, 48001, 1, 192, 192, 20000},    // stereo mixed down by the codec
        Mp3Case{8, 1, 8000, 16000, 1, 1411, 64, 10000},      // MPEG-2.5 tops out at 64
        Mp3Case{32, 2, 32000, 32000, 2, 1411, 320, 10000},   // a WAV song's own rate
        Mp3Case{16, 2, 44100, 1, 2, 0, 64, 10000}),  // one frame, no rate: the tag needs 64
    testsupport::PrintedParamName());

// What the codec is told: mode 3 for a one-channel ring, while the PCM keeps its two channels.
TEST(Mp3Encoder, TellsTheCodecTheRingsChannelModeAndClampedRate) {
  TempDir dir;
  MemoryInput input(16, 2, 44100, enctest::MakePcm(16, 2, 4410));
  Mp3Encoder encoder;
  encoder.SetBitrate(150);
  ASSERT_TRUE(encoder.Begin(&input, dir / "ring.mp3", 4410 * 4, 0, 0, 10000, 1));
  ASSERT_NE(encoder.settings(), nullptr);
  int32_t mode = -1, kbps = -1;
  encoder.settings()->GetChannelMode(&mode);
  encoder.settings()->GetBitrate(&kbps);
  EXPECT_EQ(mode, 3);
  EXPECT_EQ(kbps, 160);
}

TEST(Mp3EncoderCallback, KeepsTheContractOfTheOutputFile) {
  TempDir dir;
  MemoryInput input(16, 2, 44100, enctest::MakePcm(16, 2, 44100));
  Mp3Encoder encoder;
  tavio::IEncoderCallback* callback = &encoder;
  char buffer[16];
  EXPECT_EQ(callback->Read(buffer, 16), -1);  // no file yet
  EXPECT_EQ(callback->Write("x", 1), -1);

  ASSERT_TRUE(encoder.Begin(&input, dir / "ring.mp3", 44100 * 4, 0, 0, 10000, 2));
  // The codec holds one reference on the callback besides the owner's.
  EXPECT_EQ(callback->AddRef(), 3u);
  EXPECT_EQ(callback->Release(), 2u);

  void* out = &encoder;
  EXPECT_EQ(callback->QueryInterface(tavio::IID_ICodecEncoder, &out), tavio::E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(callback->QueryInterface(tavio::IID_IUnknown, nullptr), tavio::E_POINTER);
  ASSERT_EQ(callback->QueryInterface(tavio::IID_IUnknown, &out), tavio::S_OK);
  EXPECT_EQ(out, static_cast<tavio::IUnknown*>(callback));
  static_cast<tavio::IUnknown*>(out)->Release();

  std::memset(buffer, 0x5A, sizeof(buffer));
  EXPECT_EQ(callback->Read(buffer, 16), 0);  // open for writing only: nothing comes back
  EXPECT_EQ(buffer[0], 0x5A);
  EXPECT_EQ(callback->Read(nullptr, 16), -1);

  // Positions are 64-bit.
  uint64_t position = 0;
  ASSERT_EQ(callback->Seek(int64_t{5} << 30, 0, &position), 0);
  EXPECT_EQ(position, uint64_t{5} << 30);
  EXPECT_EQ(callback->Seek(0, 2, nullptr), -1);
  ASSERT_EQ(callback->Seek(0, 2, &position), 0);
  EXPECT_EQ(position, 0u);
  EXPECT_EQ(callback->Write(nullptr, 4), -1);

  int32_t bytes = 0;
  while (encoder.Step(bytes)) {
  }
  ASSERT_TRUE(encoder.End());
  EXPECT_EQ(callback->Write("x", 1), -1);  // closed
  EXPECT_EQ(callback->Seek(0, 0, &position), -1);
  EXPECT_EQ(callback->Read(buffer, 1), -1);
}

TEST(Mp3EncoderBegin, FailsWithoutLeavingAFile) {
  TempDir dir;
  TempDir empty;  // no codecs.so here
  const std::filesystem::path ring = dir / "ring.mp3";
  {
    MemoryInput input(16, 2, 44100, enctest::MakePcm(16, 2, 1000));
    Mp3Encoder encoder(empty.path());
    EXPECT_FALSE(encoder.Begin(&input, ring, 4000, 0, 0, 10000, 2));
    EXPECT_EQ(encoder.settings(), nullptr);
  }
  {
    // The codec is loaded and initialised, but the ring's folder does not exist.
    MemoryInput input(16, 2, 44100, enctest::MakePcm(16, 2, 1000));
    Mp3Encoder encoder;
    EXPECT_FALSE(encoder.Begin(&input, dir / "missing" / "ring.mp3", 4000, 0, 0, 10000, 2));
  }
  EXPECT_TRUE(dir.Files().empty());
}

// A plug-in without the settings interface: Begin fails, and the encoder object the plug-in
// created is released with the Mp3Encoder.
TEST(Mp3EncoderBegin, ReleasesTheObjectOfACodecWithoutSettings) {
  TempDir dir;
  const std::filesystem::path fake = std::filesystem::path(FAKE_CODEC_FOLDER) / "codecs.so";
  void* module = dlopen(fake.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  auto liveObjects = reinterpret_cast<int (*)()>(dlsym(module, "FakeCodecLiveObjects"));
  ASSERT_NE(liveObjects, nullptr);
  {
    MemoryInput input(16, 2, 44100, enctest::MakePcm(16, 2, 1000));
    Mp3Encoder encoder(FAKE_CODEC_FOLDER);
    EXPECT_FALSE(encoder.Begin(&input, dir / "ring.mp3", 4000, 0, 0, 10000, 2));
    EXPECT_EQ(liveObjects(), 1);
  }
  EXPECT_EQ(liveObjects(), 0);
  EXPECT_TRUE(dir.Files().empty());
}

}  // namespace
