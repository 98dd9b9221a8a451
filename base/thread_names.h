// The runtime's registry of thread names, keyed by kernel thread id. Naming a worker thread also
// sets its kernel name (first 15 bytes), so ps, top, gdb and /proc/<pid>/task/*/comm show it.
// The process's main thread keeps its kernel name: that one is the process's own name (ps, pgrep,
// killall and the desktop's process scan use it). Any thread.
#pragma once

#include <string>
#include <sys/types.h>

namespace base {

// Names the calling thread in the registry (and, but for the main thread, in the kernel).
void SetCurrentThreadName(const std::string& name);

// The registry's name of a thread, or "" when it has none.
std::string GetThreadName(pid_t threadId);

// The calling thread's kernel id.
pid_t CurrentThreadId();

}  // namespace base
