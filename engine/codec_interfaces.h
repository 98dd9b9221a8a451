// The binary seam between the program and its codec plug-in codecs.so.
//
// The plug-in is an in-process COM-style server loaded with dlopen (no registration). It serves
// three encoder classes, each with a class id of its own and the same interfaces: MP3 (LAME),
// AAC in an MPEG-4 file as iPhones take rings (FFmpeg's aac encoder and ipod muxer), and Vorbis in
// Ogg (libvorbis). The program asks its exported DllGetClassObject for the class factory of one
// class, creates one encoder object, asks that
// object for its settings interface, configures it, and hands it a callback over the output file
// through which the plug-in writes (and later rewrites) the stream. Slots 0 to 2 of every
// interface are QueryInterface, AddRef and Release (the base in tvplayer_interfaces.h); later slots
// follow the declaration order of the pure virtual functions below, and the comments give each
// operation's slot. Results are int32: 0 success, negative failure.
//
// Shared by the plug-in (codecs/) and the engine's encoders of it (engine/); header-only and standard library only,
// because the plug-in links nothing else of the program. Owner: the codec component.
//
// Threads: one encoder object is driven by one thread at a time (configured on the UI thread,
// fed on the cut worker); it calls the callback only from inside InitStream, Encode or Finish.
//
// tavio::NonDelegatingUnknown and tavio::Unknown give the program's and the plug-in's objects
// their reference counting: the count starts at 0, Release destroys the object when it reaches 0
// (after setting it back to 1 so the destruction cannot re-enter itself).
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/tvplayer_interfaces.h"  // tavio::GUID, tavio::IUnknown, result codes

