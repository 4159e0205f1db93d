// The conversion procedure and the program around it.
//
// Needs: a user interface (platform/user_interface.h) and the engine entry
// named by each declared file (REELBIN1.entry, REELBIN2.entry), which tests
// replace with a scripted one.
#pragma once

#include <cstdint>

#include "platform/user_interface.h"

namespace vantrose {

// The access mode of both OPENs: read and write, deny write to others.
constexpr int32_t kConversionOpenMode = 0x22;

// Asks for the source and the target, backs the source up, opens it, creates
// and opens the target, appends every source record converted, flushes,
// builds the target's keys and closes both. The first failed operation that
// it tests is shown through CheckError and ends it early, leaving open what
// was opened. Answers the code that was reported, 0 when none was.
int32_t ConvertCatalogue(UserInterface& ui);

// The whole program: start-up, the procedure, then every window and every
// declared file still open closed (most recently opened first). Answers the
// process exit status: 0 when no error was reported, 1 otherwise.
int RunConverter(UserInterface& ui);

}  // namespace vantrose
