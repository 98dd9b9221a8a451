// The two entry points of tvplayer.so, found by the program with dlsym. Everything else in the
// plug-in is hidden.

#include <new>

#include "base/com_ptr.h"
#include "engine/tvplayer_interfaces.h"
#include "player/pcm_source.h"
#include "player/preview_player.h"

extern "C" __attribute__((visibility("default"))) std::int32_t TVCreatePcmSource(
    IPcmSource** out) {
  if (out == nullptr) return tavio::E_POINTER;
  *out = new (std::nothrow) tvplayer::PcmSource();
  return *out != nullptr ? tavio::S_OK : tavio::E_OUTOFMEMORY;
}

extern "C" __attribute__((visibility("default"))) std::int32_t TVCreatePreviewPlayer(
    TVNotifyCallback callback, void* context, IPreviewPlayer** out) {
  if (out == nullptr) return tavio::E_POINTER;
  *out = nullptr;
  // A new player holds one reference: the caller's, or this holder's until Start succeeded.
  auto player = base::ComPtr<tvplayer::PreviewPlayer>::Adopt(
      new (std::nothrow) tvplayer::PreviewPlayer(callback, context));
  if (!player) return tavio::E_OUTOFMEMORY;
  if (!player->Start()) return tavio::E_FAIL;
  *out = player.Detach();
  return tavio::S_OK;
}
