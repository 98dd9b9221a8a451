// The runtime's small log facility: severities, one line format, routing to standard error and
// (when asked) a log file, "Check failed: " consistency checks and verbose levels from the "v" and
// "vmodule" switches.
//
// The program sets it up once on the main thread (InitLogging) with file output off, so nothing is
// ever written to a file; only the runtime's own error reports and checks use it. A FATAL message
// (a failed CHECK) is copied to the stack and ends the process with SIGTRAP, which the crash
// handler turns into a dump. Writing a message is safe from any thread and leaves errno as it was.
#pragma once

#include <cstddef>
#include <ctime>
#include <sstream>
#include <string>

namespace logging {

using LogSeverity = int;
constexpr LogSeverity LOG_VERBOSE = -1;
constexpr LogSeverity LOG_INFO = 0;
constexpr LogSeverity LOG_WARNING = 1;
constexpr LogSeverity LOG_ERROR = 2;
constexpr LogSeverity LOG_FATAL = 3;
#ifdef NDEBUG
constexpr LogSeverity LOG_DFATAL = LOG_ERROR;
#else
constexpr LogSeverity LOG_DFATAL = LOG_FATAL;
#endif

// Bit set.
enum LoggingDestination { LOG_NONE = 0, LOG_TO_FILE = 1, LOG_TO_SYSTEM_DEBUG_LOG = 2, LOG_TO_BOTH = 3 };
enum LogLockingState { LOCK_LOG_FILE = 0, DONT_LOCK_LOG_FILE = 1 };
enum OldFileDeletionState { DELETE_OLD_LOG_FILE = 0, APPEND_TO_OLD_LOG_FILE = 1 };

struct LoggingSettings {
  int logging_dest = LOG_TO_FILE;
  std::wstring log_file;  // empty: "debug.log" beside the executable
  int lock_log = LOCK_LOG_FILE;
  int delete_old = APPEND_TO_OLD_LOG_FILE;
};

// Reads "v"/"vmodule" from the process command line, stores the destination and, with the file
// bit set, prepares the file. True on success. Main thread, before other threads log.
bool InitLogging(const LoggingSettings& settings);

// Which prefix fields a line carries (defaults: time stamp only).
void SetLogItems(bool enableProcessId, bool enableThreadId, bool enableTimestamp, bool enableTickcount);

// A handler that may take a finished line; when it returns true nothing else happens.
using LogMessageHandlerFunction = bool (*)(int severity, const char* file, int line,
                                           size_t messageStart, const std::string& str);
void SetLogMessageHandler(LogMessageHandlerFunction handler);
LogMessageHandlerFunction GetLogMessageHandler();

// The text of a severity: "INFO" ... "FATAL", "VERBOSE<n>" for -n, "UNKNOWN" above FATAL.
std::string SeverityName(LogSeverity severity);

// The verbose level that applies to a source file ("v", refined by "vmodule" patterns).
int GetVlogLevel(const char* file);

// Tests: a fixed local time for the time stamp (nullptr: the real time); and a way to forget
// the settings and the verbose filter so that set-up can be tried again.
void SetLogTimeForTesting(const std::tm* localTime);
void ResetLoggingForTesting();

// One message; the line is built in stream() and routed by the destructor.
class LogMessage {
 public:
  LogMessage(const char* file, int line, LogSeverity severity);
  // A failed check: severity FATAL, text "Check failed: <condition>. ".
  LogMessage(const char* file, int line, const char* failedCondition);
  ~LogMessage();
  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;

  std::ostream& stream() { return buffer; }

 private:
  void Init(const char* file, int line);

  LogSeverity severity;
  std::ostringstream buffer;
  size_t messageStart = 0;
  const char* file;
  int line;
  int savedErrno;
};

// Swallows a stream expression of a disabled message.
class LogMessageVoidify {
 public:
  void operator&(std::ostream&) {}
};

}  // namespace logging

#define LAZY_STREAM(stream, condition) \
  !(condition) ? (void)0 : ::logging::LogMessageVoidify() & (stream)

#define LOG_STREAM(severity) ::logging::LogMessage(__FILE__, __LINE__, ::logging::LOG_##severity).stream()
#define LOG(severity) LAZY_STREAM(LOG_STREAM(severity), true)
#define LOG_IF(severity, condition) LAZY_STREAM(LOG_STREAM(severity), (condition))

#define VLOG_IS_ON(verboselevel) ((verboselevel) <= ::logging::GetVlogLevel(__FILE__))
#define VLOG(verboselevel) \
  LAZY_STREAM(::logging::LogMessage(__FILE__, __LINE__, -(verboselevel)).stream(), VLOG_IS_ON(verboselevel))

#define CHECK(condition)                                                                   \
  LAZY_STREAM(::logging::LogMessage(__FILE__, __LINE__, #condition).stream(), !(condition))

#ifdef NDEBUG
#define DLOG_IS_ON false
#else
#define DLOG_IS_ON true
#endif
#define DLOG(severity) LAZY_STREAM(LOG_STREAM(severity), DLOG_IS_ON)
#define DLOG_IF(severity, condition) LAZY_STREAM(LOG_STREAM(severity), DLOG_IS_ON && (condition))
#define DVLOG(verboselevel) \
  LAZY_STREAM(::logging::LogMessage(__FILE__, __LINE__, -(verboselevel)).stream(), DLOG_IS_ON && VLOG_IS_ON(verboselevel))
#define DCHECK(condition) \
  LAZY_STREAM(::logging::LogMessage(__FILE__, __LINE__, #condition).stream(), DLOG_IS_ON && !(condition))
#define NOTREACHED() DCHECK(false)
