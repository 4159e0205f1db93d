#include "app/same_file.h"

#include <string>

#include "engine/front/open_file_registry.h"
#include "engine/front/path_names.h"

namespace vantrose {
namespace {

bool ResolveFilePart(std::string_view name, std::string* path) {
  const size_t first = name.find_first_not_of(' ');
  if (first == std::string_view::npos) return false;
  name = name.substr(first, name.find_last_not_of(' ') - first + 1);
  const TableName split = SplitTableName(name);
  return ResolveFullPath(split.file, kDefaultExtension, false, path) == 0;
}

}  // namespace

bool NamesOnePhysicalFile(std::string_view a, std::string_view b) {
  std::string path_a, path_b;
  if (!ResolveFilePart(a, &path_a) || !ResolveFilePart(b, &path_b)) return false;
  return OpenFileRegistry::SameFile(path_a, path_b);
}

}  // namespace vantrose
