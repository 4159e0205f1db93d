// Data records and sequential access.
//
// A data record holds one row of a table, the record image exactly as long
// as the table's record length:
//
//   key  [table:4][0xF3][record:4]        numbers most significant byte first
//   data [record image]
//
// Text fields (STRING, CSTRING, PSTRING without FIELD_OVER) are stored in the
// OEM code page when the table's text is OEM; every other byte is stored as
// it stands in the record buffer.
//
// A sequence position is a state (SEQ_*) and a probe: a key-only record that
// marks where the sequence stands (a data-record key, or a whole index entry
// of the current key). The probe holds key bytes, not page positions, so a
// sequence survives inserts and deletes made by anyone in between.
//
// Invariants:
//  - current_record is 0 exactly when there is no current record; RS_HELD
//    is set only while the current record's lock is held by this state.
//  - RS_HOLD_NEXT, RS_WATCH_NEXT and RS_NOMEMO are requests for the next
//    read only: every read clears them except one that ends with 43, whose
//    retry keeps them.
//  - A failed read leaves the record buffer as it was.
//
// Offers: the record text conversion, FetchRecord, ReadRecord, Sequence and
// the handlers of the reading operations. Needs: key values (index entries),
// statistics, memos and the page tree.
#pragma once

#include <cstdint>
#include <span>

#include "engine/storage/record_node.h"
#include "engine/table/operation_context.h"
#include "engine/table/table_state.h"

namespace vantrose {

// Error codes of the reading and writing operations.
constexpr int32_t kAccessDenied = 5;
constexpr int32_t kRecordNotAvailable = 33;
constexpr int32_t kRecordNotFound = 35;
constexpr int32_t kRecordHeld = 43;
constexpr int32_t kRecordChanged = 89;

// Sequence states (TableState::positioning_mode).
enum : uint32_t {
  SEQ_FILE_ORDER = 0,          // after a read in file order
  SEQ_KEY_ORDER = 1,           // after a read in key order
  SEQ_FILE_START = 2,          // SET(file)
  SEQ_FILE_AT_POINTER = 3,     // SET(file, pointer), RESET(file, position)
  SEQ_FILE_AT_KEY = 4,         // SET(file, key)
  SEQ_KEY_START = 5,           // SET(key)
  SEQ_KEY_AT_KEY_POINTER = 6,  // SET(key, key, pointer), RESET(key, position)
  SEQ_KEY_AT_KEY = 7,          // SET(key, key)
  SEQ_KEY_AT_POINTER = 8,      // SET(key, pointer)
};

// Converts the text fields of a record image between the ANSI and OEM code
// pages in place, when the table's text is OEM (else does nothing). A CSTRING
// converts up to its first zero byte, a PSTRING the bytes its length byte
// counts (at most its size minus one), a STRING all of it.
void ConvertRecordText(const TableState& state, uint8_t* image, bool to_oem);

// True for a stored record that is a data record of the state's table.
bool IsDataRecordOf(const TableState& state, const RecordNode* record);

// Releases the current record: unlocks it when held, clears RS_HELD,
// RS_WATCHED and RS_MEMOS_SKIPPED; no current record afterwards.
void ReleaseCurrentRecord(TableState& state);

// Makes `record` (a data record, or an index entry of the state's table,
// whose data record is then looked up) the current record: 0, 35 (none, or
// the entry's data record is missing) or 43 (RS_HOLD_NEXT and the record is
// locked by someone else).
int32_t FetchRecord(TableState& state, const RecordNode* record);
// FetchRecord, then the memos; every result but 43 clears the one-read
// requests.
int32_t ReadRecord(TableState& state, const RecordNode* record);

enum class SequenceMode { kRead, kTest, kSkip };
// One step of the sequence. Read: 0, 33 or an error of FetchRecord; test:
// 1 when no record lies in that direction, else 0; skip: 0 or 33.
int32_t Sequence(TableState& state, SequenceMode mode, bool forward);

// Operation handlers.
int32_t SetFileOperation(OperationContext& context);
int32_t SetFileKeyOperation(OperationContext& context);
int32_t SetFilePointerOperation(OperationContext& context);
int32_t SetKeyOperation(OperationContext& context);
int32_t SetKeyKeyOperation(OperationContext& context);
int32_t SetKeyPointerOperation(OperationContext& context);
int32_t SetKeyKeyPointerOperation(OperationContext& context);
int32_t ResetFileOperation(OperationContext& context);
int32_t ResetKeyOperation(OperationContext& context);
int32_t NextOperation(OperationContext& context);
int32_t PreviousOperation(OperationContext& context);
int32_t SkipOperation(OperationContext& context);
int32_t EofOperation(OperationContext& context);
int32_t BofOperation(OperationContext& context);
int32_t GetFileKeyOperation(OperationContext& context);
int32_t GetFilePointerOperation(OperationContext& context);  // GETfileptr, GETkeyptr
int32_t RegetFileOperation(OperationContext& context);
int32_t RegetKeyOperation(OperationContext& context);
int32_t PointerOperation(OperationContext& context);         // POINTERfile, POINTERkey
int32_t PositionFileOperation(OperationContext& context);
int32_t PositionKeyOperation(OperationContext& context);
int32_t RecordsFileOperation(OperationContext& context);
int32_t RecordsKeyOperation(OperationContext& context);
int32_t BytesOperation(OperationContext& context);
int32_t HoldOperation(OperationContext& context);         // HOLDfile: no wait limit
int32_t HoldSecondsOperation(OperationContext& context);  // HOLDfilesec
int32_t WatchOperation(OperationContext& context);
int32_t NomemoOperation(OperationContext& context);
int32_t ReleaseOperation(OperationContext& context);

}  // namespace vantrose
