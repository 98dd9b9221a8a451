// Thread names as the kernel shows them, the end of Qt's pool threads, text conversions, the
// command line, the exit scope and the path queries.
#include <gtest/gtest.h>

#include <errno.h>
#include <sys/stat.h>

#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/at_exit.h"
#include "base/command_line.h"
#include "base/message_loop.h"
#include "base/path_service.h"
#include "base/program_folders.h"
#include "base/qt_pool_threads.h"
#include "base/replace_file.h"
#include "base/strings.h"
#include "base/thread.h"
#include "base/thread_names.h"
#include "tests/support/temp_dir.h"

namespace {

std::string KernelName(pid_t thread) {
  std::ifstream in("/proc/self/task/" + std::to_string(thread) + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

TEST(ThreadNamesTest, WorkerNamesReachTheKernelAndTheRegistry) {
  base::Thread convert("ConvertWork");
  base::Thread longName("AVeryLongThreadNameIndeed");
  ASSERT_TRUE(convert.Start());
  ASSERT_TRUE(longName.Start());
  EXPECT_EQ(KernelName(convert.thread_id()), "ConvertWork");
  EXPECT_EQ(KernelName(longName.thread_id()), "AVeryLongThread");
  EXPECT_EQ(base::GetThreadName(convert.thread_id()), "ConvertWork");
  EXPECT_EQ(base::GetThreadName(longName.thread_id()), "AVeryLongThreadNameIndeed");

  // The main thread is named in the registry only: its kernel name is the process's name.
  const std::string processName = KernelName(::getpid());
  base::SetCurrentThreadName("TavioSonaclip");
  EXPECT_EQ(base::GetThreadName(::getpid()), "TavioSonaclip");
  EXPECT_EQ(KernelName(::getpid()), processName);
}

TEST(QtPoolThreadsTest, NoPoolThreadOutlivesTheEndEvenAnIdleOneOfTheGlobalPool) {
  {
    QThreadPool own;
    own.start([] {});
    own.waitForDone();
  }
  // An idle thread of the global pool stays for half a minute unless something ends it. It has
  // its name once it runs a task.
  std::promise<void> started;
  QThreadPool::globalInstance()->start([&started] { started.set_value(); });
  ASSERT_EQ(started.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
  ASSERT_GE(base::CountQtPoolThreads(), 1);

  EXPECT_TRUE(base::EndQtPoolThreads());
  EXPECT_EQ(base::CountQtPoolThreads(), 0);
  // The pools still work afterwards.
  std::atomic<bool> ran{false};
  QThreadPool::globalInstance()->start([&ran] { ran = true; });
  EXPECT_TRUE(base::EndQtPoolThreads());
  EXPECT_TRUE(ran);
}

TEST(ReplaceFileTest, ANewFileTakesTheUmaskAndAnOldOneKeepsItsMode) {
  testsupport::TempDir dir;
  const mode_t before = ::umask(027);
  struct stat info {};
  ASSERT_TRUE(base::ReplaceFileContents(dir / "new.ini", "a=1\n"));
  ASSERT_EQ(::stat((dir / "new.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  // Reading the umask leaves it as it was.
  EXPECT_EQ(::umask(027), 027u);

  ASSERT_EQ(::chmod((dir / "new.ini").c_str(), 0604), 0);
  ASSERT_TRUE(base::ReplaceFileContents(dir / "new.ini", "a=2\n"));
  ASSERT_EQ(::stat((dir / "new.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0604u);
  ::umask(before);
}

TEST(StringsTest, WideAndUtf8RoundTripAndRefuseBrokenInput) {
  const std::wstring samples[] = {L"", L"ring.mp3", L"Tavio铃声制作专家", L"第一步,添加歌曲：", L"\U0001F3B5 é"};
  for (const std::wstring& wide : samples) {
    EXPECT_EQ(base::UTF8ToWide(base::WideToUTF8(wide)), wide);
  }
  EXPECT_EQ(base::WideToUTF8(L"铃"), "\xE9\x93\x83");

  struct Case {
    const char* utf8;
    std::wstring wide;
  };
  const Case broken[] = {
      {"a\xFF" "b", L"a\uFFFDb"},          // not a lead byte
      {"\xE9\x93", L"\uFFFD"},             // cut short at the end
      {"\xE9\x93z", L"\uFFFDz"},           // cut short by a plain character
      {"\xC0\xAF", L"\uFFFD\uFFFD"},       // overlong '/'
      {"\xED\xA0\x80", L"\uFFFD"},         // surrogate
      {"\xF4\x90\x80\x80", L"\uFFFD"},     // past U+10FFFF
  };
  for (const Case& c : broken) EXPECT_EQ(base::UTF8ToWide(c.utf8), c.wide) << c.utf8;
  EXPECT_EQ(base::WideToUTF8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
}

TEST(CommandLineTest, SwitchesAndArguments) {
  const base::CommandLine line(
      {"sonaclip", "--v=2", "-vmodule=a=1,b=2", "--flag", "song.mp3", "--", "--not-a-switch", "-"});
  EXPECT_EQ(line.GetSwitchValueASCII("v"), "2");
  EXPECT_EQ(line.GetSwitchValueASCII("vmodule"), "a=1,b=2");
  EXPECT_TRUE(line.HasSwitch("flag"));
  EXPECT_EQ(line.GetSwitchValueASCII("flag"), "");
  EXPECT_FALSE(line.HasSwitch("not-a-switch"));
  EXPECT_EQ(line.arguments(), (std::vector<std::string>{"song.mp3", "--not-a-switch", "-"}));

  base::CommandLine::Reset();
  ASSERT_TRUE(base::CommandLine::Init(0, nullptr));  // from /proc/self/cmdline
  EXPECT_FALSE(base::CommandLine::Init(0, nullptr));
  ASSERT_FALSE(base::CommandLine::ForCurrentProcess()->argv().empty());
  EXPECT_NE(base::CommandLine::ForCurrentProcess()->argv()[0].find("base_support_test"), std::string::npos);
  base::CommandLine::Reset();
}

TEST(AtExitManagerTest, CallbacksRunLastFirstWhenTheScopeCloses) {
  std::vector<int> order;
  EXPECT_FALSE(base::AtExitManager::RegisterCallback([&] { order.push_back(-1); }));
  {
    base::AtExitManager outer;
    base::AtExitManager::RegisterCallback([&] { order.push_back(1); });
    {
      base::AtExitManager inner;  // a scope opened inside takes the registrations
      base::AtExitManager::RegisterCallback([&] { order.push_back(10); });
      base::AtExitManager::RegisterCallback([&] {
        order.push_back(11);
        base::AtExitManager::RegisterCallback([&] { order.push_back(12); });
      });
    }
    EXPECT_EQ(order, (std::vector<int>{11, 12, 10}));
    base::AtExitManager::RegisterCallback([&] { order.push_back(2); });
  }
  EXPECT_EQ(order, (std::vector<int>{11, 12, 10, 2, 1}));
}

TEST(PathServiceTest, ExecutableAndItsFolder) {
  base::AtExitManager exitScope;  // the path cache goes with it
  std::filesystem::path exe, dir, temp;
  ASSERT_TRUE(base::PathService::Get(base::PathService::FILE_EXE, &exe));
  ASSERT_TRUE(base::PathService::Get(base::PathService::DIR_EXE, &dir));
  ASSERT_TRUE(base::PathService::Get(base::PathService::DIR_TEMP, &temp));
  EXPECT_EQ(exe.filename(), "base_support_test");
  EXPECT_TRUE(std::filesystem::equivalent(exe, program_invocation_name));
  EXPECT_EQ(dir, exe.parent_path());
  EXPECT_TRUE(std::filesystem::is_directory(temp));
  std::wstring wide;
  ASSERT_TRUE(base::PathService::Get(base::PathService::FILE_EXE, &wide));
  EXPECT_EQ(base::WideToUTF8(wide), exe.string());
  std::filesystem::path appData;
  EXPECT_TRUE(base::PathService::Get(base::PathService::DIR_APP_DATA, &appData));
  EXPECT_TRUE(appData.is_absolute());
}

// An installed program never keeps files beside itself, even where it could (root can write
// /usr/lib): the user's folders serve instead. Elsewhere the folder's own answer decides.
TEST(ProgramFoldersTest, NothingIsKeptBesideAProgramUnderUsr) {
  testsupport::TempDir dir;
  const struct {
    std::filesystem::path folder;
    bool takesFiles;
  } cases[] = {
      {"/usr/lib/sonaclip", false}, {"/usr/local/lib/sonaclip", false}, {"/usr", false},
      {"/usr/./lib/../lib/sonaclip", false}, {dir.path(), true}, {"/proc", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(base::ProgramFolderTakesFiles(c.folder), c.takesFiles) << c.folder;
}

}  // namespace
