// The binary seam between the program and its player plug-in tvplayer.so.
//
// The plug-in is loaded at run time with dlopen and reached through two COM-style objects whose
// slot layout is fixed: slots 0 to 2 are QueryInterface, AddRef and Release, and every later slot
// follows the declaration order of the pure virtual functions below (single inheritance, Itanium
// C++ ABI). Slots the program never calls still exist as real operations so the numbering of the
// ones it does call stays put. This header is shared by the player plug-in (player/, owner of this
// file) and the wrapper in engine/; it must stay header-only and depend on the C++ standard
// library alone, because the plug-in links nothing else of the program.
//
// Threads: both objects may be called from any thread, but one object is driven by one thread at a
// time (the UI thread for the preview player, the cut worker for a PCM source). The preview player
// calls its TVNotifyCallback from its own playback thread, never from inside a caller's call and
// never while holding a lock of its own, so the callback may call the player back. The player's
// last Release joins that thread: no callback runs after it returns (a last Release made from
// inside the callback lets the thread finish and free the player by itself). Once a song has
// opened, the preview player computes its waveform on threads of its own, which never call the
// callback; opening another song, closing it and the last Release stop them.

#pragma once

#include <cstdint>
#include <cstring>

// Format of the PCM both objects deliver for an opened file. Little-endian, 32 bytes.
struct MediaInfo {
  std::int32_t bitsPerSample;  // 8 (unsigned), 16, 24 (packed in 3 bytes) or 32, signed integer
  std::int32_t channels;       // 1 or 2; sources with more channels are mixed down to 2
  std::int32_t sampleRate;     // Hz
  std::int32_t bitrateKbps;    // bit rate of the file itself
  std::int32_t reserved1;      // 0
  std::int32_t reserved2;      // 0
  std::int64_t duration;       // length of the song in 100-ns units
};
static_assert(sizeof(MediaInfo) == 32, "MediaInfo is a 32-byte record");

// The waveform of an open song: the song is cut into `bins` equal stretches, and each stretch has
// the lowest and the highest sample of each channel, scaled to 16 bits (wider samples keep their
// top 16 bits, 8-bit ones are centred on 0). A stretch not computed yet has low above high; a
// stretch the file has no sound for (a damaged or missing part) is silence, 0 and 0.
struct WaveformPeak {
  std::int16_t low;
  std::int16_t high;
};
static_assert(sizeof(WaveformPeak) == 4, "WaveformPeak is two 16-bit samples");

// How far the waveform of the open song is known. 24 bytes.
struct WaveformState {
  std::int32_t bins;        // stretches of the song; 0 while there is no waveform
  std::int32_t channels;    // 1 or 2: peaks per stretch
  std::int32_t known;       // stretches computed so far, anywhere in the song
  std::int32_t complete;    // 1 once every stretch is known and the work has ended
  std::uint32_t revision;   // changes whenever more becomes known
  std::int32_t reserved;    // 0
};
static_assert(sizeof(WaveformState) == 24, "WaveformState is a 24-byte record");

// Stretches of a waveform: enough for a track bar of a thousand pixels at twice the density.
inline constexpr std::int32_t kWaveformBins = 2048;

// Positions and durations cross the seam in 100-ns units.
inline constexpr std::int64_t kUnitsPerSecond = 10000000;
inline constexpr std::int64_t kUnitsPerMillisecond = kUnitsPerSecond / 1000;

