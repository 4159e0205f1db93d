// The dispatch table: the handler that runs each operation code. Handlers of
// the front end and of the table layer share one signature (engine/table/
// operation_context.h); the entry looks the code up here after the rule
// check.
#pragma once

#include <cstdint>

#include "engine/table/operation_context.h"

namespace vantrose {

// The handler of `operation`, or null for a code the engine does not
// dispatch (the entry answers those with 80).
OperationHandler DispatchedHandler(int32_t operation);

// Replaces one code's handler while the object lives (tests use it to reach
// the entry's failure paths, for example a corruption reported deep inside
// an operation).
class ScopedHandlerOverride {
 public:
  ScopedHandlerOverride(int32_t operation, OperationHandler handler);
  ~ScopedHandlerOverride();
  ScopedHandlerOverride(const ScopedHandlerOverride&) = delete;
  ScopedHandlerOverride& operator=(const ScopedHandlerOverride&) = delete;

 private:
  int32_t operation_;
  OperationHandler previous_;
};

}  // namespace vantrose
