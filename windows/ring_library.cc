#include "windows/ring_library.h"

#include <QString>
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

std::uint64_t LittleEndian64(const unsigned char* p) {
  return LittleEndian32(p) | static_cast<std::uint64_t>(LittleEndian32(p + 4)) << 32;
}

std::uint64_t BigEndian64(const unsigned char* p) {
  return static_cast<std::uint64_t>(BigEndian32(p)) << 32 | BigEndian32(p + 4);
}

// Vorbis in Ogg: the rate of the identification header (the first page), and the granule
// position of the last page, which counts the samples up to the stream's end.
std::int64_t OggLengthMs(std::ifstream& in, std::uintmax_t fileBytes) {
  unsigned char first[64];
  if (!in.read(reinterpret_cast<char*>(first), sizeof(first))) return -1;
  if (std::string_view(reinterpret_cast<char*>(first), 4) != "OggS") return -1;
  const size_t header = 27 + first[26];  // the page header and its segment table
  if (header + 16 > sizeof(first) ||
      std::string_view(reinterpret_cast<char*>(first) + header, 7) != "\x01vorbis") {
    return -1;
  }
  const std::uint32_t rate = LittleEndian32(first + header + 12);
  if (rate == 0) return -1;
  const std::uintmax_t tail = std::min<std::uintmax_t>(fileBytes, 65536);
  std::vector<unsigned char> end(static_cast<size_t>(tail));
  in.seekg(static_cast<std::streamoff>(fileBytes - tail));
  if (!in.read(reinterpret_cast<char*>(end.data()), static_cast<std::streamsize>(end.size())))
    return -1;
  for (size_t i = end.size() >= 14 ? end.size() - 14 : 0; i-- > 0;) {
    if (end[i] == 'O' && end[i + 1] == 'g' && end[i + 2] == 'g' && end[i + 3] == 'S') {
      const std::uint64_t granule = LittleEndian64(end.data() + i + 6);
      if (granule == ~std::uint64_t{0}) continue;  // a page where no packet ends
      return static_cast<std::int64_t>(granule * 1000 / rate);
    }
  }
  return -1;
}

// MPEG-4 (M4R, M4A): the movie header's duration over its time scale, which the edit list of a
// ring leaves as the length heard.
std::int64_t Mp4LengthMs(std::ifstream& in, std::uintmax_t fileBytes) {
  // Walks the boxes of [from, to): the moov box at the top, then the mvhd box inside it.
  auto find = [&in](std::uintmax_t from, std::uintmax_t to, std::string_view type,
                    std::uintmax_t* body, std::uintmax_t* bodyEnd) {
    for (int box = 0; box < 64 && from + 8 <= to; ++box) {
      unsigned char head[16];
      in.clear();
      in.seekg(static_cast<std::streamoff>(from));
      if (!in.read(reinterpret_cast<char*>(head), 8)) return false;
      std::uint64_t size = BigEndian32(head);
      std::uintmax_t start = from + 8;
      if (size == 1) {
        if (!in.read(reinterpret_cast<char*>(head + 8), 8)) return false;
        size = BigEndian64(head + 8);
        start += 8;
      } else if (size == 0) {
        size = to - from;
      }
      if (size < start - from || from + size > to) return false;
      if (std::string_view(reinterpret_cast<char*>(head) + 4, 4) == type) {
        *body = start;
        *bodyEnd = from + size;
        return true;
      }
      from += size;
    }
    return false;
  };
  std::uintmax_t moov = 0, moovEnd = 0, mvhd = 0, mvhdEnd = 0;
  if (!find(0, fileBytes, "moov", &moov, &moovEnd) || !find(moov, moovEnd, "mvhd", &mvhd, &mvhdEnd))
    return -1;
  unsigned char body[32];
  const std::uintmax_t have = std::min<std::uintmax_t>(sizeof(body), mvhdEnd - mvhd);
  in.clear();
  in.seekg(static_cast<std::streamoff>(mvhd));
  if (have < 20 || !in.read(reinterpret_cast<char*>(body), static_cast<std::streamsize>(have)))
    return -1;
  // Version 1 has 64-bit times: creation, modification, then the scale and the duration.
  const bool wide = body[0] == 1;
  if (wide && have < 32) return -1;
  const std::uint32_t scale = BigEndian32(body + (wide ? 20 : 12));
  const std::uint64_t duration = wide ? BigEndian64(body + 24) : BigEndian32(body + 16);
  if (scale == 0) return -1;
  return static_cast<std::int64_t>(duration * 1000 / scale);
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
  if (format == L"OGG") return OggLengthMs(in, bytes);
  if (format == L"M4R" || format == L"M4A") return Mp4LengthMs(in, bytes);
  return -1;
}

}  // namespace ringsearch
