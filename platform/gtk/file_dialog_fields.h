// What the file dialog reads from and writes to its caller's texts, apart
// from any toolkit: the filter list, the initial name offered from the bound
// variable, and storing the confirmed path back into that variable.
//
// Filter list: "description|pattern|description|pattern..." -- every element
// separated from the next by "|"; a pattern may hold several globs separated
// by ";" ("*.crz;*.bak"). The bound variable is a fixed-length text,
// blank-padded, without terminator.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrose {

struct FileFilter {
  std::string description;            // "Cratewise"
  std::vector<std::string> patterns;  // globs as the file chooser matches them
};

// The filters of `list`, in order. A trailing description without a pattern
// is dropped (there is nothing to match with). Patterns are made to match as
// a Windows user expects them: "*.*" and "*" match every file, dotless names
// included, and letters match either case ("*.crz" also matches
// "OLD.CRZ"), since catalogues copied from other systems often carry
// upper-case names.
std::vector<FileFilter> ParseFilterList(std::string_view list);

// The glob that matches `pattern` the way described above.
std::string CaseBlindGlob(std::string_view pattern);

// The name the dialog starts with: the variable's value without its padding,
// when it parses as a file name (not empty, no wildcard, no control
// character); otherwise none, and the name field starts empty.
std::optional<std::string> InitialFileName(std::string_view variable);

// Stores `path` into `variable`, blank-padded to the variable's length.
// Answers false and leaves the variable unchanged when the path cannot be
// stored faithfully: a longer path would be cut into the name of some other
// file, and a path that ends in a blank would lose that blank to the padding
// (trailing blanks are not part of a stored name).
bool StoreChosenPath(std::string_view path, std::string& variable);

}  // namespace vantrose
