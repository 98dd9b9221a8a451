#include "platform/session_runtime_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace platform {

namespace {

// A real folder (not a link to one) owned by this user.
bool IsOwnFolder(const std::filesystem::path& folder, bool privateOnly) {
  struct stat info {};
  if (lstat(folder.c_str(), &info) != 0)
    return false;
  if (!S_ISDIR(info.st_mode) || info.st_uid != getuid())
    return false;
  return !privateOnly || (info.st_mode & 077) == 0;
}

}  // namespace

std::filesystem::path SessionRuntimeDir() {
  if (const char* session = std::getenv("XDG_RUNTIME_DIR"); session && *session == '/') {
    std::filesystem::path folder(session);
    if (IsOwnFolder(folder, false))
      return folder;
  }

  std::filesystem::path fallback =
      std::filesystem::path("/tmp") / ("sonaclip-" + std::to_string(getuid()));
  if (mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST)
    return {};
  if (!IsOwnFolder(fallback, true))
    return {};
  return fallback;
}

}  // namespace platform
