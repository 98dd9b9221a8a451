#include "player/pcm_source.h"

#include <algorithm>
#include <cstring>

#include "player/playlist.h"

namespace tvplayer {

std::int32_t PcmSource::QueryInterface(const tavio::GUID& iid, void** out) {
  if (out == nullptr) return tavio::E_POINTER;
  if (iid == tavio::IID_IUnknown || iid == tavio::IID_IPcmSource) {
    AddRef();
    *out = static_cast<IPcmSource*>(this);
    return tavio::S_OK;
  }
  *out = nullptr;
  return tavio::E_NOINTERFACE;
}

std::uint32_t PcmSource::AddRef() {
  return refs.fetch_add(1) + 1;
}

std::uint32_t PcmSource::Release() {
  const std::uint32_t left = refs.fetch_sub(1) - 1;
  if (left == 0) delete this;
  return left;
}

bool PcmSource::Open(const wchar_t* path) {
  decoder.Close();
  openError.clear();
  const auto utf8 = WidePathToUtf8(path);
  if (!utf8) {
    openError = "open failed: the file name is empty or not valid Unicode";
    return false;
  }
  return decoder.Open(*utf8, &openError);
}

std::int32_t PcmSource::Seek(std::int64_t position) {
  if (!decoder.IsOpen()) return tavio::E_FAIL;
  return decoder.SeekToTime(position) ? tavio::S_OK : tavio::E_FAIL;
}

std::int32_t PcmSource::Close() {
  decoder.Close();
  return tavio::S_OK;
}

std::int32_t PcmSource::Read(void* buffer, std::int32_t bytes) {
  if (!decoder.IsOpen() || buffer == nullptr) return tavio::E_FAIL;
  if (bytes < decoder.blockAlign()) return tavio::E_INVALIDARG;
  return decoder.Read(static_cast<std::uint8_t*>(buffer), bytes);
}

std::int32_t PcmSource::GetMediaInfo(MediaInfo* info) {
  if (info == nullptr) return tavio::E_POINTER;
  *info = decoder.info();  // all zero while nothing is open
  return decoder.IsOpen() ? tavio::S_OK : tavio::E_FAIL;
}

std::int32_t PcmSource::GetOpenError(char* text, std::int32_t bytes) {
  if (bytes < 0) return tavio::E_INVALIDARG;
  if (bytes == 0) return static_cast<std::int32_t>(openError.size());
  if (text == nullptr) return tavio::E_POINTER;
  const std::size_t copied = std::min(openError.size(), static_cast<std::size_t>(bytes) - 1);
  std::memcpy(text, openError.data(), copied);
  text[copied] = '\0';
  return static_cast<std::int32_t>(openError.size());
}

std::int32_t PcmSource::GetReachedEnd(std::int64_t* position) {
  if (position == nullptr) return tavio::E_POINTER;
  *position = 0;
  if (!decoder.IsOpen()) return tavio::E_FAIL;
  const std::int64_t end = decoder.endSample();
  const std::int64_t rate = decoder.info().sampleRate;
  if (end < 0 || rate <= 0) return tavio::S_FALSE;
  *position = end / rate * kUnitsPerSecond + end % rate * kUnitsPerSecond / rate;
  return tavio::S_OK;
}

}  // namespace tvplayer
