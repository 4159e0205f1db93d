// An open table on a fresh file, as the table open leaves it: descriptors,
// record buffer, cursors, statistics records, RS_OPEN. Operations are run
// through their handlers the way the engine entry runs them, followed by the
// commit step. The records are those of twenty_byte_record.h.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/corruption.h"
#include "engine/storage/cursor.h"
#include "engine/storage/page_tree.h"
#include "engine/table/collation_record.h"
#include "engine/table/data_records.h"
#include "engine/table/end_operation.h"
#include "engine/table/key_maintenance.h"
#include "engine/table/key_value.h"
#include "engine/table/memos.h"
#include "engine/table/record_kinds.h"
#include "engine/table/record_updates.h"
#include "engine/table/statistics.h"
#include "engine/table/table_records.h"
#include "record_kinds_store.h"
#include "runtime/declared.h"
#include "tests/table/twenty_byte_record.h"

namespace vantrose {

class RecordsTest : public TableFileTest {
 protected:
  struct MemoSpec {
    uint32_t size;
    uint8_t flags;
  };

  void SetUp() override {
    TableFileTest::SetUp();
    MarkEngineOperationInProgress();  // a corruption report fails the test, not the run
  }
  void TearDown() override {
    for (MemoDescriptor& memo : state_.memos) SetBlobSize(memo, 0);
    ReleaseCollation(state_);
    for (KeyDescriptor& key : state_.keys) key.stats_cursor = nullptr;
    state_.data_cursor = state_.key_cursor = state_.stats_cursor = nullptr;
    cursors_.clear();
    ClearEngineOperationInProgress();
    TableFileTest::TearDown();
  }

  // Once per test, before any operation.
  // The fields lie in the first 20 bytes of a record of `record_length`.
  void Define(const std::vector<KeySpec>& keys, const std::vector<MemoSpec>& memos = {},
              bool oem = false, uint32_t record_length = kRecordLength) {
    state_.table_number = NextNumber(store_);
    state_.record_length = record_length;
    buffer_.assign(record_length, ' ');
    state_.record_buffer = buffer_.data();
    if (oem) state_.attributes |= ATTR_OEM;
    DefineFields(state_);
    DefineKeys(state_, keys);
    for (KeyDescriptor& key : state_.keys) {
      key.store = &store_;
      key.stats_cursor = NewCursor();
    }
    for (const MemoSpec& spec : memos) {
      MemoDescriptor memo;
      memo.size = spec.size;
      memo.flags = spec.flags;
      memo.buffer.assign(spec.size, ' ');
      state_.memos.push_back(std::move(memo));
    }
    state_.data_cursor = NewCursor();
    state_.key_cursor = NewCursor();
    state_.stats_cursor = NewCursor();
    state_.record_image.assign(record_length, 0);
    state_.table_flags |= RS_OPEN;
    state_.flags |= FS_OPEN;
    WriteFreshStatistics(state_);
    ASSERT_EQ(EndOperation(state_, 0), 0);
  }

  // Runs one operation's handler, then the commit step, as the entry does.
  int32_t Run(OperationHandler handler, int32_t cell = 0, KeyDescriptor* key = nullptr,
              std::string_view text = {}) {
    OperationContext context{state_, 0, key, {cell, 0, 0, 0}, text, {}, 0, {}};
    int32_t outcome = handler(context);
    const int32_t ended = EndOperation(state_, 0);
    if (outcome == 0) outcome = ended;
    result_ = context.result;
    result_string_ = context.result_string;
    return outcome;
  }

  void SetBuffer(const Bytes& image) { std::memcpy(buffer_.data(), image.data(), kRecordLength); }
  Bytes Buffer() const { return buffer_; }
  std::string Name() const {
    std::string name(buffer_.begin(), buffer_.begin() + 8);
    return name.substr(0, name.find_last_not_of(' ') + 1);
  }

  int32_t Add(const Bytes& image) {
    SetBuffer(image);
    return Run(AddOperation);
  }
  int32_t Append(const Bytes& image) {
    SetBuffer(image);
    return Run(AppendOperation);
  }
  // Reads the records of a sequence from where it stands, by name.
  std::vector<std::string> ReadAll(OperationHandler step) {
    std::vector<std::string> names;
    while (Run(step) == 0) names.push_back(Name());
    return names;
  }

  uint32_t Records() { return ReadCount(state_, kDataSubject); }
  uint32_t KeyCount(uint8_t key) { return ReadCount(state_, key); }

  // Every stored record of the table of the given kind (index entries:
  // the key number), key and data bytes, in tree order.
  std::vector<Bytes> StoredOfKind(uint8_t kind) {
    std::vector<Bytes> found;
    uint8_t prefix[kTablePrefixLength];
    TablePrefixKey(prefix, state_.table_number, kind);
    RecordNodePtr probe = RecordNode::FromBytes(KeyBytes(prefix, sizeof prefix));
    for (const RecordNode* record = FindNext(store_, *probe);
         record != nullptr && KeyTable(record->bytes()) == state_.table_number &&
         KeyKind(record->bytes()) == kind;
         record = FindNext(store_, *probe)) {
      found.emplace_back(record->all().begin(), record->all().end());
      probe = RecordNode::KeyCopy(*record);
    }
    return found;
  }

  Cursor* NewCursor() {
    cursors_.push_back(std::make_unique<Cursor>(store_));
    return cursors_.back().get();
  }

  Bytes buffer_;
  int32_t result_ = 0;
  std::string result_string_;
  std::vector<std::unique_ptr<Cursor>> cursors_;
};

}  // namespace vantrose
