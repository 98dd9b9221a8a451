// Crash handling with real processes. A program that links the crash handling crashes in each
// way; each crash must leave exactly one dump named "7680-<version>-<signature>-<time>.dmp" in
// "TaVio8" of the user's data folder, whose signature is the MD5 of the frames lldb finds in that
// very dump, and which lldb opens with a backtrace naming the crashing function. The same crash
// run again gives the same signature, although every run loads the program elsewhere. Around it:
// the full-memory kind, the folder that must already exist, the reporter and its switch, and the
// bad-module notice shown by the helper process.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <md5.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/bad_module_notice.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::regex kDumpName(
    R"(7680-[0-9]+-([0-9a-f]{32})-[0-9]{4}-[0-9]{2}-[0-9]{2}_[0-9]{2}_[0-9]{2}_[0-9]{2}\.dmp)");

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string RunAndRead(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

const char* TestDisplay() {
  const char* display = std::getenv("SONACLIP_TEST_DISPLAY");
  return display && *display ? display : nullptr;
}

// What lldb makes of a dump: `lldb --batch --core DUMP -o bt -o "image list" -o "thread list"`.
std::string Lldb(const fs::path& dump) {
  return RunAndRead(std::string(LLDB) + " --batch --core '" + dump.string() +
                    "' -o bt -o 'image list' -o 'thread list' 2>/dev/null");
}

// How many threads lldb lists for the dump.
int ThreadCount(const std::string& lldb) {
  const size_t list = lldb.find("(lldb) thread list");
  if (list == std::string::npos) return 0;
  const std::regex thread(R"(thread #\d+: tid = )");
  const std::string tail = lldb.substr(list);
  return static_cast<int>(std::distance(std::sregex_iterator(tail.begin(), tail.end(), thread),
                                        std::sregex_iterator()));
}

// The crash signature recomputed from lldb's own reading of the dump: every frame's offset from
// the load address of the module that holds it (frames below every module, such as the 0 of a
// call through a null pointer, count for nothing), then the crash address's offset again, each
// as 8 little-endian bytes, through MD5. An independent check of our walk and of our dump alike.
std::string SignatureFromLldb(const std::string& lldb) {
  std::vector<std::pair<uint64_t, std::string>> modules;
  const std::regex module(R"(\[\s*\d+\]\s+\S+\s+0x([0-9a-f]+)\s+(\S+))");
  for (std::sregex_iterator it(lldb.begin(), lldb.end(), module), end; it != end; ++it)
    modules.emplace_back(std::stoull((*it)[1], nullptr, 16), (*it)[2]);
  std::vector<uint64_t> frames;
  const std::regex frame(R"(frame #\d+: 0x([0-9a-f]+))");
  for (std::sregex_iterator it(lldb.begin(), lldb.end(), frame), end; it != end; ++it)
    frames.push_back(std::stoull((*it)[1], nullptr, 16));
  if (frames.empty() || modules.empty()) return "no frames or modules in lldb's answer";

  uint64_t lowest = ~uint64_t{0};
  for (const auto& m : modules) lowest = std::min(lowest, m.first);
  auto offset = [&](uint64_t pc) {
    uint64_t base = 0;
    for (const auto& m : modules)
      if (m.first <= pc && m.first > base) base = m.first;
    return pc - base;
  };
  MD5_CTX md5;
  MD5Init(&md5);
  auto add = [&](uint64_t value) {
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    MD5Update(&md5, bytes, 8);
  };
  for (uint64_t pc : frames)
    if (pc >= lowest) add(offset(pc));
  add(offset(frames.front()));
  uint8_t digest[MD5_DIGEST_LENGTH];
  MD5Final(digest, &md5);
  char hex[2 * MD5_DIGEST_LENGTH + 1];
  for (int i = 0; i < MD5_DIGEST_LENGTH; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  return hex;
}

// A frame of lldb's backtrace in `function` ("program`Name(" or, for a C function, "::Name(").
bool NamesFunction(const std::string& lldb, const std::string& function) {
  return lldb.find("`" + function + "(") != std::string::npos ||
         lldb.find("`::" + function + "(") != std::string::npos;
}

// The header's flags: 2 for a full-memory dump, 0 for a normal one.
uint64_t DumpFlags(const fs::path& dump) {
  char header[32] = {};
  std::ifstream(dump, std::ios::binary).read(header, sizeof header);
  uint64_t flags = ~uint64_t{0};
  if (std::memcmp(header, "MDMP", 4) == 0) std::memcpy(&flags, header + 24, 8);
  return flags;
}

// A folder of its own for one crash: the program and its helper in bin/ (linked, not copied,
// where the file system allows), the user's data folder and the temporary folder.
class CrashSandbox {
 public:
  CrashSandbox() {
    fs::create_directories(bin());
    fs::create_directories(data());
    fs::create_directories(tmp());
    Link(CRASH_TEST_PROGRAM, bin() / "crash_test_program");
    Link(CRASH_HELPER, bin() / "sonaclip-crash-helper");
  }
  ~CrashSandbox() { WaitForHelpers(); }

  fs::path bin() const { return root / "bin"; }
  fs::path data() const { return root / "data"; }
  fs::path tmp() const { return root / "tmp"; }
  fs::path dumpFolder() const { return data() / "TaVio8"; }
  fs::path reporterArguments() const { return bin() / "CrashReporter.args"; }

  // What the stand-in reporter was given. The helper may end before the reporter it started has
  // written its file, so this waits for a complete last line.
  std::string ReporterArguments() const {
    std::string text;
    WaitFor([&] {
      text = ReadText(reporterArguments());
      return text.ends_with("|\n");
    }, 30s);
    return text;
  }

  void MakeDumpFolder() { fs::create_directories(dumpFolder()); }
  void WriteUploadSetting(const std::string& text) {
    MakeDumpFolder();
    std::ofstream(dumpFolder() / "net_option.ini") << text;
  }
  // A reporter that writes down the arguments it was given, one a line.
  void InstallReporter() {
    const fs::path reporter = bin() / "CrashReporter";
    std::ofstream(reporter) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n";
    fs::permissions(reporter, fs::perms::owner_all);
  }

  // Runs the program; returns its wait status (nullopt when it did not end within a minute).
  std::optional<int> Run(const std::vector<std::string>& arguments, bool onDisplay = false) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      for (const char* drop : {"XDG_DATA_HOME=", "TMPDIR=", "DISPLAY=", "QT_QPA_PLATFORM="})
        if (entry.rfind(drop, 0) == 0) goto skip;
      env.push_back(entry);
    skip:;
    }
    // The sanitizer's own alternate stacks stay off: the program must bring its own, on every
    // thread.
    for (std::string& entry : env)
      if (entry.rfind("ASAN_OPTIONS=", 0) == 0) entry += ":use_sigaltstack=0";
    env.push_back("XDG_DATA_HOME=" + data().string());
    env.push_back("TMPDIR=" + tmp().string());
    if (onDisplay) {
      env.push_back(std::string("DISPLAY=") + TestDisplay());
      env.push_back("QT_QPA_PLATFORM=xcb");
    } else {
      env.push_back("QT_QPA_PLATFORM=offscreen");
    }
    std::vector<char*> envp;
    for (auto& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = {(bin() / "crash_test_program").string()};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = (root / "program.log").string();
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return std::nullopt;
    int status = 0;
    if (!WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 60s)) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      return std::nullopt;
    }
    return status;
  }

  std::vector<fs::path> Dumps() const {
    std::vector<fs::path> dumps;
    if (!fs::exists(dumpFolder())) return dumps;
    for (const auto& entry : fs::directory_iterator(dumpFolder()))
      if (entry.path().extension() == ".dmp") dumps.push_back(entry.path());
    return dumps;
  }

  // The helper processes started from this folder's program.
  std::vector<pid_t> Helpers() const {
    std::vector<pid_t> pids;
    const fs::path helper = bin() / "sonaclip-crash-helper";
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string name = entry.path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      std::error_code error;
      if (fs::read_symlink(entry.path() / "exe", error) == helper) pids.push_back(std::stoi(name));
    }
    return pids;
  }

  bool WaitForHelpers() const {
    return WaitFor([&] { return Helpers().empty(); }, 30s);
  }

  std::string ProgramLog() const { return ReadText(root / "program.log"); }
  void ClearProgramLog() const { fs::remove(root / "program.log"); }

 private:
  static void Link(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::create_hard_link(from, to, error);
    if (error) fs::copy_file(from, to);
  }

  testsupport::TempDir root{"sonaclip-crash"};
};

