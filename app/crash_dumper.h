// CrashDumper: the one routine every crash ends in. It walks the crashed thread's stack with
// libunwind from the crash context, computes the crash signature (MD5 over the frames' offsets
// from their modules' load addresses, so the same crash gives the same signature in every run),
// writes the minidump "7680-<file version>-<signature>-<time>.dmp" into the crash data folder
// (full memory, plus "errWeb.dmp" in a folder of this user's own inside the temporary folder,
// when its "CrashLog" folder exists) and hands the result to the notice callback.
//
// Everything it needs (folders, file names, buffers) is prepared by PrepareCrashDumps when the
// handlers are installed; WriteAndReport itself allocates nothing and calls only
// async-signal-safe functions, so it may run in a signal handler of a crashed process.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/exception_snapshot.h"

namespace crash {

// What one written crash leaves for whoever reports it. The texts live in the dumper's static
// storage until the process ends.
struct CrashReport {
  const char* dumpPath;        // the dump the reporter gets ("errWeb.dmp" with the full kind)
  const char* faultingModule;  // base name of the module holding the crash address, lower case
  const char* signature;       // 32 lower-case hexadecimal digits
};

// Called once, outside the crash path (start-up): reads the folders and the time zone, builds
// the dump name's fixed part.
void PrepareCrashDumps(uint32_t fileVersion);

class CrashDumper {
 public:
  using NoticeCallback = void (*)(const CrashReport& report);

  CrashDumper(const ExceptionSnapshot* snapshot, NoticeCallback notice);
  CrashDumper(const CrashDumper&) = delete;
  CrashDumper& operator=(const CrashDumper&) = delete;

  // True when a dump name could be formed (a frame of the stack lay in a loaded module); the
  // dump itself is best effort and silent.
  bool WriteAndReport();

 private:
  const ExceptionSnapshot* snapshot;  // not owned
  NoticeCallback notice;
};

}  // namespace crash
