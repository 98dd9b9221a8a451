#include "app/instance_guard.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <utility>

namespace {

std::wstring OwnExecutableBaseName() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error)
    return std::wstring();
  return exe.filename().wstring();
}

}  // namespace

InstanceGuard::InstanceGuard(std::wstring instanceMutexName, std::wstring mainFormMutexName,
                             std::wstring destroyingMutexName)
    : instanceMutexName_(std::move(instanceMutexName)),
      mainFormMutexName_(std::move(mainFormMutexName)),
      destroyingMutexName_(std::move(destroyingMutexName)),
      processId_(static_cast<std::uint32_t>(getpid())),
      executableBaseName_(OwnExecutableBaseName()) {}

InstanceGuard::~InstanceGuard() {
  ReleaseMainFormMutex();
  ReleaseDestroyingMutex();
  ReleaseInstanceMutex();
}

bool InstanceGuard::Probe() {
  instanceHeld_ = true;
  return true;
}

void InstanceGuard::TakeMainFormMutex() {
  mainFormHeld_ = true;
}

void InstanceGuard::ReleaseMainFormMutex() {
  mainFormHeld_ = false;
}

void InstanceGuard::ReleaseDestroyingMutex() {
  destroyingHeld_ = false;
}

void InstanceGuard::ReleaseInstanceMutex() {
  instanceHeld_ = false;
}
