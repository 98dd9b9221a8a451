#include "app/desktop_launcher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QStandardPaths>
#include <QString>
#include <cerrno>
#include <system_error>

#include "base/path_service.h"

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

bool WriteAll(int fd, const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
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
  // A hidden name beside the launcher, so the rename stays on one file system. (Appended piece by
  // piece: GCC 12 warns falsely about "." + string in optimised builds.)
  std::string hidden(".");
  hidden += launcher.filename().string();
  hidden += ".XXXXXX";
  std::string temporary = (launcher.parent_path() / hidden).string();
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return false;
  const bool written = WriteAll(fd, DesktopEntryText(executable, icon)) &&
                       ::fchmod(fd, 0755) == 0 && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(temporary.c_str(), launcher.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
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
