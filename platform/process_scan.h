// The process list, for ending an instance of the program that is stuck: which processes of
// this user run an executable of a given file name, and ending them.
//
// Processes are found through /proc. Only processes whose real, effective and saved user ids
// are all this process's real user id count: a program of the same name run by someone else is
// never touched. A name matches when it has the same length and the same characters once ASCII
// letters of both are upper-cased; other bytes must be equal. Any thread.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

bool SameNameIgnoringAsciiCase(std::string_view a, std::string_view b);

// The file name (no folder) of the executable a process runs, as /proc/<pid>/exe names it
// without the " (deleted)" mark of a replaced file; empty when it cannot be read (a kernel
// thread, a zombie, a process of another user when we are not allowed to look).
std::string ExecutableNameOf(pid_t pid);

// The ids of this user's processes whose executable name matches `name`, `exceptPid` left out.
std::vector<pid_t> FindOwnProcessesNamed(std::string_view name, pid_t exceptPid);

// Ends every process FindOwnProcessesNamed returns with SIGKILL and waits, at most `waitLimit`,
// until they are gone, so that what they held (locks, sockets) is free when this returns. Each
// process is checked again after it is pinned with a pidfd, so an id reused meanwhile by an
// unrelated process is never hit. Returns how many were signalled.
int TerminateOwnProcessesNamed(std::string_view name, pid_t exceptPid,
                               std::chrono::milliseconds waitLimit);

}  // namespace platform
