#include "engine/table/record_updates.h"

#include <cstring>
#include <span>
#include <vector>

#include "engine/storage/commit.h"
#include "engine/storage/cursor.h"
#include "engine/storage/file_store.h"
#include "engine/storage/page_tree.h"
#include "engine/storage/record_tree.h"
#include "engine/table/collation_record.h"
#include "engine/table/data_records.h"
#include "engine/table/definition.h"
#include "engine/table/end_operation.h"
#include "engine/table/key_maintenance.h"
#include "engine/table/memos.h"
#include "engine/table/record_kinds.h"
#include "engine/table/statistics.h"
#include "engine/table/table_records.h"

namespace vantrose {

namespace {

std::span<const uint8_t> RecordBuffer(const TableState& state) {
  return {state.record_buffer, state.record_length};
}

// A data record of `record` holding the record buffer in its stored form.
RecordNodePtr NewDataRecord(const TableState& state, uint32_t record) {
  RecordNodePtr node = RecordNode::New(kDataKeyLength, state.record_length);
  DataKey(node->bytes(), state.table_number, record);
  uint8_t* data = node->mutable_data().data();
  std::memcpy(data, state.record_buffer, state.record_length);
  ConvertRecordText(state, data, true);
  return node;
}

// Inserts a new data record through the insert cursor. The cursor is used
// as it stands only when it is still attached on the record right before
// the new one in its page (it was left on the previous insert); otherwise
// (its page was split or dropped, or someone else added records) it is first
// put on the new record's predecessor.
void InsertDataRecord(TableState& state, RecordNodePtr record) {
  Cursor& cursor = *state.data_cursor;
  bool placed = false;
  if (cursor.attached()) {
    RecordNode* at = CursorCurrent(cursor);
    if (at != nullptr && CompareKeys(*at, *record) < 0) {
      const RecordNode* after = RecordTree::Next(at);
      placed = after == nullptr || CompareKeys(*after, *record) > 0;
    }
  }
  if (!placed) {
    RecordNode* before = FindPrevious(*state.store, record->key());
    if (before != nullptr) {
      CursorSetAt(cursor, *before);
      CursorCurrent(cursor);
    } else {
      CursorRelease(cursor);
    }
  }
  CursorInsert(cursor, std::move(record));
}

RecordNode* FindData(TableState& state, uint32_t record) {
  uint8_t key[kDataKeyLength];
  DataKey(key, state.table_number, record);
  RecordNode* found = FindExact(*state.store, KeyBytes(key, sizeof key));
  return IsDataRecordOf(state, found) ? found : nullptr;
}

// The stored image of a data record, in the record buffer's code page.
std::vector<uint8_t> StoredImage(const TableState& state, const RecordNode& record) {
  std::vector<uint8_t> image(record.data().begin(), record.data().end());
  image.resize(state.record_length);
  ConvertRecordText(state, image.data(), false);
  return image;
}

int32_t AddRecord(TableState& state, bool append) {
  FileStore& store = *state.store;
  if (int32_t rc = EnterWriteMode(store); rc != 0) return rc;
  // The count is taken up first, so that a table without its data
  // statistics record is refused before anything is written. (Deleting the
  // whole table there, as was once done, would turn one damaged record
  // into the loss of every row.) A count of 0 after adding one means the
  // record is missing.
  if (AddToCount(state, kDataSubject, 1) == 0) return kAccessDenied;
  const uint32_t record = NextNumber(store);
  if (int32_t rc = MaintainKeys(state, RecordBuffer(state), {}, record, append, state.keys.size());
      rc != 0) {
    AddToCount(state, kDataSubject, -1);
    return rc;
  }
  ReleaseCurrentRecord(state);
  state.record_image.assign(state.record_buffer, state.record_buffer + state.record_length);
  InsertDataRecord(state, NewDataRecord(state, record));
  state.current_record = record;
  WriteNewMemos(state, record);
  return 0;
}

void EndHold(TableState& state) {
  UnlockRecord(*state.store, state.current_record);
  state.table_flags &= static_cast<uint16_t>(~(RS_HELD | RS_WATCHED));
}

int32_t PutRecord(TableState& state) {
  FileStore& store = *state.store;
  if (int32_t rc = EnterWriteMode(store); rc != 0) return rc;
  if (state.current_record == 0) {
    state.table_flags &= static_cast<uint16_t>(~RS_WATCHED);
    return kRecordNotAvailable;
  }
  if ((state.table_flags & RS_HELD) == 0 && LockRecord(store, state.current_record) != 0) {
    state.table_flags &= static_cast<uint16_t>(~RS_WATCHED);
    return kAccessDenied;
  }
  int32_t result = 0;
  const RecordNode* stored = FindData(state, state.current_record);
  if (stored == nullptr) {
    result = kRecordNotAvailable;
  } else {
    const std::vector<uint8_t> stored_image = StoredImage(state, *stored);
    const bool memos_read = (state.table_flags & RS_MEMOS_SKIPPED) == 0;
    if ((state.table_flags & RS_WATCHED) &&
        (stored_image != state.record_image ||
         (memos_read && MemoPass(state, state.current_record, MemoMode::kCompare) != 0))) {
      result = kRecordChanged;
    } else {
      if (std::memcmp(state.record_buffer, stored_image.data(), state.record_length) != 0) {
        result = MaintainKeys(state, RecordBuffer(state), stored_image, state.current_record, false,
                              state.keys.size());
        if (result == 0) {
          state.record_image.assign(state.record_buffer, state.record_buffer + state.record_length);
          Delete(store, FindData(state, state.current_record));
          Insert(store, NewDataRecord(state, state.current_record));
        }
      }
      if (result == 0) {
        if (memos_read) MemoPass(state, state.current_record, MemoMode::kRewrite);
        result = EndOperation(state, 0);
      }
    }
  }
  EndHold(state);
  return result;
}

}  // namespace

int32_t AddOperation(OperationContext& context) { return AddRecord(context.state, false); }

int32_t AppendOperation(OperationContext& context) { return AddRecord(context.state, true); }

int32_t PutOperation(OperationContext& context) { return PutRecord(context.state); }

int32_t PutFilePointerOperation(OperationContext& context) {
  TableState& state = context.state;
  ReleaseCurrentRecord(state);
  const int32_t pointer = context.cells[0];
  state.current_record = pointer > 0 ? static_cast<uint32_t>(pointer) : 0;
  return PutRecord(state);
}

int32_t DeleteOperation(OperationContext& context) {
  TableState& state = context.state;
  FileStore& store = *state.store;
  if (int32_t rc = EnterWriteMode(store); rc != 0) return rc;
  if (state.current_record == 0) return kRecordNotAvailable;
  const bool locked_here = (state.table_flags & RS_HELD) == 0;
  if (locked_here && LockRecord(store, state.current_record) != 0) return kRecordNotAvailable;
  RecordNode* stored = FindData(state, state.current_record);
  if (stored == nullptr) {
    if (locked_here) UnlockRecord(store, state.current_record);
    return kRecordNotAvailable;
  }
  state.record_image = StoredImage(state, *stored);
  Delete(store, stored);
  MaintainKeys(state, {}, state.record_image, state.current_record, false, state.keys.size());
  state.table_flags |= RS_HELD;  // so that the release unlocks it
  AddToCount(state, kDataSubject, -1);
  MemoPass(state, state.current_record, MemoMode::kDelete);
  ReleaseCurrentRecord(state);
  return 0;
}

int32_t EmptyOperation(OperationContext& context) {
  TableState& state = context.state;
  if (int32_t rc = EnterWriteMode(*state.store); rc != 0) return rc;
  ReleaseCurrentRecord(state);
  CursorRelease(*state.data_cursor);
  DeleteTable(state);
  WriteDefinition(state);
  WriteFreshStatistics(state);
  // Decision: the collation record goes with the other records and is
  // written again, so that a later OPEN finds the collation of the table's
  // keys. The table holds no entries now, so the set stored (the process's
  // current one) and the state's set agree from here on.
  StoreCollation(state);
  return 0;
}

}  // namespace vantrose
