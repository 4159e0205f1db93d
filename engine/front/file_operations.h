// COPY, RENAME and REMOVE of files and tables.
//
// COPY and RENAME take a target name. Without "\!" in the target or in the
// source's declared name they work on the whole file; otherwise (or when the
// whole-file attempt fails) on one table, copied record by record into the
// target file under a new table number with its record numbers moved past
// the target's counter. REMOVE deletes a table, and the file with its last
// table.
//
// Whatever fails, the source and the target stay as they were: a whole-file
// copy goes through a temporary file beside the destination that is renamed
// over it only when complete and flushed; a table copy opens the source
// before it touches the target and abandons every uncommitted change on
// failure, and never leaves behind a target file that it created.
#pragma once

#include <cstdint>
#include <string>

#include "engine/table/operation_context.h"

namespace vantrose {

// Copies the file `from` to `to` (replacing it) through a temporary file in
// the destination's directory. Opens `from` for reading while allowing
// others to read and write, so that a file another program holds open,
// even denying writers, can be copied. Answers 0 or an error number.
int32_t CopyWholeFile(const std::string& from, const std::string& to);

int32_t CopyOperation(OperationContext& context);
int32_t RenameOperation(OperationContext& context);
int32_t RemoveOperation(OperationContext& context);

}  // namespace vantrose
