#include "app/instance_guard.h"

#include <unistd.h>

#include <optional>
#include <utility>

#include "platform/process_scan.h"
#include "platform/session_runtime_dir.h"

namespace {

// How long ending a stuck instance waits for it to be gone before the probe looks again.
constexpr std::chrono::milliseconds kTerminationWait{3000};

// The mutex names are ASCII; anything else has no file name here and leaves the mutex missing.
std::optional<std::string> FileNameFor(const std::wstring& name) {
  std::string narrow;
  for (wchar_t c : name) {
    if (c <= 0 || c >= 0x80)
      return std::nullopt;
    narrow.push_back(static_cast<char>(c));
  }
  return narrow;
}

std::unique_ptr<platform::NamedMutex> OpenMutex(const std::filesystem::path& folder,
                                                const std::wstring& name) {
  std::optional<std::string> file = FileNameFor(name);
  return file ? platform::NamedMutex::Open(folder, *file) : nullptr;
}

}  // namespace

InstanceGuard::InstanceGuard(std::wstring instanceMutexName, std::wstring mainFormMutexName,
                             std::wstring destroyingMutexName)
    : InstanceGuard(std::move(instanceMutexName), std::move(mainFormMutexName),
                    std::move(destroyingMutexName), platform::SessionRuntimeDir()) {}

InstanceGuard::InstanceGuard(std::wstring instanceMutexName, std::wstring mainFormMutexName,
                             std::wstring destroyingMutexName,
                             const std::filesystem::path& folder)
    : instanceMutex(OpenMutex(folder, instanceMutexName)),
      mainFormMutex(OpenMutex(folder, mainFormMutexName)),
      destroyingMutex(OpenMutex(folder, destroyingMutexName)),
      ownPid(getpid()),
      exeBaseName(platform::ExecutableNameOf(getpid())) {}

InstanceGuard::~InstanceGuard() {
  ReleaseMainFormMutex();
  ReleaseDestroyingMutex();
  ReleaseInstanceMutex();
}

InstanceGuard::Mutex::WaitResult InstanceGuard::WaitOn(Mutex* mutex,
                                                       std::chrono::milliseconds timeout) {
  return mutex ? mutex->Wait(timeout) : Mutex::WaitResult::kFailed;
}

bool InstanceGuard::Probe() {
  using Result = Mutex::WaitResult;
  for (;;) {
    // Free, abandoned by a dead owner, or missing: this start is the instance.
    if (WaitOn(instanceMutex.get(), kInstanceWait) != Result::kTimedOut)
      return true;

    // Another instance runs. Is it still starting, or shutting down? Each test gives the mutex
    // straight back when it got it.
    const bool starting = WaitOn(mainFormMutex.get(), kQuickTest) == Result::kTimedOut;
    if (!starting && mainFormMutex)
      mainFormMutex->Release();
    const bool shuttingDown = WaitOn(destroyingMutex.get(), kQuickTest) == Result::kTimedOut;
    if (!shuttingDown && destroyingMutex)
      destroyingMutex->Release();

    if (starting) {
      if (WaitOn(mainFormMutex.get(), kStartingWait) == Result::kAcquired) {
        mainFormMutex->Release();
        // Its window is up: hand off to it. Unless it died while starting: its claims then fell
        // free together (a dead owner's lock simply reads as free here, where Windows would
        // report it abandoned), and the instance mutex is ours.
        return WaitOn(instanceMutex.get(), std::chrono::milliseconds(0)) == Result::kAcquired;
      }
      TerminateOtherInstances(ownPid);  // stuck in start-up
      if (mainFormMutex)
        mainFormMutex->Release();
      continue;
    }
    if (!shuttingDown)
      return false;  // it runs normally

    if (WaitOn(destroyingMutex.get(), kShuttingDownWait) != Result::kAcquired)
      TerminateOtherInstances(ownPid);  // stuck in shutdown
    if (destroyingMutex)
      destroyingMutex->Release();
  }
}

void InstanceGuard::TakeMainFormMutex() {
  WaitOn(mainFormMutex.get(), std::chrono::milliseconds(0));
}

void InstanceGuard::TerminateOtherInstances(pid_t ownProcessId) {
  platform::TerminateOwnProcessesNamed(exeBaseName, ownProcessId, kTerminationWait);
}

void InstanceGuard::ReleaseAndClose(std::unique_ptr<Mutex>& mutex) {
  if (!mutex)
    return;
  mutex->Release();
  mutex.reset();
}

void InstanceGuard::ReleaseMainFormMutex() {
  ReleaseAndClose(mainFormMutex);
}

void InstanceGuard::ReleaseDestroyingMutex() {
  ReleaseAndClose(destroyingMutex);
}

void InstanceGuard::ReleaseInstanceMutex() {
  ReleaseAndClose(instanceMutex);
}
