// The operation state rules: for every operation code, which state flags it
// requires and forbids, which it sets or clears after success or failure, and
// what the entry does after the call. The entry checks the rule before an
// operation runs and applies its transition after every call, so that "File
// Not Open", "Record Not Available", "Access Denied" and the silent refusals
// (a second STREAM, UNLOCK of an unlocked file) come out uniformly.
//
// FS_KEY_BUILT is never a file flag: in a rule it names the key argument's own
// flag and acts only when that key is a dynamic index.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/table/descriptors.h"

namespace vantrose {

class OpenFileState;

// After-action bits a call collects in OpenFileState::after_actions.
enum : uint32_t {
  AFTER_CLEAR_ERROR = 0x1,    // clear the caller's error state before returning
  AFTER_DISCARD_STATE = 0x2,  // discard the state after the call
  AFTER_REMEMBER_OP = 0x4,    // store the code as the last sequence operation
};

struct OperationRule {
  uint32_t after = 0;
  uint32_t required = 0;
  uint32_t forbidden = 0;
  uint32_t set_on_success = 0;
  uint32_t cleared_on_success = 0;
  uint32_t cleared_on_failure = 0;
};

// The rule of an operation code 0 to 93 (code 0 has an empty rule); null for
// any other code.
const OperationRule* RuleFor(int32_t operation);

// Decides whether `operation` may run on `state` with key argument `key`
// (null when none) and position string `position` (RESET and REGET forms).
// Answers 0 (run it), a positive error code, or -1 (refused silently).
// Clears the state's after-actions.
int32_t CheckRule(int32_t operation, OpenFileState& state, const KeyDescriptor* key,
                  std::string_view position);

// Applies the rule's transition for the call's final outcome: flags of the
// state and of a dynamic-index key argument, and the state's after-actions.
void ApplyTransition(int32_t operation, int32_t outcome, OpenFileState& state,
                     KeyDescriptor* key);

}  // namespace vantrose
