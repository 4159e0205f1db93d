// Collation tables: the weights and maps with which text parts of key values
// are formed. One set belongs to each table and is kept in its collation
// record; a table without one uses the built-in set.
//
// The set is 1152 bytes:
//
//   offset  length  content
//      0     256    weight of each byte value, ANSI text
//    256     256    weight of each byte value, OEM text
//    512     256    upper-case form of each byte value
//    768     256    class flags of each byte value (COLLATE_FOLD_CASE)
//   1024      64    expansion list: up to 16 entries of
//                   [source][first output][second output][spare];
//                   the list ends at the first entry whose source is 0
//   1088      64    spare, kept with the set
//
// The collation record's data is the set behind one byte, the table's OEM
// flag (1 when its text is stored in the OEM code page, else 0):
//
//   [oem:1][collation tables:1152]
//
// Offers: CollationTables, the built-in set, and the byte form of the set and
// of the collation record's data. Needs: platform/code_page (the OEM weights
// of the built-in set follow its ANSI weights through the code-page maps).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vantrose {

// Class flag: the byte is replaced by its upper-case form in keys without
// regard to case.
constexpr uint8_t COLLATE_FOLD_CASE = 0x01;

constexpr size_t kCollationTablesSize = 1152;
constexpr size_t kCollationRecordDataSize = 1 + kCollationTablesSize;
constexpr size_t kMaxExpansions = 16;

// Standard layout, bytes only: the in-memory form is the stored form.
struct CollationTables {
  uint8_t ansi_weight[256];
  uint8_t oem_weight[256];
  uint8_t upper[256];
  uint8_t class_flags[256];
  uint8_t expansions[4 * kMaxExpansions];
  uint8_t spare[64];

  bool HasExpansions() const { return expansions[0] != 0; }
  // The expansion entry for `byte` (its two output bytes at [1] and [2]), or
  // none. The zero byte never expands: a source of 0 ends the list.
  const uint8_t* FindExpansion(uint8_t byte) const;
};
static_assert(sizeof(CollationTables) == kCollationTablesSize);

// The built-in set for Windows-1252 text, the same on every machine so that a
// table formed anywhere has the same keys: no expansions; both weight tables
// are permutations of 0..255, so a key that regards case never makes two
// different texts equal.
const CollationTables& BuiltInCollation();

void SerialiseCollation(const CollationTables& tables, std::span<uint8_t, kCollationTablesSize> out);
// False unless `bytes` is exactly one set.
bool ParseCollation(std::span<const uint8_t> bytes, CollationTables* tables);

void SerialiseCollationRecord(bool oem, const CollationTables& tables,
                              std::span<uint8_t, kCollationRecordDataSize> out);
// False unless `data` is exactly the OEM flag and one set. Any nonzero flag
// byte reads as OEM on.
bool ParseCollationRecord(std::span<const uint8_t> data, bool* oem, CollationTables* tables);

}  // namespace vantrose
