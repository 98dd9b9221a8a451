// The PCM source of tvplayer.so against real files: every format the open dialog offers that the
// ffmpeg command can make here, the delivered format and samples, exact seeking, playlists,
// refusals, and damaged files.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// From the sanitizer's run-time, whose allocator stands in for malloc's.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

#include "tests/player/player_test_support.h"

namespace player_test {
namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

// Stereo test signal: 440 Hz at half scale left, 660 Hz at 0.3 right, so a swap or a mix shows.
std::vector<std::int32_t> StereoSignal(int bits, double seconds, int channels = 2) {
  const auto frames = static_cast<std::size_t>(seconds * kRate);
  const double full = bits == 8 ? 127.0 : std::ldexp(1.0, bits - 1) - 1;
  std::vector<std::int32_t> samples;
  samples.reserve(frames * channels);
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double left = 0.5 * std::sin(2 * kPi * 440 * t);
    const double right = 0.3 * std::sin(2 * kPi * 660 * t);
    for (int c = 0; c < channels; ++c) {
      auto v = static_cast<std::int32_t>(std::lround((c == 0 ? left : right) * full));
      samples.push_back(bits == 8 ? v + 128 : v);
    }
  }
  return samples;
}

// The bytes a source of this width delivers for these samples.
std::vector<std::uint8_t> PcmBytes(const std::vector<std::int32_t>& samples, int bits) {
  std::vector<std::uint8_t> bytes;
  for (std::int32_t v : samples) {
    for (int i = 0; i < bits / 8; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  return bytes;
}

std::vector<double> ChannelRms16(const std::vector<std::uint8_t>& pcm, int channels) {
  std::vector<double> sum(channels, 0.0);
  const std::size_t frames = pcm.size() / (2 * channels);
  for (std::size_t f = 0; f < frames; ++f) {
    for (int c = 0; c < channels; ++c) {
      std::int16_t v;
      std::memcpy(&v, &pcm[(f * channels + c) * 2], 2);
      sum[c] += static_cast<double>(v) * v;
    }
  }
  for (double& s : sum) s = frames ? std::sqrt(s / frames) : 0.0;
  return sum;
}

// Largest difference between the samples of `part` and those of `whole` from byte `offset` on.
int MaxDifference(const std::vector<std::uint8_t>& part, const std::vector<std::uint8_t>& whole,
                  std::size_t offset, int bits) {
  const int width = bits / 8;
  int largest = 0;
  for (std::size_t i = 0; i + width <= part.size(); i += width) {
    std::uint32_t ua = 0;
    std::uint32_t ub = 0;
    for (int k = width - 1; k >= 0; --k) {
      ua = ua << 8 | part[i + k];
      ub = ub << 8 | whole[offset + i + k];
    }
    // Sign-extend; 8-bit samples are unsigned and compare as they are.
    const int shift = bits == 8 ? 0 : 32 - 8 * width;
    const std::int32_t a = static_cast<std::int32_t>(ua << shift) >> shift;
    const std::int32_t b = static_cast<std::int32_t>(ub << shift) >> shift;
    largest = std::max(largest, static_cast<int>(std::min<std::int64_t>(
                                    std::abs(static_cast<std::int64_t>(a) - b), INT32_MAX)));
  }
  return largest;
}

MediaInfo InfoOf(IPcmSource& source) {
  MediaInfo info{};
  source.GetMediaInfo(&info);
  return info;
}

struct FormatCase {
  const char* name;
  int sourceBits;        // width of the WAV the fixture is made from
  const char* encode;    // ffmpeg codec arguments; nullptr: our WAV file itself
  const char* extension;
  int bits;              // width the source must deliver
  int rate;
  bool lossless;         // decoded samples must equal the WAV's
};

void PrintTo(const FormatCase& c, std::ostream* out) {
  *out << c.name << " (" << c.bits << "-bit at " << c.rate << " Hz"
       << (c.lossless ? ", lossless" : "") << ")";
}

const FormatCase kFormats[] = {
    {"wav_u8", 8, nullptr, ".wav", 8, kRate, true},
    {"wav_s16", 16, nullptr, ".wav", 16, kRate, true},
    {"wav_s24", 24, nullptr, ".wav", 24, kRate, true},
    {"wav_s32", 32, nullptr, ".wav", 32, kRate, true},
    {"wav_float", 16, "-c:a pcm_f32le", ".wav", 16, kRate, true},
    {"flac16", 16, "-c:a flac", ".flac", 16, kRate, true},
    {"flac24", 24, "-c:a flac", ".flac", 24, kRate, true},
    {"alac", 16, "-c:a alac", ".m4a", 16, kRate, true},
    {"aiff16", 16, "-c:a pcm_s16be", ".aiff", 16, kRate, true},
    {"aifc24", 24, "-c:a pcm_s24be", ".aif", 24, kRate, true},
    {"au", 16, "-c:a pcm_s16be", ".au", 16, kRate, true},
    {"mp3", 16, "-c:a libmp3lame -b:a 128k", ".mp3", 16, kRate, false},
    {"mp2", 16, "-c:a mp2 -b:a 192k", ".mp2", 16, kRate, false},
    {"ogg_vorbis", 16, "-c:a libvorbis -q:a 4", ".ogg", 16, kRate, false},
    {"opus", 16, "-c:a libopus -b:a 96k", ".opus", 16, 48000, false},
    {"m4a_aac", 16, "-c:a aac -b:a 128k", ".m4a", 16, kRate, false},
    {"adts_aac", 16, "-c:a aac -b:a 128k", ".aac", 16, kRate, false},
    {"wma", 16, "-c:a wmav2 -b:a 128k", ".wma", 16, kRate, false},
    {"ac3", 16, "-c:a ac3 -b:a 192k", ".ac3", 16, kRate, false},
};

class SourceFormatTest : public testing::TestWithParam<FormatCase> {
 protected:
  // Writes the WAV the case starts from and encodes it; returns the song's path.
  std::filesystem::path MakeSong(double seconds) {
    const FormatCase& c = GetParam();
    signal = StereoSignal(c.sourceBits, seconds);
    const auto wav = dir / "source.wav";
    WriteWav(wav, c.sourceBits, 2, kRate, signal);
    if (c.encode == nullptr) return wav;
    const auto song = dir / (std::string("song") + c.extension);
    EXPECT_TRUE(Ffmpeg("-i " + Quoted(wav) + " " + c.encode + " " + Quoted(song)));
    return song;
  }

  ScratchDir dir;
  std::vector<std::int32_t> signal;
};

TEST_P(SourceFormatTest, DeliversTheAnnouncedFormatAndTheSong) {
  const FormatCase& c = GetParam();
  const auto song = MakeSong(3.0);
  auto source = NewSource();
  ASSERT_TRUE(source);
  ASSERT_TRUE(source->Open(Wide(song).c_str()));
  const MediaInfo info = InfoOf(*source);
  EXPECT_EQ(info.bitsPerSample, c.bits);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.sampleRate, c.rate);
  EXPECT_GT(info.bitrateKbps, 0);
  EXPECT_NEAR(static_cast<double>(info.duration) / kUnitsPerSecond, 3.0, 0.15);

  // Odd block sizes: every read is whole frames, and together they are the song.
  const int align = info.channels * info.bitsPerSample / 8;
  std::vector<std::uint8_t> pcm;
  std::vector<std::uint8_t> buffer(5003);
  for (int got; (got = source->Read(buffer.data(), 5003)) > 0;) {
    ASSERT_EQ(got % align, 0);
    pcm.insert(pcm.end(), buffer.begin(), buffer.begin() + got);
  }
  const double seconds = static_cast<double>(pcm.size()) / align / c.rate;
  EXPECT_NEAR(seconds, 3.0, 0.1);

  if (c.lossless) {
    EXPECT_TRUE(pcm == PcmBytes(signal, c.bits)) << "lossless decode differs from the source";
  } else {
    const std::vector<double> rms = ChannelRms16(pcm, 2);
    // 0.5 and 0.3 of full scale, as sines: about 11585 and 6951.
    EXPECT_NEAR(rms[0], 11585, 1500);
    EXPECT_NEAR(rms[1], 6951, 1000);
  }
}

TEST_P(SourceFormatTest, SeeksExactlyToTheSampleOfAFullDecode) {
  const FormatCase& c = GetParam();
  const auto song = MakeSong(14.0);
  auto source = NewSource();
  ASSERT_TRUE(source->Open(Wide(song).c_str()));
  const MediaInfo info = InfoOf(*source);
  const int align = info.channels * info.bitsPerSample / 8;
  const std::vector<std::uint8_t> full = ReadToEnd(*source);
  ASSERT_GT(full.size(), static_cast<std::size_t>(13 * c.rate * align));

  // Forward, backward, near the start and near the end, in one source as the cut job uses it.
  const std::int64_t targets[] = {123400000, 0, 101000, 15000000, 70000000, 123400000,
                                  135000000, 5000};
  for (std::int64_t target : targets) {
    SCOPED_TRACE(testing::Message()
                 << "seek to " << static_cast<double>(target) / kUnitsPerSecond << " s");
    ASSERT_EQ(source->Seek(target), tavio::S_OK);
    const std::size_t offset = static_cast<std::size_t>(target * c.rate / kUnitsPerSecond) * align;
    const std::size_t length = std::min<std::size_t>(8192 * align, full.size() - offset);
    std::vector<std::uint8_t> got(length);
    std::size_t filled = 0;
    while (filled < length) {
      const int n = source->Read(got.data() + filled, static_cast<int>(length - filled));
      ASSERT_GT(n, 0);
      filled += static_cast<std::size_t>(n);
    }
    // Lossy decoders that dither or fill bands with noise differ by a unit or so after a
    // restart; a wrong position differs by thousands.
    EXPECT_LE(MaxDifference(got, full, offset, c.bits), c.lossless ? 0 : 4);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, SourceFormatTest, testing::ValuesIn(kFormats),
                         [](const testing::TestParamInfo<FormatCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(PcmSourceTest, KeepsMonoAndMixesSurroundDownToStereo) {
  ScratchDir dir;
  const auto mono = dir / "mono.wav";
  const std::vector<std::int32_t> signal = StereoSignal(16, 1.0, 1);
  WriteWav(mono, 16, 1, kRate, signal);
  auto source = NewSource();
  ASSERT_TRUE(source->Open(Wide(mono).c_str()));
  EXPECT_EQ(InfoOf(*source).channels, 1);
  EXPECT_TRUE(ReadToEnd(*source) == PcmBytes(signal, 16));

  // 5.1 with only the front left channel: the left of the mix carries it, the right is silent.
  // With only the centre: both sides carry it equally.
  struct Surround {
    const char* expression;
    bool leftLoud, rightLoud;
  } cases[] = {{"0.5*sin(2*PI*440*t)|0|0|0|0|0", true, false},
               {"0|0|0.5*sin(2*PI*440*t)|0|0|0", true, true}};
  for (const Surround& s : cases) {
    SCOPED_TRACE(s.expression);
    const auto song = dir / "surround.flac";
    ASSERT_TRUE(Ffmpeg(std::string("-f lavfi -i \"aevalsrc='") + s.expression +
                       "':s=44100:d=1:c=5.1\" -c:a flac -sample_fmt s16 " + Quoted(song)));
    ASSERT_TRUE(source->Open(Wide(song).c_str()));
    const MediaInfo info = InfoOf(*source);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.bitsPerSample, 16);
    const std::vector<double> rms = ChannelRms16(ReadToEnd(*source), 2);
    EXPECT_EQ(rms[0] > 1000, s.leftLoud) << rms[0];
    EXPECT_EQ(rms[1] > 1000, s.rightLoud) << rms[1];
    if (s.leftLoud && s.rightLoud) {
      EXPECT_NEAR(rms[0], rms[1], 1.0);
    }
  }
}

TEST(PcmSourceTest, ReportsTheFileBitrateAndDurationOfAWav) {
  ScratchDir dir;
  const auto song = dir / "cd.wav";
  WriteWav(song, 16, 2, kRate, StereoSignal(16, 2.5));
  auto source = NewSource();
  ASSERT_TRUE(source->Open(Wide(song).c_str()));
  const MediaInfo info = InfoOf(*source);
  EXPECT_EQ(info.bitrateKbps, 1411);
  EXPECT_EQ(info.duration, 25000000);
  EXPECT_EQ(info.reserved1, 0);
  EXPECT_EQ(info.reserved2, 0);
}

TEST(PcmSourceTest, MeasuresSongsWhoseLengthTheFileOnlyGuesses) {
  // Quiet at first, loud later: a length guessed from the first frames' bit rate is far off.
  ScratchDir dir;
  const std::string signal =
      "-f lavfi -i \"aevalsrc='if(lt(t,3),0.001,0.6)*sin(2*PI*(300+200*random(0))*t)':s=44100:d=20\" ";
  const auto vbr = dir / "vbr.mp3";
  const auto adts = dir / "raw.aac";
  ASSERT_TRUE(Ffmpeg(signal + "-c:a libmp3lame -q:a 2 -write_xing 0 " + Quoted(vbr)));
  ASSERT_TRUE(Ffmpeg(signal + "-c:a aac " + Quoted(adts)));
  for (const auto& song : {vbr, adts}) {
    SCOPED_TRACE(song.filename().string());
    auto source = NewSource();
    ASSERT_TRUE(source->Open(Wide(song).c_str()));
    const MediaInfo info = InfoOf(*source);
    const std::vector<std::uint8_t> pcm = ReadToEnd(*source);
    const double decoded = static_cast<double>(pcm.size()) / (2 * info.channels) / info.sampleRate;
    EXPECT_NEAR(static_cast<double>(info.duration) / kUnitsPerSecond, decoded, 0.005);
    EXPECT_NEAR(decoded, 20.0, 0.1);
  }
}

TEST(PcmSourceTest, SeekAndReadEdges) {
  ScratchDir dir;
  const auto song = dir / "short.wav";
  const std::vector<std::int32_t> signal = StereoSignal(16, 1.0);
  WriteWav(song, 16, 2, kRate, signal);
  auto source = NewSource();
  std::uint8_t buffer[64];
  MediaInfo info{};
  // Nothing open: every operation refuses and the record is empty.
  EXPECT_LT(source->Read(buffer, sizeof(buffer)), 0);
  EXPECT_LT(source->Seek(0), 0);
  EXPECT_LT(source->GetMediaInfo(&info), 0);
  EXPECT_EQ(info.sampleRate, 0);

  std::int64_t end = -1;
  EXPECT_EQ(source->GetReachedEnd(&end), tavio::E_FAIL);

  ASSERT_TRUE(source->Open(Wide(song).c_str()));
  EXPECT_LT(source->Read(buffer, 3), 0) << "less than one frame";
  EXPECT_EQ(source->GetReachedEnd(&end), tavio::S_FALSE) << "the end not reached yet";
  for (std::int64_t beyond : {std::int64_t{20000000}, INT64_MAX}) {
    EXPECT_EQ(source->Seek(beyond), tavio::S_OK) << "past the end";
    EXPECT_EQ(source->Read(buffer, sizeof(buffer)), 0);
    // Where the song really ends, whatever the seek asked for.
    EXPECT_EQ(source->GetReachedEnd(&end), tavio::S_OK);
    EXPECT_EQ(end, kUnitsPerSecond);
  }
  EXPECT_EQ(source->Seek(-5), tavio::S_OK) << "before the start";
  ASSERT_EQ(source->Read(buffer, sizeof(buffer)), 64);
  EXPECT_EQ(0, std::memcmp(buffer, PcmBytes(signal, 16).data(), 64));

  // A second Open on the same object replaces the song; Close leaves it reusable.
  EXPECT_EQ(source->Close(), tavio::S_OK);
  EXPECT_LT(source->Read(buffer, sizeof(buffer)), 0);
  EXPECT_TRUE(source->Open(Wide(song).c_str()));
}

// The memory the decoding holds, as the allocator counts it.
std::size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

// A song read to its end keeps no record that grows with it (the demuxer's index is bounded):
// eight minutes cost what one does.
TEST(PcmSourceTest, ReadingALongSongHoldsNoMoreThanItsFirstMinuteDid) {
  ScratchDir dir;
  const auto piece = dir / "piece.mp3";
  ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=frequency=440:duration=10 -ar 44100 -ac 1 -c:a libmp3lame "
                     "-b:a 32k -write_xing 0 -id3v2_version 0 " + Quoted(piece)));
  // Headerless MP3 frames concatenate into one longer stream.
  const std::vector<std::uint8_t> frames = ReadBytes(piece);
  std::vector<std::uint8_t> song;
  for (int i = 0; i < 48; ++i) song.insert(song.end(), frames.begin(), frames.end());
  WriteBytes(dir / "long.mp3", song);

  auto source = NewSource();
  ASSERT_TRUE(source->Open(Wide(dir / "long.mp3").c_str()));
  std::vector<std::uint8_t> buffer(2 * kRate);  // a second of mono 16-bit
  for (int second = 0; second < 60; ++second) {
    ASSERT_GT(source->Read(buffer.data(), static_cast<std::int32_t>(buffer.size())), 0);
  }
  const std::size_t afterAMinute = HeapInUse();
  std::size_t seconds = 60;
  while (source->Read(buffer.data(), static_cast<std::int32_t>(buffer.size())) > 0) ++seconds;
  ASSERT_GE(seconds, 470u);
  const std::size_t atTheEnd = HeapInUse();
  EXPECT_LT(atTheEnd, afterAMinute + 64 * 1024)
      << "grew by " << (atTheEnd - afterAMinute) << " bytes over " << seconds - 60 << " s";
}

TEST(PcmSourceTest, RefusesWhatIsNotAudio) {
  ScratchDir dir;
  WriteBytes(dir / "notes.txt", {'h', 'e', 'l', 'l', 'o', '\n'});
  WriteBytes(dir / "empty.mp3", {});
  std::vector<std::uint8_t> noise(20000);
  std::mt19937 random(7);
  for (auto& b : noise) b = static_cast<std::uint8_t>(random());
  WriteBytes(dir / "noise.mp3", noise);
  ASSERT_TRUE(Ffmpeg("-f lavfi -i color=c=red:s=16x16 -frames:v 1 " + Quoted(dir / "red.png")));
  ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=s=64x48:d=1 -c:v mpeg4 " + Quoted(dir / "video.mp4")));
  std::filesystem::create_directory(dir / "folder.wav");
  WriteBytes(dir / "list.m3u", {'n', 'o', 't', 'e', 's', '.', 't', 'x', 't', '\n'});

  auto source = NewSource();
  for (const char* name : {"notes.txt", "empty.mp3", "noise.mp3", "red.png", "video.mp4",
                           "folder.wav", "missing.wav", "list.m3u"}) {
    EXPECT_FALSE(source->Open(Wide(dir / name).c_str())) << name;
    MediaInfo info{};
    EXPECT_LT(source->GetMediaInfo(&info), 0) << name;
  }
  EXPECT_FALSE(source->Open(nullptr));
  EXPECT_FALSE(source->Open(L""));
}

// The reason of the last failed open: the step, the file and why, as GetOpenError hands it out.
TEST(PcmSourceTest, SaysWhyTheLastOpenFailed) {
  ScratchDir dir;
  ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=s=64x48:d=1 -c:v mpeg4 " + Quoted(dir / "video.mp4")));
  WriteBytes(dir / "list.m3u", {'n', 'o', 'n', 'e', '.', 'w', 'a', 'v', '\n'});
  const std::filesystem::path song = dir / "song.wav";
  WriteWav(song, 16, 1, kRate, StereoSignal(16, 0.2, 1));
  auto source = NewSource();
  const auto errorOf = [&source] {
    const std::int32_t length = source->GetOpenError(nullptr, 0);
    std::string text(static_cast<std::size_t>(std::max(length, 0)) + 1, 'x');
    EXPECT_EQ(source->GetOpenError(text.data(), static_cast<std::int32_t>(text.size())), length);
    EXPECT_EQ(text.back(), '\0');
    text.pop_back();
    return text;
  };

  const struct {
    std::string name;
    std::string expected;  // the whole text, or its start where FFmpeg words the reason
    bool whole;
  } cases[] = {
      {"video.mp4", "audio stream failed for " + (dir / "video.mp4").string() + ": ", false},
      {"list.m3u",
       "playlist failed for " + (dir / "list.m3u").string() + ": it names no local file that plays",
       true},
      {"missing.wav", "open failed for " + (dir / "missing.wav").string() + ": not a regular file",
       true},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(source->Open(Wide(dir / c.name).c_str()));
    const std::string error = errorOf();
    if (c.whole) {
      EXPECT_EQ(error, c.expected);
    } else {
      EXPECT_EQ(error.rfind(c.expected, 0), 0u) << error;
      EXPECT_GT(error.size(), c.expected.size()) << "no reason: " << error;
    }
  }
  EXPECT_FALSE(source->Open(nullptr));
  EXPECT_EQ(errorOf().rfind("open failed", 0), 0u);

  // A small buffer gets the start of the text and its end mark; the whole length is returned.
  EXPECT_FALSE(source->Open(Wide(dir / "missing.wav").c_str()));
  char small[5] = {'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(source->GetOpenError(small, sizeof(small)),
            static_cast<std::int32_t>(errorOf().size()));
  EXPECT_STREQ(small, "open");
  EXPECT_EQ(source->GetOpenError(nullptr, 4), tavio::E_POINTER);
  EXPECT_EQ(source->GetOpenError(small, -1), tavio::E_INVALIDARG);

  // An open that succeeds leaves no reason behind.
  ASSERT_TRUE(source->Open(Wide(song).c_str()));
  EXPECT_EQ(source->GetOpenError(nullptr, 0), 0);
  EXPECT_EQ(errorOf(), "");
}

TEST(PcmSourceTest, OpensTheFirstLocalSongAPlaylistNames) {
  ScratchDir dir;
  std::filesystem::create_directory(dir / "sub dir");
  const auto song = dir / "sub dir" / "歌曲 one.wav";
  WriteWav(song, 8, 1, 8000, std::vector<std::int32_t>(8000, 128));
  const auto flac = dir / "my song.flac";
  ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=sample_rate=22050:d=1 -c:a flac " + Quoted(flac)));
  const std::string text = "notes.txt\n";
  WriteBytes(dir / "notes.txt", {text.begin(), text.end()});

  const std::string m3u =
      "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:1,Remote\r\nhttp://example.invalid/a.mp3\r\n"
      "missing.mp3\r\nnotes.txt\r\nsub dir\\歌曲 one.wav\r\n";
  const std::string m3uUrl = "file://" + (dir / "my%20song.flac").string() + "\n";
  const std::string cue = "REM GENRE Pop\nFILE \"my song.flac\" WAVE\n  TRACK 01 AUDIO\n"
                          "    INDEX 01 00:00:00\n";
  WriteBytes(dir / "list.m3u", {m3u.begin(), m3u.end()});
  WriteBytes(dir / "url.M3U8", {m3uUrl.begin(), m3uUrl.end()});
  WriteBytes(dir / "album.cue", {cue.begin(), cue.end()});

  auto source = NewSource();
  ASSERT_TRUE(source->Open(Wide(dir / "list.m3u").c_str()));
  EXPECT_EQ(InfoOf(*source).sampleRate, 8000);
  EXPECT_EQ(InfoOf(*source).bitsPerSample, 8);
  ASSERT_TRUE(source->Open(Wide(dir / "url.M3U8").c_str()));
  EXPECT_EQ(InfoOf(*source).sampleRate, 22050);
  ASSERT_TRUE(source->Open(Wide(dir / "album.cue").c_str()));
  EXPECT_EQ(InfoOf(*source).sampleRate, 22050);
  // The song itself under its non-ASCII name.
  ASSERT_TRUE(source->Open(Wide(song).c_str()));
  EXPECT_EQ(InfoOf(*source).channels, 1);
}

// Damaged songs: cut short anywhere or with bytes flipped, in the header or the data. Every one
// either fails to open or opens and reads to an end, promptly and without a fault.
class DamagedFileTest : public testing::TestWithParam<const char*> {};

TEST_P(DamagedFileTest, NeitherCrashesNorHangs) {
  ScratchDir dir;
  const auto wav = dir / "source.wav";
  WriteWav(wav, 16, 2, kRate, StereoSignal(16, 6.0));
  const auto song = dir / (std::string("song.") + GetParam());
  if (std::string(GetParam()) != "wav") {
    // The ffmpeg command picks the usual codec of each extension.
    ASSERT_TRUE(Ffmpeg("-i " + Quoted(wav) + " " + Quoted(song)));
  } else {
    std::filesystem::copy_file(wav, song);
  }
  const std::vector<std::uint8_t> original = ReadBytes(song);
  const std::size_t size = original.size();

  std::vector<std::vector<std::uint8_t>> variants;
  for (std::size_t cut : {std::size_t{1}, std::size_t{4}, std::size_t{12}, std::size_t{44},
                          std::size_t{200}, std::size_t{1000}, size / 3, size / 2, size - 1}) {
    variants.emplace_back(original.begin(), original.begin() + static_cast<long>(cut));
  }
  std::mt19937 random(1234);
  for (int v = 0; v < 24; ++v) {
    std::vector<std::uint8_t> flipped = original;
    // A third of the variants hit only the first 512 bytes, where the headers are.
    const std::size_t span = v % 3 == 0 ? std::min<std::size_t>(512, size) : size;
    for (int i = 0; i < 16; ++i) flipped[random() % span] ^= static_cast<std::uint8_t>(1u << (random() % 8));
    variants.push_back(std::move(flipped));
  }

  auto source = NewSource();
  std::vector<std::uint8_t> buffer(32768);
  int opened = 0;
  for (std::size_t v = 0; v < variants.size(); ++v) {
    SCOPED_TRACE(testing::Message() << "variant " << v);
    const auto path = dir / (std::string("damaged.") + GetParam());
    WriteBytes(path, variants[v]);
    const auto start = std::chrono::steady_clock::now();
    if (source->Open(Wide(path).c_str())) {
      ++opened;
      const MediaInfo info = InfoOf(*source);
      ASSERT_TRUE(info.bitsPerSample == 8 || info.bitsPerSample == 16 ||
                  info.bitsPerSample == 24 || info.bitsPerSample == 32);
      ASSERT_TRUE(info.channels == 1 || info.channels == 2);
      ASSERT_GT(info.sampleRate, 0);
      const int align = info.channels * info.bitsPerSample / 8;
      std::size_t total = 0;
      for (int got; (got = source->Read(buffer.data(), 32768)) > 0;) {
        ASSERT_EQ(got % align, 0);
        total += static_cast<std::size_t>(got);
        ASSERT_LT(total, std::size_t{64} << 20) << "far more sound than the file holds";
      }
      source->Seek(kUnitsPerSecond);
      source->Read(buffer.data(), 32768);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  }
  // Cut-short songs still play: the sweep must reach the decoding, not only the probe.
  EXPECT_GE(opened, 3);
}

INSTANTIATE_TEST_SUITE_P(Formats, DamagedFileTest,
                         testing::Values("wav", "flac", "mp3", "m4a", "ogg", "opus", "wma",
                                         "ac3", "aac", "mp2", "aiff"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

}  // namespace
}  // namespace player_test
