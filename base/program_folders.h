// Where the program keeps what it writes. A program folder that can be written (a build, a copy
// unpacked by hand) keeps the rings and the usage counters beside the executable; an installed
// program, whose folder belongs to the system, keeps them in the user's own folders instead: the
// rings in "Ring" of the music folder, the counters in the program's data folder. Any thread.
#pragma once

#include <filesystem>
#include <vector>

namespace base {

// Whether a file can be created in folder: tried for real (a file made and removed at once), since
// permission bits say nothing of read-only mounts, and root passes every permission check.
bool FolderTakesFiles(const std::filesystem::path& folder);

// Whether the program may keep its files in its own folder: never under /usr, which belongs to
// the package system (root could write there, and `apt-get remove` would leave the files
// behind), else when the folder takes files.
bool ProgramFolderTakesFiles(const std::filesystem::path& folder);

// The folder new rings go to by default. Not created here.
std::filesystem::path RingFolder();
// Every folder rings of this program may be in, the default first, without repeats: the one
// beside the program and the one in the music folder.
std::vector<std::filesystem::path> RingFolders();
// The folder of the usage counter file. Not created here.
std::filesystem::path UsageCounterFolder();

// The choice itself, for the tests: the program folder when it takes files, else the fallback.
std::filesystem::path ProgramOrUserFolder(const std::filesystem::path& programFolder,
                                          bool programFolderTakesFiles,
                                          const std::filesystem::path& userFolder);

}  // namespace base
