#include "engine/table/statistics.h"

#include <cstring>

#include "engine/storage/byte_order.h"
#include "engine/storage/cursor.h"
#include "engine/storage/file_store.h"
#include "engine/storage/page_tree.h"
#include "engine/table/record_kinds.h"
#include "engine/table/table_state.h"

namespace vantrose {

namespace {

constexpr size_t kCountOffset = 0;
constexpr size_t kSecondWordOffset = 4;

// The store and cursor that hold one subject's statistics record.
struct StatisticsPlace {
  FileStore* store;
  Cursor* cursor;  // may be null: a temporary cursor is used then
};

StatisticsPlace PlaceOf(TableState& state, uint8_t subject) {
  if (subject == kDataSubject || subject >= state.keys.size()) {
    return {state.store, state.stats_cursor};
  }
  KeyDescriptor& key = state.keys[subject];
  return {key.store != nullptr ? key.store : state.store, key.stats_cursor};
}

bool IsStatisticsRecord(const RecordNode* record, const uint8_t* key) {
  return record != nullptr && record->key_length() == kStatisticsKeyLength &&
         record->data().size() >= kStatisticsDataLength &&
         std::memcmp(record->bytes(), key, kStatisticsKeyLength) == 0;
}

// Runs `use` on the statistics record held in place (the cursor ends on it,
// attached, so that in-place changes can mark its page); false when missing.
template <typename Use>
bool WithRecord(TableState& state, uint8_t subject, Use use) {
  StatisticsPlace place = PlaceOf(state, subject);
  uint8_t key[kStatisticsKeyLength];
  StatisticsKey(key, state.table_number, subject);
  Cursor temporary;
  Cursor* cursor = place.cursor;
  if (cursor == nullptr) {
    cursor = &temporary;
    CursorInit(temporary, *place.store);
  } else if (cursor->store() != place.store) {
    CursorRelease(*cursor);
    CursorInit(*cursor, *place.store);
  }
  RecordNode* record = CursorCurrent(*cursor);
  if (!IsStatisticsRecord(record, key)) {
    RecordNode* found = FindExact(*place.store, KeyBytes(key, sizeof key));
    if (found == nullptr) return false;
    CursorSetAt(*cursor, *found);
    record = CursorCurrent(*cursor);
    if (!IsStatisticsRecord(record, key)) return false;
  }
  use(*cursor, record->mutable_data().data());
  return true;
}

void InsertFresh(FileStore& store, uint32_t table, uint8_t subject) {
  uint8_t key[kStatisticsKeyLength];
  StatisticsKey(key, table, subject);
  const uint8_t data[kStatisticsDataLength] = {};
  Insert(store, RecordNode::FromBytes(KeyBytes(key, sizeof key),
                                      std::span<const uint8_t>(data, sizeof data)));
}

void EnsureRecord(TableState& state, uint8_t subject) {
  if (WithRecord(state, subject, [](Cursor&, uint8_t*) {})) return;
  InsertFresh(*PlaceOf(state, subject).store, state.table_number, subject);
}

}  // namespace

uint32_t ReadCount(TableState& state, uint8_t subject) {
  uint32_t count = 0;
  WithRecord(state, subject, [&](Cursor&, uint8_t* data) { count = LoadLE32(data + kCountOffset); });
  return count;
}

uint32_t SetCount(TableState& state, uint8_t subject, uint32_t count) {
  uint32_t result = 0;
  WithRecord(state, subject, [&](Cursor& cursor, uint8_t* data) {
    StoreLE32(data + kCountOffset, count);
    CursorMarkChanged(cursor);
    result = count;
  });
  return result;
}

uint32_t AddToCount(TableState& state, uint8_t subject, int32_t change) {
  uint32_t result = 0;
  WithRecord(state, subject, [&](Cursor& cursor, uint8_t* data) {
    result = LoadLE32(data + kCountOffset) + static_cast<uint32_t>(change);
    StoreLE32(data + kCountOffset, result);
    CursorMarkChanged(cursor);
  });
  return result;
}

uint32_t FirstNotIndexed(TableState& state, uint8_t subject) {
  uint32_t value = 0;
  if (!WithRecord(state, subject,
                  [&](Cursor&, uint8_t* data) { value = LoadLE32(data + kSecondWordOffset); })) {
    InsertFresh(*PlaceOf(state, subject).store, state.table_number, subject);
  }
  return value;
}

void LowerFirstNotIndexed(TableState& state, uint8_t subject, uint32_t record) {
  EnsureRecord(state, subject);
  WithRecord(state, subject, [&](Cursor& cursor, uint8_t* data) {
    uint32_t current = LoadLE32(data + kSecondWordOffset);
    // 0 means "covers everything", which is above every record number.
    if (record != 0 && (current == 0 || record < current)) {
      StoreLE32(data + kSecondWordOffset, record);
      CursorMarkChanged(cursor);
    }
  });
}

void SetFirstNotIndexed(TableState& state, uint8_t subject, uint32_t value) {
  EnsureRecord(state, subject);
  WithRecord(state, subject, [&](Cursor& cursor, uint8_t* data) {
    StoreLE32(data + kSecondWordOffset, value);
    CursorMarkChanged(cursor);
  });
}

void WriteFreshStatistics(TableState& state) {
  InsertFresh(*state.store, state.table_number, kDataSubject);
  for (const KeyDescriptor& key : state.keys) {
    if ((key.flags & KEY_DYNAMIC) == 0) {
      InsertFresh(*state.store, state.table_number, static_cast<uint8_t>(key.number));
    }
  }
}

void WriteFreshKeyStatistics(TableState& state, uint8_t subject) {
  InsertFresh(*PlaceOf(state, subject).store, state.table_number, subject);
}

}  // namespace vantrose