namespace tavio {

inline constexpr std::int32_t CLASS_E_NOAGGREGATION = static_cast<std::int32_t>(0x80040110u);
inline constexpr std::int32_t CLASS_E_CLASSNOTAVAILABLE = static_cast<std::int32_t>(0x80040111u);

// {9AB17DD0-C99A-4E6A-9907-C46E3CE80A5B}: the MP3 encoder class, asked from DllGetClassObject.
inline constexpr GUID CLSID_Mp3Encoder = {0x9AB17DD0, 0xC99A, 0x4E6A,
                                          {0x99, 0x07, 0xC4, 0x6E, 0x3C, 0xE8, 0x0A, 0x5B}};
// {6C1B2E57-8F0A-4D3B-9E61-2A7D4C90B513}: AAC-LC in an MPEG-4 file (".m4r", ".m4a").
inline constexpr GUID CLSID_AacEncoder = {0x6C1B2E57, 0x8F0A, 0x4D3B,
                                          {0x9E, 0x61, 0x2A, 0x7D, 0x4C, 0x90, 0xB5, 0x13}};
// {B4E0D3A2-5C17-4F86-A93D-71E2C5F8046B}: Vorbis in an Ogg file (".ogg").
inline constexpr GUID CLSID_VorbisEncoder = {0xB4E0D3A2, 0x5C17, 0x4F86,
                                             {0xA9, 0x3D, 0x71, 0xE2, 0xC5, 0xF8, 0x04, 0x6B}};
// {00000001-0000-0000-C000-000000000046}: the standard class factory interface.
inline constexpr GUID IID_IClassFactory = {0x00000001, 0x0000, 0x0000,
                                           {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {05E71BEF-302A-4E5B-887A-1A03FA390EC1}: ICodecEncoder, asked from IClassFactory::CreateInstance.
inline constexpr GUID IID_ICodecEncoder = {0x05E71BEF, 0x302A, 0x4E5B,
                                           {0x88, 0x7A, 0x1A, 0x03, 0xFA, 0x39, 0x0E, 0xC1}};
// {1D3F6DBD-1240-4FA3-BE50-3CF7206229D8}: ICodecSettings, asked from the encoder object.
inline constexpr GUID IID_ICodecSettings = {0x1D3F6DBD, 0x1240, 0x4FA3,
                                            {0xBE, 0x50, 0x3C, 0xF7, 0x20, 0x62, 0x29, 0xD8}};

// The PCM announced to InitStream, laid out as the Windows WAVEFORMATEX (18 bytes, packed).
#pragma pack(push, 1)
struct WaveFormatEx {
  std::uint16_t wFormatTag;       // 1: integer PCM
  std::uint16_t nChannels;        // 1 or 2
  std::uint32_t nSamplesPerSec;   // Hz
  std::uint32_t nAvgBytesPerSec;  // nSamplesPerSec * nBlockAlign
  std::uint16_t nBlockAlign;      // bytes per frame
  std::uint16_t wBitsPerSample;   // 8 (unsigned), 16, 24 (3 bytes) or 32, little-endian
  std::uint16_t cbSize;           // 0
};
#pragma pack(pop)
static_assert(sizeof(WaveFormatEx) == 18, "WaveFormatEx is the packed 18-byte record");

inline constexpr std::uint16_t kWaveFormatPcm = 1;

// Implemented by the program over the output file; the plug-in writes the MP3 stream through it.
// Every operation answers 0 for success and -1 for failure.
class IEncoderCallback : public IUnknown {
 public:
  // slot 3: the output file is open for writing only, so nothing is ever delivered; 0 when the
  // file is open and buffer is not null, -1 otherwise.
  virtual std::int32_t Read(void* buffer, std::int32_t bytes) = 0;
  // slot 4: writes the bytes at the current position; -1 when the file is not open, data is null,
  // bytes is negative or the write failed (the file is then in a failed state).
  virtual std::int32_t Write(const void* data, std::int32_t bytes) = 0;
  // slot 5: moves the position (origin 0 from the start, 1 from the current position, 2 from the
  // end) and stores the new position; -1 when the file is not open, newPosition is null or the
  // move is impossible.
  virtual std::int32_t Seek(std::int64_t offset, std::int32_t origin,
                            std::uint64_t* newPosition) = 0;

 protected:
  ~IEncoderCallback() = default;
};

// The encoder object.
class ICodecEncoder : public IUnknown {
 public:
  // slot 3: takes a reference on callback (dropped when the object is destroyed) and prepares to
  // encode PCM of format. 0 accepts the job; anything else refuses it (unsupported format, called
  // twice, the encoder could not be set up). Writes nothing yet.
  virtual std::int32_t InitStream(IEncoderCallback* callback, const WaveFormatEx* format) = 0;
  // slot 4: encodes interleaved PCM in the announced format and writes what it produces through
  // the callback before returning. A block need not hold whole frames; a partial frame is kept for
  // the next call. 0, or -1 when the stream is not initialised or a write failed.
  virtual std::int32_t Encode(const void* pcm, std::int32_t bytes) = 0;
  // slot 5: ends the stream so that a decoder yields exactly the samples given to Encode, and
  // leaves the position at the end. MP3 writes the last frames, then seeks back to where the
  // stream started and rewrites the first frame with the final LAME/Xing tag (length, encoder
  // delay and padding). AAC writes the last frames and the MPEG-4 index, whose edit list hides the
  // encoder's delay. Vorbis writes the last page, whose granule position ends the stream on its
  // last sample. Later Encode and Finish calls fail. 0, or -1 when a callback call failed or
  // nothing was initialised.
  virtual std::int32_t Finish() = 0;

 protected:
  ~ICodecEncoder() = default;
};

// Settings of the encoder object; they take effect at InitStream and are ignored after it.
// Setters answer 0, or E_INVALIDARG for a value out of range (the setting is then unchanged).
// The bit rate, the effort, the channel mode and the expected length mean the same for every
// class; the AAC and Vorbis objects accept the MP3-only switches of slots 10 to 12 and ignore them.
class ICodecSettings : public IUnknown {
 public:
  // slot 3: bit rate in kbps (default 128). AAC and Vorbis clamp it to the range their encoder
  // takes at the output rate and channels (engine/ring_bitrates.h); MP3's InitStream clamps it to the nearest bit rate the MP3
  // layer allows at the output sample rate (MPEG-1 32..320, MPEG-2 8..160, MPEG-2.5 8..64; a tie
  // goes to the lower rate), so any positive or zero value is accepted. With the info tag on and
  // a constant rate, a rate whose frames are too small to carry the tag is raised to the lowest
  // one that can (64 kbps for 44.1 kHz stereo), since without the tag decoders add silence.
  // The output sample rate is the PCM's own when MP3 has it, otherwise the nearest MP3 rate.
  virtual std::int32_t SetBitrate(std::int32_t kbps) = 0;
  // slot 4: the bit rate that will be or is being written: the clamped value once InitStream
  // succeeded, the value set before.
  virtual std::int32_t GetBitrate(std::int32_t* kbps) = 0;
  // slot 5: encoding effort, 0 (best, slowest) to 9 (fastest); default 5. (AAC and Vorbis have
  // one effort only and accept any value.)
  virtual std::int32_t SetQuality(std::int32_t quality) = 0;
  // slot 6: the number of frames Encode will be given in all (0, the default: not known). AAC
  // needs it to put its frame padding before the sound rather than after it, where MPEG-4 players
  // would play it as silence; the other classes need no such figure and accept any value. A
  // stream that turns out shorter still decodes to all its samples, followed by that padding.
  virtual std::int32_t SetExpectedFrames(std::int32_t frames) = 0;
  // slot 7: kept free for later settings; answers E_NOTIMPL.
  virtual std::int32_t Reserved7() = 0;
  // slot 8: output channel mode: 0 stereo (two channels, each coded on its own) or 3 mono
  // (default 0). The PCM keeps its own channel count: stereo PCM is mixed down for mono, mono
  // PCM is doubled for stereo.
  virtual std::int32_t SetChannelMode(std::int32_t mode) = 0;
  // slot 9
  virtual std::int32_t GetChannelMode(std::int32_t* mode) = 0;
  // slot 10: 1 writes variable bit rate (the bit rate of slot 3 then only guides the size), 0
  // constant bit rate (default 0).
  virtual std::int32_t SetVariableBitrate(std::uint8_t on) = 0;
  // slot 11: 1 writes the LAME/Xing tag frame that Finish completes (default 1). Without it a
  // decoder cannot know the encoder's delay and padding and yields extra silence.
  virtual std::int32_t SetWriteInfoTag(std::uint8_t on) = 0;
  // slot 12: 1 protects every frame with a CRC (default 0).
  virtual std::int32_t SetErrorProtection(std::uint8_t on) = 0;

 protected:
  ~ICodecSettings() = default;
};

// The standard class factory.
class IClassFactory : public IUnknown {
 public:
  // slot 3: creates an object and answers its interface iid. outer must be null (no aggregation).
  virtual std::int32_t CreateInstance(IUnknown* outer, const GUID& iid, void** out) = 0;
  // slot 4: accepted and ignored; the plug-in is never unloaded.
  virtual std::int32_t LockServer(std::int32_t lock) = 0;

 protected:
  ~IClassFactory() = default;
};

// Declares the three non-delegating operations of an object that may be aggregated.
class NonDelegatingUnknown {
 public:
  virtual std::int32_t NonDelegatingQueryInterface(const GUID& iid, void** out) = 0;
  virtual std::uint32_t NonDelegatingAddRef() = 0;
  virtual std::uint32_t NonDelegatingRelease() = 0;

 protected:
  virtual ~NonDelegatingUnknown() = default;
};

// The reference count of an object. The object's own interfaces forward their QueryInterface,
// AddRef and Release to `outer`, which is the object's own non-delegating part (our objects are
// never aggregated). A derived object answering more interfaces overrides
// NonDelegatingQueryInterface and falls back to this one.
class Unknown : public NonDelegatingUnknown {
 public:
  Unknown(const Unknown&) = delete;
  Unknown& operator=(const Unknown&) = delete;

  // Answers IUnknown only, with one more reference; E_POINTER for a null out, E_NOINTERFACE (and
  // a null result) for anything else.
  std::int32_t NonDelegatingQueryInterface(const GUID& iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown) {
      *out = IdentityUnknown();
      NonDelegatingAddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  std::uint32_t NonDelegatingAddRef() override {
    return static_cast<std::uint32_t>(refCount.fetch_add(1, std::memory_order_relaxed) + 1);
  }
  std::uint32_t NonDelegatingRelease() override {
    const std::int32_t left = refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
      refCount.store(1, std::memory_order_relaxed);
      delete this;
      return 0;
    }
    return static_cast<std::uint32_t>(left);
  }

 protected:
  Unknown() = default;
  ~Unknown() override = default;

  // The interface handed out for IID_IUnknown: the object's primary COM interface.
  virtual IUnknown* IdentityUnknown() = 0;

  // For an object whose lifetime belongs to another owner (a unique_ptr): called in its
  // constructor, it takes the owner's reference, which no Release ever drops, so a plug-in
  // letting go of the last reference it took (also while the owner destroys the object) can
  // never destroy the object a second time.
  void AddOwnerReference() { refCount.fetch_add(1, std::memory_order_relaxed); }

  std::int32_t referenceCount() const { return refCount.load(std::memory_order_relaxed); }

  NonDelegatingUnknown* const outer = this;

 private:
  std::atomic<std::int32_t> refCount{0};
};

}  // namespace tavio

// The plug-in's one export, looked up by name with dlsym. Fills *out with a class factory of clsid
// answering iid (IID_IClassFactory or IID_IUnknown), with one reference; otherwise a negative
// status and a null *out.
extern "C" {
using DllGetClassObjectFn = std::int32_t (*)(const tavio::GUID* clsid, const tavio::GUID* iid,
                                             void** out);
}
inline constexpr const char kDllGetClassObjectName[] = "DllGetClassObject";
inline constexpr const char kCodecLibraryName[] = "codecs.so";
