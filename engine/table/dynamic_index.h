// Dynamic indexes: an INDEX declared without components (KEY_DYNAMIC) gets
// its components when it is built on request, and keeps its entries and its
// statistics record in a store of its own that is never attached to a file:
//
//   table store     [table][N][...] entries of every other key, the data, ...
//   index's store   [table][N][value](+[record])   entries of dynamic index N
//                   [table][0xF6][N]               its statistics record
//
// The index's store stays in writer mode from its making on and is never
// committed: its pages live in memory only (a commit of a store without a
// file would drop them). Its entries therefore last only while the table is
// open, and each build of the index starts from a new, empty store.
//
// Ownership: the table's DynamicIndexStores (TableState::dynamic_stores)
// owns every such store; the key descriptor only points at its own
// (KeyDescriptor::store) and owns, like every key, the cursor on its
// statistics record (KeyDescriptor::stats_cursor).
//
// Invariants:
//  - a dynamic index has a store exactly from its first build to the close
//    of the table; key.store is then one of the table's dynamic stores and
//    key.stats_cursor, when set, is a cursor on that store;
//  - FS_KEY_BUILT is set on a dynamic index only while its store holds the
//    entries of a build that completed without error.
//
// Offers: DynamicIndexStores, EntryStoreOf, RenewDynamicStore,
// ReleaseDynamicIndexes. Needs: the storage layer's FileStore, writer mode
// and cursors; the statistics records.
#pragma once

#include <memory>
#include <vector>

namespace vantrose {

class FileStore;
class TableState;
struct KeyDescriptor;

// The stores of a table's dynamic indexes.
class DynamicIndexStores {
 public:
  DynamicIndexStores();
  ~DynamicIndexStores();
  DynamicIndexStores(const DynamicIndexStores&) = delete;
  DynamicIndexStores& operator=(const DynamicIndexStores&) = delete;

  // A new, empty store in writer mode, held here until freed.
  FileStore& Make();
  // Frees `store` when it is one of these (its cursors must be gone).
  void Free(const FileStore* store);
  void FreeAll();
  bool empty() const { return stores_.empty(); }

 private:
  std::vector<std::unique_ptr<FileStore>> stores_;
};

// The store that holds the entries of `key`: its own for a built dynamic
// index, else the table's.
FileStore& EntryStoreOf(const TableState& state, const KeyDescriptor& key);

// Gives the dynamic index `key` a new, empty store holding a fresh
// statistics record (count 0); the previous store, its entries and its
// cursor are freed and FS_KEY_BUILT is cleared until a build completes.
void RenewDynamicStore(TableState& state, KeyDescriptor& key);

// Frees the stores of every dynamic index of the table and the cursors on
// them, and marks the indexes not built (the close of the table).
void ReleaseDynamicIndexes(TableState& state);

}  // namespace vantrose
