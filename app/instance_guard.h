// InstanceGuard: decides at start whether this process becomes the running instance of the
// program, and holds the instance's claims until the process ends.
//
// It carries the names of the three claims a start looks at (the instance itself, "main window
// not shown yet", "shutting down"), the process id and the executable's base name, which is how
// other instances are recognised. Owned by the entry function; main thread only.
//
// On this platform the cross-process probe is not in place yet: Probe() lets every start run as
// an instance, which is also what happens on any platform when the instance claim cannot be
// made. The release operations keep their shape so that the start-up and shutdown order that
// calls them does not change when the probe arrives.
#ifndef SONACLIP_APP_INSTANCE_GUARD_H_
#define SONACLIP_APP_INSTANCE_GUARD_H_

#include <sys/types.h>

#include <cstdint>
#include <string>

class InstanceGuard {
 public:
  InstanceGuard(std::wstring instanceMutexName, std::wstring mainFormMutexName,
                std::wstring destroyingMutexName);
  virtual ~InstanceGuard();

  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;

  // True: this process is the running instance. False: another healthy instance runs and this
  // start must hand off to it.
  bool Probe();

  // Start-up claims "an instance is starting" until its window is shown.
  void TakeMainFormMutex();

  // Each releases its claim if still held; safe to call again.
  virtual void ReleaseMainFormMutex();
  virtual void ReleaseDestroyingMutex();
  virtual void ReleaseInstanceMutex();

  bool holdsInstanceMutex() const { return instanceHeld_; }
  bool holdsMainFormMutex() const { return mainFormHeld_; }
  std::uint32_t processId() const { return processId_; }
  // The executable's file name without folder, as the system reports it for this process.
  const std::wstring& executableBaseName() const { return executableBaseName_; }

 private:
  std::wstring instanceMutexName_;
  std::wstring mainFormMutexName_;
  std::wstring destroyingMutexName_;
  bool instanceHeld_ = false;
  bool mainFormHeld_ = false;
  bool destroyingHeld_ = false;
  std::uint32_t processId_ = 0;
  std::wstring executableBaseName_;
};

#endif  // SONACLIP_APP_INSTANCE_GUARD_H_
