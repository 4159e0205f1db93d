#include "engine/front/path_names.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/os_error.h"

namespace vantrose {

namespace {

constexpr int32_t kInvalidFilename = 45;

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Folds "." and ".." components and repeated slashes of an absolute path.
std::string FoldPath(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t at = 0;
  while (at <= path.size()) {
    size_t slash = path.find('/', at);
    if (slash == std::string_view::npos) slash = path.size();
    std::string_view part = path.substr(at, slash - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = slash + 1;
  }
  std::string folded;
  for (std::string_view part : parts) {
    folded += '/';
    folded += part;
  }
  return folded.empty() ? "/" : folded;
}

}  // namespace

bool IsExistingDirectory(const std::string& path) {
  struct stat info;
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A "\!" belongs to the path when the name up to the end of the component
// it starts (the next "\!" or "/") is an existing directory: in "X\!Y\!t"
// with a directory "X\!Y", the first "\!" is part of the directory's name
// and the second starts the table name.
TableName SplitTableName(std::string_view name) {
  size_t from = 0;
  for (;;) {
    size_t at = name.find(kTableSeparator, from);
    if (at == std::string_view::npos) return {std::string(name), std::string(kDefaultTableName)};
    size_t after = at + kTableSeparator.size();
    size_t component_end = std::min(name.find(kTableSeparator, after), name.find('/', after));
    if (IsExistingDirectory(std::string(name.substr(0, component_end)))) {
      from = after;
      continue;
    }
    std::string table(name.substr(after));
    for (char& c : table) c = UpperAscii(c);
    // "FILE\!" names no table: it means the default one, never a table with
    // an empty name (whose name record would be the bare prefix 0xFE).
    if (table.empty()) table = kDefaultTableName;
    return {std::string(name.substr(0, at)), std::move(table)};
  }
}

std::string_view BaseName(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view ExtensionOf(std::string_view path) {
  std::string_view base = BaseName(path);
  size_t dot = base.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : base.substr(dot);
}

int32_t ResolveFullPath(std::string_view name, std::string_view default_extension,
                        bool replace_extension, std::string* path) {
  if (name.empty() || name.size() >= kMaxFileName) return kInvalidFilename;
  if (name.find('\0') != std::string_view::npos) return kInvalidFilename;
  std::string full;
  if (name.front() != '/') {
    char buffer[4096];
    if (::getcwd(buffer, sizeof buffer) == nullptr) return OsErrorFromErrno(errno);
    full = buffer;
    full += '/';
  }
  full += name;
  bool directory_form = full.back() == '/';
  full = FoldPath(full);
  if (directory_form || BaseName(full).empty() || default_extension.empty()) {
    *path = std::move(full);
    return 0;
  }
  std::string_view extension = ExtensionOf(full);
  // A name that ends in "." has an explicit empty extension: it gets no
  // default, and the dot stays, since on this file system it is part of the
  // file's name.
  if (!extension.empty() && replace_extension && extension != ".") {
    full.resize(full.size() - extension.size());
    extension = {};
  }
  if (extension.empty()) {
    if (default_extension.front() != '.') full += '.';
    full += default_extension;
  }
  *path = std::move(full);
  return 0;
}

}  // namespace vantrose
