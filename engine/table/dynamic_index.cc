#include "engine/table/dynamic_index.h"

#include <algorithm>

#include "engine/storage/commit.h"
#include "engine/storage/cursor.h"
#include "engine/storage/file_store.h"
#include "engine/table/statistics.h"
#include "engine/table/table_state.h"

namespace vantrose {

DynamicIndexStores::DynamicIndexStores() = default;
DynamicIndexStores::~DynamicIndexStores() = default;

FileStore& DynamicIndexStores::Make() {
  auto store = std::make_unique<FileStore>();
  // Leaving reader mode commits nothing (nothing has changed), and a store
  // without a file then starts a new tree at its first insert.
  EnterWriteMode(*store);
  stores_.push_back(std::move(store));
  return *stores_.back();
}

void DynamicIndexStores::Free(const FileStore* store) {
  auto it = std::find_if(stores_.begin(), stores_.end(),
                         [store](const std::unique_ptr<FileStore>& own) { return own.get() == store; });
  if (it != stores_.end()) stores_.erase(it);
}

void DynamicIndexStores::FreeAll() { stores_.clear(); }

FileStore& EntryStoreOf(const TableState& state, const KeyDescriptor& key) {
  return key.store != nullptr ? *key.store : *state.store;
}

namespace {

// Drops what the index holds: the cursor first, as it may stand on a page
// of the store that goes.
void DropStore(TableState& state, KeyDescriptor& key) {
  key.state_flags &= ~FS_KEY_BUILT;
  delete key.stats_cursor;
  key.stats_cursor = nullptr;
  const FileStore* previous = key.store;
  key.store = nullptr;
  if (previous != state.store) state.dynamic_stores.Free(previous);
}

}  // namespace

void RenewDynamicStore(TableState& state, KeyDescriptor& key) {
  DropStore(state, key);
  FileStore& store = state.dynamic_stores.Make();
  key.store = &store;
  key.stats_cursor = new Cursor(store);
  WriteFreshKeyStatistics(state, static_cast<uint8_t>(key.number));
}

void ReleaseDynamicIndexes(TableState& state) {
  for (KeyDescriptor& key : state.keys) {
    if ((key.flags & KEY_DYNAMIC) != 0) DropStore(state, key);
  }
  state.dynamic_stores.FreeAll();
}

}  // namespace vantrose
