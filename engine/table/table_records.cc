#include "engine/table/table_records.h"

#include <vector>

#include "engine/storage/byte_order.h"
#include "engine/storage/commit.h"
#include "engine/storage/cursor.h"
#include "engine/storage/file_store.h"
#include "engine/storage/page_tree.h"
#include "engine/table/record_kinds.h"
#include "engine/table/table_state.h"

namespace vantrose {

namespace {

bool SameTableAndKind(const RecordNode* record, uint32_t table, uint8_t kind) {
  return record != nullptr && record->key_length() >= kTablePrefixLength &&
         KeyTable(record->bytes()) == table && KeyKind(record->bytes()) == kind;
}

bool InTable(const RecordNode* record, uint32_t table) {
  return record != nullptr && record->key_length() >= 4 && KeyTable(record->bytes()) == table;
}

std::vector<uint8_t> NameKey(std::string_view name) {
  std::vector<uint8_t> key(1 + name.size());
  key[0] = KIND_TABLE_NAME;
  for (size_t i = 0; i < name.size(); ++i) key[1 + i] = static_cast<uint8_t>(name[i]);
  return key;
}

}  // namespace

RecordNode* FirstOfKind(FileStore& store, uint32_t table, uint8_t kind) {
  uint8_t key[kTablePrefixLength];
  TablePrefixKey(key, table, kind);
  RecordNodePtr probe = RecordNode::FromBytes(KeyBytes(key, sizeof key));
  RecordNode* record = FindNext(store, *probe);
  return SameTableAndKind(record, table, kind) ? record : nullptr;
}

RecordNode* LastOfKind(FileStore& store, uint32_t table, uint8_t kind) {
  uint8_t key[kTablePrefixLength];
  TablePrefixKey(key, table, static_cast<uint8_t>(kind + 1));
  // The kind after 0xFF does not exist: the table's end bounds the search.
  size_t length = kind == 0xFF ? 4 : kTablePrefixLength;
  if (kind == 0xFF) StoreBE32(key, table + 1);
  RecordNode* record = FindPrevious(store, KeyBytes(key, length));
  return SameTableAndKind(record, table, kind) ? record : nullptr;
}

RecordNode* FindTableName(FileStore& store, std::string_view name) {
  std::vector<uint8_t> key = NameKey(name);
  return FindExact(store, KeyBytes(key));
}

bool FindTableNumber(FileStore& store, std::string_view name, uint32_t* table) {
  RecordNode* record = FindTableName(store, name);
  if (record == nullptr || record->data().size() != 4) return false;
  *table = LoadBE32(record->data().data());
  return true;
}

void InsertTableName(FileStore& store, std::string_view name, uint32_t table) {
  std::vector<uint8_t> key = NameKey(name);
  uint8_t number[4];
  StoreBE32(number, table);
  Insert(store, RecordNode::FromBytes(KeyBytes(key), std::span<const uint8_t>(number, 4)));
}

bool AnyTableName(FileStore& store) {
  const uint8_t key[1] = {KIND_TABLE_NAME};
  RecordNodePtr probe = RecordNode::FromBytes(KeyBytes(key, 1));
  RecordNode* record = FindNext(store, *probe);
  return record != nullptr && record->key_length() >= 1 && record->bytes()[0] == KIND_TABLE_NAME;
}

uint32_t NextNumber(FileStore& store) {
  std::array<uint8_t, 4> number = NextSequence(store);
  return LoadBE32(number.data());
}

void DeleteTableRecords(FileStore& store, uint32_t table) {
  uint8_t end[4];
  StoreBE32(end, table + 1);
  RecordNode* last = FindPrevious(store, KeyBytes(end, 4));
  if (!InTable(last, table)) return;
  Cursor cursor;
  CursorInit(cursor, store);
  CursorSetAt(cursor, *last);
  for (RecordNode* record = CursorCurrent(cursor); InTable(record, table);
       record = CursorCurrent(cursor)) {
    CursorDelete(cursor);
  }
  CursorRelease(cursor);
}

void DeleteTable(TableState& state) {
  DeleteTableRecords(*state.store, state.table_number);
  for (KeyDescriptor& key : state.keys) {
    if ((key.flags & KEY_DYNAMIC) != 0 && key.store != nullptr && key.store != state.store) {
      Abandon(*key.store);
    }
  }
}

}  // namespace vantrose
