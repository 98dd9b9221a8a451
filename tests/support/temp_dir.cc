#include "tests/support/temp_dir.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace testsupport {

TempDir::TempDir(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + ".XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) {
    // Without a folder every later step of the test would write somewhere unintended.
    std::perror("mkdtemp");
    std::abort();
  }
  dir = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}

std::vector<std::string> TempDir::Files() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace testsupport
