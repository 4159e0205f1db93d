// Helpers for storage tests: corruption reports caught as values, beside
// the scratch directory and whole-file helpers of every layer's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "engine/storage/corruption.h"
#include "tests/support/files.h"

namespace vantrose::testing {

// Corruption reports unwind as exceptions from here on, as inside an engine
// operation (the state is process-wide and stays set).
inline void ReportCorruptionAsUnwind() { MarkEngineOperationInProgress(); }

// The check code that `action` reported, or 0 when it reported none.
template <typename Action>
uint32_t CorruptionCode(Action&& action) {
  ReportCorruptionAsUnwind();
  try {
    action();
  } catch (const CorruptionUnwind& unwind) {
    return unwind.code;
  }
  return 0;
}

}  // namespace vantrose::testing
