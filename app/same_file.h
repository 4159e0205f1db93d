// Whether two declared file names lead to one physical file.
#pragma once

#include <string_view>

namespace vantrose {

// True when both names (blank-padded declared names, possibly with a table
// part after "\!") name files that exist and are one file: same device and
// inode, so that a second spelling, a relative path or a symbolic link is
// seen through. The file part is taken as the engine takes it: the text
// before the first "\!" that does not follow an existing directory, with
// the default extension ".VNT" when the file name has none.
bool NamesOnePhysicalFile(std::string_view a, std::string_view b);

}  // namespace vantrose
