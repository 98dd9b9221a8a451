// Alternate signal stacks for every thread of the process. A thread that overflows its stack can
// run the crash handler only on a stack of its own, and the alternate stack is a per-thread
// setting; so the executable that links the crash handling defines pthread_create, and every
// thread created through it (ours, the plug-ins', Qt's, the sound server client's) runs its start
// routine with an alternate stack, which it gives back when it ends, however it ends.
//
// The definition in the executable comes first in the process's symbol lookup; it forwards to
// the next pthread_create (the C library's, or a sanitizer's in test builds). Any thread.
#pragma once

#include <cstddef>

namespace crash {

// The size of every alternate stack, the main thread's too.
inline constexpr size_t kAltStackSize = 256 * 1024;

// Gives the calling thread an alternate signal stack (a guard page below it); false when none
// could be mapped. The main thread's lives until the process ends.
bool SetUpAltStackForThisThread();

// From now on, threads started through pthread_create get one too. Called once the crash
// handlers are installed.
void GiveNewThreadsAltStacks();

}  // namespace crash
