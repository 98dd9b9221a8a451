#include "app/process_maps.h"

#include <elf.h>

#include <cstring>

#include "app/signal_safe.h"

namespace crash {
namespace {

const char* SkipSpaces(const char* p) {
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

const char* SkipField(const char* p) {
  while (*p && *p != ' ' && *p != '\n') ++p;
  return SkipSpaces(p);
}

}  // namespace

bool ProcessMaps::Read() {
  regionsUsed = 0;
  modulesUsed = 0;
  textUsed = SafeReadFile("/proc/self/maps", textBuffer, kTextCapacity);
  if (textUsed == 0) return false;
  std::memcpy(parsed, textBuffer, textUsed + 1);

  // "start-end perms offset dev inode   path"
  char* line = parsed;
  while (*line && regionsUsed < kMaxRegions) {
    char* next = line;
    while (*next && *next != '\n') ++next;
    const bool last = *next == '\0';
    *next = '\0';

    const char* p = line;
    MapRegion& region = regionTable[regionsUsed];
    region.start = SafeParseHex(&p);
    if (*p == '-') ++p;
    region.end = SafeParseHex(&p);
    p = SkipSpaces(p);
    region.readable = p[0] == 'r';
    region.writable = p[0] && p[1] == 'w';
    region.executable = p[0] && p[1] && p[2] == 'x';
    p = SkipField(p);
    region.fileOffset = SafeParseHex(&p);
    p = SkipSpaces(p);
    p = SkipField(p);  // device
    p = SkipField(p);  // inode
    region.path = p;
    if (region.end > region.start) ++regionsUsed;

    line = last ? next : next + 1;
  }

  // A module starts at the mapping of its file's offset 0 and spans the file's later mappings.
  for (size_t i = 0; i < regionsUsed; ++i) {
    const MapRegion& region = regionTable[i];
    if (region.path[0] != '/') continue;
    if (region.fileOffset == 0) {
      if (modulesUsed == kMaxModules) break;
      LoadedModule& module = moduleTable[modulesUsed++];
      module = LoadedModule{};
      module.base = region.start;
      module.end = region.end;
      module.path = region.path;
      continue;
    }
    for (size_t m = modulesUsed; m-- > 0;) {
      if (SafeEqual(moduleTable[m].path, region.path)) {
        if (region.end > moduleTable[m].end) moduleTable[m].end = region.end;
        break;
      }
    }
  }
  for (size_t m = 0; m < modulesUsed; ++m) FindBuildId(moduleTable[m]);
  return true;
}

const MapRegion* ProcessMaps::RegionAt(uintptr_t address) const {
  for (size_t i = 0; i < regionsUsed; ++i)
    if (regionTable[i].start <= address && address < regionTable[i].end) return &regionTable[i];
  return nullptr;
}

const LoadedModule* ProcessMaps::ModuleAt(uintptr_t address) const {
  // Only the module's own file mappings count; a gap between them may hold something else.
  const MapRegion* region = RegionAt(address);
  if (!region || region->path[0] != '/') return nullptr;
  for (size_t m = 0; m < modulesUsed; ++m) {
    const LoadedModule& module = moduleTable[m];
    if (module.base <= address && address < module.end && SafeEqual(module.path, region->path))
      return &module;
  }
  return nullptr;
}

bool ProcessMaps::IsReadable(uintptr_t address, size_t size) const {
  while (size > 0) {
    const MapRegion* region = RegionAt(address);
    if (!region || !region->readable) return false;
    const uintptr_t available = region->end - address;
    if (available >= size) return true;
    address += available;
    size -= available;
  }
  return true;
}

void ProcessMaps::FindBuildId(LoadedModule& module) const {
  if (!IsReadable(module.base, sizeof(Elf64_Ehdr))) return;
  const auto* header = reinterpret_cast<const Elf64_Ehdr*>(module.base);
  if (std::memcmp(header->e_ident, ELFMAG, SELFMAG) != 0 || header->e_ident[EI_CLASS] != ELFCLASS64)
    return;
  const uintptr_t phdrs = module.base + header->e_phoff;
  if (header->e_phentsize != sizeof(Elf64_Phdr) ||
      !IsReadable(phdrs, sizeof(Elf64_Phdr) * header->e_phnum))
    return;
  const auto* programHeaders = reinterpret_cast<const Elf64_Phdr*>(phdrs);

  // The load bias: where the segment at file offset 0 was meant to be versus where it is.
  uintptr_t bias = module.base;
  for (int i = 0; i < header->e_phnum; ++i) {
    if (programHeaders[i].p_type == PT_LOAD && programHeaders[i].p_offset == 0) {
      bias = module.base - programHeaders[i].p_vaddr;
      break;
    }
  }
  for (int i = 0; i < header->e_phnum; ++i) {
    const Elf64_Phdr& note = programHeaders[i];
    if (note.p_type != PT_NOTE) continue;
    uintptr_t at = bias + note.p_vaddr;
    const uintptr_t end = at + note.p_memsz;
    if (!IsReadable(at, note.p_memsz)) continue;
    while (at + sizeof(Elf64_Nhdr) <= end) {
      const auto* entry = reinterpret_cast<const Elf64_Nhdr*>(at);
      const uintptr_t name = at + sizeof(Elf64_Nhdr);
      const uintptr_t desc = name + ((entry->n_namesz + 3) & ~3u);
      const uintptr_t next = desc + ((entry->n_descsz + 3) & ~3u);
      if (next > end) break;
      if (entry->n_type == NT_GNU_BUILD_ID && entry->n_namesz == 4 &&
          std::memcmp(reinterpret_cast<const char*>(name), "GNU", 4) == 0 &&
          entry->n_descsz <= sizeof(module.buildId)) {
        std::memcpy(module.buildId, reinterpret_cast<const void*>(desc), entry->n_descsz);
        module.buildIdSize = entry->n_descsz;
        return;
      }
      at = next;
    }
  }
}

}  // namespace crash
