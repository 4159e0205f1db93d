#include "platform/scripted_ui.h"

#include <utility>

namespace vantrose {

ScriptedUserInterface::ScriptedUserInterface(std::vector<std::string>* journal)
    : journal_(journal) {}

void ScriptedUserInterface::Confirm(std::string path) { answers_.emplace_back(std::move(path)); }
void ScriptedUserInterface::Cancel() { answers_.emplace_back(std::nullopt); }

void ScriptedUserInterface::Note(std::string entry) {
  if (journal_ != nullptr) journal_->push_back(entry);
  entries_.push_back(std::move(entry));
}

bool ScriptedUserInterface::FileDialog(std::string_view title, std::string_view filters,
                                       std::string& variable, FileDialogMode mode) {
  Note(std::string(mode == FileDialogMode::Open ? "dialog open " : "dialog save ") +
       std::string(title));
  last_filters_.assign(filters);
  last_initial_name_ = variable.substr(0, variable.find_last_not_of(' ') + 1);
  std::optional<std::string> answer;
  if (!answers_.empty()) {
    answer = std::move(answers_.front());
    answers_.pop_front();
  }
  if (!answer) return false;
  // As a real dialog does: cut or blank-padded to the variable's length.
  const size_t length = variable.size();
  variable = answer->substr(0, length);
  variable.resize(length, ' ');
  return true;
}

void ScriptedUserInterface::MessageBox(std::string_view text) {
  messages_.emplace_back(text);
  Note("message " + std::string(text));
}

void ScriptedUserInterface::OpenProgress(const ProgressWindowSpec& spec) {
  progress_spec_ = spec;
  Note("progress open");
}

void ScriptedUserInterface::RefreshProgress(std::string_view count_text) {
  count_text_.assign(count_text);
  progress_visible_ = true;
  Note("refresh " + count_text_);
}

void ScriptedUserInterface::CloseWindows() {
  progress_visible_ = false;
  Note("close");
}

}  // namespace vantrose
