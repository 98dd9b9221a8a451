// The log line, its routing by severity and destination, the verbose filter, failed checks and
// the program's own settings (a file name, but no file).
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/command_line.h"
#include "base/logging.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string>* gCaptured = nullptr;
bool gHandlerTakes = true;

bool CaptureLine(int, const char*, int, size_t, const std::string& line) {
  gCaptured->push_back(line);
  errno = 77;  // writing must not change the caller's errno
  return gHandlerTakes;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class LoggingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logging::ResetLoggingForTesting();
    base::CommandLine::Reset();
    gCaptured = &lines;
    gHandlerTakes = true;
    std::tm fixed{};
    fixed.tm_mon = 2;  // March
    fixed.tm_mday = 14;
    fixed.tm_hour = 9;
    fixed.tm_min = 30;
    fixed.tm_sec = 5;
    logging::SetLogTimeForTesting(&fixed);
    dir = fs::temp_directory_path() / ("sonaclip-log-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    oldCwd = fs::current_path();
    fs::current_path(dir);
  }
  void TearDown() override {
    fs::current_path(oldCwd);
    fs::remove_all(dir);
    logging::SetLogTimeForTesting(nullptr);
    logging::ResetLoggingForTesting();
    base::CommandLine::Reset();
  }

  std::vector<std::string> lines;
  fs::path dir;
  fs::path oldCwd;
};

TEST_F(LoggingTest, LineCarriesTimeSeverityFileAndLine) {
  logging::SetLogMessageHandler(&CaptureLine);
  const int line = __LINE__ + 1;
  LOG(ERROR) << "disk " << 3;
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "[0314/093005:ERROR:logging_test.cc(" + std::to_string(line) + ")] disk 3\n");

  struct Case {
    int severity;
    const char* text;
  };
  const Case cases[] = {{0, "INFO"}, {1, "WARNING"}, {2, "ERROR"}, {-2, "VERBOSE2"}, {4, "UNKNOWN"}};
  for (const Case& c : cases) {
    lines.clear();
    { logging::LogMessage(R"(c:\src\x)", 123, c.severity).stream() << "m"; }
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string("[0314/093005:") + c.text + ":x(123)] m\n");
  }

  // All prefix fields on: process id, thread id, time, tick count, in that order.
  logging::SetLogItems(true, true, true, true);
  lines.clear();
  { logging::LogMessage("a/b/y.cc", 7, logging::LOG_WARNING).stream() << "m"; }
  ASSERT_EQ(lines.size(), 1u);
  const std::string prefix = "[" + std::to_string(::getpid()) + ":";
  EXPECT_EQ(lines[0].rfind(prefix, 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find(":0314/093005:"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find(":WARNING:y.cc(7)] m\n"), std::string::npos) << lines[0];
}

TEST_F(LoggingTest, OnlyErrorsReachStandardErrorWithoutTheDebuggerBit) {
  logging::LoggingSettings settings;
  settings.logging_dest = logging::LOG_NONE;
  ASSERT_TRUE(logging::InitLogging(settings));
  ::testing::internal::CaptureStderr();
  LOG(INFO) << "info";
  LOG(WARNING) << "warning";
  LOG(ERROR) << "error";
  const std::string quiet = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(quiet.find("info"), std::string::npos);
  EXPECT_EQ(quiet.find("warning"), std::string::npos);
  EXPECT_NE(quiet.find("ERROR:logging_test.cc("), std::string::npos);

  settings.logging_dest = logging::LOG_TO_SYSTEM_DEBUG_LOG;
  ASSERT_TRUE(logging::InitLogging(settings));
  ::testing::internal::CaptureStderr();
  LOG(INFO) << "info";
  const std::string loud = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(loud.find("INFO:logging_test.cc("), std::string::npos);

  // A handler that takes a line leaves nothing for standard error.
  logging::SetLogMessageHandler(&CaptureLine);
  ::testing::internal::CaptureStderr();
  LOG(ERROR) << "taken";
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(lines.size(), 1u);
}

TEST_F(LoggingTest, ProgramSettingsNeverTouchTheLogFile) {
  std::ofstream("tavio.Sonaclip.log") << "older run\n";
  logging::LoggingSettings settings;
  settings.logging_dest = logging::LOG_NONE;
  settings.log_file = L"tavio.Sonaclip.log";
  settings.lock_log = logging::DONT_LOCK_LOG_FILE;
  settings.delete_old = logging::DELETE_OLD_LOG_FILE;
  ASSERT_TRUE(logging::InitLogging(settings));
  ::testing::internal::CaptureStderr();
  LOG(ERROR) << "reported";
  LOG(INFO) << "noted";
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(ReadFile("tavio.Sonaclip.log"), "older run\n");

  fs::remove("tavio.Sonaclip.log");
  ASSERT_TRUE(logging::InitLogging(settings));
  ::testing::internal::CaptureStderr();
  LOG(ERROR) << "reported";
  ::testing::internal::GetCapturedStderr();
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir)) files.push_back(entry.path());
  EXPECT_TRUE(files.empty());
}

