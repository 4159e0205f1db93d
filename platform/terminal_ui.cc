#include "platform/terminal_ui.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

namespace vantrose {
namespace {

constexpr auto kTerminalRedrawInterval = std::chrono::milliseconds(100);
constexpr auto kLogLineInterval = std::chrono::seconds(10);

// "Cratewise|*.crz|ALL|*.*" as "Cratewise (*.crz), ALL (*.*)".
std::string DescribeFilters(std::string_view filters) {
  std::string out;
  size_t start = 0;
  bool description = true;
  while (start <= filters.size()) {
    size_t bar = filters.find('|', start);
    if (bar == std::string_view::npos) bar = filters.size();
    const std::string_view part = filters.substr(start, bar - start);
    if (description) {
      if (!out.empty()) out += ", ";
      out += part;
    } else {
      out += " (" + std::string(part) + ")";
    }
    description = !description;
    start = bar + 1;
  }
  return out;
}

std::string FullPath(const std::string& name) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(name, error);
  if (error) return name;
  return path.lexically_normal().string();
}

}  // namespace

TerminalUserInterface::TerminalUserInterface(std::FILE* in, std::FILE* out, bool out_is_terminal)
    : in_(in), out_(out), out_is_terminal_(out_is_terminal) {}

bool TerminalUserInterface::ReadLine(std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(in_)) != EOF && c != '\n') line += static_cast<char>(c);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return c != EOF || !line.empty();
}

bool TerminalUserInterface::Acceptable(const std::string& path, FileDialogMode mode) {
  struct stat st;
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) {
    std::fprintf(out_, "  %s is a folder.\n", path.c_str());
    return false;
  }
  if (mode == FileDialogMode::Open) {
    if (!exists) std::fprintf(out_, "  %s does not exist.\n", path.c_str());
    return exists;
  }
  const std::string folder = std::filesystem::path(path).parent_path().string();
  struct stat folder_st;
  if (::stat(folder.c_str(), &folder_st) != 0 || !S_ISDIR(folder_st.st_mode)) {
    std::fprintf(out_, "  The folder %s does not exist.\n", folder.c_str());
    return false;
  }
  if (!exists) return true;
  std::fprintf(out_, "  %s already exists. Replace it? [y/N] ", path.c_str());
  std::fflush(out_);
  std::string answer;
  if (!ReadLine(answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes";
}

bool TerminalUserInterface::FileDialog(std::string_view title, std::string_view filters,
                                       std::string& variable, FileDialogMode mode) {
  EndProgressLine();
  std::fprintf(out_, "%.*s\n  file types: %s\n", static_cast<int>(title.size()), title.data(),
               DescribeFilters(filters).c_str());
  for (;;) {
    std::fprintf(out_, "  name (empty to cancel): ");
    std::fflush(out_);
    std::string name;
    if (!ReadLine(name) || name.empty()) {
      std::fputc('\n', out_);
      return false;
    }
    const std::string path = FullPath(name);
    // A cut path would name another file: a name that does not fit is refused.
    if (path.size() > variable.size()) {
      std::fprintf(out_, "  The name is longer than %zu characters.\n", variable.size());
      continue;
    }
    if (!Acceptable(path, mode)) continue;
    const size_t length = variable.size();
    variable = path;
    variable.resize(length, ' ');
    return true;
  }
}

void TerminalUserInterface::MessageBox(std::string_view text) {
  if (progress_visible_ && !drawn_current_) DrawProgress();
  EndProgressLine();
  std::fprintf(out_, "%.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(out_);
}

void TerminalUserInterface::OpenProgress(const ProgressWindowSpec& spec) {
  progress_label_ = spec.label;
  progress_open_ = true;
  progress_visible_ = false;
}

void TerminalUserInterface::RefreshProgress(std::string_view count_text) {
  if (!progress_open_) return;
  count_text_.assign(count_text);
  drawn_current_ = false;
  const Clock::time_point now = Clock::now();
  const auto interval = out_is_terminal_ ? Clock::duration(kTerminalRedrawInterval)
                                         : Clock::duration(kLogLineInterval);
  if (!progress_visible_ || now - last_draw_ >= interval) {
    progress_visible_ = true;
    last_draw_ = now;
    DrawProgress();
  }
}

void TerminalUserInterface::ShowLatestProgress() {
  if (progress_visible_ && !drawn_current_) DrawProgress();
}

void TerminalUserInterface::DrawProgress() {
  if (out_is_terminal_) {
    std::fprintf(out_, "\r%s %s", progress_label_.c_str(), count_text_.c_str());
    line_open_ = true;
  } else {
    const size_t digits = count_text_.find_first_not_of(' ');
    std::fprintf(out_, "%s %s\n", progress_label_.c_str(),
                 count_text_.c_str() + (digits == std::string::npos ? 0 : digits));
  }
  drawn_current_ = true;
  std::fflush(out_);
}

void TerminalUserInterface::EndProgressLine() {
  if (!line_open_) return;
  std::fputc('\n', out_);
  line_open_ = false;
}

void TerminalUserInterface::CloseWindows() {
  if (progress_visible_ && !drawn_current_) DrawProgress();
  EndProgressLine();
  std::fflush(out_);
  progress_open_ = false;
  progress_visible_ = false;
}

}  // namespace vantrose
