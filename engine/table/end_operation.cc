#include "engine/table/end_operation.h"

#include "engine/storage/commit.h"
#include "engine/storage/file_store.h"

namespace vantrose {

namespace {

// Operation codes after which the BLOBs' changed marks are cleared: the
// record operations that store or fetch BLOB contents (ADD, APPEND, DELETE,
// the GET forms, NEXT, PUT, PREVIOUS, PUTfileptr and the REGET forms).
bool ClearsBlobMarks(int32_t operation) {
  switch (operation) {
    case 1: case 4: case 11: case 15: case 16: case 17: case 24: case 30: case 31:
    case 54: case 66: case 67:
      return true;
    default:
      return false;
  }
}

int32_t CommitNow(TableState& state) {
  state.commit_deferral = 0;
  int32_t result = Commit(*state.store);
  const int32_t left = LeaveWriteMode(*state.store);
  if (result == 0) result = left;
  return result;
}

}  // namespace

int32_t EndOperation(TableState& state, int32_t operation) {
  if ((state.table_flags & RS_OPEN) == 0 || state.store == nullptr || !state.store->opened) return 0;
  int32_t result = 0;
  if ((state.flags & FS_STREAMING) && state.store->cache.changed_count() < kStreamPageLimit &&
      state.commit_deferral < kStreamOperationLimit) {
    ++state.commit_deferral;
  } else if (state.flags & FS_IN_BUILD_EVENT) {
    ++state.commit_deferral;
  } else {
    result = CommitNow(state);
  }
  if (ClearsBlobMarks(operation)) {
    for (MemoDescriptor& memo : state.memos) memo.blob_changed = false;
  }
  return result;
}

int32_t FlushOperation(OperationContext& context) {
  TableState& state = context.state;
  if (state.store == nullptr || !state.store->opened) return 0;
  return CommitNow(state);
}

}  // namespace vantrose
