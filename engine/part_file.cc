#include "engine/part_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <system_error>

namespace {

// Hidden, in the ring's own folder (so the rename stays on one file system), and unlikely to meet
// another save's.
std::filesystem::path HiddenNameFor(const std::filesystem::path& target) {
  std::random_device random;
  char suffix[32];
  std::snprintf(suffix, sizeof(suffix), ".%08x.part", static_cast<unsigned>(random()));
  return target.parent_path() / ("." + target.filename().string() + suffix);
}

std::filesystem::path FolderOf(const std::filesystem::path& target) {
  return target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
}

void RemoveQuietly(const std::filesystem::path& path) {
  std::error_code ignored;
  if (!path.empty()) std::filesystem::remove(path, ignored);
}

}  // namespace

PartFile::~PartFile() { Discard(); }

PartFile::PartFile(PartFile&& other) noexcept { *this = std::move(other); }

PartFile& PartFile::operator=(PartFile&& other) noexcept {
  if (this == &other) return *this;
  Discard();
  target = std::move(other.target);
  writePath = std::move(other.writePath);
  hiddenPath = std::move(other.hiddenPath);
  unnamedFd = other.unnamedFd;
  other.unnamedFd = -1;
  other.target.clear();
  other.writePath.clear();
  other.hiddenPath.clear();
  return *this;
}

bool PartFile::Create(const std::filesystem::path& ringPath, Kind preferred) {
  Discard();
  target = ringPath;
  if (target.filename().empty()) return false;
  if (preferred == Kind::kUnnamed && access("/proc/self/fd", F_OK) == 0) {
    // Not O_EXCL: the file must stay linkable into the folder by Commit.
    const int fd = ::open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
      unnamedFd = fd;
      writePath = "/proc/self/fd/" + std::to_string(fd);
      return true;
    }
    // ENOTDIR, ENOENT, EACCES: the folder itself refuses; no point in a named file either.
    if (errno == ENOTDIR || errno == ENOENT || errno == EACCES || errno == EROFS) return false;
  }
  hiddenPath = HiddenNameFor(target);
  writePath = hiddenPath;
  return true;
}

bool PartFile::Commit() {
  if (writePath.empty()) return false;
  if (unnamedFd >= 0) {
    // An unnamed file takes a fresh name first (linkat cannot replace), then renames over.
    hiddenPath = HiddenNameFor(target);
    if (::linkat(AT_FDCWD, writePath.c_str(), AT_FDCWD, hiddenPath.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      hiddenPath.clear();
      Discard();
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(hiddenPath, target, error);
  if (error) {
    Discard();
    return false;
  }
  hiddenPath.clear();
  Discard();
  return true;
}

void PartFile::Discard() {
  if (unnamedFd >= 0) {
    ::close(unnamedFd);
    unnamedFd = -1;
  }
  RemoveQuietly(hiddenPath);
  hiddenPath.clear();
  writePath.clear();
}
