// The desktop launcher as a desktop meets it: a real file in a desktop folder of the test's own,
// read back as a desktop entry, marked trusted in GIO's metadata (kept here by the test's GIO
// module, gio_metadata_module.c), started with `gio launch` from a folder whose name needs
// quoting, replaced when it is stale, and nothing at all when there is no desktop folder.
#include "app/desktop_launcher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "base/path_service.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A key of the launcher's [Desktop Entry] group, as a line "Key=value" says it.
std::string Key(const fs::path& launcher, const std::string& key) {
  std::istringstream lines(Read(launcher));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return "<missing>";
}

class DesktopLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("HOME", home.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    unsetenv("XDG_DESKTOP_DIR");
    setenv("SONACLIP_TEST_METADATA_LOG", MetadataLog().c_str(), 1);
  }
  void TearDown() override { unsetenv("SONACLIP_TEST_METADATA_LOG"); }
  fs::path MetadataLog() { return home / "metadata.log"; }
  // What the metadata service was told, once the `gio` command the launcher started has told it.
  std::string WaitForMetadata() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!fs::exists(MetadataLog()) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return Read(MetadataLog());
  }
  fs::path Desktop() { return home / "Desktop"; }
  fs::path Launcher() { return Desktop() / kDesktopLauncherName; }

  testsupport::TempDir home{"sonaclip-launcher"};
};

TEST_F(DesktopLauncherTest, StartsTheRunningProgramWithItsTitleAndIcon) {
  fs::create_directories(Desktop());
  EXPECT_EQ(DesktopLauncherPath(), Launcher());
  ASSERT_TRUE(PlaceDesktopLauncher());

  fs::path executable;
  ASSERT_TRUE(base::PathService::Get(base::PathService::FILE_EXE, &executable));
  EXPECT_EQ(Read(Launcher()).rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_EQ(Key(Launcher(), "Type"), "Application");
  EXPECT_EQ(Key(Launcher(), "Name"), "Tavio铃声制作专家");
  EXPECT_EQ(Key(Launcher(), "Comment"), "Tavio铃声制作专家");
  EXPECT_EQ(Key(Launcher(), "StartupNotify"), "true") << "else no token for a second start";
  EXPECT_EQ(Key(Launcher(), "Exec"), "\"" + executable.string() + "\"");
  const std::string icon = Key(Launcher(), "Icon");
  EXPECT_TRUE(icon == "sonaclip" || icon == (executable.parent_path() / "sonaclip.svg").string()) << icon;
  struct stat info {};
  ASSERT_EQ(::stat(Launcher().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0755u);
  EXPECT_EQ(std::distance(fs::directory_iterator(Desktop()), fs::directory_iterator()), 1);
  // GNOME starts a launcher without asking only when it is marked trusted.
  EXPECT_EQ(WaitForMetadata(), Launcher().string() + "\tmetadata::trusted=true\n");
}

TEST_F(DesktopLauncherTest, WithoutAMetadataServiceTheLauncherIsWrittenAllTheSame) {
  unsetenv("SONACLIP_TEST_METADATA_LOG");  // the module now refuses metadata
  fs::create_directories(Desktop());
  EXPECT_TRUE(PlaceDesktopLauncher());
  EXPECT_EQ(Key(Launcher(), "Name"), "Tavio铃声制作专家");
  EXPECT_FALSE(fs::exists(MetadataLog()));
}

TEST_F(DesktopLauncherTest, AnOldLauncherIsReplacedWithTheCurrentPath) {
  fs::create_directories(Desktop());
  ASSERT_TRUE(WriteDesktopLauncher(Launcher(), "/old/place/sonaclip", "sonaclip"));
  ASSERT_EQ(Key(Launcher(), "Exec"), "\"/old/place/sonaclip\"");
  ASSERT_TRUE(PlaceDesktopLauncher());
  fs::path executable;
  base::PathService::Get(base::PathService::FILE_EXE, &executable);
  EXPECT_EQ(Key(Launcher(), "Exec"), "\"" + executable.string() + "\"");
  // Written beside and renamed: no temporary file is left.
  EXPECT_EQ(std::distance(fs::directory_iterator(Desktop()), fs::directory_iterator()), 1);
}

TEST_F(DesktopLauncherTest, NoDesktopFolderIsSilentAndCreatesNothing) {
  EXPECT_FALSE(PlaceDesktopLauncher());
  EXPECT_FALSE(fs::exists(Desktop()));
  // A place the launcher cannot take (a folder of its name) leaves that folder as it was.
  fs::create_directories(Launcher() / "kept");
  EXPECT_FALSE(PlaceDesktopLauncher());
  EXPECT_TRUE(fs::is_directory(Launcher() / "kept"));
  EXPECT_EQ(std::distance(fs::directory_iterator(Desktop()), fs::directory_iterator()), 1);
}

TEST_F(DesktopLauncherTest, APathThatNeedsQuotingStartsTheProgramThroughGio) {
  if (std::system("command -v gio >/dev/null 2>&1") != 0) GTEST_SKIP() << "gio is not installed";
  fs::create_directories(Desktop());
  // A stand-in program that records how it was started: its own path and its argument count.
  const fs::path folder = home / "我的 程序 $HOME `id` \"q\" \\ a=b;c";
  fs::create_directories(folder);
  const fs::path program = folder / "铃声 maker";
  const fs::path record = home / "started.txt";
  {
    std::ofstream script(program);
    script << "#!/bin/sh\nprintf '%s|%s' \"$0\" \"$#\" > '" << record.string() << "'\n";
  }
  fs::permissions(program, fs::perms::owner_all);
  ASSERT_TRUE(WriteDesktopLauncher(Launcher(), program, "sonaclip"));

  // The gio command is no test build: it must not load the test's own GIO module.
  const std::string command =
      "cd / && env -u GIO_EXTRA_MODULES -u GIO_USE_VFS gio launch '" + Launcher().string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!fs::exists(record) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Read(record), program.string() + "|0");
}

}  // namespace
