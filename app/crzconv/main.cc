// crzconv: converts a version-2 Cratewise catalogue into a version-3 one.

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/conversion.h"
#include "platform/desktop_ui.h"
#include "platform/terminal_ui.h"

namespace {
constexpr const char* kVersion = "crzconv 0.1 (Vantrose table files)";
constexpr int kUsageStatus = 2;
}  // namespace

int main(int argc, char** argv) {
  using vantrose::CommandLine;
  const CommandLine line =
      vantrose::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (line.action) {
    case CommandLine::Action::Help:
      std::fputs(vantrose::HelpText().c_str(), stdout);
      return 0;
    case CommandLine::Action::Version:
      std::printf("%s\n", kVersion);
      return 0;
    case CommandLine::Action::Usage:
      std::fputs("crzconv: expected no arguments or SOURCE TARGET (see crzconv --help)\n", stderr);
      return kUsageStatus;
    case CommandLine::Action::Dialogs:
    case CommandLine::Action::Convert:
      break;
  }
  vantrose::TerminalUserInterface terminal(stdin, stderr, ::isatty(STDERR_FILENO) == 1);
  if (line.action == CommandLine::Action::Convert) {
    vantrose::PresetNamesUserInterface preset(terminal, line.source, line.target);
    return vantrose::RunConverter(preset);
  }
  std::unique_ptr<vantrose::UserInterface> desktop = vantrose::MakeDesktopUserInterface();
  return vantrose::RunConverter(desktop ? *desktop : terminal);
}
