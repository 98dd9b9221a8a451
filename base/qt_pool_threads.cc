#include "base/qt_pool_threads.h"

#include <QThreadPool>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

namespace base {

namespace {

// The name QThreadPool gives its threads; the kernel shows it in /proc/<pid>/task/<tid>/comm.
constexpr char kPoolThreadName[] = "Thread (pooled)";

}  // namespace

int CountQtPoolThreads() {
  int count = 0;
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    // A thread that ended between the listing and the read has no name to give.
    if (std::getline(comm, name) && name == kPoolThreadName) ++count;
  }
  return count;
}

bool EndQtPoolThreads(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  // Waiting for the global pool also ends its idle threads. It is gone once static destruction
  // has begun.
  if (QThreadPool* global = QThreadPool::globalInstance())
    global->waitForDone(static_cast<int>(limit.count()));
  while (CountQtPoolThreads() > 0) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace base
