#include "base/logging.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

#include "base/command_line.h"
#include "base/path_service.h"
#include "base/strings.h"
#include "base/thread_names.h"

namespace logging {
namespace {

// The verbose levels from "v" and "vmodule".
class VlogInfo {
 public:
  VlogInfo(const std::string& vSwitch, const std::string& vmoduleSwitch) {
    if (!vSwitch.empty()) {
      char* end = nullptr;
      const long level = std::strtol(vSwitch.c_str(), &end, 10);
      if (end && *end == '\0') maxLevel = static_cast<int>(level);
    }
    // "pattern=level,pattern=level"; malformed parts are skipped.
    size_t start = 0;
    while (start <= vmoduleSwitch.size()) {
      size_t comma = vmoduleSwitch.find(',', start);
      if (comma == std::string::npos) comma = vmoduleSwitch.size();
      const std::string part = vmoduleSwitch.substr(start, comma - start);
      const size_t equals = part.rfind('=');
      if (equals != std::string::npos && equals > 0) {
        char* end = nullptr;
        const std::string levelText = part.substr(equals + 1);
        const long level = std::strtol(levelText.c_str(), &end, 10);
        if (!levelText.empty() && end && *end == '\0') {
          Pattern pattern;
          pattern.text = part.substr(0, equals);
          pattern.matchPath = pattern.text.find_first_of("/\\") != std::string::npos;
          pattern.level = static_cast<int>(level);
          patterns.push_back(pattern);
        }
      }
      start = comma + 1;
    }
  }

  int GetVlogLevel(const char* file) const {
    if (!patterns.empty()) {
      const std::string path = file ? file : "";
      const std::string module = ModuleName(path);
      for (const Pattern& pattern : patterns) {
        if (MatchWildcard(pattern.text, pattern.matchPath ? path : module)) return pattern.level;
      }
    }
    return maxLevel;
  }

 private:
  struct Pattern {
    std::string text;
    bool matchPath = false;
    int level = 0;
  };

  // "dir/foo_bar-inl.cc" -> "foo_bar".
  static std::string ModuleName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find('.');
    if (dot != std::string::npos) name.resize(dot);
    const std::string inl = "-inl";
    if (name.size() > inl.size() && name.compare(name.size() - inl.size(), inl.size(), inl) == 0) {
      name.resize(name.size() - inl.size());
    }
    return name;
  }

  // '*' any run, '?' any one character; '/' and '\\' match each other.
  static bool MatchWildcard(const std::string& pattern, const std::string& text) {
    size_t p = 0, t = 0, starP = std::string::npos, starT = 0;
    auto same = [](char a, char b) {
      if ((a == '/' || a == '\\') && (b == '/' || b == '\\')) return true;
      return a == b;
    };
    while (t < text.size()) {
      if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] != '*' && same(pattern[p], text[t])))) {
        ++p;
        ++t;
      } else if (p < pattern.size() && pattern[p] == '*') {
        starP = p++;
        starT = t;
      } else if (starP != std::string::npos) {
        p = starP + 1;
        t = ++starT;
      } else {
        return false;
      }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
  }

  int maxLevel = 0;
  std::vector<Pattern> patterns;
};

// Before set-up nothing goes to a file: only errors reach standard error.
std::atomic<int> gDestination{LOG_NONE};
std::atomic<bool> gLogProcessId{false};
std::atomic<bool> gLogThreadId{false};
std::atomic<bool> gLogTimestamp{true};
std::atomic<bool> gLogTickCount{false};
std::atomic<LogMessageHandlerFunction> gHandler{nullptr};
std::atomic<VlogInfo*> gVlogInfo{nullptr};

// Guards the log file, its settings and the test time.
std::mutex gFileLock;
FILE* gLogFile = nullptr;
bool gLockSystemWide = true;
bool gHaveTestTime = false;
std::tm gTestTime{};

