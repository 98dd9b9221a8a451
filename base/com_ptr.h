// ComPtr<T>: owns one reference on a COM-style object (any T with AddRef and Release, such as the
// plug-in interfaces of engine/tvplayer_interfaces.h and engine/codec_interfaces.h), and releases
// it when it goes. The one way this program holds a plug-in object: no hand-written Release.
//
//   base::ComPtr<IPcmSource> source;
//   if (createSource(source.GetAddressOf()) < 0) ...   // the export's reference is adopted
//   void* out = nullptr;
//   encoder->QueryInterface(IID_ICodecSettings, &out);
//   auto settings = base::ComPtr<ICodecSettings>::Adopt(static_cast<ICodecSettings*>(out));
//
// How a raw pointer comes in is always spelled out: Adopt (and Attach, and an out-parameter
// through GetAddressOf) takes over a reference the caller already has, without AddRef; Share
// takes a reference of its own (AddRef). A copy takes a reference of its own; a move hands the
// reference over. Reset and assignment release the old reference only after the new one
// is stored, so a Release that re-enters the holder finds it in a consistent state.
//
// Header only, standard library only: the plug-ins include it and link nothing of base. A holder
// is as thread-safe as an ordinary pointer: one thread at a time.
#pragma once

#include <cstddef>
#include <utility>

namespace base {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes over a reference the caller holds.
  static ComPtr Adopt(T* adopted) {
    ComPtr holder;
    holder.object = adopted;
    return holder;
  }
  // Takes a reference of its own on an object someone else keeps holding.
  static ComPtr Share(T* shared) {
    if (shared) shared->AddRef();
    return Adopt(shared);
  }
  ComPtr(const ComPtr& other) : object(other.object) {
    if (object) object->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : object(std::exchange(other.object, nullptr)) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(const ComPtr& other) {
    if (other.object) other.object->AddRef();
    Replace(other.object);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) Replace(std::exchange(other.object, nullptr));
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) {
    Reset();
    return *this;
  }

  // Releases the reference held, if any.
  void Reset() { Replace(nullptr); }
  // Releases the old reference and adopts `adopted` (no AddRef).
  void Attach(T* adopted) { Replace(adopted); }
  // Hands the reference to the caller, who now must release it.
  [[nodiscard]] T* Detach() { return std::exchange(object, nullptr); }

  T* Get() const { return object; }
  T* operator->() const { return object; }
  T& operator*() const { return *object; }
  explicit operator bool() const { return object != nullptr; }

  // For an out-parameter that delivers a new reference: releases what is held and answers the
  // address of the emptied slot.
  T** GetAddressOf() {
    Reset();
    return &object;
  }

 private:
  void Replace(T* adopted) {
    T* old = std::exchange(object, adopted);
    if (old) old->Release();
  }

  T* object = nullptr;
};

template <typename T, typename U>
bool operator==(const ComPtr<T>& a, const ComPtr<U>& b) {
  return a.Get() == b.Get();
}
template <typename T>
bool operator==(const ComPtr<T>& a, std::nullptr_t) {
  return a.Get() == nullptr;
}

}  // namespace base
