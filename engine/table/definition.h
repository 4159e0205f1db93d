// The stored table definition: the table's descriptors serialised into a
// byte stream, cut into 512-byte definition pieces (kind 0xFA, piece k).
//
// Stream (u16 = two bytes, least significant first; text = its bytes and a
// zero byte, 00 00 when empty, 00 01 when absent):
//
//   header   u16 version (2 when a memo is a BLOB, else 1), u16 record length,
//            u16 fields, u16 memos, u16 keys
//   field    u8 type, u16 offset, text name, u16 element count, u16 size,
//            u16 over, u16 field index,
//            DECIMAL/PDECIMAL: u8 places, u8 element size;
//            STRING/CSTRING/PSTRING: u16 element length, text picture
//   memo     text external name, text label, u16 size, u16 flags
//   key      text external name, text label, u8 flags, u16 components,
//            per component: u16 field index (0-based), u16 direction (1 = desc)
//
// Every piece but the last holds exactly 512 bytes; the last at least one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrose {

class TableState;

constexpr size_t kDefinitionPieceSize = 512;

// Outcome of comparing a stored definition with a table's descriptors.
enum DefinitionMatch : int {
  DEFINITION_EQUAL = 0,
  DEFINITION_TOLERATED = 1,  // equal but for names, pictures, decimal places
  DEFINITION_DIFFERENT = 2,  // OPEN fails with 47
};

// Where a reader takes the stored pieces from.
class DefinitionPieceSource {
 public:
  virtual ~DefinitionPieceSource() = default;
  // Copies piece `piece` into `chunk` (512 bytes) and sets `length` to the
  // bytes it holds; false when the piece is not stored.
  virtual bool Fetch(uint16_t piece, uint8_t* chunk, size_t* length) = 0;
};

// The serialised definition of the state's descriptors.
std::vector<uint8_t> EncodeDefinition(const TableState& state);

// Compares the stored stream with the state's descriptors. Unstored bytes
// read as zeros; a damaged stream compares as different.
DefinitionMatch CompareDefinitionStream(const TableState& state, DefinitionPieceSource& source);

// Replaces the state's descriptors and record length with those of the
// stored stream. Returns 0, or 47 when the stream is damaged (cut short, a
// count or offset that cannot be, a component naming no field); the state's
// descriptors are then left as they were.
int32_t ReadDefinitionStream(TableState& state, DefinitionPieceSource& source);

// The same against the table's definition pieces in its store (state.store,
// state.table_number). Writing inserts the pieces (writer mode) of a table
// that has none: CREATE and EMPTY delete the old ones first.
void WriteDefinition(TableState& state);
DefinitionMatch CompareDefinition(TableState& state);
int32_t ReadDefinition(TableState& state);

}  // namespace vantrose
