// Whether two declared file names lead to one physical file.
#pragma once

#include <string_view>

namespace vantrose {

// True when the file parts of both names (blank-padded declared names,
// possibly with a table part after "\!") resolve, as the engine resolves
// them, to one file: the same device and inode when both exist, so that a
// second spelling, a relative path or a symbolic link is seen through, else
// the same resolved path. Names that do not resolve are never one file.
bool NamesOnePhysicalFile(std::string_view a, std::string_view b);

}  // namespace vantrose
