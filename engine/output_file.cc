#include "engine/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

OutputFile::~OutputFile() {
  if (fd >= 0) ::close(fd);
}

bool OutputFile::Open(const std::filesystem::path& path) {
  if (fd >= 0) return false;
  const int opened = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (opened < 0) return false;
  fd = opened;
  failedState = false;
  filePath = path;
  return true;
}

bool OutputFile::Write(const void* data, std::size_t bytes) {
  if (fd < 0 || failedState) return false;
  const auto* p = static_cast<const char*>(data);
  while (bytes > 0) {
    const ssize_t written = ::write(fd, p, bytes);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      failedState = true;
      return false;
    }
    p += written;
    bytes -= static_cast<std::size_t>(written);
  }
  return true;
}

bool OutputFile::Seek(std::int64_t offset, int origin, std::uint64_t* newPosition) {
  if (fd < 0) return false;
  int whence = SEEK_SET;
  if (origin == 1) {
    whence = SEEK_CUR;
  } else if (origin == 2) {
    whence = SEEK_END;
  } else if (origin != 0) {
    return false;
  }
  const off_t position = ::lseek(fd, static_cast<off_t>(offset), whence);
  if (position < 0) return false;
  if (newPosition != nullptr) *newPosition = static_cast<std::uint64_t>(position);
  return true;
}

bool OutputFile::Close() {
  if (fd < 0) return false;
  bool ok = !failedState && ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  fd = -1;
  return ok;
}

void OutputFile::Remove() {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
  if (!filePath.empty()) {
    std::error_code ignored;
    std::filesystem::remove(filePath, ignored);
    filePath.clear();
  }
}
