#include "engine/table/key_maintenance.h"

#include <algorithm>
#include <array>
#include <vector>

#include "engine/storage/page_tree.h"
#include "engine/table/dynamic_index.h"
#include "engine/table/key_value.h"
#include "engine/table/record_kinds.h"
#include "engine/table/statistics.h"

namespace vantrose {
namespace {

// One index entry formed in a reusable buffer, so that comparing a record's
// old and new values costs no allocation; a node is made only for an insert.
class EntryBuffer {
 public:
  void Form(const TableState& state, const KeyDescriptor& key, std::span<const uint8_t> image,
            uint32_t record) {
    CheckEntryFits(key);
    bytes_.assign(EntryLength(key), 0);
    key_length_ = EntryKeyLength(key);
    WriteEntry(state, key, image, record, bytes_.data());
  }
  KeyBytes Key() const { return {bytes_.data(), key_length_}; }
  RecordNodePtr Node() const {
    return RecordNode::FromBytes(Key(), std::span<const uint8_t>(bytes_).subspan(key_length_));
  }
  // Both formed for the same key and record number: equal values.
  bool operator==(const EntryBuffer& other) const { return bytes_ == other.bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t key_length_ = 0;
};

// The two entries that MaintainKeys compares, kept between calls so that
// their buffers are allocated once.
struct EntryPair {
  EntryBuffer old_entry;
  EntryBuffer new_entry;
};
EntryPair& Scratch() {
  thread_local EntryPair pair;
  return pair;
}

// What MaintainKeys did to one key, so that exactly that can be reversed.
enum : uint8_t { kInsertedNew = 0x1, kDeletedOld = 0x2 };

// Reverses the changes recorded in `done` for keys 0 .. key_count - 1: the
// entries inserted for the new image go, the entries deleted for the old one
// come back, and the counts return to what they were. Only what the forward
// pass did is undone, so an entry that was missing before stays missing and
// nothing here can meet a duplicate.
void UndoKeys(TableState& state, std::span<const uint8_t> new_image,
              std::span<const uint8_t> old_image, uint32_t record,
              const std::array<uint8_t, kMaxKeys>& done, size_t key_count) {
  EntryBuffer entry;
  for (size_t i = key_count; i-- > 0;) {
    if (done[i] == 0) continue;
    const KeyDescriptor& key = state.keys[i];
    FileStore& store = EntryStoreOf(state, key);
    int32_t change = 0;
    if (done[i] & kInsertedNew) {
      entry.Form(state, key, new_image, record);
      if (RecordNode* inserted = FindExact(store, entry.Key())) {
        Delete(store, inserted);
        --change;
      }
    }
    if (done[i] & kDeletedOld) {
      entry.Form(state, key, old_image, record);
      Insert(store, entry.Node());
      ++change;
    }
    if (change != 0) AddToCount(state, static_cast<uint8_t>(i), change);
  }
}

std::span<const uint8_t> RecordBuffer(const TableState& state) {
  return {state.record_buffer, state.record_buffer != nullptr ? state.record_length : 0};
}

}  // namespace

int32_t MaintainKeys(TableState& state, std::span<const uint8_t> new_image,
                     std::span<const uint8_t> old_image, uint32_t record, bool append,
                     size_t key_count) {
  key_count = std::min({key_count, state.keys.size(), kMaxKeys});
  EntryPair& scratch = Scratch();
  std::array<uint8_t, kMaxKeys> done{};
  for (size_t i = 0; i < key_count; ++i) {
    const KeyDescriptor& key = state.keys[i];
    const uint8_t subject = static_cast<uint8_t>(i);
    if (key.flags & KEY_DYNAMIC) continue;  // built on request only
    const bool deferred = (key.flags & KEY_INDEX) || append;
    if (deferred) {
      // The key will be built from its first-not-indexed record on anyway.
      const uint32_t first = FirstNotIndexed(state, subject);
      if (first != 0 && record >= first) continue;
    }
    const bool has_old = !old_image.empty() && !IsBlankForKey(key, old_image);
    const bool has_new = !new_image.empty() && !IsBlankForKey(key, new_image);
    if (has_old && has_new) {
      scratch.old_entry.Form(state, key, old_image, record);
      scratch.new_entry.Form(state, key, new_image, record);
      if (scratch.old_entry == scratch.new_entry) continue;  // value unchanged
    } else if (has_old && !deferred) {
      scratch.old_entry.Form(state, key, old_image, record);
    } else if (has_new && !deferred) {
      scratch.new_entry.Form(state, key, new_image, record);
    }
    if (deferred) {
      // No value is formed for a single image: APPEND touches no key value.
      LowerFirstNotIndexed(state, subject, record);
      continue;
    }

    FileStore& store = EntryStoreOf(state, key);
    int32_t change = 0;
    if (has_new) {
      if (!(key.flags & KEY_DUP) && FindExact(store, scratch.new_entry.Key()) != nullptr) {
        UndoKeys(state, new_image, old_image, record, done, i);
        return kCreatesDuplicateKey;
      }
      Insert(store, scratch.new_entry.Node());
      done[i] |= kInsertedNew;
      ++change;
    }
    if (has_old) {
      // An entry already missing (the index out of step with the data) is
      // passed over.
      RecordNode* found = FindExact(store, scratch.old_entry.Key());
      if (found != nullptr && EntryRecordNumber(*found) == record) {
        Delete(store, found);
        done[i] |= kDeletedOld;
        --change;
      }
    }
    if (change != 0) AddToCount(state, subject, change);
  }
  return 0;
}

bool WouldDuplicateKey(TableState& state, const KeyDescriptor& key,
                       std::span<const uint8_t> image, uint32_t excluded_record) {
  if ((key.flags & KEY_DUP) || IsBlankForKey(key, image)) return false;
  EntryBuffer& probe = Scratch().new_entry;
  probe.Form(state, key, image, 0);
  const RecordNode* found = FindExact(EntryStoreOf(state, key), probe.Key());
  return found != nullptr && EntryRecordNumber(*found) != excluded_record;
}

bool WouldDuplicateAnyKey(TableState& state, std::span<const uint8_t> image,
                          uint32_t excluded_record) {
  return std::any_of(state.keys.begin(), state.keys.end(), [&](const KeyDescriptor& key) {
    return WouldDuplicateKey(state, key, image, excluded_record);
  });
}

// The record that storing the buffer would replace is no duplicate of it:
// with a current record, storing means PUT of that record, so its own
// entries are excluded; without one, storing means ADD and every entry
// counts.
int32_t DuplicateOperation(OperationContext& context) {
  TableState& state = context.state;
  context.result = WouldDuplicateAnyKey(state, RecordBuffer(state), state.current_record) ? 1 : 0;
  return 0;
}

int32_t DuplicateKeyOperation(OperationContext& context) {
  TableState& state = context.state;
  context.result =
      WouldDuplicateKey(state, *context.key, RecordBuffer(state), state.current_record) ? 1 : 0;
  return 0;
}

}  // namespace vantrose
