// A fresh folder under the temp folder for one test, removed with everything in it when the
// object goes. Test code only; one thread.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

class TempDir {
 public:
  // prefix names the folder, so a folder left by a killed test says whose it was.
  explicit TempDir(const std::string& prefix = "sonaclip-test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return dir; }
  std::filesystem::path operator/(const std::string& name) const { return dir / name; }
  // Every file in the folder, by name, sorted.
  std::vector<std::string> Files() const;

 private:
  std::filesystem::path dir;
};

}  // namespace testsupport
