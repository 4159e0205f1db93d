#include "platform/gtk/file_dialog_fields.h"

namespace vantrose {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char OtherCase(char c) { return static_cast<char>(c ^ 0x20); }

}  // namespace

std::string CaseBlindGlob(std::string_view pattern) {
  // "*.*" means "every file" to a Windows user, but a POSIX glob would need a
  // dot in the name.
  if (pattern == "*.*" || pattern == "*") return "*";
  std::string glob;
  glob.reserve(pattern.size() * 4);
  bool in_class = false;  // inside a [...] class the letters stay as written
  for (char c : pattern) {
    if (in_class) {
      glob += c;
      if (c == ']') in_class = false;
    } else if (c == '[') {
      glob += c;
      in_class = true;
    } else if (IsAsciiLetter(c)) {
      glob += '[';
      glob += c;
      glob += OtherCase(c);
      glob += ']';
    } else {
      glob += c;
    }
  }
  return glob;
}

std::vector<FileFilter> ParseFilterList(std::string_view list) {
  std::vector<std::string_view> elements;
  size_t start = 0;
  while (start <= list.size()) {
    size_t bar = list.find('|', start);
    if (bar == std::string_view::npos) bar = list.size();
    elements.push_back(list.substr(start, bar - start));
    start = bar + 1;
  }
  std::vector<FileFilter> filters;
  for (size_t i = 0; i + 1 < elements.size(); i += 2) {
    FileFilter filter;
    filter.description = std::string(TrimBlanks(elements[i]));
    std::string_view globs = elements[i + 1];
    size_t from = 0;
    while (from <= globs.size()) {
      size_t semicolon = globs.find(';', from);
      if (semicolon == std::string_view::npos) semicolon = globs.size();
      std::string_view one = TrimBlanks(globs.substr(from, semicolon - from));
      if (!one.empty()) filter.patterns.push_back(CaseBlindGlob(one));
      from = semicolon + 1;
    }
    // A filter without any pattern would hide every file.
    if (!filter.patterns.empty()) filters.push_back(std::move(filter));
  }
  return filters;
}

std::optional<std::string> InitialFileName(std::string_view variable) {
  // Blank-trimmed on both sides, as the engine takes a name.
  std::string_view name = TrimBlanks(variable);
  if (name.empty()) return std::nullopt;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7f || c == '*' || c == '?') return std::nullopt;
  }
  return std::string(name);
}

bool StoreChosenPath(std::string_view path, std::string& variable) {
  if (path.empty() || path.size() > variable.size() || path.back() == ' ') return false;
  variable.replace(0, path.size(), path);
  variable.replace(path.size(), variable.size() - path.size(),
                   variable.size() - path.size(), ' ');
  return true;
}

}  // namespace vantrose
