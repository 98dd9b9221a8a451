// codecs.so driven directly through its export and interfaces, with the output kept in memory.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "engine/codec_interfaces.h"
#include "tests/support/param_name.h"

namespace {

// The output "file": bytes and one position, as the program's callback keeps them.
class MemoryCallback final : public tavio::IEncoderCallback {
 public:
  int32_t QueryInterface(const tavio::GUID& iid, void** out) override {
    if (out == nullptr) return tavio::E_POINTER;
    *out = nullptr;
    if (!(iid == tavio::IID_IUnknown)) return tavio::E_NOINTERFACE;
    *out = this;
    AddRef();
    return tavio::S_OK;
  }
  uint32_t AddRef() override { return ++references; }
  uint32_t Release() override { return --references; }
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* bytes, int32_t count) override {
    if (failWrites || bytes == nullptr || count < 0) return -1;
    const auto* p = static_cast<const uint8_t*>(bytes);
    if (data.size() < position + count) data.resize(position + count);
    std::copy(p, p + count, data.begin() + static_cast<std::ptrdiff_t>(position));
    position += static_cast<size_t>(count);
    return 0;
  }
  int32_t Seek(int64_t offset, int32_t origin, uint64_t* newPosition) override {
    const int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(position) : int64_t(data.size());
    if (base + offset < 0 || newPosition == nullptr) return -1;
    position = static_cast<size_t>(base + offset);
    *newPosition = position;
    return 0;
  }

  std::vector<uint8_t> data;
  size_t position = 0;
  uint32_t references = 1;  // the test's own
  bool failWrites = false;
};

DllGetClassObjectFn LoadCodec() {
  static void* module = dlopen(CODECS_SO, RTLD_NOW | RTLD_LOCAL);
  return module ? reinterpret_cast<DllGetClassObjectFn>(dlsym(module, kDllGetClassObjectName))
                : nullptr;
}

// One encoder object and its settings, released by the destructor.
struct CodecObject {
  CodecObject() {
    DllGetClassObjectFn getClassObject = LoadCodec();
    if (getClassObject == nullptr) return;
    void* out = nullptr;
    getClassObject(&tavio::CLSID_Mp3Encoder, &tavio::IID_IClassFactory, &out);
    auto* factory = static_cast<tavio::IClassFactory*>(out);
    if (factory == nullptr) return;
    factory->CreateInstance(nullptr, tavio::IID_ICodecEncoder, &out);
    encoder = static_cast<tavio::ICodecEncoder*>(out);
    factory->Release();
    if (encoder == nullptr) return;
    encoder->QueryInterface(tavio::IID_ICodecSettings, &out);
    settings = static_cast<tavio::ICodecSettings*>(out);
  }
  ~CodecObject() {
    if (settings) settings->Release();
    if (encoder) encoder->Release();
  }
  CodecObject(const CodecObject&) = delete;
  CodecObject& operator=(const CodecObject&) = delete;

  tavio::ICodecEncoder* encoder = nullptr;
  tavio::ICodecSettings* settings = nullptr;
};

tavio::WaveFormatEx Pcm(int bits, int channels, int rate) {
  tavio::WaveFormatEx f{};
  f.wFormatTag = tavio::kWaveFormatPcm;
  f.nChannels = static_cast<uint16_t>(channels);
  f.nSamplesPerSec = static_cast<uint32_t>(rate);
  f.nBlockAlign = static_cast<uint16_t>(bits / 8 * channels);
  f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
  f.wBitsPerSample = static_cast<uint16_t>(bits);
  return f;
}

std::vector<uint8_t> Sine16(int channels, int frames) {
  std::vector<uint8_t> pcm(static_cast<size_t>(frames) * channels * 2);
  for (int i = 0; i < frames; ++i) {
    const auto v = static_cast<int16_t>(12000 * std::sin(0.05 * i));
    for (int c = 0; c < channels; ++c) std::memcpy(&pcm[(size_t(i) * channels + c) * 2], &v, 2);
  }
  return pcm;
}

TEST(CodecExport, HandsOutOnlyTheMp3EncoderClassWithoutAggregation) {
  DllGetClassObjectFn getClassObject = LoadCodec();
  ASSERT_NE(getClassObject, nullptr) << dlerror();
  void* out = &out;
  EXPECT_EQ(getClassObject(&tavio::IID_ICodecEncoder, &tavio::IID_IClassFactory, &out),
            tavio::CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(getClassObject(&tavio::CLSID_Mp3Encoder, &tavio::IID_IClassFactory, nullptr),
            tavio::E_POINTER);

  ASSERT_EQ(getClassObject(&tavio::CLSID_Mp3Encoder, &tavio::IID_IClassFactory, &out), 0);
  auto* factory = static_cast<tavio::IClassFactory*>(out);
  MemoryCallback outer;
  EXPECT_EQ(factory->CreateInstance(&outer, tavio::IID_ICodecEncoder, &out),
            tavio::CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, tavio::IID_IPcmSource, &out),
            tavio::E_NOINTERFACE);
  factory->Release();
}

