// The folder of this user session in which the program's named objects live: the instance
// locks, the hand-off record and the hand-off socket. One set per session, as the named kernel
// objects of a Windows logon session are.
//
// It is $XDG_RUNTIME_DIR when the session provides one (a folder of this user, mode 0700, removed
// at logout). Without it (a bare root shell, a cron job) a folder "sonaclip-<uid>" in /tmp stands
// in, made mode 0700 and refused unless it is a real folder of this user that nobody else may
// read, so another user cannot plant the objects for us. Any thread.
#pragma once

#include <filesystem>

namespace platform {

// The folder, or an empty path when no safe one can be had; callers then work without named
// objects (every start runs as its own instance).
std::filesystem::path SessionRuntimeDir();

}  // namespace platform
