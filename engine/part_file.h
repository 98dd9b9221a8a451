// PartFile is where a ring is written before it is known to be complete. Where the file system
// allows it, it is an unnamed file in the ring's folder (O_TMPFILE): nothing of an unfinished ring
// can outlive the process, not even after a crash, and it gets a name only by Commit. Elsewhere it
// is a hidden file beside the ring, removed by Discard. Commit renames the finished file over the
// ring in one step, so a file the user already had is replaced only by a complete ring.
//
// Owned by the cut job: created on the UI thread, committed by the worker that finished the ring,
// discarded on the UI thread after the worker has stopped; never used by two threads at once. The
// encoder opens WritePath() itself between Create and Commit or Discard.
#pragma once

#include <filesystem>

class PartFile {
 public:
  enum class Kind { kUnnamed, kHidden };

  PartFile() = default;
  ~PartFile();  // discards what was not committed
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;
  // Takes over another part file (a second version of the same ring); the one this held is
  // discarded.
  PartFile(PartFile&& other) noexcept;
  PartFile& operator=(PartFile&& other) noexcept;

  // Prepares a part file for ringPath. With kUnnamed it falls back to a hidden file when the
  // folder's file system has no unnamed files. False when the folder cannot take a file.
  bool Create(const std::filesystem::path& ringPath, Kind preferred = Kind::kUnnamed);
  // The path to open for writing (for an unnamed file, its descriptor in /proc).
  const std::filesystem::path& WritePath() const { return writePath; }
  Kind kind() const { return unnamedFd >= 0 ? Kind::kUnnamed : Kind::kHidden; }

  // Gives the written file the target's name, replacing a file of that name. False (and the part
  // discarded) when it cannot.
  bool Commit();
  // Forgets the part file; nothing of it stays on disk.
  void Discard();

 private:
  std::filesystem::path target;
  std::filesystem::path writePath;
  std::filesystem::path hiddenPath;  // the named file, or the name an unnamed one is linked to
  int unnamedFd = -1;
};
