#include "windows/ring_library.h"

#include <QString>
#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <algorithm>
#include <array>
#include <chrono>
#include <fstream>
#include <system_error>
#include <vector>

#include "base/program_folders.h"

namespace ringsearch {
namespace {

namespace fs = std::filesystem;


std::uint32_t LittleEndian32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint32_t BigEndian32(const unsigned char* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

std::int64_t WavLengthMs(std::ifstream& in) {
  unsigned char riff[12];
  if (!in.read(reinterpret_cast<char*>(riff), sizeof(riff))) return -1;
  if (std::string_view(reinterpret_cast<char*>(riff), 4) != "RIFF" ||
      std::string_view(reinterpret_cast<char*>(riff) + 8, 4) != "WAVE") {
    return -1;
  }
  std::uint32_t byteRate = 0;
  // Chunks in order; the data chunk's size over the format's byte rate is the length.
  for (int chunk = 0; chunk < 64; ++chunk) {
    unsigned char header[8];
    if (!in.read(reinterpret_cast<char*>(header), sizeof(header))) return -1;
    const std::string_view id(reinterpret_cast<char*>(header), 4);
    const std::uint32_t size = LittleEndian32(header + 4);
    if (id == "fmt " && size >= 16) {
      unsigned char format[16];
      if (!in.read(reinterpret_cast<char*>(format), sizeof(format))) return -1;
      byteRate = LittleEndian32(format + 8);
      in.seekg(size - 16 + (size & 1), std::ios::cur);
    } else if (id == "data") {
      if (byteRate == 0) return -1;
      return static_cast<std::int64_t>(size) * 1000 / byteRate;
    } else {
      in.seekg(static_cast<std::streamoff>(size) + (size & 1), std::ios::cur);
    }
  }
  return -1;
}

std::int64_t Mp3LengthMs(std::ifstream& in, std::uintmax_t fileBytes) {
  // Skips an ID3v2 tag (its size is four 7-bit bytes).
  std::uintmax_t offset = 0;
  unsigned char id3[10];
  if (in.read(reinterpret_cast<char*>(id3), sizeof(id3)) && id3[0] == 'I' && id3[1] == 'D' &&
      id3[2] == '3') {
    offset = 10 + ((id3[6] & 0x7f) << 21 | (id3[7] & 0x7f) << 14 | (id3[8] & 0x7f) << 7 |
                   (id3[9] & 0x7f));
  }
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  std::array<unsigned char, 4096> buffer{};
  in.read(reinterpret_cast<char*>(buffer.data()), buffer.size());
  const size_t got = static_cast<size_t>(in.gcount());

  static constexpr int kBitrates[2][16] = {
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},  // MPEG-1
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};     // MPEG-2, 2.5
  static constexpr int kRates[3] = {44100, 48000, 32000};
  for (size_t i = 0; i + 4 <= got; ++i) {
    const unsigned char* h = buffer.data() + i;
    if (h[0] != 0xff || (h[1] & 0xe0) != 0xe0) continue;
    const int version = (h[1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const int layer = (h[1] >> 1) & 3;    // 1 is layer III
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) {
      continue;
    }
    const bool mpeg1 = version == 3;
    const int sampleRate = kRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const int bitrateKbps = kBitrates[mpeg1 ? 0 : 1][bitrateIndex];
    const bool mono = (h[3] >> 6) == 3;
    const int samplesPerFrame = mpeg1 ? 1152 : 576;
    const size_t sideInfo = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const size_t tag = i + 4 + sideInfo;
    if (tag + 12 <= got) {
      const std::string_view name(reinterpret_cast<const char*>(buffer.data() + tag), 4);
      const std::uint32_t flags = BigEndian32(buffer.data() + tag + 4);
      if ((name == "Xing" || name == "Info") && (flags & 1)) {
        const std::uint32_t frames = BigEndian32(buffer.data() + tag + 8);
        return static_cast<std::int64_t>(frames) * samplesPerFrame * 1000 / sampleRate;
      }
    }
    const std::uintmax_t audioBytes = fileBytes - offset - i;
    return static_cast<std::int64_t>(audioBytes * 8 / bitrateKbps);
  }
  return -1;
}

// Ogg Vorbis and MPEG-4 lengths, as TagLib reads them (the last granule position, the audio
// track's header).
std::int64_t TagLibLengthMs(const fs::path& file) {
  const TagLib::FileRef ref(file.c_str(), true, TagLib::AudioProperties::Accurate);
  const TagLib::AudioProperties* properties = ref.isNull() ? nullptr : ref.audioProperties();
  if (!properties || properties->lengthInMilliseconds() <= 0) return -1;
  return properties->lengthInMilliseconds();
}

std::wstring FormatOf(const fs::path& file) {
  const QString extension = QString::fromStdString(file.extension().string()).toLower();
  if (extension == QLatin1String(".mp3")) return L"MP3";
  if (extension == QLatin1String(".wav")) return L"WAV";
  if (extension == QLatin1String(".m4r")) return L"M4R";
  if (extension == QLatin1String(".m4a")) return L"M4A";
  if (extension == QLatin1String(".ogg")) return L"OGG";
  return {};
}

}  // namespace

std::vector<fs::path> RingFolders() {
  const std::vector<fs::path> candidates = base::RingFolders();
  std::vector<fs::path> folders;
  for (const fs::path& folder : candidates) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) continue;
    const fs::path canonical = fs::weakly_canonical(folder, error);
    const fs::path& key = error ? folder : canonical;
    if (std::find(folders.begin(), folders.end(), key) == folders.end()) folders.push_back(key);
  }
  return folders;
}

std::vector<RingFile> FindRings(const std::vector<fs::path>& folders, const std::wstring& key) {
  const QString wanted = QString::fromStdWString(key);
  std::vector<RingFile> rings;
  for (const fs::path& folder : folders) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      std::error_code fileError;
      if (!it->is_regular_file(fileError)) continue;
      RingFile ring;
      ring.path = it->path();
      ring.format = FormatOf(ring.path);
      if (ring.format.empty()) continue;
      const QString name = QString::fromStdString(ring.path.filename().string());
      if (!name.contains(wanted, Qt::CaseInsensitive)) continue;
      ring.name = name.toStdWString();
      ring.bytes = it->file_size(fileError);
      if (fileError) continue;
      const auto modified = it->last_write_time(fileError);
      if (!fileError) {
        const auto system = std::chrono::file_clock::to_sys(modified);
        ring.modifiedSeconds =
            std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
      }
      ring.lengthMs = ProbeLengthMs(ring.path);
      rings.push_back(std::move(ring));
    }
  }
  std::stable_sort(rings.begin(), rings.end(), [](const RingFile& a, const RingFile& b) {
    if (a.modifiedSeconds != b.modifiedSeconds) return a.modifiedSeconds > b.modifiedSeconds;
    return a.name < b.name;
  });
  return rings;
}

std::int64_t ProbeLengthMs(const fs::path& file) {
  std::error_code error;
  const std::uintmax_t bytes = fs::file_size(file, error);
  if (error) return -1;
  std::ifstream in(file, std::ios::binary);
  if (!in) return -1;
  const std::wstring format = FormatOf(file);
  if (format == L"WAV") return WavLengthMs(in);
  if (format == L"MP3") return Mp3LengthMs(in, bytes);
  if (format == L"OGG" || format == L"M4R" || format == L"M4A") return TagLibLengthMs(file);
  return -1;
}

}  // namespace ringsearch
