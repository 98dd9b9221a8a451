// LoudnessMeter measures integer PCM as a ring will hold it, with libebur128 (the reference
// implementation of EBU R128 / ITU-R BS.1770): it takes blocks of the song's frames, converts
// them to the ring's channels as the encoders do (a stereo song mixed to one channel, a mono one
// doubled to two), and gives the integrated loudness, the true peak of the ring's channels and
// the sample peak of the song's own channels. A mono ring is measured as one channel, as a meter
// measures the file.
//
// Owned by whoever measures (the cut job's worker, the cutter's --info); one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/loudness.h"

class LoudnessMeter {
 public:
  enum class Peak { kTrue, kSample };

  // PCM of bitsPerSample (8, 16, 24 or 32) and songChannels (1 or 2) at sampleRate, measured as
  // ringChannels (1 or 2). kSample leaves out the oversampling of the true peak (it then reports
  // the sample peak in its place): for timing what the oversampling costs.
  LoudnessMeter(int32_t sampleRate, int bitsPerSample, int songChannels, int ringChannels,
                Peak peak = Peak::kTrue);
  ~LoudnessMeter();
  LoudnessMeter(const LoudnessMeter&) = delete;
  LoudnessMeter& operator=(const LoudnessMeter&) = delete;

  // False when the format cannot be measured or libebur128 had no memory; Add then does nothing.
  bool ok() const { return state != nullptr; }

  // Measures the whole frames of `bytes` bytes of interleaved PCM.
  void Add(const uint8_t* pcm, int32_t bytes);

  loudness::Measurement Result() const;

 private:
  // libebur128's state (its type is an unnamed struct, so it cannot be declared here).
  struct State;

  std::unique_ptr<State> state;
  const int bits;
  const int songChannels;
  const int ringChannels;
  const Peak peak;
  int32_t largestSample = 0;    // magnitude, of the song's channels
  std::vector<float> frames;    // one block converted to the ring's channels
};
