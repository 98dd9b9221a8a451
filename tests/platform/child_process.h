// A child process for the platform tests: started with posix_spawn, killed and collected at
// the end of the test if it still runs. Test code only; one thread.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return childPid; }
  // The wait status once the process has ended, waiting at most `limit`; nullopt while it runs.
  std::optional<int> WaitEnd(std::chrono::milliseconds limit);
  // Stopped by a signal (state T in /proc).
  bool Stopped() const;

 private:
  pid_t childPid = -1;
  std::optional<int> status;
};
