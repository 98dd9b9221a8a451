#include "player/pulse_output.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <chrono>
#include <thread>

namespace tvplayer {
namespace {

// About 150 ms buffered at the server: short enough that a pause is heard at once, long enough
// not to underrun on a busy machine.
constexpr int kTargetBufferMs = 150;
// How long a server may take to accept us.
constexpr auto kConnectTimeout = std::chrono::seconds(3);

void SignalLoop(void* loop) {
  pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

// Holds libpulse's loop lock for a scope.
class LoopLock {
 public:
  explicit LoopLock(pa_threaded_mainloop* loop) : loop(loop) { pa_threaded_mainloop_lock(this->loop); }
  ~LoopLock() { pa_threaded_mainloop_unlock(loop); }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;

 private:
  pa_threaded_mainloop* loop;
};

}  // namespace

PulseOutput::PulseOutput() = default;

std::unique_ptr<PulseOutput> PulseOutput::Open(int bitsPerSample, int channels, int sampleRate) {
  std::unique_ptr<PulseOutput> output(new PulseOutput());
  if (!output->Connect(bitsPerSample, channels, sampleRate)) return nullptr;
  return output;
}

bool PulseOutput::Connect(int bitsPerSample, int channels, int sampleRate) {
  pa_sample_spec sampleSpec{};
  switch (bitsPerSample) {
    case 8:
      sampleSpec.format = PA_SAMPLE_U8;
      break;
    case 16:
      sampleSpec.format = PA_SAMPLE_S16LE;
      break;
    case 24:
      sampleSpec.format = PA_SAMPLE_S24LE;
      break;
    case 32:
      sampleSpec.format = PA_SAMPLE_S32LE;
      break;
    default:
      return false;
  }
  sampleSpec.channels = static_cast<std::uint8_t>(channels);
  sampleSpec.rate = static_cast<std::uint32_t>(sampleRate);
  if (!pa_sample_spec_valid(&sampleSpec)) return false;

  loop = pa_threaded_mainloop_new();
  if (loop == nullptr) return false;
  context = pa_context_new(pa_threaded_mainloop_get_api(loop), "Sonaclip");
  if (context == nullptr) return false;
  pa_context_set_state_callback(
      context, [](pa_context*, void* loop) { SignalLoop(loop); }, loop);
  // No autospawn: without a running server the preview keeps time by itself.
  if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
  if (pa_threaded_mainloop_start(loop) < 0) return false;
  loopRunning = true;

  // The loop's condition wait has no time-out; poll instead so a mute server cannot hold us.
  const auto deadline = std::chrono::steady_clock::now() + kConnectTimeout;
  for (;;) {
    {
      LoopLock lock(loop);
      const pa_context_state_t state = pa_context_get_state(context);
      if (state == PA_CONTEXT_READY) break;
      if (!PA_CONTEXT_IS_GOOD(state)) return false;
    }
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }

  {
    LoopLock lock(loop);
    stream = pa_stream_new(context, "Song preview", &sampleSpec, nullptr);
    if (stream == nullptr) return false;
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetBufferMs * 1000, &sampleSpec));
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
    if (pa_stream_connect_playback(stream, nullptr, &attr, flags, nullptr, nullptr) < 0) {
      return false;
    }
  }
  for (;;) {
    {
      LoopLock lock(loop);
      const pa_stream_state_t state = pa_stream_get_state(stream);
      if (state == PA_STREAM_READY) return true;
      if (!PA_STREAM_IS_GOOD(state)) return false;
    }
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

PulseOutput::~PulseOutput() {
  // With the loop thread stopped nothing else touches the objects, so no lock is needed.
  if (loopRunning) pa_threaded_mainloop_stop(loop);
  if (drain != nullptr) pa_operation_unref(drain);
  if (stream != nullptr) {
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
  }
  if (context != nullptr) {
    pa_context_disconnect(context);
    pa_context_unref(context);
  }
  if (loop != nullptr) pa_threaded_mainloop_free(loop);
}

bool PulseOutput::StreamReady() {
  return pa_context_get_state(context) == PA_CONTEXT_READY &&
         pa_stream_get_state(stream) == PA_STREAM_READY;
}

bool PulseOutput::IsAlive() {
  LoopLock lock(loop);
  return StreamReady();
}

std::size_t PulseOutput::WritableBytes() {
  LoopLock lock(loop);
  if (!StreamReady()) return 0;
  const std::size_t writable = pa_stream_writable_size(stream);
  return writable == static_cast<std::size_t>(-1) ? 0 : writable;
}

bool PulseOutput::Write(const void* data, std::size_t bytes) {
  LoopLock lock(loop);
  ForgetDrain();
  if (!StreamReady()) return false;
  return pa_stream_write(stream, data, bytes, nullptr, 0, PA_SEEK_RELATIVE) == 0;
}

std::optional<std::uint64_t> PulseOutput::LatencyUs() {
  LoopLock lock(loop);
  if (!StreamReady()) return std::nullopt;
  pa_usec_t latency = 0;
  int negative = 0;
  if (pa_stream_get_latency(stream, &latency, &negative) < 0) return std::nullopt;
  return negative ? 0 : latency;
}

void PulseOutput::Flush() {
  LoopLock lock(loop);
  ForgetDrain();
  if (!StreamReady()) return;
  if (pa_operation* operation = pa_stream_flush(stream, nullptr, nullptr)) {
    pa_operation_unref(operation);
  }
}

void PulseOutput::StartDrain() {
  LoopLock lock(loop);
  ForgetDrain();
  if (StreamReady()) drain = pa_stream_drain(stream, nullptr, nullptr);
}

bool PulseOutput::IsDrained() {
  LoopLock lock(loop);
  return drain == nullptr || !StreamReady() ||
         pa_operation_get_state(drain) != PA_OPERATION_RUNNING;
}

void PulseOutput::ForgetDrain() {
  if (drain != nullptr) {
    pa_operation_cancel(drain);
    pa_operation_unref(drain);
    drain = nullptr;
  }
}

}  // namespace tvplayer
