// The collation record of a table: [table:4][0xFB][0x01] -> [oem:1][tables:1152]
// (layout in engine/table/collation.h). It fixes the weights with which the
// table's text keys were formed, so that a file keeps its key order
// wherever it is opened.
#pragma once

#include <cstdint>

namespace vantrose {

class TableState;

// OPEN: when the table has a collation record, its tables become the state's
// collation (allocated on first use) and its flag sets or clears ATTR_OEM.
// With `remove` the record is deleted afterwards (writer mode). Answers
// whether a record was found. A record of the wrong size is left unused: the
// state keeps the tables it has (the built-in set when it has none).
bool LoadCollation(TableState& state, bool remove);

// CREATE and full BUILD: the state's collation becomes the process's current
// set (the built-in set), and a collation record with it and the state's OEM
// attribute replaces any existing one (writer mode).
void StoreCollation(TableState& state);

// Frees the state's collation tables.
void ReleaseCollation(TableState& state);

}  // namespace vantrose
