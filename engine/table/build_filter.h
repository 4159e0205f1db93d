// The filter of a BUILD: a condition, given as text, that picks the records
// a dynamic index gets entries for. It is compiled once by the expression
// evaluator (runtime/expression.h) against the table's fields, its field
// references bound to a record buffer; the build copies each record into
// that buffer and asks the condition. A record for which it is false gets no
// entry; true and undecided (a field that cannot be read) do.
//
// Names in the filter are the fields' whole stored names, found as the
// component text finds them (engine/table/component_text.h). An array field
// stands for its first element.
//
// The buffer is the table's record buffer, which a build uses as scratch
// anyway; a table opened without one (its descriptors read from the file)
// gets a buffer of the filter's own.
//
// Offers: TableFilterFields, BuildFilter. Needs: the field descriptors and
// the expression evaluator.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "engine/table/table_state.h"
#include "runtime/expression.h"

namespace vantrose {

// The table's field descriptors as the expression evaluator looks fields up.
class TableFilterFields final : public FilterFields {
 public:
  explicit TableFilterFields(const std::vector<FieldDescriptor>& fields) : fields_(fields) {}
  bool Find(std::string_view name, FilterField* field) const override;

 private:
  const std::vector<FieldDescriptor>& fields_;
};

class BuildFilter {
 public:
  // Compiles `text` for the table of `state`. Answers 0 and the filter, or
  // the evaluator's 800 ("Invalid expression for EVALUATE") or 801 ("No BIND
  // on variable") and none.
  static int32_t Compile(TableState& state, std::string_view text, std::unique_ptr<BuildFilter>* filter);

  // Puts `image` (a record of the table's record length, its text as the
  // record buffer holds it) into the bound buffer and answers whether the
  // record passes: false only when the condition is false.
  bool Passes(std::span<const uint8_t> image);

 private:
  BuildFilter() = default;

  std::vector<uint8_t> own_buffer_;  // only when the table has no record buffer
  uint8_t* buffer_ = nullptr;
  uint32_t length_ = 0;
  std::unique_ptr<FilterExpression> expression_;
};

}  // namespace vantrose
