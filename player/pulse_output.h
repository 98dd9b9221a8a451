// Sound output of the preview player: one PulseAudio playback stream (libpulse-simple) in the
// format the decoder delivers. Blocking calls, so the player's own thread drives it without any
// event loop; the short target buffer keeps pause and seek prompt. Used only by that thread.

#pragma once

#include <cstdint>
#include <memory>

struct pa_simple;

namespace tvplayer {

class PulseOutput {
 public:
  // A stream on the default sink, or nothing when no sound server answers (the player then plays
  // against the clock).
  static std::unique_ptr<PulseOutput> Open(int bitsPerSample, int channels, int sampleRate);
  ~PulseOutput();
  PulseOutput(const PulseOutput&) = delete;
  PulseOutput& operator=(const PulseOutput&) = delete;

  // Blocks until the server took the bytes; false when the server went away.
  bool Write(const void* data, std::size_t bytes);
  // Sound written but not yet heard, in microseconds.
  std::uint64_t LatencyUs();
  // Drops what is buffered (pause, seek).
  void Flush();
  // Waits until everything written has been played (end of the song).
  void Drain();

 private:
  explicit PulseOutput(pa_simple* stream) : stream_(stream) {}
  pa_simple* stream_;
};

}  // namespace tvplayer
