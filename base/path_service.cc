#include "base/path_service.h"

#include <QDir>
#include <QStandardPaths>
#include <map>
#include <mutex>
#include <system_error>

#include "base/at_exit.h"
#include "base/strings.h"

namespace base {
namespace {

std::mutex gCacheLock;
std::map<PathService::Key, std::filesystem::path>* gCache = nullptr;  // guarded by gCacheLock

bool Compute(PathService::Key key, std::filesystem::path* result) {
  switch (key) {
    case PathService::FILE_EXE:
    case PathService::DIR_EXE: {
      std::error_code error;
      std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
      if (error || exe.empty()) return false;
      *result = key == PathService::FILE_EXE ? exe : exe.parent_path();
      return true;
    }
    case PathService::DIR_APP_DATA: {
      const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
      if (dir.isEmpty()) return false;
      *result = std::filesystem::path(dir.toStdString());
      return true;
    }
    case PathService::DIR_MUSIC: {
      QString dir = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
      if (dir.isEmpty()) dir = QDir::homePath();
      if (dir.isEmpty()) return false;
      *result = std::filesystem::path(dir.toStdString());
      return true;
    }
    case PathService::DIR_TEMP: {
      const QString dir = QDir::tempPath();
      if (dir.isEmpty()) return false;
      *result = std::filesystem::path(dir.toStdString());
      return true;
    }
  }
  return false;
}

void DestroyCache() {
  std::lock_guard<std::mutex> hold(gCacheLock);
  delete gCache;
  gCache = nullptr;
}

}  // namespace

bool PathService::Get(Key key, std::filesystem::path* result) {
  {
    std::lock_guard<std::mutex> hold(gCacheLock);
    if (gCache) {
      auto it = gCache->find(key);
      if (it != gCache->end()) {
        *result = it->second;
        return true;
      }
    }
  }
  std::filesystem::path path;
  if (!Compute(key, &path)) return false;
  bool created = false;
  {
    std::lock_guard<std::mutex> hold(gCacheLock);
    if (!gCache) {
      gCache = new std::map<Key, std::filesystem::path>;
      created = true;
    }
    (*gCache)[key] = path;
  }
  // Without an open exit scope the cache simply lives until the process ends.
  if (created) AtExitManager::RegisterCallback(&DestroyCache);
  *result = path;
  return true;
}

bool PathService::Get(Key key, std::wstring* result) {
  std::filesystem::path path;
  if (!Get(key, &path)) return false;
  *result = UTF8ToWide(path.string());
  return true;
}

}  // namespace base
