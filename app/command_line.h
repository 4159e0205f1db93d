// The crzconv command line:
//   crzconv                  the file dialogs ask for both names
//   crzconv SOURCE TARGET    both names taken as if confirmed in the dialogs
//   crzconv --help | --version
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/user_interface.h"

namespace vantrose {

struct CommandLine {
  enum class Action { Dialogs, Convert, Help, Version, Usage };
  Action action = Action::Usage;
  std::string source, target;  // Convert only
};

CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The text of --help.
std::string HelpText();

// A user interface whose two file dialogs answer `source` and then `target`
// as the full paths a dialog would give (a relative name is taken from the
// current directory), as if the user had confirmed them; a name that does
// not fit the dialog's variable counts as cancelled rather than being cut.
// Messages and the progress window go to `display`.
class PresetNamesUserInterface : public UserInterface {
 public:
  PresetNamesUserInterface(UserInterface& display, std::string source, std::string target);

  bool FileDialog(std::string_view title, std::string_view filters, std::string& variable,
                  FileDialogMode mode) override;
  void MessageBox(std::string_view text) override;
  void OpenProgress(const ProgressWindowSpec& spec) override;
  void RefreshProgress(std::string_view count_text) override;
  void CloseWindows() override;

 private:
  UserInterface& display_;
  std::vector<std::string> names_;  // still to be answered, next last
};

}  // namespace vantrose