struct RateCase {
  int rate;
  int channels;
  int32_t mode;  // 0 stereo, 3 mono
  int32_t kbps;
  int32_t expected;
};

void PrintTo(const RateCase& c, std::ostream* os) {
  *os << c.rate << "Hz_" << c.channels << "ch_mode" << c.mode << "_" << c.kbps << "kbps";
}

class CodecBitrateTest : public ::testing::TestWithParam<RateCase> {};

// Any asked rate becomes one the layer allows at the output rate, large enough for the tag.
TEST_P(CodecBitrateTest, ClampsToTheNearestRateThatCarriesTheTag) {
  const RateCase& c = GetParam();
  MemoryCallback output;  // outlives the codec, which holds it
  CodecObject codec;
  ASSERT_NE(codec.settings, nullptr);
  EXPECT_EQ(codec.settings->SetChannelMode(c.mode), 0);
  EXPECT_EQ(codec.settings->SetBitrate(c.kbps), 0);
  const tavio::WaveFormatEx format = Pcm(16, c.channels, c.rate);
  ASSERT_EQ(codec.encoder->InitStream(&output, &format), 0);
  int32_t kbps = -1;
  codec.settings->GetBitrate(&kbps);
  EXPECT_EQ(kbps, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, CodecBitrateTest,
    ::testing::Values(RateCase{44100, 2, 0, 1411, 320}, RateCase{44100, 2, 0, 128, 128},
                      RateCase{44100, 2, 0, 100, 96}, RateCase{44100, 2, 0, 150, 160},
                      RateCase{44100, 2, 0, 36, 64},  // 32 is nearest, its frames too small
                      RateCase{44100, 2, 0, 0, 64}, RateCase{44100, 2, 3, 56, 56},
                      RateCase{32000, 1, 0, 40, 48}, RateCase{32000, 2, 3, 40, 40},
                      RateCase{22050, 2, 0, 192, 160}, RateCase{22050, 1, 3, 48, 56},
                      RateCase{8000, 1, 3, 160, 64}, RateCase{8000, 2, 0, 16, 24},
                      RateCase{11025, 2, 0, 100, 64},
                      RateCase{96000, 2, 0, 1411, 320}),  // written at 48 kHz
    testsupport::PrintedParamName());

TEST(CodecStream, RefusesWhatItCannotEncode) {
  struct Refusal {
    const char* why;
    tavio::WaveFormatEx format;
  };
  tavio::WaveFormatEx floating = Pcm(32, 2, 44100);
  floating.wFormatTag = 3;
  tavio::WaveFormatEx misaligned = Pcm(16, 2, 44100);
  misaligned.nBlockAlign = 2;
  const Refusal refusals[] = {{"float samples", floating},    {"no channels", Pcm(16, 0, 44100)},
                              {"three channels", Pcm(16, 3, 44100)},
                              {"12-bit", Pcm(12, 1, 44100)}, {"block align", misaligned},
                              {"no rate", Pcm(16, 2, 0)},    {"absurd rate", Pcm(16, 2, 5000000)}};
  for (const Refusal& r : refusals) {
    MemoryCallback output;
    CodecObject codec;
    EXPECT_NE(codec.encoder->InitStream(&output, &r.format), 0) << r.why;
    EXPECT_EQ(output.references, 1u) << r.why;  // no reference kept on a refusal
  }

  MemoryCallback output;
  CodecObject codec;
  const tavio::WaveFormatEx format = Pcm(16, 2, 44100);
  const std::vector<uint8_t> pcm = Sine16(2, 100);
  EXPECT_EQ(codec.encoder->Encode(pcm.data(), 400), -1);  // not initialised
  EXPECT_EQ(codec.encoder->Finish(), -1);
  EXPECT_EQ(codec.encoder->InitStream(nullptr, &format), tavio::E_POINTER);
  EXPECT_EQ(codec.encoder->InitStream(&output, nullptr), tavio::E_POINTER);
  ASSERT_EQ(codec.encoder->InitStream(&output, &format), 0);
  EXPECT_NE(codec.encoder->InitStream(&output, &format), 0);  // once only
  EXPECT_EQ(codec.encoder->Encode(nullptr, 4), -1);
  EXPECT_EQ(codec.encoder->Finish(), 0);
  EXPECT_EQ(codec.encoder->Finish(), -1);
  EXPECT_EQ(codec.encoder->Encode(pcm.data(), 400), -1);  // after the end

  EXPECT_EQ(codec.settings->SetQuality(10), tavio::E_INVALIDARG);
  EXPECT_EQ(codec.settings->SetChannelMode(1), tavio::E_INVALIDARG);
  EXPECT_EQ(codec.settings->SetBitrate(-1), tavio::E_INVALIDARG);
  EXPECT_EQ(codec.settings->SetExpectedFrames(-1), tavio::E_INVALIDARG);
  EXPECT_EQ(codec.settings->Reserved7(), tavio::E_NOTIMPL);
}

// Blocks need not hold whole frames: the same PCM in odd pieces gives the same stream.
TEST(CodecStream, PartialFramesAcrossCallsGiveTheSameStream) {
  for (int channels : {1, 2}) {
    const std::vector<uint8_t> pcm = Sine16(channels, 20000);
    MemoryCallback whole, pieces;
    {
      CodecObject codec;
      const tavio::WaveFormatEx format = Pcm(16, channels, 44100);
      ASSERT_EQ(codec.encoder->InitStream(&whole, &format), 0);
      ASSERT_EQ(codec.encoder->Encode(pcm.data(), static_cast<int32_t>(pcm.size())), 0);
      ASSERT_EQ(codec.encoder->Finish(), 0);
    }
    {
      CodecObject codec;
      const tavio::WaveFormatEx format = Pcm(16, channels, 44100);
      ASSERT_EQ(codec.encoder->InitStream(&pieces, &format), 0);
      size_t at = 0;
      for (size_t piece : {1u, 3u, 0u, 7u, 1001u, 5u, 30000u}) {
        ASSERT_EQ(codec.encoder->Encode(pcm.data() + at, static_cast<int32_t>(piece)), 0);
        at += piece;
      }
      ASSERT_EQ(codec.encoder->Encode(pcm.data() + at, static_cast<int32_t>(pcm.size() - at)), 0);
      ASSERT_EQ(codec.encoder->Finish(), 0);
    }
    EXPECT_GT(whole.data.size(), 1000u);
    EXPECT_EQ(whole.data, pieces.data) << channels;
  }
}

// Finish rewrites the stream's first frame where the stream began (here after 100 bytes the
// program wrote first), leaves the position at the end, and the codec lets go of the callback.
TEST(CodecStream, FinishRewritesTheTagFrameWhereTheStreamBegan) {
  MemoryCallback output;
  output.data.assign(100, 0xAB);
  output.position = 100;
  std::vector<uint8_t> placeholder;
  {
    CodecObject codec;
    const tavio::WaveFormatEx format = Pcm(16, 2, 44100);
    ASSERT_EQ(codec.encoder->InitStream(&output, &format), 0);
    EXPECT_EQ(output.references, 2u);
    const std::vector<uint8_t> pcm = Sine16(2, 44100);
    ASSERT_EQ(codec.encoder->Encode(pcm.data(), static_cast<int32_t>(pcm.size())), 0);
    ASSERT_GT(output.data.size(), 400u);
    placeholder.assign(output.data.begin() + 100, output.data.begin() + 400);
    ASSERT_EQ(codec.encoder->Finish(), 0);
  }
  EXPECT_EQ(output.references, 1u);
  EXPECT_EQ(output.position, output.data.size());
  EXPECT_TRUE(std::all_of(output.data.begin(), output.data.begin() + 100,
                          [](uint8_t b) { return b == 0xAB; }));
  const std::vector<uint8_t> tag(output.data.begin() + 100, output.data.begin() + 400);
  EXPECT_EQ(tag[0], 0xFF);
  EXPECT_NE(tag, placeholder);
  const std::string text(tag.begin(), tag.end());
  EXPECT_NE(text.find("Info"), std::string::npos);
  EXPECT_NE(text.find("LAME"), std::string::npos);
}

// Sources below MP3's lowest rate are written at 8 kHz: one block of input then gives several
// times its length in MP3 frames, which must still fit the codec's output buffer.
TEST(CodecStream, EncodesSourcesBelowTheLowestMp3Rate) {
  for (int rate : {1000, 2000, 3000, 6000}) {
    MemoryCallback output;
    CodecObject codec;
    const tavio::WaveFormatEx format = Pcm(16, 2, rate);
    ASSERT_EQ(codec.encoder->InitStream(&output, &format), 0) << rate;
    const std::vector<uint8_t> pcm = Sine16(2, rate * 3);
    EXPECT_EQ(codec.encoder->Encode(pcm.data(), static_cast<int32_t>(pcm.size())), 0) << rate;
    EXPECT_EQ(codec.encoder->Finish(), 0) << rate;
    // 3 s at the 64 kbps the 8 kHz layer allows at most, give or take the codec's padding.
    EXPECT_GT(output.data.size(), 20000u) << rate;
  }
}

TEST(CodecStream, AFailedWriteFailsTheStream) {
  MemoryCallback output;
  CodecObject codec;
  const tavio::WaveFormatEx format = Pcm(16, 2, 44100);
  ASSERT_EQ(codec.encoder->InitStream(&output, &format), 0);
  output.failWrites = true;
  const std::vector<uint8_t> pcm = Sine16(2, 44100);
  EXPECT_EQ(codec.encoder->Encode(pcm.data(), static_cast<int32_t>(pcm.size())), -1);
  EXPECT_EQ(codec.encoder->Encode(pcm.data(), 4), -1);
  EXPECT_EQ(codec.encoder->Finish(), -1);
}

}  // namespace
