#include "app/exception_snapshot.h"

#include <unistd.h>

#include <cstring>

namespace crash {

uintptr_t ExceptionSnapshot::ProgramCounter() const {
  return static_cast<uintptr_t>(context.uc_mcontext.gregs[REG_RIP]);
}

uintptr_t ExceptionSnapshot::StackPointer() const {
  return static_cast<uintptr_t>(context.uc_mcontext.gregs[REG_RSP]);
}

void FillThreadState(ThreadState* state, const ucontext_t* context) {
  state->threadId = gettid();
  std::memcpy(&state->context, context, sizeof(ucontext_t));
  state->hasFpState = context->uc_mcontext.fpregs != nullptr;
  if (state->hasFpState)
    std::memcpy(state->fpState, context->uc_mcontext.fpregs, sizeof state->fpState);
  state->context.uc_mcontext.fpregs = nullptr;
}

void FillSnapshot(ExceptionSnapshot* snapshot, int signal, const siginfo_t* info,
                  const ucontext_t* context) {
  snapshot->signal = signal;
  snapshot->otherThreadCount = 0;
  snapshot->threadId = gettid();
  std::memcpy(&snapshot->context, context, sizeof(ucontext_t));
  snapshot->hasFpState = context->uc_mcontext.fpregs != nullptr;
  if (snapshot->hasFpState)
    std::memcpy(snapshot->fpState, context->uc_mcontext.fpregs, sizeof snapshot->fpState);
  snapshot->context.uc_mcontext.fpregs = nullptr;  // pointed into the handler's frame
  snapshot->fromSignal = info != nullptr;
  snapshot->signalCode = info ? info->si_code : 0;
  const bool hardwareFault = info && info->si_code > 0 &&
                             (signal == SIGSEGV || signal == SIGBUS || signal == SIGILL ||
                              signal == SIGFPE);
  snapshot->faultAddress = hardwareFault ? reinterpret_cast<uintptr_t>(info->si_addr)
                                         : snapshot->ProgramCounter();
}

}  // namespace crash