std::tm LocalTimeNow() {
  {
    std::lock_guard<std::mutex> hold(gFileLock);
    if (gHaveTestTime) return gTestTime;
  }
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

void WriteToStderr(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void WriteToFile(const std::string& line) {
  std::lock_guard<std::mutex> hold(gFileLock);
  if (!gLogFile) return;
  const int fd = fileno(gLogFile);
  // The system-wide lock of the Win32 design is a named mutex; here the file's own lock.
  if (gLockSystemWide) flock(fd, LOCK_EX);
  std::fwrite(line.data(), 1, line.size(), gLogFile);
  std::fflush(gLogFile);
  if (gLockSystemWide) flock(fd, LOCK_UN);
}

// Ends the process with a breakpoint trap, which the crash handler turns into a dump. Should a
// handler return, the trap is raised again with the default action.
[[noreturn]] void BreakDebugger() {
  sigset_t trap;
  sigemptyset(&trap);
  sigaddset(&trap, SIGTRAP);
  pthread_sigmask(SIG_UNBLOCK, &trap, nullptr);
  std::raise(SIGTRAP);
  std::signal(SIGTRAP, SIG_DFL);
  std::raise(SIGTRAP);
  std::abort();
}

}  // namespace

bool InitLogging(const LoggingSettings& settings) {
  const base::CommandLine* commandLine = base::CommandLine::ForCurrentProcess();
  if (commandLine->HasSwitch("v") || commandLine->HasSwitch("vmodule")) {
    CHECK(!gVlogInfo.load()) << "the verbose filter is set up once";
    gVlogInfo.store(new VlogInfo(commandLine->GetSwitchValueASCII("v"),
                                 commandLine->GetSwitchValueASCII("vmodule")));
  }
  gDestination.store(settings.logging_dest);
  if (!(settings.logging_dest & LOG_TO_FILE)) return true;

  std::filesystem::path file;
  if (settings.log_file.empty()) {
    if (!base::PathService::Get(base::PathService::DIR_EXE, &file)) return false;
    file /= "debug.log";
  } else {
    file = base::WideToUTF8(settings.log_file);
  }
  std::lock_guard<std::mutex> hold(gFileLock);
  gLockSystemWide = settings.lock_log == LOCK_LOG_FILE;
  if (gLogFile) {
    std::fclose(gLogFile);
    gLogFile = nullptr;
  }
  if (settings.delete_old == DELETE_OLD_LOG_FILE) ::unlink(file.c_str());
  gLogFile = std::fopen(file.c_str(), "ae");
  return gLogFile != nullptr;
}

void SetLogItems(bool enableProcessId, bool enableThreadId, bool enableTimestamp, bool enableTickcount) {
  gLogProcessId.store(enableProcessId);
  gLogThreadId.store(enableThreadId);
  gLogTimestamp.store(enableTimestamp);
  gLogTickCount.store(enableTickcount);
}

void SetLogMessageHandler(LogMessageHandlerFunction handler) { gHandler.store(handler); }
LogMessageHandlerFunction GetLogMessageHandler() { return gHandler.load(); }

std::string SeverityName(LogSeverity severity) {
  static const char* const kNames[] = {"INFO", "WARNING", "ERROR", "FATAL"};
  if (severity < 0) return "VERBOSE" + std::to_string(-static_cast<long long>(severity));
  if (severity > LOG_FATAL) return "UNKNOWN";
  return kNames[severity];
}

int GetVlogLevel(const char* file) {
  const VlogInfo* info = gVlogInfo.load();
  return info ? info->GetVlogLevel(file) : 0;
}

void SetLogTimeForTesting(const std::tm* localTime) {
  std::lock_guard<std::mutex> hold(gFileLock);
  gHaveTestTime = localTime != nullptr;
  if (localTime) gTestTime = *localTime;
}

void ResetLoggingForTesting() {
  delete gVlogInfo.exchange(nullptr);
  gDestination.store(LOG_NONE);
  SetLogItems(false, false, true, false);
  gHandler.store(nullptr);
  std::lock_guard<std::mutex> hold(gFileLock);
  if (gLogFile) std::fclose(gLogFile);
  gLogFile = nullptr;
  gLockSystemWide = true;
}

LogMessage::LogMessage(const char* file, int line, LogSeverity severity)
    : severity(severity), file(file), line(line), savedErrno(errno) {
  Init(file, line);
}

LogMessage::LogMessage(const char* file, int line, const char* failedCondition)
    : severity(LOG_FATAL), file(file), line(line), savedErrno(errno) {
  Init(file, line);
  buffer << "Check failed: " << failedCondition << ". ";
}

void LogMessage::Init(const char* file, int line) {
  std::string name = file ? file : "";
  const size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);

  buffer << '[';
  if (gLogProcessId.load()) buffer << ::getpid() << ':';
  if (gLogThreadId.load()) buffer << base::CurrentThreadId() << ':';
  if (gLogTimestamp.load()) {
    const std::tm local = LocalTimeNow();
    buffer << std::setfill('0') << std::setw(2) << 1 + local.tm_mon << std::setw(2) << local.tm_mday << '/'
            << std::setw(2) << local.tm_hour << std::setw(2) << local.tm_min << std::setw(2) << local.tm_sec
            << ':' << std::setfill(' ');
  }
  if (gLogTickCount.load()) {
    buffer << std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
                   .count()
            << ':';
  }
  buffer << SeverityName(severity) << ':' << name << '(' << line << ")] ";
  messageStart = static_cast<size_t>(buffer.tellp());
}

LogMessage::~LogMessage() {
  buffer << '\n';
  const std::string line = buffer.str();

  LogMessageHandlerFunction handler = gHandler.load();
  if (!(handler && handler(severity, file, this->line, messageStart, line))) {
    const int destination = gDestination.load();
    // No debugger channel on Linux: the debugger bit sends every line to standard error.
    if ((destination & LOG_TO_SYSTEM_DEBUG_LOG) || severity >= LOG_ERROR) WriteToStderr(line);
    if (destination & LOG_TO_FILE) WriteToFile(line);
  }

  if (severity == LOG_FATAL) {
    // Kept on the stack so that a crash dump carries the message.
    char message[1024];
    const size_t length = std::min(line.size(), sizeof(message) - 1);
    std::memcpy(message, line.data(), length);
    message[length] = '\0';
    __asm__ __volatile__("" : : "r"(message) : "memory");
    BreakDebugger();
  }
  errno = savedErrno;
}

}  // namespace logging
