#include "engine/table/key_build.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "engine/storage/byte_order.h"
#include "engine/storage/commit.h"
#include "engine/storage/corruption.h"
#include "engine/storage/cursor.h"
#include "engine/storage/file_store.h"
#include "engine/storage/page_tree.h"
#include "engine/table/build_filter.h"
#include "engine/table/collation_record.h"
#include "engine/table/data_records.h"
#include "engine/table/dynamic_index.h"
#include "engine/table/external_sorter.h"
#include "engine/table/key_maintenance.h"
#include "engine/table/key_value.h"
#include "engine/table/record_kinds.h"
#include "engine/table/statistics.h"

namespace vantrose {
namespace {

// A store holding this many changed pages is checkpointed during a merge.
constexpr uint32_t kCheckpointPages = 400;
// An index entry of the key being built that is not EntryLength bytes long.
constexpr uint32_t kCheckEntryLength = 2451;

// The lower of two record numbers where 0 means "none" and counts as above
// every number.
uint32_t LowerRecord(uint32_t a, uint32_t b) {
  if (a == 0) return b;
  if (b == 0) return a;
  return a < b ? a : b;
}

bool IsEntryOf(const RecordNode* node, const uint8_t* prefix) {
  return node != nullptr && node->key_length() >= kTablePrefixLength &&
         std::memcmp(node->bytes(), prefix, kTablePrefixLength) == 0;
}

// One build of one key: the pass's start, its sorter, the entry count and
// the first duplicate. Offer feeds it the data records; Finish inserts.
// A dynamic index's store is the new one its build made: the pass covers
// every record, and nothing of it is ever committed.
class KeyBuilder {
 public:
  KeyBuilder(TableState& state, KeyDescriptor& key, BuildFilter* filter = nullptr)
      : state_(state),
        key_(key),
        store_(EntryStoreOf(state, key)),
        filter_(filter),
        dynamic_((key.flags & KEY_DYNAMIC) != 0),
        subject_(static_cast<uint8_t>(key.number)),
        value_length_(KeyValueLength(key)),
        entry_key_length_(EntryKeyLength(key)) {}

  // Decides the pass. False when the key is complete (nothing to build).
  bool Begin() {
    start_ = (dynamic_ || (state_.table_flags & RS_FULLBUILD) != 0) ? 1 : FirstNotIndexed(state_, subject_);
    if (start_ == 0) return false;
    sorter_ = std::make_unique<ExternalSorter>(value_length_ + 4);
    entry_.assign(kTablePrefixLength + value_length_ + 4, 0);
    TablePrefixKey(entry_.data(), state_.table_number, subject_);
    return true;
  }

  uint32_t start() const { return start_; }
  // The last record offered that was not blank for the key (0 = none).
  uint32_t last_formed() const { return last_formed_; }

  // One data record of the scan, `image` as the record buffer holds it.
  void Offer(uint32_t record, std::span<const uint8_t> image) {
    if (record < start_ || IsBlankForKey(key_, image)) return;
    last_formed_ = record;
    if (error_ != 0) return;  // the sorter already cannot produce its items
    if (filter_ != nullptr && !filter_->Passes(image)) return;
    uint8_t* item = entry_.data() + kTablePrefixLength;
    FormKeyValue(state_, key_, item, image);
    StoreBE32(item + value_length_, record);
    error_ = sorter_->Add(item);
  }

  // Clears what the pass rebuilds, inserts the sorted entries and writes the
  // last checkpoint. Answers 40 when duplicates were met, else the error.
  int32_t Finish() {
    if ((key_.flags & KEY_INDEX) != 0 || (state_.table_flags & RS_FULLBUILD) != 0) {
      count_ = DeleteEntriesFromStart();
    } else {
      count_ = ReadCount(state_, subject_);
    }
    if (error_ == 0) error_ = sorter_->PrepareMerge();
    if (error_ == 0) Merge();
    sorter_.reset();  // the temporary file goes now, whatever happened
    if (error_ == 0) start_ = 0;
    // After a failed commit the store has dropped its changes, the entries
    // counted here among them; the last committed checkpoint stands.
    if (!commit_failed_) Checkpoint();
    return first_duplicate_ != 0 ? kCreatesDuplicateKey : error_;
  }

