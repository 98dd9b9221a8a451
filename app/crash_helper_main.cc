// sonaclip-crash-helper: started by a crashed sonaclip right after its dump is written, so that
// nothing that needs a window, an allocator or a child process runs in the crashed process.
// It shows the bad-module notice when the crash lay in a known troublesome module, then starts
// the crash reporter ("CrashReporter" beside the program) when the upload switch of
// "net_option.ini" is on, and waits for it at most 10 seconds.
//
//   sonaclip-crash-helper --dump PATH --module NAME --signature HEX --exe-folder DIR

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <boost/format.hpp>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <CLI/CLI.hpp>

#include "app/bad_module_notice.h"
#include "app/qt_translations.h"
#include "base/qt_pool_threads.h"
#include "base/strings.h"
#include "config/profile.h"
#include "ui/message_box.h"

extern char** environ;

namespace {

constexpr auto kReporterWait = std::chrono::seconds(10);

void ShowNotice(const crash::BadModule& row, const std::string& module) {
  int argc = 1;
  char name[] = "sonaclip-crash-helper";
  char* argv[] = {name, nullptr};
  {
    QApplication application(argc, argv);
    LoadQtChineseTranslations();
    tavio_ui::MessageBoxW(0, crash::BadModuleNoticeText(row, base::UTF8ToWide(module)).c_str(),
                          row.shownName, MB_ICONINFORMATION);
  }
  base::EndQtPoolThreads();
}

// Starts the reporter with "/dmpw", the dump and "7680|module|signature|folder|" (the three
// parts of the Windows command line, as separate arguments) and waits for it a while; one that
// takes longer is left running.
void StartReporter(const std::string& folder, const std::string& dump, const std::string& module,
                   const std::string& signature) {
  std::string reporter = (std::filesystem::path(folder) / "CrashReporter").string();
  std::string flag = "/dmpw";
  std::string dumpArgument = dump;
  std::string details =
      (boost::format("%d|%s|%s|%s|") % config::kCrashProductId % module % signature % folder).str();
  char* argv[] = {reporter.data(), flag.data(), dumpArgument.data(), details.data(), nullptr};
  pid_t child = -1;
  if (posix_spawn(&child, reporter.c_str(), nullptr, nullptr, argv, environ) != 0) return;
  const auto end = std::chrono::steady_clock::now() + kReporterWait;
  while (std::chrono::steady_clock::now() < end) {
    if (waitpid(child, nullptr, WNOHANG) == child) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Reports a crash of sonaclip: the bad-module notice and the crash reporter."};
  std::string dump, module, signature, folder;
  app.add_option("--dump", dump, "the dump the reporter gets")->required();
  app.add_option("--module", module, "the faulting module's name, lower case");
  app.add_option("--signature", signature, "the crash signature")->required();
  app.add_option("--exe-folder", folder, "the crashed program's folder")->required();
  CLI11_PARSE(app, argc, argv);

  if (const crash::BadModule* row = crash::FindBadModule(base::UTF8ToWide(module)))
    ShowNotice(*row, module);
  if (config::ReadUploadDumpSwitch() != 0) StartReporter(folder, dump, module, signature);
  return 0;
}
