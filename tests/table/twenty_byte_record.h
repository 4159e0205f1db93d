// The record that the key and record tests of the table layer store, and
// the table definition that describes it:
//
//   offset  0  name    STRING(8)
//   offset  8  number  LONG (host order)
//   offset 12  code    STRING(4)
//   offset 16  tag     STRING(4)
//
// Text shorter than its field is padded with spaces, longer text is cut.
// A record length above 20 leaves the rest of the record outside every field.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/table/descriptors.h"
#include "engine/table/table_state.h"
#include "runtime/declared.h"

namespace vantrose {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kRecordLength = 20;
enum Field { kName = 0, kNumber = 1, kCode = 2, kTag = 3 };

inline Bytes Image(const std::string& name, int32_t number, const std::string& code = "",
                   const std::string& tag = "") {
  Bytes image(kRecordLength, ' ');
  std::memcpy(image.data(), name.data(), std::min<size_t>(name.size(), 8));
  std::memcpy(image.data() + 8, &number, 4);
  std::memcpy(image.data() + 12, code.data(), std::min<size_t>(code.size(), 4));
  std::memcpy(image.data() + 16, tag.data(), std::min<size_t>(tag.size(), 4));
  return image;
}

// A key as its flags and the numbers of its component fields, in order.
struct KeySpec {
  uint8_t flags;
  std::vector<int> fields;
};

// Describes the four fields in `state`.
inline void DefineFields(TableState& state) {
  state.fields.resize(4);
  const uint8_t types[] = {TYPE_STRING, TYPE_LONG, TYPE_STRING, TYPE_STRING};
  const uint32_t offsets[] = {0, 8, 12, 16}, sizes[] = {8, 4, 4, 4};
  for (size_t i = 0; i < 4; ++i) {
    FieldDescriptor& field = state.fields[i];
    field.type = types[i];
    field.offset = offsets[i];
    field.size = sizes[i];
    field.element_length = types[i] == TYPE_STRING ? sizes[i] : 0;
    field.index = uint32_t(i);
  }
}

// Describes `keys` in `state`, numbered in order, over the fields that
// DefineFields described; they hold no run-time parts yet.
inline void DefineKeys(TableState& state, const std::vector<KeySpec>& keys) {
  state.keys.assign(keys.size(), KeyDescriptor{});
  for (size_t i = 0; i < keys.size(); ++i) {
    KeyDescriptor& key = state.keys[i];
    key.owner = &state;
    key.number = uint32_t(i);
    key.flags = keys[i].flags;
    for (int field : keys[i].fields) key.components.push_back({&state.fields[field], 0});
  }
}

}  // namespace vantrose
