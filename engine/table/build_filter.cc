#include "engine/table/build_filter.h"

#include <algorithm>
#include <cstring>

#include "engine/table/component_text.h"
#include "runtime/declared.h"

namespace vantrose {

bool TableFilterFields::Find(std::string_view name, FilterField* field) const {
  const FieldDescriptor* found = FieldNamed(fields_, name);
  if (found == nullptr) return false;
  field->type = found->type;
  field->offset = found->offset;
  field->places = found->places;
  if (found->type == TYPE_DECIMAL) {
    field->element_size = found->element_size;
  } else if (found->element_length != 0) {
    field->element_size = found->element_length;
  } else {
    field->element_size = found->size / std::max<uint32_t>(found->element_count, 1);
  }
  return true;
}

int32_t BuildFilter::Compile(TableState& state, std::string_view text,
                             std::unique_ptr<BuildFilter>* filter) {
  std::unique_ptr<BuildFilter> made(new BuildFilter());
  made->length_ = state.record_length;
  if (state.record_buffer != nullptr) {
    made->buffer_ = state.record_buffer;
  } else {
    made->own_buffer_.assign(state.record_length, 0);
    made->buffer_ = made->own_buffer_.data();
  }
  const TableFilterFields fields(state.fields);
  if (int32_t rc = FilterExpression::Compile(text, fields, made->buffer_, made->length_, &made->expression_);
      rc != 0) {
    return rc;
  }
  *filter = std::move(made);
  return 0;
}

bool BuildFilter::Passes(std::span<const uint8_t> image) {
  const size_t length = std::min<size_t>(image.size(), length_);
  if (length != 0) std::memcpy(buffer_, image.data(), length);
  return expression_->Evaluate() != Truth::kFalse;
}

}  // namespace vantrose