TEST_F(LoggingTest, FileOutputDeletesOrAppendsAsAsked) {
  const std::string name = (dir / "run.log").string();
  std::ofstream(name) << "older run\n";
  logging::LoggingSettings settings;
  settings.logging_dest = logging::LOG_TO_FILE;
  settings.log_file = std::wstring(name.begin(), name.end());
  settings.delete_old = logging::APPEND_TO_OLD_LOG_FILE;
  ASSERT_TRUE(logging::InitLogging(settings));
  LOG(INFO) << "first";
  EXPECT_EQ(ReadFile(name), "older run\n[0314/093005:INFO:logging_test.cc(" + std::to_string(__LINE__ - 1) + ")] first\n");

  settings.delete_old = logging::DELETE_OLD_LOG_FILE;
  settings.lock_log = logging::DONT_LOCK_LOG_FILE;
  ASSERT_TRUE(logging::InitLogging(settings));
  LOG(WARNING) << "second";
  EXPECT_EQ(ReadFile(name), "[0314/093005:WARNING:logging_test.cc(" + std::to_string(__LINE__ - 1) + ")] second\n");

  settings.log_file = L"/nonexistent-folder/x.log";
  EXPECT_FALSE(logging::InitLogging(settings));
}

TEST_F(LoggingTest, VerboseLevelsComeFromTheVAndVmoduleSwitches) {
  logging::SetLogMessageHandler(&CaptureLine);
  VLOG(1) << "before set-up";
  EXPECT_TRUE(lines.empty());

  const char* argv[] = {"sonaclip", "--v=1", "--vmodule=logging_test=3,*/deep/*=2,oth?r=0"};
  ASSERT_TRUE(base::CommandLine::Init(3, argv));
  logging::LoggingSettings settings;
  settings.logging_dest = logging::LOG_NONE;
  ASSERT_TRUE(logging::InitLogging(settings));

  EXPECT_EQ(logging::GetVlogLevel(__FILE__), 3);
  EXPECT_EQ(logging::GetVlogLevel("src/other.cc"), 0);
  EXPECT_EQ(logging::GetVlogLevel("src/deep/thing.cc"), 2);
  EXPECT_EQ(logging::GetVlogLevel("src/plain.cc"), 1);
  VLOG(3) << "shown";
  VLOG(4) << "hidden";
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("VERBOSE3:logging_test.cc("), std::string::npos);
}

TEST_F(LoggingTest, WritingLeavesErrnoAsItWas) {
  logging::SetLogMessageHandler(&CaptureLine);
  gHandlerTakes = false;
  ::testing::internal::CaptureStderr();
  errno = ENOENT;
  LOG(ERROR) << "with errno";
  const int after = errno;
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(after, ENOENT);
}

using LoggingDeathTest = LoggingTest;

TEST_F(LoggingDeathTest, FailedCheckEndsTheProcessWithATrap) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const int value = 2;
  EXPECT_EXIT({ CHECK(value == 1) << "context"; }, ::testing::KilledBySignal(SIGTRAP),
              R"(FATAL:logging_test.cc\([0-9]+\)\] Check failed: value == 1\. context)");
  EXPECT_EXIT({ LOG(FATAL) << "fatal"; }, ::testing::KilledBySignal(SIGTRAP), "fatal");
}

TEST_F(LoggingDeathTest, SecondSetUpWithAVerboseFilterIsAFailedCheck) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const char* argv[] = {"sonaclip", "--v=2"};
  ASSERT_TRUE(base::CommandLine::Init(2, argv));
  logging::LoggingSettings settings;
  settings.logging_dest = logging::LOG_NONE;
  ASSERT_TRUE(logging::InitLogging(settings));
  EXPECT_EXIT(logging::InitLogging(settings), ::testing::KilledBySignal(SIGTRAP), "Check failed");
}

}  // namespace
