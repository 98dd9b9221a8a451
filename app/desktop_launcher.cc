#include "app/desktop_launcher.h"

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
         "Categories=AudioVideo;Audio;\n";
}

bool WriteDesktopLauncher(const fs::path& launcher, const fs::path& executable,
                          const std::string& icon) {
  std::error_code error;
  if (launcher.empty() || !fs::is_directory(launcher.parent_path(), error)) return false;
  return base::ReplaceFileContents(launcher, DesktopEntryText(executable, icon), 0755);
}

bool PlaceDesktopLauncher() {
  fs::path executable;
  if (!base::PathService::Get(base::PathService::FILE_EXE, &executable)) return false;
  const fs::path iconFile = executable.parent_path() / kIconFile;
  std::error_code error;
  const std::string icon = fs::is_regular_file(iconFile, error) ? iconFile.string() : kIconName;
  return WriteDesktopLauncher(DesktopLauncherPath(), executable, icon);
}
