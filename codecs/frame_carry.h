// FrameCarry: blocks of interleaved PCM cut into whole frames for an encoder. The program hands
// blocks of any size; a frame split between two blocks waits here for its rest. One per stream,
// used on the thread that feeds the stream.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace codecs {

class FrameCarry {
 public:
  // The frame size of the stream (at most 8 bytes: two channels of 32 bits); forgets any rest.
  void Reset(std::int32_t frameBytes) {
    blockAlign = frameBytes;
    partialBytes = 0;
  }

  // Calls encode(frames, count) for the whole frames of data, a completed split frame first;
  // false as soon as encode returns false.
  template <typename Encode>
  bool Take(const std::uint8_t* data, std::int32_t bytes, Encode&& encode) {
    if (partialBytes > 0) {
      const std::int32_t take = std::min(bytes, blockAlign - partialBytes);
      std::memcpy(partialFrame + partialBytes, data, static_cast<std::size_t>(take));
      partialBytes += take;
      data += take;
      bytes -= take;
      if (partialBytes < blockAlign) return true;
      partialBytes = 0;
      if (!encode(partialFrame, 1)) return false;
    }
    const std::int32_t frames = bytes / blockAlign;
    if (!encode(data, frames)) return false;
    partialBytes = bytes - frames * blockAlign;
    if (partialBytes > 0) {
      std::memcpy(partialFrame, data + static_cast<std::size_t>(frames) * blockAlign,
                  static_cast<std::size_t>(partialBytes));
    }
    return true;
  }

 private:
  std::int32_t blockAlign = 0;
  std::uint8_t partialFrame[8] = {};
  std::int32_t partialBytes = 0;
};

}  // namespace codecs
