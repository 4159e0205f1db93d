// Record updates: the operations that add, rewrite and remove rows.
//
// A new row gets a record number from the file's sequence counter, which
// only grows, so a new data record always sorts after every data record of
// its table: the state's insert cursor (data_cursor) stays on the table's
// last data record, and the next insert goes in right behind it without a
// descent from the root.
//
// Invariants:
//  - The count of the data statistics record equals the number of data
//    records: ADD and APPEND add one, DELETE takes one away, EMPTY sets 0.
//  - A failed ADD or PUT leaves no trace: no data record, no index entry, no
//    memo piece, the statistics as they were. A failed ADD still uses up the
//    record number it drew.
//  - APPEND forms no key value and touches no index page: every key's
//    first-not-indexed number is lowered to the new record instead, for a
//    later BUILD.
//  - PUT and DELETE hold the record's lock while they change it and release
//    it before they return.
//
// Offers: the handlers of ADD, APPEND, PUT, PUTfileptr, DELETE and EMPTY.
// Needs: data records, key maintenance, statistics, memos, the commit step
// (PUT ends with it) and the page tree (writer mode).
#pragma once

#include <cstdint>

#include "engine/table/operation_context.h"

namespace vantrose {

int32_t AddOperation(OperationContext& context);
int32_t AppendOperation(OperationContext& context);
int32_t PutOperation(OperationContext& context);
int32_t PutFilePointerOperation(OperationContext& context);
int32_t DeleteOperation(OperationContext& context);
int32_t EmptyOperation(OperationContext& context);

}  // namespace vantrose
