// Opening and closing a table of a file, and the operations built directly
// on them: OPEN, SHARE, CREATE, CLOSE and NAME.
//
// Invariant: RS_OPEN is set from the first step of a table open that can
// leave something behind (an acquired file, cursors, collation tables) until
// the close has released all of it, so a close undoes any open, finished or
// not. Between OPEN and CLOSE the state's store is held in the
// OpenFileRegistry.
#pragma once

#include <cstdint>

#include "engine/storage/os_file.h"
#include "engine/table/operation_context.h"

namespace vantrose {

class OpenFileState;

// Access modes the engine uses on its own behalf (bits of os_file.h): COPY,
// RENAME and REMOVE open their table reading and writing, denying nothing;
// CREATE and the target of a table copy add the engine's create path.
inline constexpr uint32_t MODE_SHARED_READ_WRITE = OPEN_READ_WRITE | OPEN_DENY_NONE;
inline constexpr uint32_t MODE_CREATE_TABLE = OPEN_PRIVATE_CREATE | MODE_SHARED_READ_WRITE;

// Opens the table the state's name selects. With OPEN_PRIVATE_CREATE in
// `mode` the table is made anew (emptied and renumbered when it exists);
// with `remove_name` its table-name record (and collation record) are
// deleted. Answers 0 or the error; on error the caller closes.
int32_t OpenTable(OpenFileState& state, uint32_t mode, bool remove_name);

// Ends the table: commits (or, after a corruption, releases the locks and
// keeps nothing uncommitted), frees what the open made and releases the
// file. Answers the commit's result. Does nothing when the table is not open.
int32_t CloseTable(OpenFileState& state);

// Closes without committing anything: the uncommitted changes of the store
// are abandoned first (when no other state shares the store). For failures
// after an open that may already have changed the file.
void AbandonAndCloseTable(OpenFileState& state);

int32_t OpenOperation(OperationContext& context);    // OPEN and SHARE
int32_t CreateOperation(OperationContext& context);
int32_t CloseOperation(OperationContext& context);
int32_t NameOperation(OperationContext& context);

}  // namespace vantrose
