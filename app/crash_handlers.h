// Process-wide crash handling, installed first thing when the running instance starts.
//
// Every kind of fatal error ends in one CrashDumper run: the hardware signals (SIGSEGV, SIGBUS,
// SIGILL, SIGFPE), SIGTRAP (a FATAL log message), SIGABRT, an exception nobody catches
// (std::terminate), a call of a pure virtual function. The handlers run on an alternate signal
// stack, the main thread's and every other thread's (thread_alt_stacks.h), so a stack overflow
// is reported on any thread, and only the first crash of the process does any
// work: a second thread crashing meanwhile waits for the process to end. The other threads are
// asked for their registers with the last real-time signal (SIGRTMAX), which the program must
// not use otherwise; each answering thread stays parked in that handler until the process ends.
//
// After the dump, a separate small process ("sonaclip-crash-helper" beside the executable) shows
// the bad-module notice and starts the crash reporter; nothing of the kind runs in the crashed
// process. The process then ends with the signal of its crash (SIGABRT for an uncaught exception
// and a pure call), with the default action, so the system sees the real cause.
//
// SIGTERM is no crash here: it is the request to quit (a session sends it at logout). Its handler
// only makes TerminateRequestFd() readable; the main loop watches it and quits in order.
#pragma once

#include <cstdint>
#include <new>

namespace crash {

// The program's file version as the crash files carry it: the low 32 bits of the Windows-style
// four-part version (third part << 16 | fourth part).
uint32_t ProgramFileVersion();

// Installs every handler and prepares the crash path. Main thread, once, before other threads.
void InstallCrashHandlers();

// Readable (one byte per request) after SIGTERM arrived; -1 before InstallCrashHandlers.
int TerminateRequestFd();

// The program's name for an allocation that failed: the new handler throws it.
class BadAllocation : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "bad allocation"; }
};

}  // namespace crash
