#include "engine/front/table_open.h"

#include "engine/front/open_file_registry.h"
#include "engine/front/open_file_state.h"
#include "engine/front/path_names.h"
#include "engine/storage/commit.h"
#include "engine/storage/corruption.h"
#include "engine/storage/cursor.h"
#include "engine/storage/file_store.h"
#include "engine/storage/page_tree.h"
#include "engine/table/collation_record.h"
#include "engine/table/definition.h"
#include "engine/table/dynamic_index.h"
#include "engine/table/memos.h"
#include "engine/table/statistics.h"
#include "engine/table/table_records.h"

namespace vantrose {

namespace {

constexpr int32_t kFileNotFound = 2;
constexpr int32_t kInvalidRecordDeclaration = 47;

void MakeCursors(OpenFileState& state) {
  FileStore& store = *state.store;
  state.data_cursor = new Cursor(store);
  state.key_cursor = new Cursor(store);
  state.stats_cursor = new Cursor(store);
}

// The per-key parts of an open table: keys held in the file use its store
// and get a cursor for their statistics record. A dynamic index gets its
// own store when it is built.
void SetUpKeys(OpenFileState& state) {
  for (KeyDescriptor& key : state.keys) {
    key.owner = &state;
    if ((key.flags & KEY_DYNAMIC) != 0) continue;
    key.store = state.store;
    if (key.stats_cursor == nullptr) key.stats_cursor = new Cursor(*state.store);
  }
}

// The declaration's references into the descriptors follow descriptors
// that were replaced by those of the stored definition.
void RepointDeclaration(OpenFileState& state) {
  if (state.declared == nullptr) return;
  if (std::vector<DeclaredKey>* keys = state.declared->keys) {
    for (size_t i = 0; i < keys->size(); ++i) {
      (*keys)[i].descriptor = i < state.keys.size() ? &state.keys[i] : nullptr;
    }
  }
  if (std::vector<DeclaredMemo>* memos = state.declared->memos) {
    for (size_t i = 0; i < memos->size(); ++i) {
      (*memos)[i].buffer = i < state.memos.size() ? state.memos[i].buffer.data() : nullptr;
    }
  }
}

void AllocateImages(OpenFileState& state) {
  state.record_image.assign(state.record_length, 0);
  state.watch_image.clear();
}

void ReleaseCursors(OpenFileState& state) {
  // A dynamic index's entries live only while the table is open.
  ReleaseDynamicIndexes(state);
  delete state.data_cursor;
  delete state.key_cursor;
  delete state.stats_cursor;
  state.data_cursor = state.key_cursor = state.stats_cursor = nullptr;
  for (KeyDescriptor& key : state.keys) {
    delete key.stats_cursor;
    key.stats_cursor = nullptr;
    if (key.store == state.store) key.store = nullptr;
  }
}

void FreeOpenParts(OpenFileState& state) {
  state.table_flags &= static_cast<uint16_t>(~RS_OPEN);
  state.position_record.clear();
  state.record_image.clear();
  state.watch_image.clear();
  state.position_text.clear();
  state.current_record = 0;
}

// The rest of the close once the commit (or its replacement) is done.
int32_t ReleaseTable(OpenFileState& state, int32_t result) {
  ReleaseCursors(state);
  ReleaseCollation(state);
  for (MemoDescriptor& memo : state.memos) {
    if (memo.flags & MEMO_BLOB) SetBlobSize(memo, 0);
  }
  FileStore* store = state.store;
  state.store = nullptr;
  if (store != nullptr) {
    int32_t released = OpenFileRegistry::Instance().Release(store);
    if (result == 0) result = released;
  }
  return result;
}

}  // namespace

int32_t OpenTable(OpenFileState& state, uint32_t mode, bool remove_name) {
  TableName name = SplitTableName(state.name);
  std::string path;
  if (int32_t rc = ResolveFullPath(name.file, kDefaultExtension, false, &path); rc != 0) return rc;
  state.table_flags |= RS_OPEN;

  FileStore* store = nullptr;
  int32_t rc = OpenFileRegistry::Instance().Acquire(path, state.owner, mode, &store);
  state.store = store;
  if (rc != 0) return rc;
  const bool create = (mode & OPEN_PRIVATE_CREATE) != 0;
  if (create || remove_name) {
    if (rc = EnterWriteMode(*store); rc != 0) return rc;
  }
  MakeCursors(state);

  uint32_t table = 0;
  bool exists = FindTableNumber(*store, name.table, &table);
  if (exists) {
    state.table_number = table;
    if (remove_name) Delete(*store, FindTableName(*store, name.table));
  }
  if (create) {
    AllocateImages(state);
    SetUpKeys(state);
    if (exists) DeleteTable(state);
    state.table_number = NextNumber(*store);
    InsertTableName(*store, name.table, state.table_number);
    WriteDefinition(state);
    WriteFreshStatistics(state);
  } else {
    if (!exists) return kFileNotFound;
    if (state.record_buffer == nullptr || state.record_length == 0) {
      if (rc = ReadDefinition(state); rc != 0) return rc;
      RepointDeclaration(state);
    } else if (CompareDefinition(state) == DEFINITION_DIFFERENT) {
      return kInvalidRecordDeclaration;
    }
    AllocateImages(state);
    SetUpKeys(state);
  }

  state.name = path;
  if (name.table != kDefaultTableName) {
    state.name += kTableSeparator;
    state.name += name.table;
  }
  SetCorruptionFile(state.name);

  LoadCollation(state, remove_name);
  if (create) StoreCollation(state);
  return 0;
}

int32_t CloseTable(OpenFileState& state) {
  if ((state.table_flags & RS_OPEN) == 0) return 0;
  FreeOpenParts(state);
  int32_t result = 0;
  try {
    if (state.store != nullptr && state.store->opened) {
      if (state.corruption_code != 0) {
        // What the failed operation left uncommitted is not trusted: the
        // locks go, and nothing of it reaches the file.
        UnlockAll(*state.store, state.table_number);
        state.corruption_code = 0;
        if (OpenFileRegistry::Instance().References(state.store) == 1) Abandon(*state.store);
      } else {
        result = Commit(*state.store);
        // A committed close gives back the space that moved pages left at
        // the end of the file.
        if (result == 0) TrimFile(*state.store);
      }
    }
  } catch (const CorruptionUnwind&) {
    // The commit found the file damaged: the table is closed all the same.
    if (OpenFileRegistry::Instance().References(state.store) == 1) Abandon(*state.store);
    ReleaseTable(state, 0);
    throw;
  }
  return ReleaseTable(state, result);
}

void AbandonAndCloseTable(OpenFileState& state) {
  if ((state.table_flags & RS_OPEN) == 0) return;
  FreeOpenParts(state);
  if (state.store != nullptr && state.store->opened &&
      OpenFileRegistry::Instance().References(state.store) == 1) {
    Abandon(*state.store);
  }
  ReleaseTable(state, 0);
}

int32_t OpenOperation(OperationContext& context) {
  OpenFileState& state = static_cast<OpenFileState&>(context.state);
  // A caller chooses access and sharing only; the engine's own mode bits
  // (its create path and the storage layer's) are never taken from it.
  uint32_t mode = static_cast<uint32_t>(context.cells[0]) & (OPEN_ACCESS_MASK | OPEN_SHARE_MASK);
  int32_t rc;
  try {
    rc = OpenTable(state, mode, false);
  } catch (const CorruptionUnwind&) {
    AbandonAndCloseTable(state);
    throw;
  }
  // A failed OPEN leaves nothing behind: the entry discards the state.
  if (rc != 0) AbandonAndCloseTable(state);
  return rc;
}

int32_t CreateOperation(OperationContext& context) {
  OpenFileState& state = static_cast<OpenFileState&>(context.state);
  int32_t rc;
  try {
    rc = OpenTable(state, MODE_CREATE_TABLE, true);
  } catch (const CorruptionUnwind&) {
    AbandonAndCloseTable(state);
    throw;
  }
  // A CREATE that fails part way keeps the file as it was.
  if (rc != 0) {
    AbandonAndCloseTable(state);
    return rc;
  }
  return CloseTable(state);
}

int32_t CloseOperation(OperationContext& context) {
  return CloseTable(static_cast<OpenFileState&>(context.state));
}

int32_t NameOperation(OperationContext& context) {
  OpenFileState& state = static_cast<OpenFileState&>(context.state);
  if ((state.flags & FS_OPEN) != 0 || state.declared == nullptr) {
    context.result_string = state.name;
  } else {
    context.result_string = std::string(DeclaredTextBytes(state.declared->name));
  }
  return 0;
}

}  // namespace vantrose
