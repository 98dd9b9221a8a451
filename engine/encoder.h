// Encoder turns the section a PCM source delivers into a ring file: it pulls the PCM in blocks of
// at most 32768 bytes, applies the volume gain and the linear fade-in and fade-out, and hands each
// block to its format (WavEncoder, Mp3Encoder). One encoder serves one job:
//   SetBitrate (MP3 only) → Begin → Step until it returns false or the job is cancelled → End →
//   destruction.
// A loudness-normalised ring is read twice: MeasureStep runs the section through the same
// processing and hands each block to a meter instead of the file, then Rewind goes back to the
// section's start with the gain the measurement chose, and Step writes it. The measuring pass
// keeps what it read (up to kReplayLimitBytes), so the writing pass takes the very same PCM
// without decoding the section again.
// The wrapper owns it (unique_ptr). Begin and the destruction run on the UI thread, Step and End
// on the cut worker, never at the same time; the encoder has no lock of its own.
//
// Saving without losing data: the encoder writes exactly the path it is given (the wrapper gives
// it a hidden name beside the ring and renames that over the ring only after a job that succeeded).
// End returns whether the file is complete; a file that could not be completed (a write failed,
// the disk filled, the MP3 plug-in could not finish) is deleted by End, so the rename that would
// follow finds nothing and the job cannot be reported as saved.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/output_file.h"
#include "engine/tvplayer_interfaces.h"

class TVPlayerWrapper;

// What an encoder reads: the section's PCM and its format. The wrapper's is made from its PCM
// source and preview player; tests give their own.
class EncoderInput {
 public:
  virtual ~EncoderInput() = default;
  // Up to `bytes` bytes of interleaved PCM, whole frames, into buffer; the count delivered, 0 at
  // the end, negative when there is nothing to read from.
  virtual int32_t ReadPcm(void* buffer, int32_t bytes) = 0;
  // The format ReadPcm delivers; false when it is not known.
  virtual bool ReadFormat(MediaInfo* info) = 0;
  // The frames ReadPcm has left to deliver before the song ends, when the source knows; -1 when
  // not. A section that runs to the song's end gets fewer than asked for.
  virtual int64_t FramesLeft() { return -1; }
};

class Encoder {
 public:
  static constexpr int32_t kBlockBytes = 32768;
  // The most PCM a measuring pass keeps for the writing pass: three minutes of 44.1 kHz 16-bit
  // stereo. A longer section is read from the source again.
  static constexpr size_t kReplayLimitBytes = 32u << 20;

  virtual ~Encoder();
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  // Prepares the job and creates outputPath. jobBytes are the source bytes to take; the fades
  // are in milliseconds (0 = off), volumeGain in 1/10000 (10000 = unchanged), channels the
  // ring's (1 or 2). False leaves no job running and no file. The wrapper's form reads the
  // wrapper's source() and player(): the PCM from the source, the format from the source's record
  // (it describes the bytes read), or from the player's when the source has none. Refuses a
  // source that is not 8-, 16-, 24- or 32-bit PCM with one or two channels.
  bool Begin(TVPlayerWrapper* wrapper, const std::wstring& outputPath, int32_t jobBytes,
             int32_t fadeInMs, int32_t fadeOutMs, int32_t volumeGain, int32_t channels);
  bool Begin(EncoderInput* source, const std::filesystem::path& outputPath, int32_t jobBytes,
             int32_t fadeInMs, int32_t fadeOutMs, int32_t volumeGain, int32_t channels);

  // Processes one block; `bytes` receives the count taken from the source. True while more
  // blocks follow; false at the end of the section, when the source has no more data, or when
  // writing failed (failed() then tells).
  bool Step(int32_t& bytes);

  // The measuring pass: takes and processes the next block exactly as Step does, and hands it to
  // `measure` instead of the format. Same results as Step; false as soon as a block has been
  // written.
  bool MeasureStep(int32_t& bytes, const std::function<void(const uint8_t*, int32_t)>& measure);
  // Back to the start of the section, for the pass after a measuring pass, with volumeGain in
  // place of Begin's. False once a block has been written. Unless replaysSection(), the caller
  // puts the source back at the section's start.
  bool Rewind(int32_t volumeGain);
  // True after Rewind when the writing pass takes the PCM the measuring pass kept.
  bool replaysSection() const { return replaying; }
  // How much PCM a measuring pass may keep; kReplayLimitBytes unless set before it.
  void SetReplayLimit(size_t bytes) { replayLimit = bytes; }

  // Finishes (WAV: patches the header; MP3: ends the stream and rewrites its first frame) and
  // closes the file. True when the file is complete; otherwise the file is deleted. Does nothing
  // and answers false without a begun job, and the second time.
  bool End();

  // The MP3 bit rate in kbps; only Mp3Encoder uses it.
  virtual void SetBitrate(int32_t kbps) { bitrateKbps = kbps; }

  // True once a write of the output failed; the job cannot succeed.
  bool failed() const { return writeFailed || file.failed(); }

 protected:
  Encoder() = default;

  // The format-specific steps of Begin, End and Step.
  // Before the file exists (MP3: load and initialise the codec plug-in).
  virtual bool PrepareFormat(const MediaInfo& format) { return true; }
  // Right after the file was created (WAV: the provisional header).
  virtual bool StartFile() { return true; }
  // Writes one processed block of `bytes` source bytes; false when writing failed.
  virtual bool HandBlock(uint8_t* block, int32_t bytes) = 0;
  // Before the file is closed at the end of a job.
  virtual bool FinishFile() = 0;

  const MediaInfo& sourceFormat() const { return format; }
  // What the source says it has left (EncoderInput::FramesLeft), or -1.
  int64_t sourceFramesLeft() const { return input ? input->FramesLeft() : -1; }

  int32_t outputChannels = 0;
  int32_t fadeInBytes = 0;
  int32_t fadeOutBytes = 0;
  int32_t volume = 10000;
  int32_t remainingBytes = 0;
  int32_t fadeInDoneBytes = 0;
  int32_t bitrateKbps = 0;
  OutputFile file;

 private:
  class WrapperInput;

  // Reads the next block into buffer and applies the gain and the fades; its byte count (0 at the
  // end). `more` is false once the source had nothing left.
  int32_t TakeBlock(bool& more);
  // Up to `bytes` of the section's PCM: from the source, kept for a replay while recording, or
  // from what was kept while replaying.
  int32_t ReadSection(int32_t bytes);

  EncoderInput* input = nullptr;                // borrowed from Begin until the destruction
  std::unique_ptr<EncoderInput> wrapperInput;   // the wrapper's form
  MediaInfo format{};
  std::vector<uint8_t> buffer;                  // kBlockBytes, one per job
  int32_t jobBytes = 0;
  bool begun = false;
  bool writeFailed = false;
  bool wroteBlock = false;
  // The measuring pass's PCM, as read, for the writing pass.
  std::vector<uint8_t> kept;
  size_t keptRead = 0;
  size_t replayLimit = kReplayLimitBytes;
  bool measureStarted = false;
  bool recording = false;
  bool replaying = false;
};
