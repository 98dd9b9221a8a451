#include "app/crash_handlers.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#define UNW_LOCAL_ONLY
#include <libunwind.h>

#include <atomic>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>

#include "app/crash_dumper.h"
#include "app/exception_snapshot.h"
#include "app/signal_safe.h"
#include "app/thread_alt_stacks.h"
#include "base/path_service.h"

extern char** environ;

namespace crash {

[[noreturn]] void CrashWithoutSignal();

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGABRT};
constexpr char kHelperName[] = "sonaclip-crash-helper";
// A crash whose handling hangs (a lock held by the crashed code, say) still ends the process.
constexpr unsigned kHandlingLimitSeconds = 300;

std::atomic<int> gCrashCount{0};
std::atomic<pid_t> gCrashThread{0};
ExceptionSnapshot gSnapshot;
int gTerminatePipe[2] = {-1, -1};

// Asking the other threads for their registers: the signal, the slot the asked thread fills,
// and how long to wait for an answer (a thread that blocks the signal never answers).
int gThreadSignal = 0;
std::atomic<int> gAskedSlot{-1};
std::atomic<bool> gAnswered{false};
constexpr int kAnswerWaitMilliseconds = 200;

// The helper's command line; filled in at the crash from texts prepared at installation.
char gHelperPath[PATH_MAX];
char gExeFolder[PATH_MAX];
char* gHelperArgv[10];

// Only the first crash of the process is handled. True for it; a crash of the handling thread
// itself (inside the handler) returns false so the process ends at once; any other thread
// waits here until the first one has ended the process.
bool EnterCrash() {
  const pid_t self = gettid();
  if (gCrashCount.fetch_add(1) == 0) {
    gCrashThread.store(self);
    return true;
  }
  if (gCrashThread.load() == self) return false;
  for (;;) {
    struct timespec second = {1, 0};
    nanosleep(&second, nullptr);
  }
}

// Restores the default action and sends the signal to this thread: a handler that returns
// then dies of it, with the real cause for the system to see.
void EndWithSignal(int signal) {
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  sigemptyset(&standard.sa_mask);
  sigaction(signal, &standard, nullptr);
  syscall(SYS_tgkill, getpid(), gettid(), signal);
}

// Starts the helper that shows the notice and starts the reporter, in a session of its own so
// it outlives this process. Not waited for: the crashed process ends meanwhile.
void StartCrashHelper(const CrashReport& report) {
  if (!gHelperPath[0]) return;
  static char dumpFlag[] = "--dump", moduleFlag[] = "--module", signatureFlag[] = "--signature",
              folderFlag[] = "--exe-folder";
  char** argv = gHelperArgv;
  *argv++ = gHelperPath;
  *argv++ = dumpFlag;
  *argv++ = const_cast<char*>(report.dumpPath);
  *argv++ = moduleFlag;
  *argv++ = const_cast<char*>(report.faultingModule);
  *argv++ = signatureFlag;
  *argv++ = const_cast<char*>(report.signature);
  *argv++ = folderFlag;
  *argv++ = gExeFolder;
  *argv = nullptr;
  const pid_t child = _Fork();
  if (child != 0) return;
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  setsid();
  execve(gHelperPath, gHelperArgv, environ);
  _exit(127);
}

// In an asked thread: leaves its registers in its slot and stays here until the process ends.
void OnThreadSnapshotRequest(int, siginfo_t*, void* context) {
  const int slot = gAskedSlot.load();
  if (slot < 0 || gSnapshot.otherThreads[slot].threadId != gettid()) return;
  FillThreadState(&gSnapshot.otherThreads[slot], static_cast<const ucontext_t*>(context));
  gAnswered.store(true);
  for (;;) {
    struct timespec second = {1, 0};
    nanosleep(&second, nullptr);
  }
}

// Asks every other thread of the process, one at a time, for its registers.
void CaptureOtherThreads() {
  if (gThreadSignal <= 0) return;
  const int fd = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  const pid_t self = gettid();
  const pid_t process = getpid();
  alignas(8) static char entries[16384];
  for (;;) {
    const long size = syscall(SYS_getdents64, fd, entries, sizeof entries);
    if (size <= 0) break;
    for (long at = 0; at < size;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(entries + at);
      at += entry->d_reclen;
      const char* name = entry->d_name;
      if (name[0] < '0' || name[0] > '9') continue;
      pid_t thread = 0;
      for (; *name >= '0' && *name <= '9'; ++name) thread = thread * 10 + (*name - '0');
      if (thread == self) continue;
      const size_t slot = gSnapshot.otherThreadCount;
      if (slot == ExceptionSnapshot::kMaxOtherThreads) break;
      gSnapshot.otherThreads[slot].threadId = thread;
      gAnswered.store(false);
      gAskedSlot.store(static_cast<int>(slot));
      if (syscall(SYS_tgkill, process, thread, gThreadSignal) != 0) continue;
      for (int waited = 0; waited < kAnswerWaitMilliseconds && !gAnswered.load(); ++waited) {
        struct timespec millisecond = {0, 1000000};
        nanosleep(&millisecond, nullptr);
      }
      gAskedSlot.store(-1);
      if (gAnswered.load()) ++gSnapshot.otherThreadCount;
    }
  }
  close(fd);
}

