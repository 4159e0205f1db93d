// The context in which one dispatched file operation runs. The engine entry
// (engine/front) resolves the call into this form before it runs the
// operation's handler, so that handlers of every layer, front end and table
// layer alike, share one signature and see only the engine's own objects:
// the file's state, the key argument's descriptor, the numeric cells and the
// string arguments already taken from the caller's string stack.
//
// Contract of a handler:
// - it returns the operation's error code: 0 success, -1 silent refusal
//   (nothing is posted), otherwise an error number;
// - it leaves its answer, where the operation has one, in `result`, and the
//   text of a string-result operation in `result_string`;
// - it never throws, except through ReportCorruption (engine/storage/
//   corruption.h), which the entry catches; structures must be consistent
//   whenever that can happen;
// - a handler that closes the physical file even though it fails clears
//   FS_OPEN itself, so that the entry may discard the state;
// - a front-end handler may ask for its state to be discarded after the call
//   by adding AFTER_DISCARD_STATE to OpenFileState::after_actions (the entry
//   never discards a state that is still open).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/table/descriptors.h"
#include "engine/table/table_state.h"

namespace vantrose {

struct OperationContext {
  TableState& state;
  int32_t operation;
  // The key argument, already checked to belong to `state`; null for an
  // operation without one.
  KeyDescriptor* key;
  // The operation's own numeric arguments in call order (after the key).
  std::array<int32_t, 4> cells;
  // String arguments in the order they were popped, blank-trimmed except the
  // value of SET_PROPERTY, BLOB_GET_PROP and SETPROPERTYkey; empty when absent.
  std::string_view first_string;
  std::string_view second_string;

  int32_t result = 0;
  std::string result_string;
};

using OperationHandler = int32_t (*)(OperationContext& context);

}  // namespace vantrose
