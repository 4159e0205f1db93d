// Statistics records: per table one for the data (subject 0xF3) and one per
// key (subject = key number).
//
//   key  [table:4][0xF6][subject:1]
//   data [count:4][second word:4]        both least significant byte first
//
// Data subject: count = data records, second word = the table's FLAGS word.
// Key subject: count = index entries, second word = the first record number
// the key does not yet cover (0 when the key is complete).
//
// Each helper works through a cursor kept on the record (the state's
// stats_cursor for the data, the key's stats_cursor for a key), so that a
// change made once per APPEND costs no descent from the root. A key's record
// lives in the key's own store for a dynamic index, else in the table's.
#pragma once

#include <cstdint>

namespace vantrose {

class TableState;

// The count, or 0 when the record is missing.
uint32_t ReadCount(TableState& state, uint8_t subject);
// Set or change the count; answer the resulting count, or 0 (changing
// nothing) when the record is missing.
uint32_t SetCount(TableState& state, uint8_t subject, uint32_t count);
uint32_t AddToCount(TableState& state, uint8_t subject, int32_t change);

// The second word. These three write a fresh record (count 0, word 0) first
// when it is missing; the two that change it need writer mode.
uint32_t FirstNotIndexed(TableState& state, uint8_t subject);
// Makes the word the lower of it and `record`, 0 counting as above every number.
void LowerFirstNotIndexed(TableState& state, uint8_t subject, uint32_t record);
void SetFirstNotIndexed(TableState& state, uint8_t subject, uint32_t value);

// Inserts a fresh statistics record (count 0, word 0) for the data and for
// every key of the table held in the table's store (not the dynamic ones).
void WriteFreshStatistics(TableState& state);
// Inserts a fresh statistics record (count 0, word 0) for key `subject` in
// the store that holds the key's entries (a dynamic index's own store).
void WriteFreshKeyStatistics(TableState& state, uint8_t subject);

}  // namespace vantrose
