// The record mapping from version 2 to version 3.
#pragma once

#include <cstdint>

namespace vantrose {

// Fills MovRecord from InRecord: every byte is copied except the two money
// fields, which turn from LONG into DECIMAL(7,2).
void AssignRecord();

// A LONG value as DECIMAL(7,2), four bytes: sign nibble (0x0 for v >= 0, 0xF
// for v < 0), then the last five decimal digits of |v| and two zero places.
void LongToDecimal72(int32_t value, uint8_t out[4]);

}  // namespace vantrose
