// File names as the engine takes them: a file part, optionally followed by
// "\!" and a table name, and the full path that a file part resolves to.
//
//   /data/music.crz\!parts   file "/data/music.crz", table "PARTS"
//   music                    file "<cwd>/music.VNT", table "UNNAMED"
//   dir\!x\!t                when "dir\!x" is an existing directory:
//                            file "dir\!x", table "T"
//   dir\!x/f\!t              file "dir\!x/f", table "T"
//
// Paths are POSIX paths: a relative name is resolved against the current
// directory with "." and ".." folded; names of 260 characters or more are
// invalid (45).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrose {

inline constexpr std::string_view kTableSeparator = "\\!";
inline constexpr std::string_view kDefaultTableName = "UNNAMED";
inline constexpr std::string_view kDefaultExtension = ".VNT";
inline constexpr size_t kMaxFileName = 260;

struct TableName {
  std::string file;   // the file part, as written
  std::string table;  // upper case; "UNNAMED" without a table part
};

// Splits at the first "\!" that is not part of an existing directory's name.
TableName SplitTableName(std::string_view name);

// The absolute path of `name`, with `default_extension` appended when the
// last component has no extension (or, with `replace_extension`, put in
// place of the one it has). Answers 0, 45 for an empty or over-long name, or
// the error of reading the current directory.
int32_t ResolveFullPath(std::string_view name, std::string_view default_extension,
                        bool replace_extension, std::string* path);

// True when `path` names an existing directory.
bool IsExistingDirectory(const std::string& path);

// The last component of a path ("music.crz" of "/data/music.crz").
std::string_view BaseName(std::string_view path);
// The extension of the last component with its dot, or empty.
std::string_view ExtensionOf(std::string_view path);

}  // namespace vantrose
