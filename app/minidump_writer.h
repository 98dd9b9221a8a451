// MinidumpWriter: writes one crash as a minidump in the Microsoft format that Linux crash tools
// (LLDB's "target create --core", Breakpad's minidump_stackwalk) read: the header and stream
// directory, system information (AMD64, Linux), the process id, the threads with their registers
// and stack memory (the crashed thread first), the modules with their GNU build ids (so a debugger finds the
// right files and symbols), the exception record (the signal), and the process's memory map as
// text. The full kind adds every readable mapping of the process. Besides the crashed thread, the
// dump holds every other thread that answered the handler's request for its registers.
//
// Runs inside the crashed process: no allocation, only write/pwrite on the caller's descriptor.
// Memory that turns out unreadable while it is written is filled with zeros.
#pragma once

#include "app/exception_snapshot.h"
#include "app/process_maps.h"

namespace crash {

class MinidumpWriter {
 public:
  enum Kind { kNormal = 0, kFullMemory = 2 };

  MinidumpWriter(const ExceptionSnapshot* snapshot, const ProcessMaps* maps);
  MinidumpWriter(const MinidumpWriter&) = delete;
  MinidumpWriter& operator=(const MinidumpWriter&) = delete;

  // Writes the dump to `fd` (an empty, writable file); false when a write failed.
  bool Write(int fd, Kind kind, uint32_t timeStamp);

  // The thread stack bytes a normal dump keeps above the stack pointer, at most.
  static constexpr size_t kMaxStackBytes = 1 << 20;
  // A single mapping larger than this stays out of a full dump (sanitizer shadow reservations
  // span terabytes of untouched memory).
  static constexpr size_t kMaxFullRegionBytes = size_t{1} << 30;

 private:
  bool Append(const void* data, size_t size);
  bool AppendMemory(uintptr_t address, size_t size);
  bool Align();
  bool AddStream(uint32_t type, uint32_t rva, uint32_t size);

  const ExceptionSnapshot* snapshot;
  const ProcessMaps* maps;
  int fd = -1;
  uint64_t offset = 0;
  bool failed = false;

  struct Directory {
    uint32_t type, size, rva;
  };
  static constexpr int kMaxStreams = 12;
  Directory streams[kMaxStreams] = {};
  int streamCount = 0;
};

}  // namespace crash
