#include "app/minidump_writer.h"

#include <errno.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstring>

#include "app/signal_safe.h"

namespace crash {
namespace {

// Stream types of the format, and the Linux ones Breakpad added and LLDB reads.
constexpr uint32_t kThreadListStream = 3;
constexpr uint32_t kModuleListStream = 4;
constexpr uint32_t kMemoryListStream = 5;
constexpr uint32_t kExceptionStream = 6;
constexpr uint32_t kSystemInfoStream = 7;
constexpr uint32_t kMemory64ListStream = 9;
constexpr uint32_t kMiscInfoStream = 15;
constexpr uint32_t kLinuxMapsStream = 0x47670009;

constexpr uint32_t kSignature = 0x504D444D;  // "MDMP"
constexpr uint32_t kVersion = 0xA793;
constexpr uint16_t kArchitectureAmd64 = 9;
constexpr uint32_t kPlatformLinux = 0x8201;
constexpr uint32_t kCvSignatureElfBuildId = 0x4270454C;  // "BpEL"
constexpr uint32_t kContextAmd64 = 0x00100000;
constexpr uint32_t kContextControl = 0x1, kContextInteger = 0x2, kContextSegments = 0x4,
                   kContextFloatingPoint = 0x8;

constexpr size_t kHeaderSize = 32;
constexpr size_t kDirectoryEntrySize = 12;
constexpr size_t kContextSize = 1232;
constexpr size_t kThreadSize = 48;
constexpr size_t kModuleSize = 108;
constexpr size_t kExceptionStreamSize = 168;
constexpr size_t kSystemInfoSize = 56;
constexpr size_t kMiscInfoSize = 24;
constexpr size_t kStackRedZone = 128;

// Per-module places in the file; one crash is written at a time.
uint32_t gModuleNameRva[ProcessMaps::kMaxModules];
uint32_t gModuleCvRva[ProcessMaps::kMaxModules];
uint32_t gModuleCvSize[ProcessMaps::kMaxModules];
// Per-thread places in the file, the crashed thread first.
struct ThreadPlace {
  uint32_t contextRva;
  uint32_t stackRva;  // 0: no stack memory
  uintptr_t stackStart;
  size_t stackSize;
};
ThreadPlace gThreadPlaces[1 + ExceptionSnapshot::kMaxOtherThreads];
ThreadState gCrashedThread;  // the snapshot's own registers, in the shape of the other threads
// Scratch for names converted to UTF-16 and for the full dump's range list.
char16_t gName[4096 + 8];
unsigned char gCopy[64 * 1024];

template <typename T>
void Put(unsigned char* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

// The AMD64 CONTEXT record: segment, control, integer and floating-point registers.
void BuildContext(const ThreadState& thread, unsigned char* out) {
  std::memset(out, 0, kContextSize);
  const greg_t* g = thread.context.uc_mcontext.gregs;
  Put<uint32_t>(out + 48, kContextAmd64 | kContextControl | kContextInteger | kContextSegments |
                              (thread.hasFpState ? kContextFloatingPoint : 0));
  const uint64_t csgsfs = static_cast<uint64_t>(g[REG_CSGSFS]);
  Put<uint16_t>(out + 56, static_cast<uint16_t>(csgsfs));        // cs
  Put<uint16_t>(out + 64, static_cast<uint16_t>(csgsfs >> 16));  // gs
  Put<uint16_t>(out + 62, static_cast<uint16_t>(csgsfs >> 32));  // fs
  Put<uint16_t>(out + 66, static_cast<uint16_t>(csgsfs >> 48));  // ss
  Put<uint32_t>(out + 68, static_cast<uint32_t>(g[REG_EFL]));
  const int order[] = {REG_RAX, REG_RCX, REG_RDX, REG_RBX, REG_RSP, REG_RBP, REG_RSI, REG_RDI,
                       REG_R8,  REG_R9,  REG_R10, REG_R11, REG_R12, REG_R13, REG_R14, REG_R15};
  for (int i = 0; i < 16; ++i) Put<uint64_t>(out + 120 + 8 * i, static_cast<uint64_t>(g[order[i]]));
  Put<uint64_t>(out + 248, static_cast<uint64_t>(g[REG_RIP]));
  if (thread.hasFpState) {
    std::memcpy(out + 256, thread.fpState, 512);
    uint32_t mxcsr;
    std::memcpy(&mxcsr, thread.fpState + 24, sizeof mxcsr);
    Put<uint32_t>(out + 52, mxcsr);
  }
}

// UTF-8 to UTF-16 for module names, into gName; returns the number of code units.
size_t ToUtf16(const char* text) {
  size_t n = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const size_t limit = sizeof gName / sizeof gName[0] - 8;
  while (*p && n < limit) {
    uint32_t c = *p++;
    int more = 0;
    if (c >= 0xF0) {
      c &= 0x07;
      more = 3;
    } else if (c >= 0xE0) {
      c &= 0x0F;
      more = 2;
    } else if (c >= 0xC0) {
      c &= 0x1F;
      more = 1;
    } else if (c >= 0x80) {
      c = 0xFFFD;
    }
    for (; more > 0 && (*p & 0xC0) == 0x80; --more) c = (c << 6) | (*p++ & 0x3F);
    if (more > 0) c = 0xFFFD;
    if (c >= 0x10000) {
      c -= 0x10000;
      gName[n++] = static_cast<char16_t>(0xD800 + (c >> 10));
      gName[n++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      gName[n++] = static_cast<char16_t>(c);
    }
  }
  return n;
}

// The part of a thread's stack a dump keeps: from just below the stack pointer (the red zone)
// up to the end of its mapping, at most kMaxStackBytes. A stack that overflowed has its pointer
// in the guard page below it: the stack then starts right above that page.
bool StackRange(const ThreadState& thread, const ProcessMaps& maps, uintptr_t* start,
                size_t* size) {
  const uintptr_t sp = static_cast<uintptr_t>(thread.context.uc_mcontext.gregs[REG_RSP]);
  const MapRegion* region = maps.RegionAt(sp);
  if (region && !region->readable) region = maps.RegionAt(region->end);
  if (!region || !region->readable) return false;
  *start = sp - kStackRedZone >= region->start ? sp - kStackRedZone : region->start;
  const uintptr_t end = region->end - *start > MinidumpWriter::kMaxStackBytes
                            ? *start + MinidumpWriter::kMaxStackBytes
                            : region->end;
  *size = end - *start;
  return true;
}

bool InFullDump(const MapRegion& region) {
  if (!region.readable) return false;
  if (region.end - region.start > MinidumpWriter::kMaxFullRegionBytes) return false;
  // [vvar] and [vsyscall] are the kernel's, not the process's memory.
  return !SafeEqual(region.path, "[vvar]") && !SafeEqual(region.path, "[vsyscall]");
}

}  // namespace

MinidumpWriter::MinidumpWriter(const ExceptionSnapshot* snapshot, const ProcessMaps* maps)
    : snapshot(snapshot), maps(maps) {}

bool MinidumpWriter::Append(const void* data, size_t size) {
  if (failed) return false;
  if (!SafeWriteAll(fd, data, size)) failed = true;
  offset += size;
  return !failed;
}

// Memory of this process, copied page by page through process_vm_readv, which reports an
// unreadable page (a file mapping past its end, a page gone meanwhile) as an error where reading
// it would fault again; such a page is written as zeros, so the layout holds. A page of zeros
// becomes a hole in the file, which keeps full dumps of mostly untouched memory small.
bool MinidumpWriter::AppendMemory(uintptr_t address, size_t size) {
  constexpr size_t kPage = 4096;
  while (size > 0 && !failed) {
    const size_t chunk = size < sizeof gCopy ? size : sizeof gCopy;
    // What could not be read, up to the end of that page, reads as zeros.
    const size_t usable = SafeReadOwnMemory(address, gCopy, chunk);
    size_t filled = usable;
    if (filled < chunk) {
      const size_t pageEnd = ((address + filled) / kPage + 1) * kPage - address;
      filled = pageEnd < chunk ? pageEnd : chunk;
      std::memset(gCopy + usable, 0, filled - usable);
    }
    for (size_t at = 0; at < filled && !failed;) {
      const size_t pageEnd = ((address + at) / kPage + 1) * kPage - address;
      const size_t piece = (pageEnd < filled ? pageEnd : filled) - at;
      bool zeros = true;
      for (size_t i = 0; i < piece && zeros; ++i) zeros = gCopy[at + i] == 0;
      if (zeros) {
        if (lseek(fd, static_cast<off_t>(piece), SEEK_CUR) < 0) failed = true;
        offset += piece;
      } else {
        Append(gCopy + at, piece);
      }
      at += piece;
    }
    address += filled;
    size -= filled;
  }
  return !failed;
}

bool MinidumpWriter::Align() {
  static const unsigned char kPad[8] = {};
  const size_t pad = (8 - offset % 8) % 8;
  return pad == 0 || Append(kPad, pad);
}

bool MinidumpWriter::AddStream(uint32_t type, uint32_t rva, uint32_t size) {
  if (streamCount == kMaxStreams) return false;
  streams[streamCount++] = Directory{type, size, rva};
  return true;
}

bool MinidumpWriter::Write(int fd, Kind kind, uint32_t timeStamp) {
  this->fd = fd;
  failed = false;
  streamCount = 0;
  offset = 0;
  const ExceptionSnapshot& snapshot = *this->snapshot;
  const ProcessMaps& maps = *this->maps;
  gCrashedThread.threadId = snapshot.threadId;
  std::memcpy(&gCrashedThread.context, &snapshot.context, sizeof snapshot.context);
  std::memcpy(gCrashedThread.fpState, snapshot.fpState, sizeof snapshot.fpState);
  gCrashedThread.hasFpState = snapshot.hasFpState;

  // Header and directory are written last, over this reserved space.
  static unsigned char reserved[kHeaderSize + kMaxStreams * kDirectoryEntrySize];
  Append(reserved, sizeof reserved);

  // System information, with the kernel's name and release as the "service pack" text.
  struct utsname system;
  const bool haveUname = uname(&system) == 0;
  Align();
  const uint32_t csdRva = static_cast<uint32_t>(offset);
  {
    char csd[sizeof system.sysname + sizeof system.release + sizeof system.version + 4] = "";
    if (haveUname) {
      SafeAppend(csd, sizeof csd, system.sysname);
      SafeAppend(csd, sizeof csd, " ");
      SafeAppend(csd, sizeof csd, system.release);
      SafeAppend(csd, sizeof csd, " ");
      SafeAppend(csd, sizeof csd, system.version);
    }
    const size_t units = ToUtf16(csd);
    const uint32_t bytes = static_cast<uint32_t>(units * 2);
    Append(&bytes, 4);
    gName[units] = 0;
    Append(gName, bytes + 2);
  }
  Align();
  {
    unsigned char info[kSystemInfoSize] = {};
    Put<uint16_t>(info + 0, kArchitectureAmd64);
    const long processors = sysconf(_SC_NPROCESSORS_ONLN);
    info[6] = static_cast<unsigned char>(processors > 0 && processors < 256 ? processors : 1);
    info[7] = 1;  // a workstation
    Put<uint32_t>(info + 20, kPlatformLinux);
    Put<uint32_t>(info + 24, csdRva);
    AddStream(kSystemInfoStream, static_cast<uint32_t>(offset), kSystemInfoSize);
    Append(info, sizeof info);
  }
  {
    unsigned char misc[kMiscInfoSize] = {};
    Put<uint32_t>(misc + 0, kMiscInfoSize);
    Put<uint32_t>(misc + 4, 1);  // the process id is valid
    Put<uint32_t>(misc + 8, static_cast<uint32_t>(getpid()));
    AddStream(kMiscInfoStream, static_cast<uint32_t>(offset), kMiscInfoSize);
    Append(misc, sizeof misc);
  }

  // The threads, the crashed one first: registers, then stack, for each.
  const size_t threadCount = 1 + snapshot.otherThreadCount;
  uint32_t contextRva = 0;
  size_t stackCount = 0;
  for (size_t t = 0; t < threadCount; ++t) {
    const ThreadState& thread = t == 0 ? gCrashedThread : snapshot.otherThreads[t - 1];
    ThreadPlace& place = gThreadPlaces[t];
    Align();
    place.contextRva = static_cast<uint32_t>(offset);
    if (t == 0) contextRva = place.contextRva;
    unsigned char context[kContextSize];
    BuildContext(thread, context);
    Append(context, sizeof context);
    place.stackStart = 0;
    place.stackSize = 0;
    place.stackRva = 0;
    if (StackRange(thread, maps, &place.stackStart, &place.stackSize)) {
      Align();
      place.stackRva = static_cast<uint32_t>(offset);
      AppendMemory(place.stackStart, place.stackSize);
      ++stackCount;
    }
  }

  Align();
  {
    const uint32_t count = static_cast<uint32_t>(threadCount);
    AddStream(kThreadListStream, static_cast<uint32_t>(offset),
              static_cast<uint32_t>(4 + threadCount * kThreadSize));
    Append(&count, 4);
    for (size_t t = 0; t < threadCount; ++t) {
      const ThreadPlace& place = gThreadPlaces[t];
      unsigned char thread[kThreadSize] = {};
      const pid_t id = t == 0 ? snapshot.threadId : snapshot.otherThreads[t - 1].threadId;
      Put<uint32_t>(thread + 0, static_cast<uint32_t>(id));
      Put<uint64_t>(thread + 24, place.stackStart);
      Put<uint32_t>(thread + 32, static_cast<uint32_t>(place.stackSize));
      Put<uint32_t>(thread + 36, place.stackRva);
      Put<uint32_t>(thread + 40, kContextSize);
      Put<uint32_t>(thread + 44, place.contextRva);
      Append(thread, sizeof thread);
    }
  }
  {
    const uint32_t count = static_cast<uint32_t>(stackCount);
    AddStream(kMemoryListStream, static_cast<uint32_t>(offset),
              static_cast<uint32_t>(4 + stackCount * 16));
    Append(&count, 4);
    for (size_t t = 0; t < threadCount; ++t) {
      const ThreadPlace& place = gThreadPlaces[t];
      if (place.stackRva == 0) continue;
      unsigned char range[16] = {};
      Put<uint64_t>(range + 0, place.stackStart);
      Put<uint32_t>(range + 8, static_cast<uint32_t>(place.stackSize));
      Put<uint32_t>(range + 12, place.stackRva);
      Append(range, sizeof range);
    }
  }

  // Module names and build ids, then the module list that points at them.
  const size_t moduleCount = maps.moduleCount();
  for (size_t m = 0; m < moduleCount; ++m) {
    const LoadedModule& module = maps.modules()[m];
    Align();
    gModuleNameRva[m] = static_cast<uint32_t>(offset);
    const size_t units = ToUtf16(module.path);
    const uint32_t bytes = static_cast<uint32_t>(units * 2);
    gName[units] = 0;
    Append(&bytes, 4);
    Append(gName, bytes + 2);
    gModuleCvRva[m] = 0;
    gModuleCvSize[m] = 0;
    if (module.buildIdSize > 0) {
      Align();
      gModuleCvRva[m] = static_cast<uint32_t>(offset);
      gModuleCvSize[m] = static_cast<uint32_t>(4 + module.buildIdSize);
      Append(&kCvSignatureElfBuildId, 4);
      Append(module.buildId, module.buildIdSize);
    }
  }
  Align();
  {
    const uint32_t count = static_cast<uint32_t>(moduleCount);
    AddStream(kModuleListStream, static_cast<uint32_t>(offset),
              static_cast<uint32_t>(4 + moduleCount * kModuleSize));
    Append(&count, 4);
    for (size_t m = 0; m < moduleCount; ++m) {
      const LoadedModule& module = maps.modules()[m];
      unsigned char entry[kModuleSize] = {};
      Put<uint64_t>(entry + 0, module.base);
      Put<uint32_t>(entry + 8, static_cast<uint32_t>(module.end - module.base));
      Put<uint32_t>(entry + 20, gModuleNameRva[m]);
      Put<uint32_t>(entry + 24, 0xFEEF04BD);  // the version block's signature; no version known
      Put<uint32_t>(entry + 76, gModuleCvSize[m]);
      Put<uint32_t>(entry + 80, gModuleCvRva[m]);
      Append(entry, sizeof entry);
    }
  }

  Align();
  {
    unsigned char exception[kExceptionStreamSize] = {};
    Put<uint32_t>(exception + 0, static_cast<uint32_t>(snapshot.threadId));
    Put<uint32_t>(exception + 8, static_cast<uint32_t>(snapshot.signal));
    Put<uint32_t>(exception + 12, static_cast<uint32_t>(snapshot.signalCode));
    Put<uint64_t>(exception + 24, snapshot.faultAddress);
    Put<uint32_t>(exception + 160, kContextSize);
    Put<uint32_t>(exception + 164, contextRva);
    AddStream(kExceptionStream, static_cast<uint32_t>(offset), sizeof exception);
    Append(exception, sizeof exception);
  }

  AddStream(kLinuxMapsStream, static_cast<uint32_t>(offset), static_cast<uint32_t>(maps.textSize()));
  Append(maps.text(), maps.textSize());

  if (kind == kFullMemory) {
    Align();
    uint64_t count = 0;
    for (size_t i = 0; i < maps.regionCount(); ++i) count += InFullDump(maps.regions()[i]) ? 1 : 0;
    const uint64_t listRva = offset;
    const uint64_t dataRva = listRva + 16 + count * 16;
    AddStream(kMemory64ListStream, static_cast<uint32_t>(listRva), static_cast<uint32_t>(16 + count * 16));
    Append(&count, 8);
    Append(&dataRva, 8);
    for (size_t i = 0; i < maps.regionCount(); ++i) {
      const MapRegion& region = maps.regions()[i];
      if (!InFullDump(region)) continue;
      const uint64_t range[2] = {region.start, region.end - region.start};
      Append(range, sizeof range);
    }
    for (size_t i = 0; i < maps.regionCount(); ++i) {
      const MapRegion& region = maps.regions()[i];
      if (InFullDump(region)) AppendMemory(region.start, region.end - region.start);
    }
  }

  // The header and the directory, at the start of the file.
  unsigned char head[sizeof reserved] = {};
  Put<uint32_t>(head + 0, kSignature);
  Put<uint32_t>(head + 4, kVersion);
  Put<uint32_t>(head + 8, static_cast<uint32_t>(streamCount));
  Put<uint32_t>(head + 12, kHeaderSize);
  Put<uint32_t>(head + 20, timeStamp);
  Put<uint64_t>(head + 24, static_cast<uint64_t>(kind));
  for (int i = 0; i < streamCount; ++i) {
    unsigned char* entry = head + kHeaderSize + i * kDirectoryEntrySize;
    Put<uint32_t>(entry + 0, streams[i].type);
    Put<uint32_t>(entry + 4, streams[i].size);
    Put<uint32_t>(entry + 8, streams[i].rva);
  }
  // Holes at the end would otherwise leave the file short of its last zero pages.
  if (!failed && ftruncate(this->fd, static_cast<off_t>(offset)) != 0) failed = true;
  if (!failed && pwrite(this->fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head)) failed = true;
  return !failed;
}

}  // namespace crash
