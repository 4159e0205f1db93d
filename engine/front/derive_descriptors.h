// Turns a declaration into the engine's descriptors of its table: one
// FieldDescriptor per declared field (groups included), one KeyDescriptor per
// key or index and one MemoDescriptor per MEMO or BLOB. Limits of a
// declaration: record length 15000 bytes, 240 keys, memos of 64000 bytes,
// groups nested 100 deep.
#pragma once

#include <cstdint>

#include "engine/table/table_state.h"
#include "runtime/declared.h"

namespace vantrose {

constexpr uint32_t kMaxRecordLength = 15000;
constexpr size_t kMaxKeys = 240;
constexpr uint32_t kMaxMemoSize = 64000;
constexpr size_t kMaxGroupNesting = 100;

// Builds state.fields, state.keys, state.memos and state.record_length from
// `file`; writes each key descriptor's address into its declared key and each
// memo buffer's address into its declared memo. Answers 0, 47 (a limit
// exceeded, or a field outside the record), 75 (record not starting with a
// GROUP, malformed nesting, bad key component), 79 (unsupported field type
// not lying over other bytes) or 8. On error the state's descriptors are
// left empty and nothing is written into the declaration.
int32_t DeriveDescriptors(DeclaredFile& file, TableState& state);

}  // namespace vantrose