std::string SignatureOf(const fs::path& dump) {
  std::smatch match;
  const std::string name = dump.filename().string();
  return std::regex_match(name, match, kDumpName) ? match[1].str() : "";
}

std::string SignalName(int signal) {
  switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGABRT: return "SIGABRT";
    case SIGFPE: return "SIGFPE";
    case SIGTRAP: return "SIGTRAP";
    default: return std::to_string(signal);
  }
}

struct CrashKind {
  const char* name;      // the program's argument
  int signal;            // the signal the process ends with
  const char* function;  // where it crashed, as the backtrace must name it
  int threads = 1;       // the threads the dump holds: every thread of the process
};

void PrintTo(const CrashKind& kind, std::ostream* out) {
  *out << kind.name;
}

class CrashKindTest : public ::testing::TestWithParam<CrashKind> {};

// Runs one crash in `sandbox` and checks its one dump; returns the dump's signature.
std::string CrashAndCheck(CrashSandbox& sandbox, const CrashKind& kind) {
  for (const fs::path& old : sandbox.Dumps()) fs::remove(old);
  sandbox.ClearProgramLog();
  const std::optional<int> status = sandbox.Run({kind.name});
  EXPECT_TRUE(status && WIFSIGNALED(*status) && WTERMSIG(*status) == kind.signal)
      << "the process must end with " << SignalName(kind.signal) << "; status "
      << (status ? std::to_string(*status) : "still running") << "\n" << sandbox.ProgramLog();
  EXPECT_EQ(sandbox.ProgramLog().find("allocation in the crash path"), std::string::npos)
      << sandbox.ProgramLog();
  const std::vector<fs::path> dumps = sandbox.Dumps();
  if (dumps.size() != 1) {
    ADD_FAILURE() << dumps.size() << " dumps instead of one\n" << sandbox.ProgramLog();
    return "";
  }
  const std::string signature = SignatureOf(dumps.front());
  EXPECT_NE(signature, "") << dumps.front().filename() << " is not named as a dump is";
  EXPECT_EQ(DumpFlags(dumps.front()), 0u) << "a normal dump without the CrashLog folder";

  const std::string lldb = Lldb(dumps.front());
  EXPECT_NE(lldb.find("stop reason = signal " + SignalName(kind.signal)), std::string::npos) << lldb;
  EXPECT_TRUE(NamesFunction(lldb, kind.function))
      << "the backtrace does not name " << kind.function << "\n" << lldb;
  EXPECT_EQ(signature, SignatureFromLldb(lldb)) << lldb;
  EXPECT_EQ(ThreadCount(lldb), kind.threads) << lldb;
  return signature;
}

