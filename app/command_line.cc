#include "app/command_line.h"

#include <filesystem>
#include <utility>

namespace vantrose {

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  if (arguments.empty()) {
    line.action = CommandLine::Action::Dialogs;
  } else if (arguments.size() == 1 && arguments[0] == "--help") {
    line.action = CommandLine::Action::Help;
  } else if (arguments.size() == 1 && arguments[0] == "--version") {
    line.action = CommandLine::Action::Version;
  } else if (arguments.size() == 2 && !arguments[0].empty() && !arguments[1].empty() &&
             arguments[0][0] != '-' && arguments[1][0] != '-') {
    line.action = CommandLine::Action::Convert;
    line.source = arguments[0];
    line.target = arguments[1];
  }
  return line;
}

std::string HelpText() {
  return "Usage: crzconv [SOURCE TARGET]\n"
         "Converts a version-2 Cratewise catalogue into a version-3 one: the money\n"
         "fields BUYPRICE and VALUE become two-place decimals, every other byte is\n"
         "copied, and the keys of the new catalogue are built.\n"
         "\n"
         "  crzconv                 choose both files in file dialogs (on the desktop,\n"
         "                          or as prompts when no display is available)\n"
         "  crzconv SOURCE TARGET   convert the catalogue SOURCE into TARGET\n"
         "  --help                  show this text\n"
         "  --version               show the version\n"
         "\n"
         "The source is first copied to crzconv.bak in the home directory.\n"
         "Exit status: 0 when no error was reported, 1 after a reported error,\n"
         "2 for a wrong command line.\n";
}

PresetNamesUserInterface::PresetNamesUserInterface(UserInterface& display, std::string source,
                                                   std::string target)
    : display_(display), names_{std::move(target), std::move(source)} {}

bool PresetNamesUserInterface::FileDialog(std::string_view, std::string_view,
                                          std::string& variable, FileDialogMode) {
  if (names_.empty()) return false;
  std::string name = std::move(names_.back());
  names_.pop_back();
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(name, error);
  if (!error) name = path.lexically_normal().string();
  if (name.size() > variable.size()) return false;
  const size_t length = variable.size();
  variable = name;
  variable.resize(length, ' ');
  return true;
}

void PresetNamesUserInterface::MessageBox(std::string_view text) { display_.MessageBox(text); }
void PresetNamesUserInterface::OpenProgress(const ProgressWindowSpec& spec) {
  display_.OpenProgress(spec);
}
void PresetNamesUserInterface::RefreshProgress(std::string_view count_text) {
  display_.RefreshProgress(count_text);
}
void PresetNamesUserInterface::CloseWindows() { display_.CloseWindows(); }

}  // namespace vantrose
