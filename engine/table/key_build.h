// Key build: making a key's index entries complete from the data records.
//
// A build covers the data records from the key's first-not-indexed number
// on (from record 1 with RS_FULLBUILD): it forms one sort item per record
// that is not blank for the key,
//
//   item  [key value: KeyValueLength][record:4, most significant first]
//
// sorts the items with the ExternalSorter and inserts the entries in
// ascending order (an entry is [table:4][key:1] followed by the item, so the
// items' order is the entries' order). Inserting in order lets each entry go
// straight into the leaf of the one before it.
//
// Invariants:
//  - A finished pass leaves the key's count equal to its entries and its
//    first-not-indexed number 0, or, when two records share a value of a key
//    without KEY_DUP, the lower of the two records' numbers indexed and the
//    first-not-indexed number at the higher one (result 40).
//  - Every 400 changed pages of the store the key's count and
//    first-not-indexed number (the pass's start, or the first duplicate when
//    lower) are written and committed: a build cut short at any point is
//    taken up again by the next build from the pass's start; entries already
//    present are then recognised and dropped.
//  - A pass that cannot produce all its items (a failed run-file write, too
//    many runs, a failed commit) ends with that error and leaves the key's
//    first-not-indexed number at the pass's start: never complete with
//    entries missing.
//
// A dynamic index (KEY_DYNAMIC) is built from record 1 into a new store of
// its own (engine/table/dynamic_index.h) each time. That store is never
// committed: nothing of it is checkpointed but its count, written when the
// pass ends; and as the file does not change, the build reads the table
// without taking the writer lock. With a filter (engine/table/build_filter.h)
// a record whose filter answer is false gets no entry.
//
// Offers: BuildKey, BuildAll. Needs: an open table in a state whose store the
// caller has put in writer mode or lets the build put there; key values,
// statistics, the sorter, the page tree and, for a filter, the record buffer
// it is bound to.
#pragma once

#include <cstdint>

#include "engine/table/table_state.h"

namespace vantrose {

class BuildFilter;

// Error 93, "BUILD Cancelled", is the event-driven build's; the builds here
// answer 0, 40, the sorter's errors (the operating system's number of a
// failed run-file write, 8 otherwise) or a commit's error.

// Builds one key of the open table, with the records `filter` passes when
// one is given. A key without components has nothing to build (0). A
// dynamic index that completes without error is marked FS_KEY_BUILT.
int32_t BuildKey(TableState& state, KeyDescriptor& key, BuildFilter* filter = nullptr);

// Builds every key of the open table without KEY_INDEX (dynamic indexes are
// INDEX keys too), in key order, up to the first key that fails; with
// RS_FULLBUILD the collation record is written anew first and every key is
// rebuilt from record 1. The data records are
// read once for all the keys: the outcome (entries, counts, first-not-indexed
// numbers, result) is that of building the keys one after the other. With
// `trim` and success the file is cut after its data.
int32_t BuildAll(TableState& state, bool trim);

}  // namespace vantrose
