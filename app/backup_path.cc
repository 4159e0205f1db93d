#include "app/backup_path.h"

#include <cstdlib>

namespace vantrose {

std::string BackupPath() {
  constexpr const char* kBackupName = "crzconv.bak";
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return kBackupName;
  std::string path(home);
  if (path.back() != '/') path += '/';
  return path + kBackupName;
}

}  // namespace vantrose
