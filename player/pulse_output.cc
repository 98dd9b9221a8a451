#include "player/pulse_output.h"

#include <pulse/error.h>
#include <pulse/simple.h>

namespace tvplayer {
namespace {

// About 150 ms buffered at the server: short enough that a pause is heard at once, long enough
// not to underrun on a busy machine.
constexpr int kTargetBufferMs = 150;

}  // namespace

std::unique_ptr<PulseOutput> PulseOutput::Open(int bitsPerSample, int channels, int sampleRate) {
  pa_sample_spec spec{};
  switch (bitsPerSample) {
    case 8:
      spec.format = PA_SAMPLE_U8;
      break;
    case 16:
      spec.format = PA_SAMPLE_S16LE;
      break;
    case 24:
      spec.format = PA_SAMPLE_S24LE;
      break;
    case 32:
      spec.format = PA_SAMPLE_S32LE;
      break;
    default:
      return nullptr;
  }
  spec.channels = static_cast<std::uint8_t>(channels);
  spec.rate = static_cast<std::uint32_t>(sampleRate);
  if (!pa_sample_spec_valid(&spec)) return nullptr;

  pa_buffer_attr attr{};
  attr.maxlength = static_cast<std::uint32_t>(-1);
  attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetBufferMs * 1000, &spec));
  attr.prebuf = static_cast<std::uint32_t>(-1);
  attr.minreq = static_cast<std::uint32_t>(-1);
  attr.fragsize = static_cast<std::uint32_t>(-1);
  int error = 0;
  pa_simple* stream = pa_simple_new(nullptr, "Sonaclip", PA_STREAM_PLAYBACK, nullptr,
                                    "Song preview", &spec, nullptr, &attr, &error);
  if (stream == nullptr) return nullptr;
  return std::unique_ptr<PulseOutput>(new PulseOutput(stream));
}

PulseOutput::~PulseOutput() {
  pa_simple_free(stream_);
}

bool PulseOutput::Write(const void* data, std::size_t bytes) {
  int error = 0;
  return pa_simple_write(stream_, data, bytes, &error) >= 0;
}

std::uint64_t PulseOutput::LatencyUs() {
  int error = 0;
  const pa_usec_t latency = pa_simple_get_latency(stream_, &error);
  return latency == static_cast<pa_usec_t>(-1) ? 0 : latency;
}

void PulseOutput::Flush() {
  int error = 0;
  pa_simple_flush(stream_, &error);
}

void PulseOutput::Drain() {
  int error = 0;
  pa_simple_drain(stream_, &error);
}

}  // namespace tvplayer
