// Filter expressions: a condition over the fields of a record buffer, given
// as text (a BUILD filter), compiled once and evaluated per record to true,
// false or undecided.
//
// Language (keywords without regard to case):
//
//   expression := term { OR term }
//   term       := factor { AND factor }
//   factor     := NOT factor | relation
//   relation   := operand [ ( "=" | "<>" | "<" | "<=" | ">" | ">=" ) operand ]
//   operand    := ( "-" | "+" ) operand | number | text | name | "(" expression ")"
//   number     := digits [ "." digits ] [ ( "e" | "E" ) [ "+" | "-" ] digits ]  (or "." digits ...)
//   text       := "'" ... "'" or '"' ... '"', the quote doubled inside
//   name       := letter or "_", then letters, digits, "_" and ":" (a field)
//
// Values are numbers, texts or unknown. Texts compare by unsigned bytes as if
// the shorter were padded with blanks (so blank-padded fields compare by
// their content); a number compared with a text uses the text's numeric
// value, and a text that is not a number makes the comparison unknown. Used
// as a condition, a number is true when not zero, a text when not all
// blanks. AND, OR and NOT follow three-valued logic: false AND unknown is
// false, true OR unknown is true, anything else with unknown is unknown.
// A field value that cannot be read (a DECIMAL with a nibble above 9, a REAL
// that is not a number) is unknown.
//
// Offers: FilterExpression, FilterFields (the lookup the caller supplies).
// Needs: nothing but the field type codes of runtime/declared.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vantrose {

// Where and how a field lies in the record buffer. Arrays are represented
// by their first element.
struct FilterField {
  uint8_t type = 0;           // FieldType code (runtime/declared.h)
  uint32_t offset = 0;        // bytes from the start of the record
  uint32_t element_size = 0;  // bytes of one element (a GROUP: its whole size)
  uint8_t places = 0;         // DECIMAL
};

// The fields a filter may name; the engine adapts its field descriptors.
class FilterFields {
 public:
  virtual ~FilterFields() = default;
  // Finds a field by name; false when there is none.
  virtual bool Find(std::string_view name, FilterField* field) const = 0;
};

enum class Truth : uint8_t { kFalse, kTrue, kUndecided };

class FilterExpression {
 public:
  // Compile errors, numbered as the caller's message table has them.
  static constexpr int32_t kInvalid = 800;  // "Invalid expression for EVALUATE"
  static constexpr int32_t kUnbound = 801;  // "No BIND on variable"

  // Compiles `text`. Its field references are bound to `record`, a buffer of
  // `record_length` bytes that must outlive the expression. Returns 0 and the
  // expression; kInvalid for text that breaks the language (nesting deeper
  // than kMaxNesting included); kUnbound for a name that is not a field, or
  // a field whose type has no value here (MEMO, BLOB, PDECIMAL, BFLOAT4/8)
  // or that does not lie inside the record.
  static int32_t Compile(std::string_view text, const FilterFields& fields, const uint8_t* record,
                         uint32_t record_length, std::unique_ptr<FilterExpression>* expression);

  // Evaluates against the record buffer's current contents.
  Truth Evaluate() const;

  static constexpr int kMaxNesting = 64;

  ~FilterExpression();

  // Parts of the compiled form, defined where it is compiled.
  struct Node;
  struct Value;

 private:
  class Parser;
  FilterExpression();
  Value Eval(uint32_t node) const;
  Value ReadField(const FilterField& field) const;

  const uint8_t* record_ = nullptr;
  // Compiled form: a tree of nodes, children before parents, root last.
  std::vector<Node> nodes_;
  std::vector<uint32_t> operands_;  // children of AND and OR nodes
  std::string texts_;               // bytes of all text literals
};

}  // namespace vantrose
