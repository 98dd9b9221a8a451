#include "tests/player/player_test_support.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace player_test {
namespace {

void* Library() {
  // RTLD_NODELETE: never unloaded, like the program does, so sanitizer reports keep their symbols.
  static void* handle = dlopen(TVPLAYER_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle == nullptr) throw std::runtime_error(std::string("dlopen: ") + dlerror());
  return handle;
}

void PutLe(std::ofstream& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

TVCreatePcmSourceFn CreatePcmSourceFunction() {
  return reinterpret_cast<TVCreatePcmSourceFn>(dlsym(Library(), kTVCreatePcmSourceName));
}

TVCreatePreviewPlayerFn CreatePreviewPlayerFunction() {
  return reinterpret_cast<TVCreatePreviewPlayerFn>(dlsym(Library(), kTVCreatePreviewPlayerName));
}

SourcePtr NewSource() {
  IPcmSource* source = nullptr;
  if (CreatePcmSourceFunction()(&source) != tavio::S_OK) return nullptr;
  return SourcePtr(source);
}

std::wstring Wide(const std::filesystem::path& path) {
  // The program hands the plug-in UTF-32 text; our paths are UTF-8 bytes.
  const std::string utf8 = path.string();
  std::wstring wide;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) {
      c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    wide += static_cast<wchar_t>(c);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return wide;
}

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tvplayer-test.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
}

void WriteWav(const std::filesystem::path& path, int bits, int channels, int rate,
              const std::vector<std::int32_t>& samples) {
  const int bytesPerSample = bits / 8;
  const auto dataBytes = static_cast<std::uint32_t>(samples.size() * bytesPerSample);
  std::ofstream out(path, std::ios::binary);
  out.write("RIFF", 4);
  PutLe(out, 36 + dataBytes, 4);
  out.write("WAVEfmt ", 8);
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);
  PutLe(out, static_cast<std::uint32_t>(channels), 2);
  PutLe(out, static_cast<std::uint32_t>(rate), 4);
  PutLe(out, static_cast<std::uint32_t>(rate * channels * bytesPerSample), 4);
  PutLe(out, static_cast<std::uint32_t>(channels * bytesPerSample), 2);
  PutLe(out, static_cast<std::uint32_t>(bits), 2);
  out.write("data", 4);
  PutLe(out, dataBytes, 4);
  for (std::int32_t value : samples) PutLe(out, static_cast<std::uint32_t>(value), bytesPerSample);
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
}

std::string Quoted(const std::filesystem::path& path) {
  std::string quoted = "'";
  for (char c : path.string()) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

bool Ffmpeg(const std::string& arguments) {
  const std::string command =
      "ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments + " </dev/null";
  return std::system(command.c_str()) == 0;
}

std::vector<std::uint8_t> ReadToEnd(IPcmSource& source, int block) {
  std::vector<std::uint8_t> all;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(block));
  for (;;) {
    const int got = source.Read(buffer.data(), block);
    if (got <= 0) break;
    all.insert(all.end(), buffer.begin(), buffer.begin() + got);
  }
  return all;
}

}  // namespace player_test
