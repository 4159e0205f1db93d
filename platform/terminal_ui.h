// The terminal back end of the user interface: file dialogs are prompts
// that read a name (an empty answer or the end of input cancels), the
// message box is a line of text, and the progress window is a status line.
// A dialog takes a name as its full path (a relative one from the current
// directory) and, like the desktop dialogs, only an existing file in open
// mode and a file in an existing folder in save mode, asking before an
// existing file is replaced. The variable's current value is not offered as
// a default, since an empty answer has to stay a cancel; a path longer than
// the variable is refused rather than cut.
//
// On a terminal the status line is redrawn in place, at most ten times a
// second; otherwise (a log, a pipe) it is written as a new line at most
// every ten seconds, so that a long conversion does not flood the log. The
// latest count is always written before a message and when the window
// closes.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/user_interface.h"

namespace vantrose {

class TerminalUserInterface : public UserInterface {
 public:
  // Reads answers from `in`; writes prompts, messages and progress to `out`.
  TerminalUserInterface(std::FILE* in, std::FILE* out, bool out_is_terminal);

  bool FileDialog(std::string_view title, std::string_view filters, std::string& variable,
                  FileDialogMode mode) override;
  void MessageBox(std::string_view text) override;
  void OpenProgress(const ProgressWindowSpec& spec) override;
  void RefreshProgress(std::string_view count_text) override;
  void ShowLatestProgress() override;
  void CloseWindows() override;

 private:
  using Clock = std::chrono::steady_clock;

  // One line of input without its line end; false at the end of input.
  bool ReadLine(std::string& line);
  // Checks a typed name for the dialog's mode; on refusal says why.
  bool Acceptable(const std::string& path, FileDialogMode mode);
  void DrawProgress();
  void EndProgressLine();

  std::FILE* in_;
  std::FILE* out_;
  bool out_is_terminal_;
  std::string progress_label_;
  std::string count_text_;
  bool progress_open_ = false;
  bool progress_visible_ = false;
  bool drawn_current_ = false;  // the latest count text has been written
  bool line_open_ = false;      // a status line without its line end is on screen
  Clock::time_point last_draw_;
};

}  // namespace vantrose
