// The process's command line, initialised once at start-up. The program reads nothing of its own
// from it; the log set-up reads the "v" and "vmodule" switches. Switches are written
// "--name=value", "-name=value" or "--name"; "--" ends the switches. Init on the main thread
// before other threads read it; read from any thread afterwards.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace base {

class CommandLine {
 public:
  CommandLine() = default;
  explicit CommandLine(const std::vector<std::string>& argv);

  // Initialises the process's command line from argv, or (argc 0) from /proc/self/cmdline.
  // False when it was already initialised.
  static bool Init(int argc, const char* const* argv);
  // The process's command line (empty until Init).
  static const CommandLine* ForCurrentProcess();
  // Forgets the process's command line (tests).
  static void Reset();

  bool HasSwitch(const std::string& name) const;
  // "" when the switch is missing or has no value.
  std::string GetSwitchValueASCII(const std::string& name) const;
  const std::vector<std::string>& argv() const { return allArgs; }
  const std::vector<std::string>& arguments() const { return plainArguments; }

 private:
  std::vector<std::string> allArgs;
  std::map<std::string, std::string> switches;
  std::vector<std::string> plainArguments;
};

}  // namespace base
