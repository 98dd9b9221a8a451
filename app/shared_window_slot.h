// SharedWindowSlot: the 4-byte hand-off record in named shared memory through which later starts
// of the program find the running instance's main window.
//
// Offset 0 holds the main window's handle as a 32-bit little-endian value, 0 meaning "no window
// published". The block is a file mapped shared in the user session's runtime folder (a tmpfs,
// so memory as POSIX shared memory is), which gives one block per session as the logon session's
// local namespace does. The running instance creates it before its window exists, starts it at 0
// (whatever a killed instance left there is stale), writes the handle once, and removes the name
// when its holder is destroyed at exit, so a stale handle does not outlive the instance that
// published it. Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// The record the module owns: the mapping's descriptor and the mapped view; either may be
// missing. Destroying it unmaps the view and closes the descriptor.
class SharedWindowSlotHolder {
 public:
  SharedWindowSlotHolder() = default;
  ~SharedWindowSlotHolder();
  SharedWindowSlotHolder(const SharedWindowSlotHolder&) = delete;
  SharedWindowSlotHolder& operator=(const SharedWindowSlotHolder&) = delete;

  int mapping = -1;         // the mapped file's descriptor, -1 when none
  void* view = nullptr;     // 4 mapped bytes, null when not mapped
  std::string unlinkName;   // set when this holder removes the name at destruction
};

class SharedWindowSlot {
 public:
  static constexpr std::size_t kSize = 4;

  // "TaVioSonaclipMapFileName" in the session's runtime folder; empty when there is none.
  static std::string DefaultName();

  // Opens the block at path `name`, creating it (zero-filled) when it does not exist yet. Never
  // null: on failure the holder keeps a missing descriptor or view, and Publish/Read do nothing.
  // `removeAtExit`: the running instance owns the name: it clears the record now and removes the
  // name when the holder dies.
  static std::unique_ptr<SharedWindowSlotHolder> Create(const std::string& name, bool removeAtExit);

  // Writes the window handle (low 32 bits) if the view exists. Returns whether it was written.
  static bool Publish(SharedWindowSlotHolder* holder, std::uint32_t windowHandle);
  // The published handle, or 0 when there is none or no view.
  static std::uint32_t Read(const SharedWindowSlotHolder* holder);
};
