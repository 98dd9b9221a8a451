#include "base/command_line.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>

namespace base {
namespace {

std::unique_ptr<CommandLine>& ProcessCommandLine() {
  static std::unique_ptr<CommandLine> commandLine;
  return commandLine;
}

std::vector<std::string> ReadProcCmdline() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<std::string> argv;
  std::string current;
  for (char c : all) {
    if (c == '\0') {
      argv.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) argv.push_back(current);
  return argv;
}

}  // namespace

CommandLine::CommandLine(const std::vector<std::string>& argv) : allArgs(argv) {
  bool switchesEnded = false;
  for (size_t i = 1; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    if (!switchesEnded && arg == "--") {
      switchesEnded = true;
      continue;
    }
    size_t dashes = 0;
    if (!switchesEnded) dashes = arg.rfind("--", 0) == 0 ? 2 : (arg.rfind('-', 0) == 0 ? 1 : 0);
    if (dashes == 0 || arg.size() == dashes) {
      plainArguments.push_back(arg);
      continue;
    }
    const std::string body = arg.substr(dashes);
    const size_t equals = body.find('=');
    if (equals == std::string::npos) {
      switches[body] = std::string();
    } else {
      switches[body.substr(0, equals)] = body.substr(equals + 1);
    }
  }
}

bool CommandLine::Init(int argc, const char* const* argv) {
  auto& commandLine = ProcessCommandLine();
  if (commandLine) return false;
  std::vector<std::string> args;
  if (argc > 0 && argv) {
    for (int i = 0; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
  } else {
    args = ReadProcCmdline();
  }
  commandLine = std::make_unique<CommandLine>(args);
  return true;
}

const CommandLine* CommandLine::ForCurrentProcess() {
  static const CommandLine empty;
  const auto& commandLine = ProcessCommandLine();
  return commandLine ? commandLine.get() : &empty;
}

void CommandLine::Reset() { ProcessCommandLine().reset(); }

bool CommandLine::HasSwitch(const std::string& name) const { return switches.count(name) != 0; }

std::string CommandLine::GetSwitchValueASCII(const std::string& name) const {
  auto it = switches.find(name);
  return it == switches.end() ? std::string() : it->second;
}

}  // namespace base
