#include "windows/ring_web_plugin.h"

#include <dlfcn.h>

#include <map>

#include "base/path_service.h"

namespace ringweb {

CreateViewFunction LoadPlugin(const std::filesystem::path& library) {
  // Only a plug-in that loaded is remembered: one installed while the program runs is found on
  // the next try.
  static std::map<std::filesystem::path, CreateViewFunction> loaded;
  if (const auto known = loaded.find(library); known != loaded.end()) return known->second;
  // RTLD_LOCAL: the engine's symbols stay the plug-in's. Never closed, as the other plug-ins.
  void* module = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) return nullptr;
  const auto create = reinterpret_cast<CreateViewFunction>(dlsym(module, kCreateViewExport));
  if (create) loaded.emplace(library, create);
  return create;
}

std::filesystem::path PluginPath() {
  std::filesystem::path folder;
  base::PathService::Get(base::PathService::DIR_EXE, &folder);
  return folder / kLibraryName;
}

}  // namespace ringweb
