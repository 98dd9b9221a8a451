// Loudness-normalised rings end to end: the real plug-ins, real files, and the ffmpeg command's
// ebur128 filter as the meter that checks what the cut job measured and wrote.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/strings.h"
#include "engine/cut_plan.h"
#include "engine/tvplayer_wrapper.h"
#include "tests/engine/ring_fixtures.h"

namespace {

using ringtest::TempDir;

std::wstring W(const std::filesystem::path& path) { return base::UTF8ToWide(path.string()); }

// FNV-1a, 64 bits: a file's bytes in one number a table can hold.
uint64_t Digest(const std::string& bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (char c : bytes) hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211ull;
  return hash;
}

class LoudnessCutTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(wrapper.Initialize(0)) << "tvplayer.so beside the test"; }
  TVPlayerWrapper wrapper;
  TempDir dir;
};

// The five volume items keep the bytes they wrote before rings could be normalised: the same
// gains, clamped the same way, with the fades after them.
TEST_F(LoudnessCutTest, TheFiveVolumeItemsWriteTheBytesTheyAlwaysWrote) {
  ringtest::WriteWav(dir / "song.wav", ringtest::MakeSong(16, 2, 44100, 44100 * 3, 11));
  struct Row {
    int32_t format, channels;
    const char* ring;
    uint64_t digests[5];
  };
  const Row rows[] = {
      {TVPlayerWrapper::kFormatWav, 2, "ring.wav",
       {0xfbd4fa2d1ff83ccbull, 0xca70222e407b6de6ull, 0x854334acfdea17a0ull,
        0xb12327d9918fba7full, 0x8044fbf1baa73a6eull}},
      {TVPlayerWrapper::kFormatWav, 1, "ring.wav",
       {0x51c39dbf7c9ae716ull, 0xeba80c5940e4252eull, 0xdfb6b63ca7825601ull,
        0x5877c239af6c83b0ull, 0xcd427a260a7bdf96ull}},
      {TVPlayerWrapper::kFormatMp3, 2, "ring.mp3",
       {0xd8fb34b61d02c5e6ull, 0x2a845cef1e87ce19ull, 0xdbfa0d8df6e25c16ull,
        0x988a8af4745dac0full, 0x07535238bb973a4dull}},
  };
  for (const Row& row : rows) {
    for (int item = 0; item < 5; ++item) {
      SCOPED_TRACE(std::string(row.ring) + ", " + std::to_string(row.channels) + " channels, item " +
                   std::to_string(item));
      wrapper.PrepareCut(W(dir / "song.wav"), row.format, 128);
      ASSERT_TRUE(wrapper.StartCutRing(W(dir / row.ring), 250, 2750, 300, 700,
                                       cutplan::VolumeFromIndex(item), row.channels));
      ASSERT_TRUE(wrapper.succeeded());
      const uint64_t digest = Digest(ringtest::ReadAll(dir / row.ring));
      EXPECT_EQ(digest, row.digests[item]) << std::hex << "0x" << digest;
    }
  }
}

}  // namespace
