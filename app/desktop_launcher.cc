#include "app/desktop_launcher.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QStandardPaths>
#include <QString>
#include <cerrno>
#include <system_error>

#include "base/path_service.h"
#include "base/replace_file.h"

namespace {

namespace fs = std::filesystem;

constexpr char kTitle[] = "Tavio铃声制作专家";
// The icon beside the executable (built and installed there), else the installed theme icon.
constexpr char kIconFile[] = "sonaclip.svg";
constexpr char kIconName[] = "sonaclip";

// A string value of a desktop entry: backslash and line breaks escaped.
std::string EscapeValue(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out;
}

// One argument of the Exec key: in double quotes, with the characters the key reserves inside
// quotes escaped by a backslash, and "%" doubled so it is no field code.
std::string QuoteExecArgument(const std::string& argument) {
  std::string out = "\"";
  for (const char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  return out + "\"";
}

// GNOME opens a launcher on the desktop only after "Allow Launching" unless the file is marked
// trusted, in the metadata GIO keeps for files. GIO is opened at run time: where it is missing,
// or keeps no metadata (no metadata service in the session), nothing happens.
void MarkTrusted(const fs::path& launcher) {
  // Never closed again: GIO's types cannot be unregistered.
  void* gio = dlopen("libgio-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!gio) return;
  using NewForPath = void* (*)(const char* path);
  using SetString = int (*)(void* file, const char* attribute, const char* value, int flags,
                            void* cancellable, void** error);
  using Free = void (*)(void* object);
  const auto newForPath = reinterpret_cast<NewForPath>(dlsym(gio, "g_file_new_for_path"));
  const auto setString = reinterpret_cast<SetString>(dlsym(gio, "g_file_set_attribute_string"));
  const auto unref = reinterpret_cast<Free>(dlsym(gio, "g_object_unref"));
  const auto freeError = reinterpret_cast<Free>(dlsym(gio, "g_error_free"));
  if (!newForPath || !setString || !unref || !freeError) return;
  void* file = newForPath(launcher.c_str());
  if (!file) return;
  void* error = nullptr;
  constexpr int kQueryInfoNone = 0;  // G_FILE_QUERY_INFO_NONE
  setString(file, "metadata::trusted", "true", kQueryInfoNone, nullptr, &error);
  if (error) freeError(error);
  unref(file);
}

}  // namespace

fs::path DesktopLauncherPath() {
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (desktop.isEmpty()) return {};
  return fs::path(desktop.toStdString()) / kDesktopLauncherName;
}

std::string DesktopEntryText(const fs::path& executable, const std::string& icon) {
  return std::string("[Desktop Entry]\n") +
         "Type=Application\n"
         "Version=1.0\n"
         "Name=" + kTitle + "\n"
         "Comment=" + kTitle + "\n"
         "Exec=" + EscapeValue(QuoteExecArgument(executable.string())) + "\n"
         "Icon=" + EscapeValue(icon) + "\n"
         "Terminal=false\n"
         // The launch is ended by the window (or, for a second start, by the running one).
         "StartupNotify=true\n"
         "Categories=AudioVideo;Audio;\n";
}

bool WriteDesktopLauncher(const fs::path& launcher, const fs::path& executable,
                          const std::string& icon) {
  std::error_code error;
  if (launcher.empty() || !fs::is_directory(launcher.parent_path(), error)) return false;
  if (!base::ReplaceFileContents(launcher, DesktopEntryText(executable, icon), 0755)) return false;
  MarkTrusted(launcher);
  return true;
}

bool PlaceDesktopLauncher() {
  fs::path executable;
  if (!base::PathService::Get(base::PathService::FILE_EXE, &executable)) return false;
  const fs::path iconFile = executable.parent_path() / kIconFile;
  std::error_code error;
  const std::string icon = fs::is_regular_file(iconFile, error) ? iconFile.string() : kIconName;
  return WriteDesktopLauncher(DesktopLauncherPath(), executable, icon);
}
