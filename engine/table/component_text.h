// The component text of a dynamic index: the fields of its key value, given
// by name when the index is built.
//
//   text       := component { "," component }
//   component  := { " " } [ ( "+" | "-" ) { " " } ] name
//
// "+" (the default) makes the component ascending, "-" descending. A name is
// everything up to the next comma or the end of the text, blanks included,
// and must equal the whole stored name of one of the table's fields (its
// external name when one was declared, else its label with the prefix, as
// "MOV:TITLE"), compared without regard to ASCII case. A field may be named
// more than once; each naming is one component.
//
// Decisions where the format leaves a choice:
//  - a name with blanks behind it ("MOV:TITLE ,MOV:ARTIST") is not a stored
//    name and is refused like any unknown name; so is an empty component
//    (",," or a text that ends with a comma) and an empty text;
//  - only the whole stored name matches: "TITLE" does not find "MOV:TITLE",
//    since a partial name could mean a field of another prefix;
//  - a field that a declaration could not make a key component is refused
//    like an unknown name: an array (element count 2 or more), or a type that
//    a record cannot hold (MEMO, BLOB, PDECIMAL, BFLOAT4, BFLOAT8);
//  - a list whose key value would not fit an index entry is refused with 88
//    ("Invalid Key Length"): building it could only fail, and a text the
//    program passed must not be mistaken for damage to the file.
//
// Offers: FieldNamed, ParseComponentText. Needs: the field descriptors.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/table/descriptors.h"

namespace vantrose {

constexpr int32_t kInvalidIndexString = 76;
constexpr int32_t kInvalidKeyLength = 88;

// The field whose stored name is `name` without regard to ASCII case, or
// none. The first of several such fields wins.
const FieldDescriptor* FieldNamed(const std::vector<FieldDescriptor>& fields, std::string_view name);

// Parses `text` against `fields` into `components`, which is replaced only
// when the whole text was understood. Answers 0, 76 or 88.
int32_t ParseComponentText(const std::vector<FieldDescriptor>& fields, std::string_view text,
                           std::vector<KeyComponent>* components);

}  // namespace vantrose
