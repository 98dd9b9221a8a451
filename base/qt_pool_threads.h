// The end of Qt's pool threads at exit. Qt's raster engine fills large areas on a pool of its own,
// and QThreadPool::globalInstance() keeps idle threads alive for half a minute. Destroying the
// application stops the raster pool and waits for its threads, but each thread still frees Qt's
// record of it on its way out, after the wait has returned. A process that leaves main in that
// moment ends with the record still held, which leak checkers at exit report as a leak. Main
// thread, after the application is destroyed.
#pragma once

#include <chrono>

namespace base {

// Drains the global pool and waits until no Qt pool thread is left in the process, at most
// `limit`. True when none is left.
bool EndQtPoolThreads(std::chrono::milliseconds limit = std::chrono::milliseconds(2000));

// How many of the process's threads are Qt pool threads, by their kernel name.
int CountQtPoolThreads();

}  // namespace base
