#include "app/crash_dumper.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#define UNW_LOCAL_ONLY
#include <libunwind.h>
#include <md5.h>

#include <boost/format.hpp>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/minidump_writer.h"
#include "app/process_maps.h"
#include "app/signal_safe.h"
#include "base/path_service.h"
#include "config/profile.h"

namespace crash {
namespace {

constexpr int kMaxFrames = 1048576;
constexpr char kSecondDumpName[] = "errWeb.dmp";

// Filled once by PrepareCrashDumps; read-only afterwards.
struct Prepared {
  bool ready = false;
  char dumpFolder[PATH_MAX] = "";      // ".../TaVio8/", empty when unknown
  char fullDumpSwitch[PATH_MAX] = "";  // ".../TaVio8/CrashLog"
  // The second dump goes into a folder of this user's own inside the temporary folder, which
  // other users share: "<temp>/sonaclip-<uid>/errWeb.dmp"; empty when unknown.
  char secondDumpFolder[PATH_MAX] = "";
  char secondDump[PATH_MAX] = "";
  char namePrefix[64] = "";            // "7680-<file version>-"
  long utcOffset = 0;                  // seconds east of UTC at start-up
};
Prepared gPrepared;

// What the one crash produces; static so nothing is allocated while it is handled.
ProcessMaps gMaps;
char gDumpPath[PATH_MAX];
char gFaultingModule[NAME_MAX + 1];
char gSignature[2 * MD5_DIGEST_LENGTH + 1];

void CopyText(char* out, size_t capacity, const std::string& text) {
  out[0] = '\0';
  if (text.size() + 1 <= capacity) SafeAppend(out, capacity, text.c_str());
}

// Copies memory of this process that may not be mapped; false when it is not.
bool ReadOwnMemory(uintptr_t address, void* out, size_t size) {
  return SafeReadOwnMemory(address, out, size) == size;
}

void AppendLittleEndian(MD5_CTX* md5, uint64_t value) {
  uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  MD5Update(md5, bytes, sizeof bytes);
}

// Walks the stack from the crash context; every frame inside a loaded module adds its offset
// from the module's load address to the signature. Returns how many frames were kept.
int WalkStack(const ExceptionSnapshot& snapshot, MD5_CTX* md5) {
  unw_context_t context;
  static_assert(sizeof(unw_context_t) >= sizeof(ucontext_t));
  std::memcpy(&context, &snapshot.context, sizeof(ucontext_t));
  int flags = snapshot.fromSignal ? UNW_INIT_SIGNAL_FRAME : 0;
  // A call through a null function pointer faults at 0 with its return address on top of the
  // stack: the walk starts from there, in the caller, as if the call had returned.
  if (snapshot.fromSignal && snapshot.ProgramCounter() == 0) {
    uint64_t returnAddress = 0;
    if (!ReadOwnMemory(snapshot.StackPointer(), &returnAddress, sizeof returnAddress)) return 0;
    auto* registers = reinterpret_cast<ucontext_t*>(&context)->uc_mcontext.gregs;
    registers[REG_RIP] = static_cast<greg_t>(returnAddress);
    registers[REG_RSP] += static_cast<greg_t>(sizeof returnAddress);
    flags = 0;  // a return address, looked up in the call before it
  }
  unw_cursor_t cursor;
  if (unw_init_local2(&cursor, &context, flags) < 0) return 0;
  int kept = 0;
  for (int i = 0; i < kMaxFrames; ++i) {
    unw_word_t pc = 0;
    if (unw_get_reg(&cursor, UNW_REG_IP, &pc) < 0 || pc == 0) break;
    if (const LoadedModule* module = gMaps.ModuleAt(pc)) {
      AppendLittleEndian(md5, pc - module->base);
      ++kept;
    }
    if (unw_step(&cursor) <= 0) break;
  }
  return kept;
}

// "YYYY-MM-DD_HH_MM_SS" of the local time, from the offset read at start-up (localtime is not
// safe in a crashed process).
void AppendTimeText(char* out, size_t capacity, time_t now) {
  int64_t seconds = static_cast<int64_t>(now) + gPrepared.utcOffset;
  int64_t days = seconds / 86400;
  int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from days since 1970-01-01 (Howard Hinnant's algorithm).
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  SafeAppendDecimal(out, capacity, static_cast<uint64_t>(year), 4);
  SafeAppend(out, capacity, "-");
  SafeAppendDecimal(out, capacity, static_cast<uint64_t>(month), 2);
  SafeAppend(out, capacity, "-");
  SafeAppendDecimal(out, capacity, static_cast<uint64_t>(day), 2);
  SafeAppend(out, capacity, "_");
  SafeAppendDecimal(out, capacity, static_cast<uint64_t>(rest / 3600), 2);
  SafeAppend(out, capacity, "_");
  SafeAppendDecimal(out, capacity, static_cast<uint64_t>(rest / 60 % 60), 2);
  SafeAppend(out, capacity, "_");
  SafeAppendDecimal(out, capacity, static_cast<uint64_t>(rest % 60), 2);
}

// Writes one dump into the open file `fd` and closes it. True when the file has content.
bool WriteDumpInto(int fd, const ExceptionSnapshot& snapshot, MinidumpWriter::Kind kind,
                   uint32_t timeStamp) {
  MinidumpWriter writer(&snapshot, &gMaps);
  writer.Write(fd, kind, timeStamp);
  struct stat written {};
  const bool empty = ::fstat(fd, &written) != 0 || written.st_size == 0;
  ::close(fd);
  return !empty;
}

// Writes one dump file; an empty one is removed again. True when a file with content remains.
bool WriteDumpFile(const char* path, const ExceptionSnapshot& snapshot, MinidumpWriter::Kind kind,
                   uint32_t timeStamp) {
  const int fd = ::open(path, O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (WriteDumpInto(fd, snapshot, kind, timeStamp)) return true;
  ::unlink(path);
  return false;
}

// The second dump, in the shared temporary folder: only inside a real folder of this user that
// nobody else may enter, and only as a new file, so a link or a file planted by another user is
// never written through.
bool WriteSecondDump(const ExceptionSnapshot& snapshot, uint32_t timeStamp) {
  ::mkdir(gPrepared.secondDumpFolder, 0700);
  const int folder =
      ::open(gPrepared.secondDumpFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return false;
  struct stat info {};
  const bool own = ::fstat(folder, &info) == 0 && S_ISDIR(info.st_mode) &&
                   info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
  bool written = false;
  if (own) {
    ::unlinkat(folder, kSecondDumpName, 0);  // the dump of an older crash
    const int fd = ::openat(folder, kSecondDumpName,
                            O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      written = WriteDumpInto(fd, snapshot, MinidumpWriter::kNormal, timeStamp);
      if (!written) ::unlinkat(folder, kSecondDumpName, 0);
    }
  }
  ::close(folder);
  return written;
}

bool IsFolder(const char* path) {
  struct stat info {};
  return path[0] && ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

void LowerCaseBaseName(const char* path, char* out, size_t capacity) {
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/') name = p + 1;
  size_t n = 0;
  for (; name[n] && n + 1 < capacity; ++n)
    out[n] = name[n] >= 'A' && name[n] <= 'Z' ? static_cast<char>(name[n] - 'A' + 'a') : name[n];
  out[n] = '\0';
}

}  // namespace

void PrepareCrashDumps(uint32_t fileVersion) {
  const std::filesystem::path dumpFolder = config::CrashDataFolder();
  if (!dumpFolder.empty()) {
    CopyText(gPrepared.dumpFolder, sizeof gPrepared.dumpFolder, (dumpFolder / "").string());
    CopyText(gPrepared.fullDumpSwitch, sizeof gPrepared.fullDumpSwitch,
             (dumpFolder / "CrashLog").string());
  }
  std::filesystem::path temp;
  if (base::PathService::Get(base::PathService::DIR_TEMP, &temp)) {
    const std::filesystem::path folder = temp / ("sonaclip-" + std::to_string(::geteuid()));
    CopyText(gPrepared.secondDumpFolder, sizeof gPrepared.secondDumpFolder, folder.string());
    CopyText(gPrepared.secondDump, sizeof gPrepared.secondDump,
             (folder / kSecondDumpName).string());
  }
  CopyText(gPrepared.namePrefix, sizeof gPrepared.namePrefix,
           (boost::format("%d-%d-") % config::kCrashProductId % fileVersion).str());
  const time_t now = ::time(nullptr);
  struct tm local {};
  if (::localtime_r(&now, &local)) gPrepared.utcOffset = local.tm_gmtoff;
  gPrepared.ready = true;
}

CrashDumper::CrashDumper(const ExceptionSnapshot* snapshot, NoticeCallback notice)
    : snapshot(snapshot), notice(notice) {}

bool CrashDumper::WriteAndReport() {
  if (!snapshot || !gPrepared.ready) return false;
  const ExceptionSnapshot& snapshot = *this->snapshot;
  if (!gMaps.Read()) return false;

  MD5_CTX md5;
  MD5Init(&md5);
  if (WalkStack(snapshot, &md5) == 0) return false;
  const uintptr_t crashAddress = snapshot.ProgramCounter();
  const LoadedModule* crashModule = gMaps.ModuleAt(crashAddress);
  AppendLittleEndian(&md5, crashModule ? crashAddress - crashModule->base : crashAddress);
  uint8_t digest[MD5_DIGEST_LENGTH];
  MD5Final(digest, &md5);
  SafeHex(digest, sizeof digest, gSignature);

  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  gDumpPath[0] = '\0';
  SafeAppend(gDumpPath, sizeof gDumpPath, gPrepared.dumpFolder);
  SafeAppend(gDumpPath, sizeof gDumpPath, gPrepared.namePrefix);
  SafeAppend(gDumpPath, sizeof gDumpPath, gSignature);
  SafeAppend(gDumpPath, sizeof gDumpPath, "-");
  AppendTimeText(gDumpPath, sizeof gDumpPath, now.tv_sec);
  SafeAppend(gDumpPath, sizeof gDumpPath, ".dmp");

  // Without the crash data folder there is no dump; the folder is never created here.
  const bool fullMemory = IsFolder(gPrepared.fullDumpSwitch);
  const auto timeStamp = static_cast<uint32_t>(now.tv_sec);
  if (gPrepared.dumpFolder[0])
    WriteDumpFile(gDumpPath, snapshot,
                  fullMemory ? MinidumpWriter::kFullMemory : MinidumpWriter::kNormal, timeStamp);
  if (fullMemory && gPrepared.secondDump[0] && WriteSecondDump(snapshot, timeStamp)) {
    gDumpPath[0] = '\0';
    SafeAppend(gDumpPath, sizeof gDumpPath, gPrepared.secondDump);
  }

  gFaultingModule[0] = '\0';
  if (crashModule) LowerCaseBaseName(crashModule->path, gFaultingModule, sizeof gFaultingModule);

  if (notice) notice(CrashReport{gDumpPath, gFaultingModule, gSignature});
  return true;
}

}  // namespace crash
