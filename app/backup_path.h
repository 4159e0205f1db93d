// Where the converter keeps its backup copy of the source catalogue.
#pragma once

#include <string>

namespace vantrose {

// "crzconv.bak" in the user's home directory ($HOME), or in the current
// directory when HOME is unset or empty.
std::string BackupPath();

}  // namespace vantrose
