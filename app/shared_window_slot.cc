#include "app/shared_window_slot.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "platform/session_runtime_dir.h"

SharedWindowSlotHolder::~SharedWindowSlotHolder() {
  if (view)
    munmap(view, SharedWindowSlot::kSize);
  if (mapping >= 0)
    close(mapping);
  if (!unlinkName.empty())
    unlink(unlinkName.c_str());
}

std::string SharedWindowSlot::DefaultName() {
  const std::filesystem::path folder = platform::SessionRuntimeDir();
  return folder.empty() ? std::string() : (folder / "TaVioSonaclipMapFileName").string();
}

std::unique_ptr<SharedWindowSlotHolder> SharedWindowSlot::Create(const std::string& name,
                                                                 bool removeAtExit) {
  auto holder = std::make_unique<SharedWindowSlotHolder>();
  if (name.empty())
    return holder;
  holder->mapping = open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (holder->mapping < 0)
    return holder;
  if (removeAtExit)
    holder->unlinkName = name;

  // A block made by another start already has its size; growing a fresh one zero-fills it, which
  // reads as "no window published".
  struct stat info {};
  if (fstat(holder->mapping, &info) != 0)
    return holder;
  if (info.st_size < static_cast<off_t>(kSize) && ftruncate(holder->mapping, kSize) != 0)
    return holder;

  void* view = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_SHARED, holder->mapping, 0);
  if (view == MAP_FAILED)
    return holder;
  holder->view = view;
  if (removeAtExit)
    Publish(holder.get(), 0);
  return holder;
}

bool SharedWindowSlot::Publish(SharedWindowSlotHolder* holder, std::uint32_t windowHandle) {
  if (!holder || !holder->view)
    return false;
  const unsigned char bytes[kSize] = {
      static_cast<unsigned char>(windowHandle), static_cast<unsigned char>(windowHandle >> 8),
      static_cast<unsigned char>(windowHandle >> 16), static_cast<unsigned char>(windowHandle >> 24)};
  std::memcpy(holder->view, bytes, kSize);
  return true;
}

std::uint32_t SharedWindowSlot::Read(const SharedWindowSlotHolder* holder) {
  if (!holder || !holder->view)
    return 0;
  unsigned char bytes[kSize];
  std::memcpy(bytes, holder->view, kSize);
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}
