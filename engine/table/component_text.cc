#include "engine/table/component_text.h"

#include <algorithm>

#include "engine/table/key_value.h"
#include "runtime/declared.h"

namespace vantrose {
namespace {

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

// The types a record holds, the ones a key value can be formed from.
bool IsRecordType(uint8_t type) {
  return (type >= TYPE_BYTE && type <= TYPE_DECIMAL) || type == TYPE_STRING ||
         type == TYPE_CSTRING || type == TYPE_PSTRING || type == TYPE_GROUP;
}

bool CanBeComponent(const FieldDescriptor& field) {
  return field.element_count == 1 && IsRecordType(field.type);
}

std::string_view SkipBlanks(std::string_view text) {
  const size_t start = text.find_first_not_of(' ');
  return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

}  // namespace

const FieldDescriptor* FieldNamed(const std::vector<FieldDescriptor>& fields, std::string_view name) {
  for (const FieldDescriptor& field : fields) {
    if (SameName(field.name, name)) return &field;
  }
  return nullptr;
}

int32_t ParseComponentText(const std::vector<FieldDescriptor>& fields, std::string_view text,
                           std::vector<KeyComponent>* components) {
  std::vector<KeyComponent> parsed;
  uint64_t value_length = 0;
  for (;;) {
    const size_t comma = text.find(',');
    std::string_view component = SkipBlanks(text.substr(0, comma));
    uint8_t descending = 0;
    if (!component.empty() && (component.front() == '+' || component.front() == '-')) {
      descending = component.front() == '-' ? 1 : 0;
      component = SkipBlanks(component.substr(1));
    }
    const FieldDescriptor* field = FieldNamed(fields, component);
    if (component.empty() || field == nullptr || !CanBeComponent(*field)) return kInvalidIndexString;
    parsed.push_back({field, descending});
    value_length += field->size;
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (value_length > kMaxKeyValueLength) return kInvalidKeyLength;
  *components = std::move(parsed);
  return 0;
}

}  // namespace vantrose
