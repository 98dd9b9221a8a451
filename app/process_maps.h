// ProcessMaps: the crashed process's own memory map, read from /proc/self/maps, and the modules
// (executable and shared libraries) it holds, with their load addresses and GNU build ids.
//
// Built for the crash path: all storage is inside the object (one object is reserved when the
// crash handlers are installed), reading uses only open/read, and the ELF headers are read only
// where the map says memory is readable. One thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace crash {

struct MapRegion {
  uintptr_t start = 0;
  uintptr_t end = 0;
  uint64_t fileOffset = 0;
  bool readable = false;
  bool writable = false;
  bool executable = false;
  const char* path = "";  // inside the map text; "" for anonymous memory
};

struct LoadedModule {
  uintptr_t base = 0;  // where the ELF header is mapped (the mapping at file offset 0)
  uintptr_t end = 0;   // end of the file's last mapping
  const char* path = "";
  unsigned char buildId[32] = {};
  size_t buildIdSize = 0;
};

class ProcessMaps {
 public:
  static constexpr size_t kTextCapacity = 4 << 20;
  static constexpr size_t kMaxRegions = 32768;
  static constexpr size_t kMaxModules = 4096;

  // Reads the current map; false when /proc/self/maps cannot be read.
  bool Read();

  const char* text() const { return textBuffer; }
  size_t textSize() const { return textUsed; }
  const MapRegion* regions() const { return regionTable; }
  size_t regionCount() const { return regionsUsed; }
  const LoadedModule* modules() const { return moduleTable; }
  size_t moduleCount() const { return modulesUsed; }

  const MapRegion* RegionAt(uintptr_t address) const;
  const LoadedModule* ModuleAt(uintptr_t address) const;
  // True when [address, address + size) lies in readable memory.
  bool IsReadable(uintptr_t address, size_t size) const;

 private:
  void FindBuildId(LoadedModule& module) const;

  char textBuffer[kTextCapacity];
  char parsed[kTextCapacity];  // the same text with each line's path NUL-terminated
  size_t textUsed = 0;
  MapRegion regionTable[kMaxRegions];
  size_t regionsUsed = 0;
  LoadedModule moduleTable[kMaxModules];
  size_t modulesUsed = 0;
};

}  // namespace crash
