// Path queries of the runtime, with their Linux meaning:
//   FILE_EXE      the executable (/proc/self/exe)
//   DIR_EXE       the executable's folder
//   DIR_APP_DATA  the user's application data folder (Qt's generic data location, ~/.local/share)
//   DIR_TEMP      the temporary folder (Qt's temp path: $TMPDIR or /tmp)
//   DIR_MUSIC     the user's music folder (Qt's music location; the home folder when there is none)
// A query returns false when the system cannot tell. Answers are cached; the cache registers
// itself with the exit scope (AtExitManager) when one is open. Any thread.
#pragma once

#include <filesystem>

namespace base {

class PathService {
 public:
  enum Key { FILE_EXE, DIR_EXE, DIR_APP_DATA, DIR_TEMP, DIR_MUSIC };

  static bool Get(Key key, std::filesystem::path* result);
  // The same as wide text, for the program's wide-text callers.
  static bool Get(Key key, std::wstring* result);
};

}  // namespace base
