#include "base/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace base {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The process's umask, read without changing it: umask() can only be read by setting it, and
// a file another thread creates meanwhile would get none. The kernel shows it in /proc/self/status
// (since Linux 4.7); without that line, the usual 022.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8)) & 0777;
  }
  return 022;
}

mode_t ModeFor(const std::filesystem::path& file) {
  struct stat old {};
  if (::stat(file.c_str(), &old) == 0) return old.st_mode & 07777;
  return 0666 & ~CurrentUmask();
}

}  // namespace

bool ReplaceFileContents(const std::filesystem::path& file, std::string_view bytes,
                         std::optional<mode_t> mode) {
  // Hidden and beside the file, so the rename stays on one file system. (Appended piece by piece:
  // GCC 12 warns falsely about "." + string in optimised builds.)
  std::string hidden(".");
  hidden += file.filename().string();
  hidden += ".XXXXXX";
  std::string temporary = (file.parent_path() / hidden).string();
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return false;
  bool written = ::fchmod(fd, mode ? *mode : ModeFor(file)) == 0 && WriteAll(fd, bytes) &&
                 ::fsync(fd) == 0;
  written = ::close(fd) == 0 && written;
  if (!written || std::rename(temporary.c_str(), file.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace base
