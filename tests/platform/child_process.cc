#include "tests/platform/child_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <thread>

extern char** environ;

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  std::vector<std::string> copies = argv;
  for (auto& arg : copies)
    args.push_back(arg.data());
  args.push_back(nullptr);
  if (posix_spawn(&childPid, args[0], nullptr, nullptr, args.data(), environ) != 0)
    childPid = -1;
}

ChildProcess::~ChildProcess() {
  if (childPid > 0 && !status) {
    kill(childPid, SIGKILL);
    waitpid(childPid, nullptr, 0);
  }
}

std::optional<int> ChildProcess::WaitEnd(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (childPid > 0 && !status) {
    int status = 0;
    if (waitpid(childPid, &status, WNOHANG) == childPid) {
      this->status = status;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return status;
}

bool ChildProcess::Stopped() const {
  std::ifstream stat("/proc/" + std::to_string(childPid) + "/stat");
  std::string text;
  std::getline(stat, text);
  const size_t close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'T';
}
