// The output file of an encoder: one stream opened for writing only, with one position that both
// the encoder and the MP3 plug-in (through IEncoderCallback) move. A write that fails leaves the
// stream in a failed state that later writes and Close respect. Owned by its encoder; used by one
// thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates or truncates path for binary writing. False when it cannot be opened.
  bool Open(const std::filesystem::path& path);
  bool is_open() const { return fd >= 0; }
  bool failed() const { return failedState; }

  // All bytes or a failed state.
  bool Write(const void* data, std::size_t bytes);
  // origin 0 from the start, 1 from the current position, 2 from the end; stores the new
  // position. False when closed or the move is impossible (the stream state is kept).
  bool Seek(std::int64_t offset, int origin, std::uint64_t* newPosition);

  // Flushes the data to the disk and closes. False (and closed) when any write failed or the
  // data could not be flushed.
  bool Close();
  // Closes and deletes the file: what is left of a job that did not complete.
  void Remove();

 private:
  int fd = -1;
  bool failedState = false;
  std::filesystem::path filePath;
};
