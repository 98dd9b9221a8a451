// Sound output of the preview player: one PulseAudio playback stream in the format the decoder
// delivers, on libpulse's threaded main loop. Writes never block: the player asks how much the
// server takes now and waits for its commands in between, so a pause or a seek is carried out at
// once even when the server holds back (a sink that starts slowly, a busy machine). Driven by the
// player's own thread only; libpulse's loop thread stays inside this class.

#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_operation;

namespace tvplayer {

class PulseOutput {
 public:
  // A stream on the default sink, or nothing when no sound server answers (the player then plays
  // against the clock).
  static std::unique_ptr<PulseOutput> Open(int bitsPerSample, int channels, int sampleRate);
  ~PulseOutput();
  PulseOutput(const PulseOutput&) = delete;
  PulseOutput& operator=(const PulseOutput&) = delete;

  // False once the stream or the connection to the server has failed.
  bool IsAlive();
  // Bytes Write takes now; 0 when the stream has failed or wants nothing yet.
  std::size_t WritableBytes();
  // Queues the bytes (at most WritableBytes()); false when the stream or the server went away.
  bool Write(const void* data, std::size_t bytes);
  // Sound written but not yet heard, in microseconds; nothing until the server has said.
  std::optional<std::uint64_t> LatencyUs();
  // Drops what is buffered (pause, seek).
  void Flush();
  // Asks the server to play out everything written, even less than it waits for before it
  // starts; IsDrained tells when that is done (or cannot happen). Flush and Write cancel it.
  void StartDrain();
  bool IsDrained();

 private:
  PulseOutput();
  bool Connect(int bitsPerSample, int channels, int sampleRate);
  bool StreamReady();
  void ForgetDrain();

  pa_threaded_mainloop* loop = nullptr;
  pa_context* context = nullptr;
  pa_stream* stream = nullptr;
  pa_operation* drain = nullptr;
  bool loopRunning = false;
};

}  // namespace tvplayer
