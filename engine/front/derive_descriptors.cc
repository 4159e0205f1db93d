#include "engine/front/derive_descriptors.h"

#include <new>
#include <unordered_map>
#include <vector>

#include "runtime/error_state.h"

namespace vantrose {
namespace {

bool IsRecordType(uint8_t type) {
  return (type >= TYPE_BYTE && type <= TYPE_DECIMAL) ||
         (type >= TYPE_STRING && type <= TYPE_PSTRING) || type == TYPE_GROUP;
}

bool IsTextType(uint8_t type) {
  return type == TYPE_STRING || type == TYPE_CSTRING || type == TYPE_PSTRING;
}

// Fields 1..n of the record; item 0 of the declared record is the record
// itself.
//
// FIELD_OVER: a field lies over earlier bytes when it does not start after
// the previous field and is not nested deeper than it, or when it belongs to
// a group that lies over earlier bytes. The group-overlay stack keeps the
// flag of each enclosing group.
int32_t DeriveFields(const std::vector<DeclaredField>& record, uint32_t record_length,
                     std::vector<FieldDescriptor>& fields) {
  if (record.empty() || record[0].type != TYPE_GROUP) return ERR_INVALID_FIELD_TYPE;
  fields.reserve(record.size() - 1);

  std::vector<uint16_t> overlay_stack;
  uint16_t group_overlay = 0;
  uint32_t previous_offset = 0;
  uint32_t previous_level = 0;
  // First field (1-based) at each offset, for a field's overlaid field.
  std::unordered_map<uint32_t, uint32_t> first_at_offset;

  for (size_t i = 1; i < record.size(); ++i) {
    const DeclaredField& declared = record[i];
    const uint32_t level = declared.level;
    // Fields are at level 1 or deeper; leaving more groups than were
    // entered would pop an empty stack.
    if (level == 0) return ERR_INVALID_FIELD_TYPE;
    for (uint32_t l = previous_level; l > level; --l) {
      if (overlay_stack.empty()) return ERR_INVALID_FIELD_TYPE;
      group_overlay = overlay_stack.back();
      overlay_stack.pop_back();
    }

    FieldDescriptor field;
    field.type = declared.type;
    field.offset = declared.offset;
    field.label = declared.label;
    field.external_name = declared.external_name;
    field.name = declared.external_name.empty() ? declared.label : declared.external_name;
    field.index = static_cast<uint32_t>(i - 1);

    // Sizes are computed in 64 bits and the field must lie inside the
    // record: descriptors are trusted by every later layer, which reads and
    // writes the record buffer through them. A zero dimension would leave
    // an element length undefined.
    uint64_t element_count = 1;
    for (uint32_t dimension : declared.dimensions) {
      if (dimension == 0) return ERR_INVALID_FIELD_TYPE;
      element_count *= dimension;
      if (element_count > record_length) return ERR_INVALID_RECORD_DECL;
    }
    const uint64_t size = element_count * declared.element_size;
    if (uint64_t{declared.offset} + size > record_length) return ERR_INVALID_RECORD_DECL;
    field.element_count = static_cast<uint32_t>(element_count);
    field.size = static_cast<uint32_t>(size);

    const bool over_earlier = i > 1 && declared.offset <= previous_offset && level <= previous_level;
    field.over = (group_overlay != 0 || over_earlier) ? 1 : 0;
    const uint32_t number = static_cast<uint32_t>(i);
    const auto first = first_at_offset.try_emplace(declared.offset, number).first;
    if (field.over != 0 && group_overlay == 0 && first->second != number) {
      field.overlaid_field = first->second;
    }

    if (declared.type == TYPE_GROUP) {
      if (overlay_stack.size() == kMaxGroupNesting) return ERR_INVALID_FIELD_TYPE;
      overlay_stack.push_back(group_overlay);
      group_overlay = field.over;
    }
    previous_offset = declared.offset;
    previous_level = level;

    if (declared.type == TYPE_DECIMAL) {
      // The element size is stored in one byte.
      if (declared.element_size > 0xFF) return ERR_INVALID_FIELD_TYPE;
      field.places = declared.places;
      field.element_size = static_cast<uint8_t>(declared.element_size);
    } else if (IsTextType(declared.type)) {
      field.element_length = static_cast<uint32_t>(declared.element_size);
      field.picture = declared.picture;
    } else if (!IsRecordType(declared.type) && field.over == 0) {
      return ERR_UNSUPPORTED_TYPE;
    }
    fields.push_back(std::move(field));
  }
  return 0;
}

int32_t DeriveKeys(const std::vector<DeclaredKey>& declared_keys,
                   const std::vector<FieldDescriptor>& fields, TableState& owner,
                   std::vector<KeyDescriptor>& keys) {
  if (declared_keys.size() > kMaxKeys) return ERR_INVALID_RECORD_DECL;
  keys.reserve(declared_keys.size());
  for (size_t k = 0; k < declared_keys.size(); ++k) {
    const DeclaredKey& declared = declared_keys[k];
    KeyDescriptor key;
    key.owner = &owner;
    key.external_name = declared.external_name;
    key.label = declared.label;
    key.number = static_cast<uint32_t>(k);
    key.flags = static_cast<uint8_t>(declared.attributes &
                                     (DKEY_DUP | DKEY_OPT | DKEY_NOCASE | DKEY_ATTR_08 | DKEY_PRIMARY));
    if (declared.attributes & DKEY_INDEX) {
      key.flags |= KEY_INDEX;
      if (declared.components.empty()) key.flags |= KEY_DYNAMIC;
    }
    key.components.reserve(declared.components.size());
    for (int32_t component : declared.components) {
      // Ascending: the 1-based field number. Descending: the complement of
      // the 0-based number. Zero and numbers beyond the field list name no
      // field: like an array component, they cannot form a key (75).
      const bool descending = component < 0;
      const uint32_t index = descending ? static_cast<uint32_t>(~component)
                                        : static_cast<uint32_t>(component) - 1;
      if (component == 0 || index >= fields.size()) return ERR_INVALID_FIELD_TYPE;
      const FieldDescriptor& field = fields[index];
      if (field.element_count >= 2) return ERR_INVALID_FIELD_TYPE;
      key.components.push_back(KeyComponent{&field, static_cast<uint8_t>(descending ? 1 : 0)});
    }
    keys.push_back(std::move(key));
  }
  return 0;
}

int32_t DeriveMemos(const std::vector<DeclaredMemo>& declared_memos,
                    std::vector<MemoDescriptor>& memos) {
  memos.reserve(declared_memos.size());
  for (const DeclaredMemo& declared : declared_memos) {
    if (declared.size > kMaxMemoSize) return ERR_INVALID_RECORD_DECL;
    MemoDescriptor memo;
    memo.external_name = declared.external_name;
    memo.label = declared.label;
    memo.size = declared.size;
    memo.flags = declared.attributes & (MEMO_BINARY | MEMO_BLOB);
    memo.buffer.assign(declared.size, ' ');
    memos.push_back(std::move(memo));
  }
  return 0;
}

int32_t Derive(const DeclaredFile& file, TableState& state) {
  if (file.record_length > kMaxRecordLength) return ERR_INVALID_RECORD_DECL;
  state.record_length = file.record_length;
  int32_t error = 0;
  // A declaration without a record takes its layout from the file at OPEN.
  if (file.record != nullptr) error = DeriveFields(*file.record, file.record_length, state.fields);
  if (error == 0 && file.keys != nullptr) error = DeriveKeys(*file.keys, state.fields, state, state.keys);
  if (error == 0 && file.memos != nullptr) error = DeriveMemos(*file.memos, state.memos);
  return error;
}

}  // namespace

int32_t DeriveDescriptors(DeclaredFile& file, TableState& state) {
  int32_t error;
  try {
    error = Derive(file, state);
  } catch (const std::bad_alloc&) {
    error = ERR_NO_MEMORY;
  }
  if (error != 0) {
    state.fields.clear();
    state.keys.clear();
    state.memos.clear();
    return error;
  }
  // Only now are the arrays final, so the addresses handed out stay valid
  // for the state's life.
  if (file.keys != nullptr) {
    for (size_t k = 0; k < state.keys.size(); ++k) (*file.keys)[k].descriptor = &state.keys[k];
  }
  if (file.memos != nullptr) {
    for (size_t m = 0; m < state.memos.size(); ++m) (*file.memos)[m].buffer = state.memos[m].buffer.data();
  }
  return 0;
}

}  // namespace vantrose