 private:
  // Deletes the key's entries of records from start on; answers how many
  // entries are kept.
  uint32_t DeleteEntriesFromStart() {
    RecordNodePtr probe = RecordNode::FromBytes(KeyBytes(entry_.data(), kTablePrefixLength));
    uint32_t kept = 0;
    RecordNode* node = FindNext(store_, *probe);
    while (IsEntryOf(node, entry_.data())) {
      if (node->total_length() != entry_.size()) ReportCorruption(kCheckEntryLength);
      if (EntryRecordNumber(*node) >= start_) {
        probe = RecordNode::KeyCopy(*node);
        Delete(store_, node);
        node = FindNext(store_, *probe);
      } else {
        ++kept;
        node = FindNext(store_, *node);
      }
    }
    return kept;
  }

  void Merge() {
    Cursor cursor(store_);
    while (error_ == 0) {
      const uint8_t* item = nullptr;
      if (int32_t rc = sorter_->Next(&item); rc != 0) {
        error_ = rc;
        break;
      }
      if (item == nullptr) break;
      std::memcpy(entry_.data() + kTablePrefixLength, item, value_length_ + 4);
      Place(cursor);
      // A dynamic index's pages stay in memory whatever happens; its count
      // is written once, when the pass ends.
      if (!dynamic_ && store_.cache.changed_count() >= kCheckpointPages) Checkpoint();
    }
    CursorRelease(cursor);
  }

  // Inserts the entry in entry_ unless its key is already present. The cursor
  // stays on the last entry placed and successor_ holds the key of the record
  // after it as the merge found it: an entry that sorts between the two
  // belongs in the cursor's leaf and cannot be present, so it goes straight
  // in; anything else is looked up from the root.
  void Place(Cursor& cursor) {
    const KeyBytes entry_key(entry_.data(), entry_key_length_);
    if (positioned_) {
      RecordNode* current = CursorCurrent(cursor);
      if (current != nullptr && CompareKeys(current->key(), entry_key) == 0) {
        Found(*current);
        return;
      }
      if (current != nullptr && CompareKeys(current->key(), entry_key) < 0 &&
          (successor_ == nullptr || CompareKeys(entry_key, successor_->key()) < 0)) {
        CursorInsert(cursor, NewEntry());
        ++count_;
        return;
      }
    }
    RecordNode* node = FindExact(store_, entry_key);
    if (node != nullptr) {
      Found(*node);
    } else {
      node = Insert(store_, NewEntry());
      ++count_;
    }
    RecordNode* next = FindNext(store_, *node);
    successor_ = next != nullptr ? RecordNode::KeyCopy(*next) : nullptr;
    CursorSetAt(cursor, *node);
    positioned_ = true;
  }

  RecordNodePtr NewEntry() const {
    RecordNodePtr node = RecordNode::New(entry_key_length_, uint32_t(entry_.size()) - entry_key_length_);
    std::memcpy(node->bytes(), entry_.data(), entry_.size());
    return node;
  }

  // The entry's key is present: the entry is dropped. Without KEY_DUP the
  // present entry may belong to another record holding the same value.
  void Found(const RecordNode& present) {
    if ((key_.flags & KEY_DUP) != 0) return;
    if (present.total_length() != entry_.size()) ReportCorruption(kCheckEntryLength);
    const uint32_t record = LoadBE32(entry_.data() + entry_.size() - 4);
    if (EntryRecordNumber(present) != record) {
      first_duplicate_ = LowerRecord(first_duplicate_, record);
    }
  }

  void Checkpoint() {
    SetCount(state_, subject_, count_);
    if (dynamic_) return;  // nothing of it is kept beyond the open table
    SetFirstNotIndexed(state_, subject_, LowerRecord(start_, first_duplicate_));
    if (int32_t rc = Commit(store_); rc != 0) {
      commit_failed_ = true;
      if (error_ == 0) error_ = rc;
    }
  }

  TableState& state_;
  KeyDescriptor& key_;
  FileStore& store_;
  BuildFilter* const filter_;
  const bool dynamic_;
  const uint8_t subject_;
  const uint32_t value_length_;
  const uint32_t entry_key_length_;

  uint32_t start_ = 0;
  uint32_t count_ = 0;
  uint32_t first_duplicate_ = 0;
  uint32_t last_formed_ = 0;
  int32_t error_ = 0;
  bool commit_failed_ = false;

