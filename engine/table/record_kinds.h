// Record kinds: what the first key bytes of every stored record mean.
//
// Every stored record of a table starts its key with the table number (four
// bytes, most significant first) and the kind byte, so that one table's
// records lie together and, inside the table, each kind lies together:
//
//   [table:4][0x00..0xEF][key value][record:4 if DUP]   index entry of key N
//   [table:4][0xF3][record:4]                           data record
//   [table:4][0xF6][subject:1]                          statistics (0xF3 = data)
//   [table:4][0xFA][piece:2, least significant first]   definition piece
//   [table:4][0xFB][0x01]                               collation record
//   [table:4][0xFC][record:4][memo:1][piece:2, MSB]     memo piece
//   [0xFE][name bytes]                                  table name -> table:4
//   [0xFF]                                              transaction coordinator
//
// Table and record numbers come from the file's one sequence counter, whose
// first byte stays at or below 0xFD, so every table sorts before the name
// records. In memory the table layer keeps numbers in numeric form (uint32_t)
// and converts to the stored most-significant-first form only when it builds
// or reads a key; numbers are never compared in stored form in memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/storage/byte_order.h"

namespace vantrose {

class Cursor;
class FileStore;
struct RecordNode;

enum : uint8_t {
  KIND_DATA = 0xF3,
  KIND_STATISTICS = 0xF6,
  KIND_DEFINITION = 0xFA,
  KIND_COLLATION = 0xFB,
  KIND_MEMO = 0xFC,
  KIND_TABLE_NAME = 0xFE,
  KIND_COORDINATOR = 0xFF,  // the one-byte key of the coordinator record
};

// Highest kind byte of an index entry (key numbers 0 to 239).
constexpr uint8_t kLastIndexKind = 0xEF;
constexpr size_t kMaxKeys = 240;

// Byte offset of the kind byte in a table record's key.
constexpr size_t kKindOffset = 4;
constexpr size_t kTablePrefixLength = 5;          // [table][kind]
constexpr size_t kDataKeyLength = 9;
constexpr size_t kStatisticsKeyLength = 6;
constexpr size_t kDefinitionKeyLength = 7;
constexpr size_t kCollationKeyLength = 6;
constexpr size_t kMemoKeyLength = 12;
constexpr size_t kStatisticsDataLength = 8;       // count, second word (LE u32)
// Subject byte of the data statistics record.
constexpr uint8_t kDataSubject = KIND_DATA;

// Key builders. Each writes the key into `out` (which holds at least the
// kind's key length) and returns the number of bytes written.
size_t TablePrefixKey(uint8_t* out, uint32_t table, uint8_t kind);
size_t DataKey(uint8_t* out, uint32_t table, uint32_t record);
size_t StatisticsKey(uint8_t* out, uint32_t table, uint8_t subject);
size_t DefinitionKey(uint8_t* out, uint32_t table, uint16_t piece);
size_t CollationKey(uint8_t* out, uint32_t table);
size_t MemoKey(uint8_t* out, uint32_t table, uint32_t record, uint8_t memo, uint16_t piece);

// Fields of a key, read back. Callers check the key length first.
inline uint32_t KeyTable(const uint8_t* key) { return LoadBE32(key); }
inline uint8_t KeyKind(const uint8_t* key) { return key[kKindOffset]; }

// True for the kind byte of an index entry.
inline bool IsIndexKind(uint8_t kind) { return kind <= kLastIndexKind; }

}  // namespace vantrose
