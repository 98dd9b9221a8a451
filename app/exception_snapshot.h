// ExceptionSnapshot: what the crash handlers know about one crash: the signal (or the signal a
// crash of another kind ends the process with), the fault address, the crashed thread and its
// registers. A plain record, filled in the handler without allocation.
#pragma once

#include <signal.h>
#include <sys/types.h>
#include <ucontext.h>

#include <cstdint>

namespace crash {

// Another thread of the crashed process, as it stood when the crash was handled.
struct ThreadState {
  pid_t threadId = 0;
  ucontext_t context{};
  unsigned char fpState[512] = {};
  bool hasFpState = false;
};

struct ExceptionSnapshot {
  int signal = 0;              // the minidump's exception code, as Linux crash tools read it
  int signalCode = 0;          // si_code; 0 for a crash that came through no signal
  uintptr_t faultAddress = 0;  // si_addr of a hardware fault, else the program counter
  pid_t threadId = 0;
  ucontext_t context{};        // the crashed thread's registers at the crash
  // The floating-point state the context points to, copied so the snapshot stands alone.
  unsigned char fpState[512] = {};
  bool hasFpState = false;
  bool fromSignal = false;     // the context is a signal handler's, not getcontext's

  // The process's other threads that answered the request for their registers; each of them
  // stays parked in its signal handler until the process ends, so its stack holds still.
  static constexpr size_t kMaxOtherThreads = 256;
  ThreadState otherThreads[kMaxOtherThreads];
  size_t otherThreadCount = 0;

  // The crashed thread's program counter and stack pointer in `context`.
  uintptr_t ProgramCounter() const;
  uintptr_t StackPointer() const;
};

// Copies a thread's registers, with the floating-point state its context points to.
void FillThreadState(ThreadState* state, const ucontext_t* context);

// Fills `snapshot` from a signal handler's arguments (or, with info null, from a context taken
// with getcontext in the crashing thread itself).
void FillSnapshot(ExceptionSnapshot* snapshot, int signal, const siginfo_t* info,
                  const ucontext_t* context);

}  // namespace crash