// The COM base shared by every plug-in interface. The codec interfaces reuse it by including this
// header; the guard keeps one definition if another header of ours defines the same base first.
#ifndef TAVIO_COM_BASE_DEFINED
#define TAVIO_COM_BASE_DEFINED 1
namespace tavio {

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");

inline bool operator==(const GUID& a, const GUID& b) {
  return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

// Results: 0 is success, negative is failure (HRESULT values).
inline constexpr std::int32_t S_OK = 0;
inline constexpr std::int32_t S_FALSE = 1;
inline constexpr std::int32_t E_NOTIMPL = static_cast<std::int32_t>(0x80004001u);
inline constexpr std::int32_t E_NOINTERFACE = static_cast<std::int32_t>(0x80004002u);
inline constexpr std::int32_t E_POINTER = static_cast<std::int32_t>(0x80004003u);
inline constexpr std::int32_t E_FAIL = static_cast<std::int32_t>(0x80004005u);
inline constexpr std::int32_t E_OUTOFMEMORY = static_cast<std::int32_t>(0x8007000Eu);
inline constexpr std::int32_t E_INVALIDARG = static_cast<std::int32_t>(0x80070057u);

// {00000000-0000-0000-C000-000000000046}
inline constexpr GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000,
                                      {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Slots 0 to 2. Objects are destroyed by their last Release, never by delete from outside.
class IUnknown {
 public:
  virtual std::int32_t QueryInterface(const GUID& iid, void** out) = 0;  // slot 0
  virtual std::uint32_t AddRef() = 0;                                    // slot 1
  virtual std::uint32_t Release() = 0;                                   // slot 2

 protected:
  ~IUnknown() = default;
};

}  // namespace tavio
#endif  // TAVIO_COM_BASE_DEFINED

namespace tavio {

// {6B1C2F40-5D8E-4C7A-9E21-3A7F0C5B9D11}
inline constexpr GUID IID_IPreviewPlayer = {0x6B1C2F40, 0x5D8E, 0x4C7A,
                                            {0x9E, 0x21, 0x3A, 0x7F, 0x0C, 0x5B, 0x9D, 0x11}};
// {A3E4D920-17B6-4F05-8C3D-52E1B8F06A72}
inline constexpr GUID IID_IPcmSource = {0xA3E4D920, 0x17B6, 0x4F05,
                                        {0x8C, 0x3D, 0x52, 0xE1, 0xB8, 0xF0, 0x6A, 0x72}};

}  // namespace tavio

// Messages the preview player sends through its callback (the wrapper posts them to its window).
inline constexpr unsigned kTVMsgPlayerState = 0x2410;  // wParam: a TVPlayerState code
inline constexpr unsigned kTVMsgPosition = 0x2413;     // wParam: position, 100-ns units, 64 bits

// State codes carried by kTVMsgPlayerState.
enum TVPlayerState : std::int32_t {
  kTVPlayerPlaying = 1,
  kTVPlayerClosed = 2,
  kTVPlayerPaused = 3,
  kTVPlayerOpened = 4,      // GetMediaInfo now describes the song
  kTVPlayerStopped = 5,     // end of the song reached; Play starts again from the beginning
  kTVPlayerOpenFailed = 6,
};

// Called on the player's own thread. wParam of a position message holds the full 64-bit position
// (uintptr_t is 64 bits on every Linux target we build for). lParam is always 0.
using TVNotifyCallback = void (*)(void* context, unsigned message, std::uintptr_t wParam,
                                  std::intptr_t lParam);

// The preview player. Commands are queued to the player's thread and run in call order, so
// Open followed at once by Play plays the song as soon as it is open (and does nothing if the
// open fails). Every command answers S_OK when it was queued, E_FAIL when no file is open where
// one is needed (Play, Pause, Seek before any Open).
class IPreviewPlayer : public tavio::IUnknown {
 public:
  // slot 3: closes the current file and stops sound; notifies kTVPlayerClosed.
  virtual std::int32_t Close() = 0;
  // slot 4: opens a song asynchronously (flags: 0); notifies kTVPlayerOpened or
  // kTVPlayerOpenFailed. Any earlier song is closed first.
  virtual std::int32_t Open(const wchar_t* path, std::int32_t flags) = 0;
  // slot 5: starts or resumes playback; notifies kTVPlayerPlaying, then positions every ~100 ms.
  virtual std::int32_t Play() = 0;
  // slot 6: pauses, keeping the position; notifies kTVPlayerPaused.
  virtual std::int32_t Pause() = 0;
  // slot 7: stops and rewinds to 0; notifies kTVPlayerStopped.
  virtual std::int32_t Stop() = 0;
  // slot 8: moves the play position (100-ns units, clamped to the song); playing continues from
  // there, a paused player stays paused. Exact to the sample. Notifies the new position.
  virtual std::int32_t Seek(std::int64_t position) = 0;
  // slot 9: last position reached by playback, 100-ns units.
  virtual std::int32_t GetPosition(std::int64_t* position) = 0;
  // slot 10: duration of the open song, 100-ns units (0 when none is open).
  virtual std::int32_t GetDuration(std::int64_t* duration) = 0;
  // slot 11: the last state code notified (0 before the first).
  virtual std::int32_t GetState() = 0;
  // slot 12: playback volume, 0 to 100 (100 plays the samples unchanged).
  virtual std::int32_t SetVolume(std::int32_t percent) = 0;
  // slot 13
  virtual std::int32_t GetVolume(std::int32_t* percent) = 0;
  // slots 14 and 15: kept free for later operations; answer E_NOTIMPL.
  virtual std::int32_t Reserved14() = 0;
  virtual std::int32_t Reserved15() = 0;
  // slot 16: fills the record of the open song (S_OK), or zeroes it and answers E_FAIL when no
  // song is open. Safe from any thread.
  virtual std::int32_t GetMediaInfo(MediaInfo* info) = 0;
  // slot 17: the open song's waveform as far as it is known. Fills *state and copies the first
  // min(capacity, bins x channels) peaks into peaks, stretch by stretch, channel 0 first
  // (capacity 0 copies none, so a first call may ask for the size). S_OK; E_FAIL with *state
  // zeroed while no song is open or after another Open or a Close was asked for, until that
  // song has opened (so no song's waveform is ever taken for the next one's); E_POINTER for a
  // null state, or null peaks with capacity above 0; E_INVALIDARG for a negative capacity.
  // Safe from any thread.
  virtual std::int32_t GetWaveform(WaveformState* state, WaveformPeak* peaks,
                                   std::int32_t capacity) = 0;

 protected:
  ~IPreviewPlayer() = default;
};

// A pull decoder for cutting: opens a song synchronously and delivers interleaved PCM in the format
// of its MediaInfo, starting from the exact sample of the last Seek.
class IPcmSource : public tavio::IUnknown {
 public:
  // slot 3: true when the file is open for decoding; a failed open leaves the source closed.
  virtual bool Open(const wchar_t* path) = 0;
  // slot 4: the next Read starts with sample floor(position × sampleRate / 10^7) of a full decode
  // (100-ns units; below 0 means 0, past the end leaves nothing to read). S_OK, or E_FAIL when
  // nothing is open or the file vanished.
  virtual std::int32_t Seek(std::int64_t position) = 0;
  // slot 5: closes the file; the source can be opened again.
  virtual std::int32_t Close() = 0;
  // slot 6: writes up to `bytes` bytes of whole frames into buffer (a count that is not a whole
  // number of frames is rounded down); the count written, 0 at the end of the song, negative with
  // nothing open or when `bytes` is less than one frame. Damaged stretches are skipped.
  virtual std::int32_t Read(void* buffer, std::int32_t bytes) = 0;
  // slot 7: fills the record of the open file (S_OK), or zeroes it and answers E_FAIL.
  virtual std::int32_t GetMediaInfo(MediaInfo* info) = 0;
  // slot 8: why the last Open failed, in UTF-8, for a person to read: the step that failed, the
  // file and the reason (FFmpeg's own words where FFmpeg refused the file); empty after an Open
  // that succeeded. Copies at most `bytes` - 1 bytes of it and a terminating NUL into `text`
  // (nothing with `bytes` 0, so a first call may ask for the length) and returns the length of the
  // whole text; E_POINTER for a null `text` with `bytes` above 0, E_INVALIDARG for `bytes` below 0.
  virtual std::int32_t GetOpenError(char* text, std::int32_t bytes) = 0;
  // slot 9: where the song really ends, 100-ns units, once a Read or a Seek has run into its end
  // (S_OK); 0 and S_FALSE before; E_POINTER for a null `position`, E_FAIL with nothing open. A
  // file that holds less than its header says (a cut-off download) ends here, before the duration
  // of its MediaInfo.
  virtual std::int32_t GetReachedEnd(std::int64_t* position) = 0;

 protected:
  ~IPcmSource() = default;
};

// Exports of tvplayer.so, looked up by name with dlsym. Both answer S_OK and one reference, or a
// negative status and a null pointer.
extern "C" {
using TVCreatePcmSourceFn = std::int32_t (*)(IPcmSource** out);
using TVCreatePreviewPlayerFn = std::int32_t (*)(TVNotifyCallback callback, void* context,
                                                 IPreviewPlayer** out);
}
inline constexpr const char kTVCreatePcmSourceName[] = "TVCreatePcmSource";
inline constexpr const char kTVCreatePreviewPlayerName[] = "TVCreatePreviewPlayer";
inline constexpr const char kTVPlayerLibraryName[] = "tvplayer.so";
