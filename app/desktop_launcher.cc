#include "app/desktop_launcher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
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
// trusted, in the metadata GIO keeps for files. The mark is set by the `gio` command, started and
// left to itself: GIO's metadata service is reached over D-Bus, which must not hold up the window,
// and GIO's modules stay out of the program. Where the command is missing, or the session keeps no
// metadata, nothing happens.
void MarkTrusted(const fs::path& launcher) {
  QProcess::startDetached(QStringLiteral("gio"),
                          {QStringLiteral("set"), QString::fromStdString(launcher.string()),
                           QStringLiteral("metadata::trusted"), QStringLiteral("true")});
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
