// A codec plug-in whose encoder object has no settings interface, built as its own codecs.so in a
// folder of its own. It counts its live objects so a test can see that the program released what
// the plug-in created. Test code only.
#include <atomic>
#include <new>

#include "engine/codec_interfaces.h"

namespace {

std::atomic<int> liveObjects{0};

class BareEncoder final : public tavio::ICodecEncoder, public tavio::Unknown {
 public:
  BareEncoder() { ++liveObjects; }

  int32_t QueryInterface(const tavio::GUID& iid, void** out) override {
    return outer->NonDelegatingQueryInterface(iid, out);
  }
  uint32_t AddRef() override { return outer->NonDelegatingAddRef(); }
  uint32_t Release() override { return outer->NonDelegatingRelease(); }
  int32_t NonDelegatingQueryInterface(const tavio::GUID& iid, void** out) override {
    if (out != nullptr && iid == tavio::IID_ICodecEncoder) {
      *out = static_cast<tavio::ICodecEncoder*>(this);
      NonDelegatingAddRef();
      return tavio::S_OK;
    }
    return Unknown::NonDelegatingQueryInterface(iid, out);
  }
  int32_t InitStream(tavio::IEncoderCallback*, const tavio::WaveFormatEx*) override { return 0; }
  int32_t Encode(const void*, int32_t) override { return 0; }
  int32_t Finish() override { return 0; }

 private:
  ~BareEncoder() override { --liveObjects; }
  tavio::IUnknown* IdentityUnknown() override { return static_cast<tavio::ICodecEncoder*>(this); }
};

class Factory final : public tavio::IClassFactory, public tavio::Unknown {
 public:
  int32_t QueryInterface(const tavio::GUID& iid, void** out) override {
    if (out != nullptr && iid == tavio::IID_IClassFactory) {
      *out = static_cast<tavio::IClassFactory*>(this);
      AddRef();
      return tavio::S_OK;
    }
    return outer->NonDelegatingQueryInterface(iid, out);
  }
  uint32_t AddRef() override { return outer->NonDelegatingAddRef(); }
  uint32_t Release() override { return outer->NonDelegatingRelease(); }
  int32_t CreateInstance(tavio::IUnknown*, const tavio::GUID& iid, void** out) override {
    auto* object = new BareEncoder;
    object->AddRef();
    const int32_t status = object->QueryInterface(iid, out);
    object->Release();
    return status;
  }
  int32_t LockServer(int32_t) override { return tavio::S_OK; }

 private:
  ~Factory() override = default;
  tavio::IUnknown* IdentityUnknown() override { return static_cast<tavio::IClassFactory*>(this); }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t DllGetClassObject(
    const tavio::GUID*, const tavio::GUID* iid, void** out) {
  auto* factory = new Factory;
  factory->AddRef();
  const int32_t status = factory->QueryInterface(*iid, out);
  factory->Release();
  return status;
}

extern "C" __attribute__((visibility("default"))) int FakeCodecLiveObjects() {
  return liveObjects.load();
}
