// A user interface driven by a script, for tests: file dialogs answer from a
// queue of prepared answers (an empty queue cancels), and every call is
// written to a journal ("dialog open Select File to Convert", "message
// Error: File Not Found", "progress open", "refresh        1", "close").
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/user_interface.h"

namespace vantrose {

class ScriptedUserInterface : public UserInterface {
 public:
  // `journal`, when given, receives the entries too, so that a test can
  // interleave them with its own (engine calls, for instance).
  explicit ScriptedUserInterface(std::vector<std::string>* journal = nullptr);

  // The next dialog confirms `path`.
  void Confirm(std::string path);
  // The next dialog is cancelled.
  void Cancel();

  bool FileDialog(std::string_view title, std::string_view filters, std::string& variable,
                  FileDialogMode mode) override;
  void MessageBox(std::string_view text) override;
  void OpenProgress(const ProgressWindowSpec& spec) override;
  void RefreshProgress(std::string_view count_text) override;
  void CloseWindows() override;

  const std::vector<std::string>& entries() const { return entries_; }
  const std::vector<std::string>& messages() const { return messages_; }
  // The count display's text after the last refresh; empty before.
  const std::string& count_text() const { return count_text_; }
  bool progress_visible() const { return progress_visible_; }
  // What the last dialog was given.
  const std::string& last_filters() const { return last_filters_; }
  const std::string& last_initial_name() const { return last_initial_name_; }
  const std::optional<ProgressWindowSpec>& progress_spec() const { return progress_spec_; }

 private:
  void Note(std::string entry);

  std::vector<std::string>* journal_;
  std::deque<std::optional<std::string>> answers_;
  std::vector<std::string> entries_;
  std::vector<std::string> messages_;
  std::string count_text_;
  bool progress_visible_ = false;
  std::string last_filters_;
  std::string last_initial_name_;
  std::optional<ProgressWindowSpec> progress_spec_;
};

}  // namespace vantrose
