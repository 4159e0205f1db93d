// Corruption reports. A storage-layer consistency check that fails calls
// ReportCorruption with its check code. During an engine operation the report
// unwinds (as CorruptionUnwind) to the engine entry, which fails the operation
// with error 90 and the code in the caller's file-error pair; outside any
// operation it is a fatal run-time error.
//
// Invariant: every storage structure is consistent again when the unwind
// reaches the entry (code that holds a structure half-changed across a call
// that may report must repair it before rethrowing, or not be interruptible).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrose {

// Thrown by ReportCorruption while an engine operation is in progress; caught
// only by the engine entry.
struct CorruptionUnwind {
  uint32_t code;
  std::string message;  // the text posted as the file-error message
};

// The file named in corruption reports (the engine entry sets it per call;
// a successful table open sets it to the resolved name).
void SetCorruptionFile(std::string_view name);
// Set by the engine entry while it runs an operation (and by tools that want
// reports to unwind to them).
void MarkEngineOperationInProgress();
bool EngineOperationInProgress();
// Clears the mark: the outermost entry call does so on return when it found
// no mark, so that a report between operations is again a fatal run-time
// error rather than an unwind that nobody catches.
void ClearEngineOperationInProgress();
// The caller's message 4101, when it supplies one (at most 219 characters
// are used); empty means the built-in text.
void SetCorruptionMessageText(std::string_view text);

[[noreturn]] void ReportCorruption(uint32_t check_code);

}  // namespace vantrose
