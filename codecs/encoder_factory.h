// The class factory DllGetClassObject hands out for each encoder class of codecs.so: it creates
// one encoder object of its class per CreateInstance. Reference counts are atomic; any thread.
#pragma once

#include <new>

#include "base/com_ptr.h"
#include "engine/codec_interfaces.h"

namespace codecs {

template <class Object>
class EncoderFactory final : public tavio::IClassFactory, public tavio::Unknown {
 public:
  EncoderFactory() = default;

  std::int32_t QueryInterface(const tavio::GUID& iid, void** out) override {
    return outer->NonDelegatingQueryInterface(iid, out);
  }
  std::uint32_t AddRef() override { return outer->NonDelegatingAddRef(); }
  std::uint32_t Release() override { return outer->NonDelegatingRelease(); }
  std::int32_t NonDelegatingQueryInterface(const tavio::GUID& iid, void** out) override {
    if (out == nullptr) return tavio::E_POINTER;
    if (iid == tavio::IID_IClassFactory) {
      *out = static_cast<tavio::IClassFactory*>(this);
      NonDelegatingAddRef();
      return tavio::S_OK;
    }
    return Unknown::NonDelegatingQueryInterface(iid, out);
  }

  std::int32_t CreateInstance(tavio::IUnknown* outerUnknown, const tavio::GUID& iid,
                              void** out) override {
    if (out == nullptr) return tavio::E_POINTER;
    *out = nullptr;
    if (outerUnknown != nullptr) return tavio::CLASS_E_NOAGGREGATION;
    // The holder's reference keeps the object alive through a refused QueryInterface.
    const auto object = base::ComPtr<Object>::Share(new (std::nothrow) Object);
    if (!object) return tavio::E_OUTOFMEMORY;
    return object->QueryInterface(iid, out);
  }
  std::int32_t LockServer(std::int32_t) override { return tavio::S_OK; }

 private:
  ~EncoderFactory() override = default;
  tavio::IUnknown* IdentityUnknown() override { return static_cast<tavio::IClassFactory*>(this); }
};

}  // namespace codecs