void HandleCrash(int signal, const siginfo_t* info, const ucontext_t* context) {
  alarm(kHandlingLimitSeconds);
  FillSnapshot(&gSnapshot, signal, info, context);
  CaptureOtherThreads();
  CrashDumper dumper(&gSnapshot, &StartCrashHelper);
  dumper.WriteAndReport();
}

void OnCrashSignal(int signal, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  if (EnterCrash()) HandleCrash(signal, info, static_cast<const ucontext_t*>(context));
  EndWithSignal(signal);
  errno = savedErrno;
}

void OnTerminateRequest(int) {
  const int savedErrno = errno;
  const char request = 'T';
  [[maybe_unused]] ssize_t ignored = write(gTerminatePipe[1], &request, 1);
  errno = savedErrno;
}

void InstallSignal(int signal, void (*handler)(int, siginfo_t*, void*)) {
  struct sigaction action {};
  action.sa_sigaction = handler;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

// Runs libunwind once outside any crash, so its lazy set-up is done before it is needed.
void WarmUpUnwinder() {
  unw_context_t context;
  unw_cursor_t cursor;
  if (unw_getcontext(&context) < 0 || unw_init_local(&cursor, &context) < 0) return;
  for (int i = 0; i < 4 && unw_step(&cursor) > 0; ++i) {
  }
}

void OnNewFailure() {
  throw BadAllocation();
}

}  // namespace

// A crash that came through no signal (an uncaught exception, a pure call): the context is taken
// here, in the crashing thread, and the process ends with SIGABRT as it would have without us.
[[noreturn]] __attribute__((noinline)) void CrashWithoutSignal() {
  ucontext_t context;
  getcontext(&context);
  if (EnterCrash()) HandleCrash(SIGABRT, nullptr, &context);
  EndWithSignal(SIGABRT);
  sigset_t abortOnly;
  sigemptyset(&abortOnly);
  sigaddset(&abortOnly, SIGABRT);
  sigprocmask(SIG_UNBLOCK, &abortOnly, nullptr);
  _exit(128 + SIGABRT);
}

uint32_t ProgramFileVersion() {
  return (static_cast<uint32_t>(SONACLIP_VERSION_PATCH & 0xFFFF) << 16) |
         static_cast<uint32_t>(SONACLIP_VERSION_TWEAK & 0xFFFF);
}

void InstallCrashHandlers() {
  // The alternate stack, so a stack overflow can still be handled; every thread started from
  // here on gets one of its own.
  SetUpAltStackForThisThread();
  if (gTerminatePipe[0] < 0 && pipe2(gTerminatePipe, O_CLOEXEC | O_NONBLOCK) != 0)
    gTerminatePipe[0] = gTerminatePipe[1] = -1;

  std::filesystem::path executable;
  if (base::PathService::Get(base::PathService::FILE_EXE, &executable)) {
    const std::string folder = executable.parent_path().string();
    const std::string helper = (executable.parent_path() / kHelperName).string();
    if (folder.size() < sizeof gExeFolder && helper.size() < sizeof gHelperPath) {
      std::strcpy(gExeFolder, folder.c_str());
      std::strcpy(gHelperPath, helper.c_str());
    }
  }
  PrepareCrashDumps(ProgramFileVersion());
  WarmUpUnwinder();

  for (int signal : kCrashSignals) InstallSignal(signal, &OnCrashSignal);
  // The last real-time signal: the C library keeps the first ones for itself.
  gThreadSignal = SIGRTMAX;
  InstallSignal(gThreadSignal, &OnThreadSnapshotRequest);
  struct sigaction terminate {};
  terminate.sa_handler = &OnTerminateRequest;
  terminate.sa_flags = SA_RESTART | SA_ONSTACK;
  sigemptyset(&terminate.sa_mask);
  if (gTerminatePipe[1] >= 0) sigaction(SIGTERM, &terminate, nullptr);

  std::set_terminate([] { CrashWithoutSignal(); });
  std::set_new_handler(&OnNewFailure);
  GiveNewThreadsAltStacks();
}

int TerminateRequestFd() {
  return gTerminatePipe[0];
}

}  // namespace crash

// The runtime calls this for a call of a pure virtual function; ours reports it as a crash.
extern "C" void __cxa_pure_virtual() {
  crash::CrashWithoutSignal();
}
