// WaveformJob: the picture of one song for the track bar. The song is cut into a fixed number of
// equal stretches; each stretch gets the lowest and highest sample of each channel. The work runs
// on threads of its own, one for each core: the song is split into as many parts, and each part is
// decoded from its own seek point through MediaDecoder, the decoding path of the preview and the
// cut, so the picture shows exactly what a cut takes. Memory is fixed by the number of stretches:
// a three-hour song costs what a three-minute one does.
//
// Progress is data: a worker publishes each finished stretch into one small buffer under one lock,
// and readers copy it (Snapshot). A part the file has no sound for (the decoder ends early, or
// the file no longer opens) is published as silence, so the work always completes.
//
// Owned and destroyed by the preview player's thread. Cancel and Snapshot may be called from any
// thread. The destructor cancels and joins the workers; it returns as soon as each has finished
// the block it was decoding, and every decoder's memory is released by then.

#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/tvplayer_interfaces.h"

namespace tvplayer {

class MediaDecoder;

class WaveformJob {
 public:
  // Starts computing the waveform of the file at path, whose PCM format an earlier open gave as
  // info, in `bins` stretches on `threads` threads.
  WaveformJob(std::string path, const MediaInfo& info, int bins, int threads);
  ~WaveformJob();
  WaveformJob(const WaveformJob&) = delete;
  WaveformJob& operator=(const WaveformJob&) = delete;

  // The processors this process may run on: one worker for each.
  static int DefaultThreads();

  const std::string& path() const { return songPath; }
  // True when path names the same file, unchanged since the job started, and the job was not
  // cancelled: a second open of that file can keep this waveform.
  bool Serves(const std::string& path) const;
  // Asks every worker to stop after its current block; returns at once.
  void Cancel();
  bool cancelled() const { return cancelRequested.load(); }

  // What is known so far: the state, and up to capacity peaks (stretch by stretch, channel 0
  // first) into peaks.
  void Snapshot(WaveformState* state, WaveformPeak* peaks, int capacity) const;

  // First sample of stretch `bin` for a song of `samples` samples cut into `bins` stretches.
  static std::int64_t BinStart(int bin, int bins, std::int64_t samples);

 private:
  struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileIdentity&) const = default;
  };
  static bool Identify(const std::string& path, FileIdentity* identity);

  void RunPart(int part);
  // Decodes the part's stretches; returns the first stretch it did not publish.
  int DecodePart(MediaDecoder& decoder, int firstBin, int endBin);
  void Publish(int bin, const WaveformPeak* binPeaks);
  void PublishSilence(int fromBin, int toBin);
  void FinishPart();

  const std::string songPath;
  const MediaInfo info;
  const int bins;
  const std::int64_t totalSamples;
  FileIdentity identity;
  bool identified = false;

  std::atomic<bool> cancelRequested{false};
  // One decoder a part, made before the workers start so Cancel can reach each of them.
  std::vector<std::unique_ptr<MediaDecoder>> decoders;
  // The first stretch of each part, and the end of the last.
  std::vector<int> partStarts;
  std::vector<std::thread> workers;

  // Guards peaks, known, revision and partsLeft.
  mutable std::mutex mutex;
  std::vector<WaveformPeak> peaks;
  int known = 0;
  std::uint32_t revision = 0;
  int partsLeft = 0;
};

}  // namespace tvplayer
