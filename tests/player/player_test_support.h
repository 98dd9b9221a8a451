// Shared helpers of the player plug-in tests: the real tvplayer.so loaded by path, owning
// pointers for its objects, a scratch folder, our own WAV writer and the ffmpeg command for
// fixtures, and whole-song reads.

#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/tvplayer_interfaces.h"

namespace player_test {

struct Releaser {
  void operator()(tavio::IUnknown* object) const {
    if (object != nullptr) object->Release();
  }
};
using SourcePtr = std::unique_ptr<IPcmSource, Releaser>;
using PlayerPtr = std::unique_ptr<IPreviewPlayer, Releaser>;

// The plug-in's exports (the library stays loaded for the whole run, as in the program).
TVCreatePcmSourceFn CreatePcmSourceFunction();
TVCreatePreviewPlayerFn CreatePreviewPlayerFunction();

SourcePtr NewSource();
std::wstring Wide(const std::filesystem::path& path);

// A fresh folder under the temp folder, removed with the object.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::filesystem::path operator/(const std::string& name) const { return root / name; }
  const std::filesystem::path& path() const { return root; }

 private:
  std::filesystem::path root;
};

// Integer PCM as a canonical WAV file. Samples are interleaved values at the given width
// (8-bit values are the unsigned bytes 0..255).
void WriteWav(const std::filesystem::path& path, int bits, int channels, int rate,
              const std::vector<std::int32_t>& samples);
// Writes raw bytes (a text file, a truncated copy...).
void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);

// The path quoted for the shell.
std::string Quoted(const std::filesystem::path& path);

// Runs the ffmpeg command with these arguments (quiet, overwriting); true on success.
bool Ffmpeg(const std::string& arguments);

// Everything the source delivers from its current position, in blocks of `block` bytes.
std::vector<std::uint8_t> ReadToEnd(IPcmSource& source, int block = 32768);

}  // namespace player_test
