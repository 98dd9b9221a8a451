// InstanceGuard: decides at start whether this process becomes the running instance of the
// program, and holds the instance's claims until the process ends.
//
// Three named mutexes of the user session carry the claims: the instance itself, "main window
// not shown yet" (held by an instance from the start of its start-up until its window shows) and
// "shutting down" (never taken by this program, still honoured when some process holds it). A
// mutex that cannot be opened stays missing; a wait on it fails at once and counts as "not timed
// out", so without an instance mutex every start runs as an instance.
//
// When the other instance looks stuck (it does not finish starting within 10 s, or shutting down
// within 5 s), every other process of this user running an executable of our file name is ended
// and the probe starts over. Owned by the entry function; main thread only.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/named_mutex.h"

class InstanceGuard {
 public:
  static constexpr std::chrono::milliseconds kInstanceWait{100};
  static constexpr std::chrono::milliseconds kQuickTest{10};
  static constexpr std::chrono::milliseconds kStartingWait{10000};
  static constexpr std::chrono::milliseconds kShuttingDownWait{5000};

  // The mutexes live in the session's runtime folder.
  InstanceGuard(std::wstring instanceMutexName, std::wstring mainFormMutexName,
                std::wstring destroyingMutexName);
  // The same in `folder`; an empty folder leaves every mutex missing.
  InstanceGuard(std::wstring instanceMutexName, std::wstring mainFormMutexName,
                std::wstring destroyingMutexName, const std::filesystem::path& folder);
  virtual ~InstanceGuard();

  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;

  // True: this process is the running instance and holds the instance mutex for its life.
  // False: another healthy instance runs and this start must hand off to it. May take up to
  // ~10 s when another instance is still starting, and end that instance when it never does.
  bool Probe();

  // Start-up claims "an instance is starting" until its window is shown: a zero-time-out wait
  // whose result is not checked.
  void TakeMainFormMutex();

  // Ends every other process of this user whose executable has our file name (letters compared
  // without regard to case) and waits briefly until they are gone. Never this process.
  virtual void TerminateOtherInstances(pid_t ownProcessId);

  // Each releases and closes its mutex if still open; safe to call again.
  virtual void ReleaseMainFormMutex();
  virtual void ReleaseDestroyingMutex();
  virtual void ReleaseInstanceMutex();

  bool holdsInstanceMutex() const { return instanceMutex && instanceMutex->held(); }
  bool holdsMainFormMutex() const { return mainFormMutex && mainFormMutex->held(); }
  pid_t processId() const { return ownPid; }
  // The executable's file name without folder, as /proc reports it for this process (bytes:
  // Linux file names have no fixed encoding).
  const std::string& executableBaseName() const { return exeBaseName; }

 private:
  using Mutex = platform::NamedMutex;
  // WaitForSingleObject's view: a missing mutex fails at once.
  static Mutex::WaitResult WaitOn(Mutex* mutex, std::chrono::milliseconds timeout);
  static void ReleaseAndClose(std::unique_ptr<Mutex>& mutex);

  std::unique_ptr<Mutex> instanceMutex;
  std::unique_ptr<Mutex> mainFormMutex;
  std::unique_ptr<Mutex> destroyingMutex;
  pid_t ownPid;
  std::string exeBaseName;
};
