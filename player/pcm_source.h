// IPcmSource of the player plug-in: a reference-counted, synchronous pull decoder over
// MediaDecoder, used by the cut job. Created by TVCreatePcmSource with one reference; destroyed
// by its last Release. One thread at a time drives it (the cut worker while a job runs).

#pragma once

#include <atomic>
#include <string>

#include "engine/tvplayer_interfaces.h"
#include "player/media_decoder.h"

namespace tvplayer {

class PcmSource final : public IPcmSource {
 public:
  PcmSource() = default;
  PcmSource(const PcmSource&) = delete;
  PcmSource& operator=(const PcmSource&) = delete;

  std::int32_t QueryInterface(const tavio::GUID& iid, void** out) override;
  std::uint32_t AddRef() override;
  std::uint32_t Release() override;

  bool Open(const wchar_t* path) override;
  std::int32_t Seek(std::int64_t position) override;
  std::int32_t Close() override;
  std::int32_t Read(void* buffer, std::int32_t bytes) override;
  std::int32_t GetMediaInfo(MediaInfo* info) override;
  std::int32_t GetOpenError(char* text, std::int32_t bytes) override;
  std::int32_t GetReachedEnd(std::int64_t* position) override;

 private:
  ~PcmSource() = default;

  std::atomic<std::uint32_t> refs{1};
  MediaDecoder decoder;
  std::string openError;  // why the last Open failed; empty after one that succeeded
};

}  // namespace tvplayer
