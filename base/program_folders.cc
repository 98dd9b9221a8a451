#include "base/program_folders.h"

#include <fcntl.h>
#include <cerrno>
#include <unistd.h>

#include <string>

#include "base/path_service.h"

namespace base {
namespace {

constexpr char kRingFolderName[] = "Ring";
constexpr char kDataFolderName[] = "Sonaclip";

std::filesystem::path Query(PathService::Key key) {
  std::filesystem::path result;
  PathService::Get(key, &result);
  return result;
}

}  // namespace

bool FolderTakesFiles(const std::filesystem::path& folder) {
  if (folder.empty()) return false;
  // An unnamed file leaves nothing behind even if the process dies right here.
  int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd >= 0) {
    close(fd);
    return true;
  }
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
  std::string probe = (folder / ".sonaclip-probe-XXXXXX").string();
  fd = mkstemp(probe.data());
  if (fd < 0) return false;
  close(fd);
  unlink(probe.c_str());
  return true;
}

bool ProgramFolderTakesFiles(const std::filesystem::path& folder) {
  const std::filesystem::path normal = folder.lexically_normal();
  auto part = normal.begin();
  if (part != normal.end() && *part == "/" && ++part != normal.end() && *part == "usr")
    return false;
  return FolderTakesFiles(folder);
}

std::filesystem::path ProgramOrUserFolder(const std::filesystem::path& programFolder,
                                          bool programFolderTakesFiles,
                                          const std::filesystem::path& userFolder) {
  return programFolderTakesFiles ? programFolder : userFolder;
}

std::filesystem::path RingFolder() {
  const std::filesystem::path exeFolder = Query(PathService::DIR_EXE);
  return ProgramOrUserFolder(exeFolder / kRingFolderName, ProgramFolderTakesFiles(exeFolder),
                             Query(PathService::DIR_MUSIC) / kRingFolderName);
}

std::vector<std::filesystem::path> RingFolders() {
  std::vector<std::filesystem::path> folders{RingFolder()};
  for (PathService::Key key : {PathService::DIR_EXE, PathService::DIR_MUSIC}) {
    std::filesystem::path base = Query(key);
    if (base.empty()) continue;
    std::filesystem::path folder = base / kRingFolderName;
    if (folder != folders.front()) folders.push_back(folder);
  }
  return folders;
}

std::filesystem::path UsageCounterFolder() {
  const std::filesystem::path exeFolder = Query(PathService::DIR_EXE);
  return ProgramOrUserFolder(exeFolder, ProgramFolderTakesFiles(exeFolder),
                             Query(PathService::DIR_APP_DATA) / kDataFolderName);
}

}  // namespace base
