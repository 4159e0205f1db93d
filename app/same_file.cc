#include "app/same_file.h"

#include <sys/stat.h>

#include <string>

namespace vantrose {
namespace {

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FilePart(std::string_view name) {
  const size_t first = name.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  name = name.substr(first, name.find_last_not_of(' ') - first + 1);
  std::string path(name);
  for (size_t at = name.find("\\!"); at != std::string_view::npos; at = name.find("\\!", at + 2)) {
    std::string before(name.substr(0, at));
    if (!IsDirectory(before)) {
      path = before;
      break;
    }
  }
  const size_t base = path.rfind('/');
  const std::string_view file_name =
      std::string_view(path).substr(base == std::string::npos ? 0 : base + 1);
  if (!file_name.empty() && file_name.find('.') == std::string_view::npos) path += ".VNT";
  return path;
}

}  // namespace

bool NamesOnePhysicalFile(std::string_view a, std::string_view b) {
  const std::string path_a = FilePart(a);
  const std::string path_b = FilePart(b);
  if (path_a.empty() || path_b.empty()) return false;
  struct stat st_a, st_b;
  if (::stat(path_a.c_str(), &st_a) != 0 || ::stat(path_b.c_str(), &st_b) != 0) return false;
  return st_a.st_dev == st_b.st_dev && st_a.st_ino == st_b.st_ino;
}

}  // namespace vantrose
