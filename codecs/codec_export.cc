// The one export of codecs.so: the class factory of each of its encoder classes.
#include <new>
#include <type_traits>

#include "base/com_ptr.h"
#include "codecs/aac_codec.h"
#include "codecs/encoder_factory.h"
#include "codecs/lame_codec.h"
#include "codecs/vorbis_codec.h"
#include "engine/codec_interfaces.h"

namespace {

template <class Object>
std::int32_t HandOutFactory(const tavio::GUID& iid, void** out) {
  const auto factory = base::ComPtr<codecs::EncoderFactory<Object>>::Share(
      new (std::nothrow) codecs::EncoderFactory<Object>);
  if (!factory) return tavio::E_OUTOFMEMORY;
  return factory->QueryInterface(iid, out);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t DllGetClassObject(
    const tavio::GUID* clsid, const tavio::GUID* iid, void** out) {
  if (out == nullptr) return tavio::E_POINTER;
  *out = nullptr;
  if (clsid == nullptr || iid == nullptr) return tavio::E_POINTER;
  if (*clsid == tavio::CLSID_Mp3Encoder) return HandOutFactory<codecs::LameEncoderObject>(*iid, out);
  if (*clsid == tavio::CLSID_AacEncoder) return HandOutFactory<codecs::AacEncoderObject>(*iid, out);
  if (*clsid == tavio::CLSID_VorbisEncoder) {
    return HandOutFactory<codecs::VorbisEncoderObject>(*iid, out);
  }
  return tavio::CLASS_E_CLASSNOTAVAILABLE;
}

// The export must keep the shape the program looks it up with.
static_assert(std::is_same_v<decltype(&DllGetClassObject), DllGetClassObjectFn>);
