// Key values and index entries.
//
// A key value is one part per component, in component order, each exactly as
// long as the component's field, so the value's length is fixed per key. Its
// unsigned byte order is the key's order: numbers by value, negative before
// positive, text by the table's collation (without regard to case for a
// NOCASE key), descending components backwards.
//
// An index entry of key N stores the value under the table and key number:
//
//   without KEY_DUP:  key  [table:4][N:1][value]            data [record:4]
//   with KEY_DUP:     key  [table:4][N:1][value][record:4]  data (none)
//
// Numbers are most significant byte first. Either way the last four bytes of
// the entry are its record number, and equal values of a DUP key lie in
// record-number order.
//
// Offers: KeyValueLength, FormKeyValue, the entry layout (WriteEntry,
// FormEntry, the entry's record number) and IsBlankForKey. Needs: descriptors and TableState (its collation
// tables and OEM attribute), collation, platform code pages, storage
// RecordNode.
#pragma once

#include <cstdint>
#include <span>

#include "engine/storage/record_node.h"
#include "engine/table/descriptors.h"
#include "engine/table/table_state.h"

namespace vantrose {

// The longest key value an index entry can hold: an entry is a stored
// record of 9 + value bytes, at most RecordNode::kMaxTotalLength.
constexpr uint32_t kMaxKeyValueLength = RecordNode::kMaxTotalLength - 9;

// Sum of the component sizes (saturating: a damaged definition cannot make
// it wrap round to a small number).
uint32_t KeyValueLength(const KeyDescriptor& key);

// Writes the key value of `record` (an image of the table's record layout)
// into out[0 .. KeyValueLength(key)). Text parts are weighted with the
// table's collation tables, or the built-in set when the table has none, and
// pass through the OEM code page first when the table's text is OEM.
// Allocates nothing.
void FormKeyValue(const TableState& state, const KeyDescriptor& key, uint8_t* out,
                  std::span<const uint8_t> record);

// Bytes of an entry's key (5 + value, and 4 more with KEY_DUP) and of the
// whole entry (9 + value).
uint32_t EntryKeyLength(const KeyDescriptor& key);
uint32_t EntryLength(const KeyDescriptor& key);

// Report 824 unless the key's value fits an index entry; callers check
// before they size a buffer by EntryLength or KeyValueLength.
void CheckEntryFits(const KeyDescriptor& key);

// Writes a whole entry (EntryLength bytes, layout above) of `record_number`
// into `out`, with its value formed from `record`, or left as it is in `out`
// when the record is empty.
void WriteEntry(const TableState& state, const KeyDescriptor& key, std::span<const uint8_t> record,
                uint32_t record_number, uint8_t* out);

// A new index entry of `key` with its value formed from `record`, or left
// zero when the record is empty (a probe to be filled by the caller). The
// record number slot (the last four bytes) is zero: the caller puts the
// number in with SetEntryRecordNumber. A value longer than an entry can hold
// is report 824.
RecordNodePtr FormEntry(const TableState& state, const KeyDescriptor& key,
                        std::span<const uint8_t> record);

void SetEntryRecordNumber(RecordNode& entry, uint32_t record_number);
uint32_t EntryRecordNumber(const RecordNode& entry);

// True when the key has KEY_OPT and every component is blank: STRING and
// GROUP all spaces, CSTRING and PSTRING a zero first byte, any other type all
// zero bytes. A key without KEY_OPT is never blank.
bool IsBlankForKey(const KeyDescriptor& key, std::span<const uint8_t> record);

}  // namespace vantrose