  std::unique_ptr<ExternalSorter> sorter_;
  std::vector<uint8_t> entry_;  // [table][key number] then the current item
  RecordNodePtr successor_;
  bool positioned_ = false;
};

// Scans the table's data records from record number `from` on, once, and
// offers each to every builder, with its text converted as the record
// buffer would hold it.
void ScanData(TableState& state, uint32_t from, std::span<const std::unique_ptr<KeyBuilder>> builders) {
  FileStore& store = *state.store;
  uint8_t probe_key[kDataKeyLength];
  DataKey(probe_key, state.table_number, from - 1);
  RecordNodePtr probe = RecordNode::FromBytes(KeyBytes(probe_key, sizeof probe_key));
  const bool oem = (state.attributes & ATTR_OEM) != 0;
  std::vector<uint8_t> scratch;
  for (RecordNode* node = FindNext(store, *probe); IsDataRecordOf(state, node);
       node = FindNext(store, *node)) {
    const uint32_t record = LoadBE32(node->bytes() + kTablePrefixLength);
    std::span<const uint8_t> image = node->data();
    if (oem || image.size() != state.record_length) {
      scratch.assign(state.record_length, 0);
      std::memcpy(scratch.data(), image.data(), std::min<size_t>(image.size(), scratch.size()));
      ConvertRecordText(state, scratch.data(), false);
      image = scratch;
    }
    for (const std::unique_ptr<KeyBuilder>& builder : builders) builder->Offer(record, image);
  }
}

// The record buffer ends holding the last record that the last build formed
// a value from, as a build of the keys one by one would leave it.
void LeaveLastRecordInBuffer(TableState& state, std::span<const std::unique_ptr<KeyBuilder>> builders) {
  if (state.record_buffer == nullptr) return;
  for (size_t i = builders.size(); i-- > 0;) {
    const uint32_t record = builders[i]->last_formed();
    if (record == 0) continue;
    uint8_t key[kDataKeyLength];
    DataKey(key, state.table_number, record);
    const RecordNode* node = FindExact(*state.store, KeyBytes(key, sizeof key));
    if (node == nullptr) return;
    const std::span<const uint8_t> image = node->data();
    std::memset(state.record_buffer, 0, state.record_length);
    std::memcpy(state.record_buffer, image.data(), std::min<size_t>(image.size(), state.record_length));
    ConvertRecordText(state, state.record_buffer, false);
    return;
  }
}

// Scans once for all the builders, then finishes them in order up to the
// first that fails. Answers that failure or 0.
int32_t RunBuilders(TableState& state, std::vector<std::unique_ptr<KeyBuilder>>& builders) {
  if (builders.empty()) return 0;
  uint32_t from = builders.front()->start();
  for (const std::unique_ptr<KeyBuilder>& builder : builders) from = std::min(from, builder->start());
  ScanData(state, from, builders);
  int32_t result = 0;
  size_t finished = 0;
  while (finished < builders.size() && result == 0) result = builders[finished++]->Finish();
  builders.resize(finished);  // the rest are released unused, sorters and all
  LeaveLastRecordInBuffer(state, builders);
  return result;
}

}  // namespace

int32_t BuildKey(TableState& state, KeyDescriptor& key, BuildFilter* filter) {
  // A dynamic index changes nothing in the file: its build only reads the
  // table, so it needs no writer lock (and works on a file opened for
  // reading) while the index's own store is in writer mode from its making.
  const bool dynamic = (key.flags & KEY_DYNAMIC) != 0;
  if (!dynamic) {
    if (int32_t rc = EnterWriteMode(*state.store); rc != 0) return rc;
  }
  if (key.components.empty()) return 0;
  CheckEntryFits(key);
  if (dynamic) RenewDynamicStore(state, key);
  std::vector<std::unique_ptr<KeyBuilder>> builders;
  builders.push_back(std::make_unique<KeyBuilder>(state, key, filter));
  if (!builders.front()->Begin()) return 0;
  const int32_t result = RunBuilders(state, builders);
  if (dynamic && result == 0) key.state_flags |= FS_KEY_BUILT;
  return result;
}

int32_t BuildAll(TableState& state, bool trim) {
  if (int32_t rc = EnterWriteMode(*state.store); rc != 0) return rc;
  if ((state.table_flags & RS_FULLBUILD) != 0) StoreCollation(state);
  // Keys are gathered in key order into one scan up to the first key whose
  // entry cannot be formed at all; that key then reports as it would after
  // the keys before it were built.
  std::vector<std::unique_ptr<KeyBuilder>> builders;
  KeyDescriptor* unfit = nullptr;
  for (KeyDescriptor& key : state.keys) {
    if ((key.flags & KEY_INDEX) != 0 || key.components.empty()) continue;
    if (KeyValueLength(key) > kMaxKeyValueLength) {
      unfit = &key;
      break;
    }
    auto builder = std::make_unique<KeyBuilder>(state, key);
    if (builder->Begin()) builders.push_back(std::move(builder));
  }
  int32_t result = RunBuilders(state, builders);
  if (result == 0 && unfit != nullptr) CheckEntryFits(*unfit);
  if (result == 0 && trim) TrimFile(*state.store);
  return result;
}

}  // namespace vantrose