TEST_P(CrashKindTest, LeavesOneDumpThatLldbReadsWithTheSameSignatureEveryRun) {
  CrashSandbox sandbox;
  sandbox.MakeDumpFolder();
  const std::string first = CrashAndCheck(sandbox, GetParam());
  const std::string second = CrashAndCheck(sandbox, GetParam());
  EXPECT_EQ(first, second) << "the same crash gave another signature";
  EXPECT_TRUE(sandbox.WaitForHelpers()) << "the crash helper did not end";
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CrashKindTest,
    ::testing::Values(CrashKind{"null", SIGSEGV, "CrashWithNullPointer"},
                      CrashKind{"nullcall", SIGSEGV, "CrashWithNullFunctionCall"},
                      CrashKind{"abort", SIGABRT, "CrashWithAbort"},
                      CrashKind{"exception", SIGABRT, "CrashWithUncaughtException"},
                      CrashKind{"purecall", SIGABRT, "CrashWithPureCall"},
                      CrashKind{"divide", SIGFPE, "CrashWithDivisionByZero"},
                      CrashKind{"fatal", SIGTRAP, "CrashWithFatalLog"},
                      CrashKind{"threads", SIGSEGV, "CrashOnThread", 3},
                      CrashKind{"overflow", SIGSEGV, "OverflowTheStack", 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CrashDumpTest, WithoutTheDumpFolderNothingIsWrittenAndNoFolderIsMade) {
  CrashSandbox sandbox;
  const std::optional<int> status = sandbox.Run({"null"});
  ASSERT_TRUE(status && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGSEGV) << sandbox.ProgramLog();
  EXPECT_FALSE(fs::exists(sandbox.dumpFolder()));
  EXPECT_TRUE(fs::is_empty(sandbox.tmp()));
}

// The second dump's place: a folder of this user's own in the temporary folder.
fs::path PrivateTempFolder(const fs::path& tmp) {
  return tmp / ("sonaclip-" + std::to_string(geteuid()));
}

// With "CrashLog" in the dump folder the dump holds every readable mapping, and a normal dump
// also goes to the temporary folder as "errWeb.dmp", which is the one the reporter gets.
TEST(CrashDumpTest, TheCrashLogFolderAsksForAFullDumpAndASecondOne) {
  CrashSandbox sandbox;
  sandbox.MakeDumpFolder();
  fs::create_directory(sandbox.dumpFolder() / "CrashLog");
  sandbox.WriteUploadSetting("[CrashReport]\nUploadHttpDmp_7680=1\n");
  sandbox.InstallReporter();

  const std::optional<int> status = sandbox.Run({"null"});
  ASSERT_TRUE(status && WIFSIGNALED(*status)) << sandbox.ProgramLog();
  const std::vector<fs::path> dumps = sandbox.Dumps();
  ASSERT_EQ(dumps.size(), 1u);
  const fs::path second = PrivateTempFolder(sandbox.tmp()) / "errWeb.dmp";
  ASSERT_TRUE(fs::exists(second));
  EXPECT_EQ(fs::status(second.parent_path()).permissions(), fs::perms::owner_all);
  EXPECT_EQ(DumpFlags(dumps.front()), 2u) << "full memory";
  EXPECT_EQ(DumpFlags(second), 0u);
  EXPECT_GT(fs::file_size(dumps.front()), 4 * fs::file_size(second));
  for (const fs::path& dump : {dumps.front(), second}) {
    EXPECT_TRUE(NamesFunction(Lldb(dump), "CrashWithNullPointer")) << dump;
  }

  ASSERT_TRUE(sandbox.WaitForHelpers());
  EXPECT_EQ(sandbox.ReporterArguments(),
            "/dmpw\n" + second.string() + "\n7680|crash_test_program|" + SignatureOf(dumps.front()) +
                "|" + sandbox.bin().string() + "|\n");
}

// Another user of the shared temporary folder plants a link to a victim's file where a dump
// would go, or the private folder itself as a link or with rights for all: the crash never
// writes through it. The victim keeps its text; a planted folder gets no dump, and the reporter
// then gets the dump of the data folder.
struct PlantCase {
  const char* name;
  bool secondDumpWritten;
  void (*plant)(const fs::path& tmp, const fs::path& victim);
};

void PrintTo(const PlantCase& c, std::ostream* out) {
  *out << c.name;
}

class PlantedLinkTest : public ::testing::TestWithParam<PlantCase> {};

TEST_P(PlantedLinkTest, TheCrashNeverWritesThroughIt) {
  CrashSandbox sandbox;
  sandbox.MakeDumpFolder();
  fs::create_directory(sandbox.dumpFolder() / "CrashLog");
  sandbox.WriteUploadSetting("[CrashReport]\nUploadHttpDmp_7680=1\n");
  sandbox.InstallReporter();
  const fs::path victim = sandbox.data() / "victim";
  fs::create_directories(victim);
  std::ofstream(victim / "errWeb.dmp") << "the victim's own file";
  GetParam().plant(sandbox.tmp(), victim);

  const std::optional<int> status = sandbox.Run({"null"});
  ASSERT_TRUE(status && WIFSIGNALED(*status)) << sandbox.ProgramLog();
  EXPECT_EQ(ReadText(victim / "errWeb.dmp"), "the victim's own file");
  EXPECT_EQ(std::distance(fs::directory_iterator(victim), fs::directory_iterator()), 1);
  const fs::path second = PrivateTempFolder(sandbox.tmp()) / "errWeb.dmp";
  const std::vector<fs::path> dumps = sandbox.Dumps();
  ASSERT_EQ(dumps.size(), 1u);
  ASSERT_TRUE(sandbox.WaitForHelpers());
  const std::string reporterArguments = sandbox.ReporterArguments();
  if (GetParam().secondDumpWritten) {
    EXPECT_EQ(DumpFlags(second), 0u);
    EXPECT_EQ(reporterArguments.find("/dmpw\n" + second.string() + "\n"), 0u) << reporterArguments;
  } else {
    EXPECT_EQ(reporterArguments.find("/dmpw\n" + dumps.front().string() + "\n"), 0u)
        << reporterArguments;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Plants, PlantedLinkTest,
    ::testing::Values(
        PlantCase{"link_in_the_shared_folder", true,
                  [](const fs::path& tmp, const fs::path& victim) {
                    fs::create_symlink(victim / "errWeb.dmp", tmp / "errWeb.dmp");
                  }},
        PlantCase{"link_in_the_private_folder", true,
                  [](const fs::path& tmp, const fs::path& victim) {
                    fs::create_directory(PrivateTempFolder(tmp));
                    fs::permissions(PrivateTempFolder(tmp), fs::perms::owner_all);
                    fs::create_symlink(victim / "errWeb.dmp", PrivateTempFolder(tmp) / "errWeb.dmp");
                  }},
        PlantCase{"private_folder_is_a_link", false,
                  [](const fs::path& tmp, const fs::path& victim) {
                    fs::create_directory_symlink(victim, PrivateTempFolder(tmp));
                  }},
        PlantCase{"private_folder_open_to_all", false,
                  [](const fs::path& tmp, const fs::path& victim) {
                    fs::create_directory(PrivateTempFolder(tmp));
                    fs::permissions(PrivateTempFolder(tmp), fs::perms::all);
                    fs::create_symlink(victim / "errWeb.dmp", PrivateTempFolder(tmp) / "errWeb.dmp");
                  }}),
    [](const auto& info) { return std::string(info.param.name); });

// The reporter is started (with the dump, the product id, the faulting module, the signature and
// the program's folder) exactly when the upload switch of "net_option.ini" is not 0.
struct UploadCase {
  const char* name;
  const char* setting;  // nullptr: no "net_option.ini"
  bool starts;
};

void PrintTo(const UploadCase& c, std::ostream* out) {
  *out << c.name;
}

class ReporterTest : public ::testing::TestWithParam<UploadCase> {};

TEST_P(ReporterTest, StartsOnlyWhenTheSwitchIsOn) {
  CrashSandbox sandbox;
  sandbox.MakeDumpFolder();
  if (GetParam().setting) sandbox.WriteUploadSetting(GetParam().setting);
  sandbox.InstallReporter();

  const std::optional<int> status = sandbox.Run({"null"});
  ASSERT_TRUE(status && WIFSIGNALED(*status)) << sandbox.ProgramLog();
  ASSERT_TRUE(sandbox.WaitForHelpers());
  const std::vector<fs::path> dumps = sandbox.Dumps();
  ASSERT_EQ(dumps.size(), 1u);
  if (!GetParam().starts) {
    EXPECT_FALSE(fs::exists(sandbox.reporterArguments()));
    return;
  }
  EXPECT_EQ(sandbox.ReporterArguments(),
            "/dmpw\n" + dumps.front().string() + "\n7680|crash_test_program|" +
                SignatureOf(dumps.front()) + "|" + sandbox.bin().string() + "|\n");
}

INSTANTIATE_TEST_SUITE_P(
    Switch, ReporterTest,
    ::testing::Values(UploadCase{"on", "[CrashReport]\nUploadHttpDmp_7680=1\n", true},
                      UploadCase{"other_value", "[crashreport]\nUploadHttpDmp_7680 = 0x2\n", true},
                      UploadCase{"off", "[CrashReport]\nUploadHttpDmp_7680=0\n", false},
                      UploadCase{"other_product", "[CrashReport]\nUploadHttpDmp_7681=1\n", false},
                      UploadCase{"no_file", nullptr, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A crash inside "PycHookDll.dll", loaded with dlopen, leaves its dump and makes the helper
// (not the crashed process) show the notice whose caption names the product to update.
TEST(BadModuleNoticeTest, ACrashInATroublesomeModuleShowsTheNoticeFromTheHelper) {
  if (!TestDisplay()) GTEST_SKIP() << "SONACLIP_TEST_DISPLAY is not set: the notice is a window";
  CrashSandbox sandbox;
  sandbox.MakeDumpFolder();
  const fs::path module = sandbox.bin() / "PycHookDll.dll";
  fs::copy_file(CRASHING_MODULE, module);

  const std::optional<int> status = sandbox.Run({"module", module.string()}, true);
  ASSERT_TRUE(status && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGSEGV) << sandbox.ProgramLog();
  const std::vector<fs::path> dumps = sandbox.Dumps();
  ASSERT_EQ(dumps.size(), 1u);
  const std::string lldb = Lldb(dumps.front());
  EXPECT_TRUE(NamesFunction(lldb, "CrashInsideTheModule") &&
              lldb.find("PycHookDll.dll`") != std::string::npos) << lldb;

  // The crashed process is gone; its helper shows the notice.
  const std::string search = std::string("DISPLAY=") + TestDisplay() +
                             " xdotool search --onlyvisible --name '^鹏保宝$' getwindowpid %@ 2>/dev/null";
  std::string owners;
  EXPECT_TRUE(WaitFor([&] { return !(owners = RunAndRead(search)).empty(); }, 30s))
      << "no window captioned 鹏保宝 appeared";
  const std::vector<pid_t> helpers = sandbox.Helpers();
  ASSERT_EQ(helpers.size(), 1u);
  EXPECT_EQ(std::stoi(owners), helpers.front()) << "the notice belongs to " << owners;
  for (pid_t helper : helpers) kill(helper, SIGTERM);
  EXPECT_TRUE(sandbox.WaitForHelpers());
}

TEST(BadModuleNoticeTest, TheTableMatchesAsTheRulesSay) {
  struct Case {
    const char* module;
    const wchar_t* shown;  // nullptr: no notice
  } cases[] = {
      {"pychookdll.dll", L"鹏保宝"},        {"PYCHOOKDLL.DLL", L"鹏保宝"},
      {"xmshtmlx.dllx", L"微软浏览器"},     {"mshtml.so", nullptr},
      {"urlmon.dll", L"微软浏览器"},        {"flash.ocx", L"adobe flash"},
      {"flash32.ocx", L"adobe flash"},      {"libhookaudio.dll.so", L"YY语音"},
      {"dllinject.dll", L"百度杀毒"},       {"crash_test_program", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    const crash::BadModule* row = crash::FindBadModule(std::wstring(c.module, c.module + std::strlen(c.module)));
    if (!c.shown) {
      EXPECT_EQ(row, nullptr) << c.module;
      continue;
    }
    ASSERT_NE(row, nullptr) << c.module;
    EXPECT_EQ(std::wstring(row->shownName), c.shown) << c.module;
  }
  const crash::BadModule* row = crash::FindBadModule(L"pychookdll.dll");
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(crash::BadModuleNoticeText(*row, L"pychookdll.dll"),
            L"您目前使用的鹏保宝模块为[pychookdll.dll].\r\n它可能存在一些问题导致Tavio音乐退出。\r\n"
            L"您可以把鹏保宝更新到最新版本后再使用Tavio音乐");
}

}  // namespace
