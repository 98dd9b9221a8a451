// The program's launcher on the user's desktop: "Tavio铃声制作专家.desktop", a freedesktop desktop
// entry that starts the running executable without arguments, with the program's icon. The ring
// editor places it once per run, after the first save that gets past the choice of the file; an
// older launcher is replaced, so a moved program is repaired by one save. The file is written
// beside its final place and renamed over it, so a crash never leaves half a launcher. Every
// failure is silent (the result is only for tests). Main thread; no state.
#pragma once

#include <filesystem>
#include <string>

// The launcher's file name, after the product title.
inline constexpr char kDesktopLauncherName[] = "Tavio铃声制作专家.desktop";

// Writes the launcher for the running program into the user's desktop folder
// (QStandardPaths::DesktopLocation). A desktop folder that does not exist is not created.
bool PlaceDesktopLauncher();

// The launcher's full path in the user's desktop folder, or empty when there is none.
std::filesystem::path DesktopLauncherPath();

// The desktop entry that starts executable (quoted as the Exec key requires) with icon (a path
// or an icon theme name).
std::string DesktopEntryText(const std::filesystem::path& executable, const std::string& icon);

// Writes the entry to launcher atomically, marked executable and, through GIO where it keeps
// metadata, trusted (so GNOME starts it without asking). False when it could not be written.
bool WriteDesktopLauncher(const std::filesystem::path& launcher,
                          const std::filesystem::path& executable, const std::string& icon);
