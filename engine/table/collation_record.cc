#include "engine/table/collation_record.h"

#include <algorithm>

#include "engine/storage/page_tree.h"
#include "engine/table/collation.h"
#include "engine/table/record_kinds.h"
#include "engine/table/table_state.h"

namespace vantrose {

namespace {

CollationTables& TablesOf(TableState& state) {
  if (state.collation == nullptr) state.collation = new CollationTables(BuiltInCollation());
  return *state.collation;
}

}  // namespace

bool LoadCollation(TableState& state, bool remove) {
  uint8_t key[kCollationKeyLength];
  CollationKey(key, state.table_number);
  RecordNode* record = FindExact(*state.store, KeyBytes(key, sizeof key));
  if (record == nullptr) return false;
  bool oem = false;
  CollationTables stored;
  if (ParseCollationRecord(record->data(), &oem, &stored)) {
    TablesOf(state) = stored;
    if (oem) {
      state.attributes |= ATTR_OEM;
    } else {
      state.attributes &= static_cast<uint8_t>(~ATTR_OEM);
    }
  }
  if (remove) Delete(*state.store, record);
  return true;
}

void StoreCollation(TableState& state) {
  CollationTables& tables = TablesOf(state);
  tables = BuiltInCollation();
  uint8_t key[kCollationKeyLength];
  CollationKey(key, state.table_number);
  Delete(*state.store, FindExact(*state.store, KeyBytes(key, sizeof key)));
  RecordNodePtr record = RecordNode::New(kCollationKeyLength, kCollationRecordDataSize);
  std::copy(key, key + sizeof key, record->bytes());
  SerialiseCollationRecord((state.attributes & ATTR_OEM) != 0, tables,
                           std::span<uint8_t, kCollationRecordDataSize>(
                               record->mutable_data().data(), kCollationRecordDataSize));
  Insert(*state.store, std::move(record));
}

void ReleaseCollation(TableState& state) {
  delete state.collation;
  state.collation = nullptr;
}

}  // namespace vantrose
