// The engine's single entry: every file operation of the caller arrives here
// as an operation code, the declared file it names and its argument cells.
//
// Offers: EngineEntry. Per call it creates the file's OpenFileState on first
// use (open_file_state.h), checks the operation against the state's flags
// (operation_rules.h), runs the operation's handler from the dispatch table
// (dispatch.h), lets EndOperation apply the commit policy, applies the rule's
// transition and posts the outcome.
//
// Needs from the caller (runtime/): string arguments on its string stack
// (runtime/string_stack.h), popped by the engine, and string results pushed
// back there; the error state (runtime/error_state.h), where the outcome is
// left; the open-file registry (runtime/open_files.h), told of every state
// created, opened and discarded.
//
// The entry never throws: a corruption reported during an operation ends it
// with error 90, and every later operation on that file but CLOSE and NAME
// fails with 90 until it is closed.
#pragma once

#include <cstdint>

#include "engine/front/operations.h"
#include "runtime/declared.h"

namespace vantrose {

int32_t EngineEntry(int32_t operation, DeclaredFile& file, const EngineArgs& args);

}  // namespace vantrose
