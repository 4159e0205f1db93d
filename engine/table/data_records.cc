#include "engine/table/data_records.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/storage/byte_order.h"
#include "engine/storage/corruption.h"
#include "engine/storage/file_store.h"
#include "engine/storage/page_tree.h"
#include "engine/table/dynamic_index.h"
#include "engine/table/end_operation.h"
#include "engine/table/key_value.h"
#include "engine/table/memos.h"
#include "engine/table/record_kinds.h"
#include "engine/table/statistics.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "runtime/declared.h"

namespace vantrose {

namespace {

constexpr uint16_t kOneReadRequests = RS_HOLD_NEXT | RS_WATCH_NEXT | RS_NOMEMO;
// Pause between two tries of a read that met a held record: the other user
// needs time to release it, and a loop without pause would only burn the
// processor while it waits.
constexpr uint32_t kHoldRetryPauseMs = 10;
constexpr size_t kRecordNumberLength = 4;
// A data record whose data is not exactly the table's record length is
// damage: copying it would read past it or leave the buffer half old.
constexpr uint32_t kCheckDataRecordLength = 2401;

void ClearOneReadRequests(TableState& state) {
  state.table_flags &= static_cast<uint16_t>(~kOneReadRequests);
}

bool TextIsOem(const TableState& state) { return (state.attributes & ATTR_OEM) != 0; }

// The key bytes of a data record of the state's table.
std::vector<uint8_t> DataProbe(const TableState& state, uint32_t record) {
  std::vector<uint8_t> probe(kDataKeyLength);
  DataKey(probe.data(), state.table_number, record);
  return probe;
}

bool IsEntryOf(const TableState& state, const KeyDescriptor& key, const RecordNode* record) {
  return record != nullptr && record->key_length() == EntryKeyLength(key) &&
         record->total_length() == EntryLength(key) &&
         KeyTable(record->bytes()) == state.table_number && KeyKind(record->bytes()) == key.number;
}

RecordNode* FindNextOf(FileStore& store, std::span<const uint8_t> key) {
  RecordNodePtr probe = RecordNode::FromBytes(KeyBytes(key.data(), key.size()));
  return FindNext(store, *probe);
}

// The data record of `record`, or none.
RecordNode* FindDataRecord(const TableState& state, uint32_t record) {
  uint8_t key[kDataKeyLength];
  DataKey(key, state.table_number, record);
  RecordNode* found = FindExact(*state.store, KeyBytes(key, sizeof key));
  return IsDataRecordOf(state, found) ? found : nullptr;
}

// The key bytes of an index entry of `key` with the value formed from
// `image` and, for a key with KEY_DUP, the record number `record`. For a key
// without KEY_DUP the record number is not part of the key.
std::vector<uint8_t> EntryProbe(const TableState& state, const KeyDescriptor& key,
                                std::span<const uint8_t> image, uint32_t record) {
  RecordNodePtr entry = FormEntry(state, key, image);
  SetEntryRecordNumber(*entry, record);
  return std::vector<uint8_t>(entry->bytes(), entry->bytes() + EntryKeyLength(key));
}

// The whole entry (key and data): the probe of SET(key, key, pointer) and
// RESET(key, position), which need the record number of a key without
// KEY_DUP as well.
std::vector<uint8_t> WholeEntryProbe(const TableState& state, const KeyDescriptor& key,
                                     std::span<const uint8_t> image, uint32_t record) {
  RecordNodePtr entry = FormEntry(state, key, image);
  SetEntryRecordNumber(*entry, record);
  return std::vector<uint8_t>(entry->bytes(), entry->bytes() + entry->total_length());
}

// The probe of SET(key, pointer): only the four bytes after the key number
// count, and they hold the pointer.
std::vector<uint8_t> PointerProbe(const TableState& state, const KeyDescriptor& key, uint32_t record) {
  std::vector<uint8_t> probe(kTablePrefixLength + kRecordNumberLength);
  TablePrefixKey(probe.data(), state.table_number, static_cast<uint8_t>(key.number));
  StoreBE32(probe.data() + kTablePrefixLength, record);
  return probe;
}

// The entry with the value of an entry probe, found by the rule of SET(key,
// key): the first entry whose value is not smaller (forward), or the last
// whose value is not greater (backward).
RecordNode* FindFromValue(const TableState& state, const KeyDescriptor& key,
                          std::vector<uint8_t>& probe, bool forward) {
  FileStore& store = EntryStoreOf(state, key);
  if (key.flags & KEY_DUP) {
    StoreBE32(probe.data() + probe.size() - kRecordNumberLength, forward ? 0 : 0xFFFFFFFFu);
  } else if (RecordNode* exact = FindExact(store, KeyBytes(probe.data(), probe.size()))) {
    return exact;
  }
  return forward ? FindNextOf(store, probe) : FindPrevious(store, KeyBytes(probe.data(), probe.size()));
}

// The entry at (value, record number) of a whole-entry probe (its last four
// bytes are the record number), else the next or previous one in the key's
// order (value, then record number).
RecordNode* FindFromValueAndNumber(const TableState& state, const KeyDescriptor& key,
                                   const std::vector<uint8_t>& entry, bool forward) {
  FileStore& store = EntryStoreOf(state, key);
  if (entry.size() != EntryLength(key)) return nullptr;
  const uint32_t record = LoadBE32(entry.data() + entry.size() - kRecordNumberLength);
  const KeyBytes probe_key(entry.data(), EntryKeyLength(key));
  RecordNodePtr probe = RecordNode::FromBytes(probe_key);
  RecordNode* exact = FindExact(store, probe_key);
  if (key.flags & KEY_DUP) {
    if (exact != nullptr) return exact;
  } else if (exact != nullptr && IsEntryOf(state, key, exact)) {
    // One entry per value: it lies at (value, its number).
    const uint32_t number = EntryRecordNumber(*exact);
    if (number == record || (forward ? number > record : number < record)) return exact;
  }
  return forward ? FindNext(store, *probe) : FindPrevious(store, probe_key);
}

uint32_t EntryNumberOf(const RecordNode& entry) { return EntryRecordNumber(entry); }

bool WaitRanOut(TableState& state) {
  if (state.hold_seconds == -1) return false;
  const uint32_t waited = ClockHundredths() - state.hold_start;
  return waited > static_cast<uint32_t>(state.hold_seconds) * 100u;
}

// Runs `attempt` (a whole read: lookup and fetch) until it gives anything
// but 43 or the lock wait has run out.
template <typename Attempt>
int32_t WithLockWait(TableState& state, Attempt attempt) {
  if ((state.table_flags & RS_HOLD_NEXT) && state.hold_seconds != -1) {
    state.hold_start = ClockHundredths();
  }
  for (;;) {
    const int32_t result = attempt();
    if (result != kRecordHeld) return result;
    if (WaitRanOut(state)) {
      ClearOneReadRequests(state);
      return result;
    }
    WaitMilliseconds(kHoldRetryPauseMs);
  }
}

void ReadMemosOfCurrent(TableState& state) {
  if (state.table_flags & RS_NOMEMO) {
    state.table_flags |= RS_MEMOS_SKIPPED;
  } else if (!state.memos.empty()) {
    MemoPass(state, state.current_record, MemoMode::kRead);
  }
}

// The position string's bytes padded back to `length`: the entry takes
// string arguments blank-trimmed, and a position whose last bytes were
// blanks loses them on the way.
std::string PaddedPosition(std::string_view position, size_t length) {
  std::string padded(position.substr(0, length));
  padded.resize(length, ' ');
  return padded;
}

// The whole entry of `key` that a position names: the key value after its
// first four bytes, the record number in them.
std::vector<uint8_t> PositionEntry(const TableState& state, const KeyDescriptor& key,
                                   const uint8_t* position, uint32_t record) {
  std::vector<uint8_t> entry(EntryLength(key));
  TablePrefixKey(entry.data(), state.table_number, static_cast<uint8_t>(key.number));
  std::memcpy(entry.data() + kTablePrefixLength, position + kRecordNumberLength, KeyValueLength(key));
  StoreBE32(entry.data() + entry.size() - kRecordNumberLength, record);
  return entry;
}

// The current record number in stored form.
std::string StoredNumber(uint32_t record) {
  std::string text(kRecordNumberLength, '\0');
  StoreBE32(reinterpret_cast<uint8_t*>(text.data()), record);
  return text;
}

// Sets the sequence to `mode` with `probe`, making `key` current (file
// forms pass none); SET(file, key) keeps its key as the position key only.
void StartSequence(TableState& state, uint32_t mode, KeyDescriptor* key,
                   std::vector<uint8_t> probe) {
  state.positioning_mode = mode;
  state.position_record = std::move(probe);
  state.current_key = (mode == SEQ_FILE_START || mode == SEQ_FILE_AT_POINTER ||
                       mode == SEQ_FILE_AT_KEY) ? nullptr : key;
  state.position_key = key;
}

std::span<const uint8_t> RecordBuffer(const TableState& state) {
  return {state.record_buffer, state.record_length};
}

}  // namespace

void ConvertRecordText(const TableState& state, uint8_t* image, bool to_oem) {
  if (!TextIsOem(state)) return;
  const uint8_t* map = to_oem ? AnsiToOemMap() : OemToAnsiMap();
  const auto convert = [map](uint8_t* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i) bytes[i] = map[bytes[i]];
  };
  for (const FieldDescriptor& field : state.fields) {
    if (field.over != 0) continue;
    if (field.type != TYPE_STRING && field.type != TYPE_CSTRING && field.type != TYPE_PSTRING) continue;
    if (field.offset >= state.record_length) continue;
    const uint32_t size = std::min(field.size, state.record_length - field.offset);
    const uint32_t element = field.element_length != 0 ? field.element_length : size;
    for (uint32_t start = 0; start < size; start += element) {
      uint8_t* bytes = image + field.offset + start;
      const uint32_t length = std::min(element, size - start);
      if (field.type == TYPE_STRING) {
        convert(bytes, length);
      } else if (field.type == TYPE_CSTRING) {
        const void* zero = std::memchr(bytes, 0, length);
        convert(bytes, zero ? static_cast<const uint8_t*>(zero) - bytes : length);
      } else if (length > 0) {
        // A length byte beyond the field (a damaged record) converts only
        // the bytes the field has behind it.
        convert(bytes + 1, std::min<uint32_t>(bytes[0], length - 1));
      }
    }
  }
}

bool IsDataRecordOf(const TableState& state, const RecordNode* record) {
  return record != nullptr && record->key_length() == kDataKeyLength &&
         KeyTable(record->bytes()) == state.table_number && KeyKind(record->bytes()) == KIND_DATA;
}

void ReleaseCurrentRecord(TableState& state) {
  if (state.table_flags & RS_HELD) {
    UnlockRecord(*state.store, state.current_record);
    state.table_flags &= static_cast<uint16_t>(~RS_HELD);
  }
  state.table_flags &= static_cast<uint16_t>(~(RS_WATCHED | RS_MEMOS_SKIPPED));
  state.current_record = 0;
}

int32_t FetchRecord(TableState& state, const RecordNode* record) {
  ReleaseCurrentRecord(state);
  if (record == nullptr) return kRecordNotFound;
  if (!IsDataRecordOf(state, record)) {
    // An index entry: its last four bytes name the data record.
    record = FindDataRecord(state, LoadBE32(record->bytes() + record->total_length() - kRecordNumberLength));
    if (record == nullptr) return kRecordNotFound;
  }
  const uint32_t number = LoadBE32(record->bytes() + kTablePrefixLength);
  if (record->data().size() != state.record_length) ReportCorruption(kCheckDataRecordLength);
  if (state.table_flags & RS_HOLD_NEXT) {
    if (LockRecord(*state.store, number) != 0) {
      // Let the holder get on: this access ends before the wait goes on.
      EndOperation(state, 0);
      return kRecordHeld;
    }
    state.table_flags |= RS_HELD;
  }
  std::memcpy(state.record_buffer, record->data().data(), state.record_length);
  ConvertRecordText(state, state.record_buffer, false);
  state.record_image.assign(state.record_buffer, state.record_buffer + state.record_length);
  state.current_record = number;
  if (state.table_flags & RS_WATCH_NEXT) {
    state.table_flags |= RS_WATCHED;
    for (MemoDescriptor& memo : state.memos) {
      if ((memo.flags & MEMO_BLOB) == 0) memo.watch_copy.assign(memo.size, ' ');
    }
  }
  return 0;
}

int32_t ReadRecord(TableState& state, const RecordNode* record) {
  const int32_t result = FetchRecord(state, record);
  if (result == 0) ReadMemosOfCurrent(state);
  if (result != kRecordHeld) ClearOneReadRequests(state);
  return result;
}

int32_t Sequence(TableState& state, SequenceMode mode, bool forward) {
  for (;;) {
    uint32_t mode_after = SEQ_FILE_ORDER;
    KeyDescriptor* key = state.current_key;
    FileStore& data_store = *state.store;
    std::vector<uint8_t>& probe = state.position_record;
    RecordNode* found = nullptr;
    bool want_entry = false;

    switch (state.positioning_mode) {
      case SEQ_FILE_ORDER:
        if (probe.size() != kDataKeyLength) return mode == SequenceMode::kTest ? 1 : kRecordNotAvailable;
        found = forward ? FindNextOf(data_store, probe)
                        : FindPrevious(data_store, KeyBytes(probe.data(), probe.size()));
        break;
      case SEQ_FILE_START: {
        uint8_t start[kTablePrefixLength];
        TablePrefixKey(start, state.table_number, forward ? KIND_DATA : KIND_DATA + 1);
        found = forward ? FindNextOf(data_store, start) : FindPrevious(data_store, KeyBytes(start, sizeof start));
        break;
      }
      case SEQ_FILE_AT_POINTER: {
        // Decision: no record at or beyond the pointer in the reading
        // direction answers 33; the sequence never jumps to a record
        // elsewhere in the table instead.
        const KeyBytes at(probe.data(), probe.size());
        found = FindExact(data_store, at);
        if (found == nullptr) found = forward ? FindNextOf(data_store, probe) : FindPrevious(data_store, at);
        break;
      }
      case SEQ_FILE_AT_KEY:
        key = state.position_key;
        if (key == nullptr) return mode == SequenceMode::kTest ? 1 : kRecordNotAvailable;
        found = FindFromValue(state, *key, probe, forward);
        want_entry = true;
        break;
      case SEQ_KEY_ORDER:
      case SEQ_KEY_START:
      case SEQ_KEY_AT_KEY:
      case SEQ_KEY_AT_KEY_POINTER: {
        if (key == nullptr) return mode == SequenceMode::kTest ? 1 : kRecordNotAvailable;
        FileStore& store = EntryStoreOf(state, *key);
        want_entry = true;
        mode_after = SEQ_KEY_ORDER;
        if (state.positioning_mode == SEQ_KEY_START) {
          uint8_t start[kTablePrefixLength];
          TablePrefixKey(start, state.table_number, static_cast<uint8_t>(key->number + (forward ? 0 : 1)));
          found = forward ? FindNextOf(store, start) : FindPrevious(store, KeyBytes(start, sizeof start));
        } else if (state.positioning_mode == SEQ_KEY_AT_KEY) {
          found = FindFromValue(state, *key, probe, forward);
        } else if (state.positioning_mode == SEQ_KEY_AT_KEY_POINTER) {
          found = FindFromValueAndNumber(state, *key, probe, forward);
        } else {
          found = forward ? FindNextOf(store, probe) : FindPrevious(store, KeyBytes(probe.data(), probe.size()));
        }
        break;
      }
      case SEQ_KEY_AT_POINTER:
        // Decision: a missing record answers 33 rather than falling back to
        // the key's last entry.
        if (key == nullptr || probe.size() != kTablePrefixLength + kRecordNumberLength) {
          return mode == SequenceMode::kTest ? 1 : kRecordNotAvailable;
        }
        found = FindDataRecord(state, LoadBE32(probe.data() + kTablePrefixLength));
        mode_after = SEQ_KEY_ORDER;
        break;
      default:
        return mode == SequenceMode::kTest ? 1 : kRecordNotAvailable;
    }

    if (want_entry ? !IsEntryOf(state, *key, found) : !IsDataRecordOf(state, found)) found = nullptr;
    if (mode == SequenceMode::kTest) return found == nullptr ? 1 : 0;
    if (found == nullptr) {
      ClearOneReadRequests(state);
      return kRecordNotAvailable;
    }

    // The probe and state the step leaves behind; taken before the fetch,
    // which may move the tree's pages.
    std::vector<uint8_t> next_probe;
    uint32_t found_number = 0;
    if (state.positioning_mode == SEQ_FILE_AT_KEY) {
      found_number = EntryNumberOf(*found);
      next_probe = DataProbe(state, found_number);
    } else if (state.positioning_mode == SEQ_KEY_AT_POINTER) {
      found_number = LoadBE32(found->bytes() + kTablePrefixLength);
    } else {
      next_probe.assign(found->bytes(), found->bytes() + found->key_length());
    }

    if (mode == SequenceMode::kRead) {
      const int32_t fetched = FetchRecord(state, found);
      if (fetched == kRecordHeld) return kRecordHeld;
      if (fetched != 0 && fetched != kRecordNotFound) {
        ClearOneReadRequests(state);
        return fetched;
      }
      if (fetched == kRecordNotFound && state.positioning_mode == SEQ_KEY_AT_POINTER) {
        ClearOneReadRequests(state);
        return fetched;
      }
      if (state.positioning_mode == SEQ_KEY_AT_POINTER) {
        next_probe = EntryProbe(state, *key, RecordBuffer(state), found_number);
      }
      state.positioning_mode = mode_after;
      state.position_record = std::move(next_probe);
      if (fetched == kRecordNotFound) continue;  // an orphan entry: passed over
      ReadMemosOfCurrent(state);
    } else {
      if (state.positioning_mode == SEQ_KEY_AT_POINTER) {
        // Skipping does not fetch: the entry is formed from the record itself.
        std::vector<uint8_t> image(found->data().begin(), found->data().end());
        if (image.size() == state.record_length) {
          ConvertRecordText(state, image.data(), false);
          next_probe = EntryProbe(state, *key, image, found_number);
        } else {
          next_probe = DataProbe(state, found_number);
          mode_after = SEQ_FILE_ORDER;
        }
      }
      state.positioning_mode = mode_after;
      state.position_record = std::move(next_probe);
    }
    ClearOneReadRequests(state);
    return 0;
  }
}

// --- SET and RESET ---

int32_t SetFileOperation(OperationContext& context) {
  StartSequence(context.state, SEQ_FILE_START, nullptr, {});
  return 0;
}

int32_t SetFilePointerOperation(OperationContext& context) {
  TableState& state = context.state;
  const int32_t pointer = context.cells[0];
  if (pointer < 1) {
    StartSequence(state, SEQ_FILE_START, nullptr, {});
  } else {
    StartSequence(state, SEQ_FILE_AT_POINTER, nullptr, DataProbe(state, static_cast<uint32_t>(pointer)));
  }
  return 0;
}

int32_t SetFileKeyOperation(OperationContext& context) {
  TableState& state = context.state;
  StartSequence(state, SEQ_FILE_AT_KEY, context.key, EntryProbe(state, *context.key, RecordBuffer(state), 0));
  return 0;
}

int32_t SetKeyOperation(OperationContext& context) {
  StartSequence(context.state, SEQ_KEY_START, context.key, {});
  return 0;
}

int32_t SetKeyKeyOperation(OperationContext& context) {
  TableState& state = context.state;
  StartSequence(state, SEQ_KEY_AT_KEY, context.key, EntryProbe(state, *context.key, RecordBuffer(state), 0));
  return 0;
}

int32_t SetKeyPointerOperation(OperationContext& context) {
  TableState& state = context.state;
  const int32_t pointer = context.cells[0];
  if (pointer < 1) {
    StartSequence(state, SEQ_KEY_START, context.key, {});
  } else {
    StartSequence(state, SEQ_KEY_AT_POINTER, context.key,
                  PointerProbe(state, *context.key, static_cast<uint32_t>(pointer)));
  }
  return 0;
}

int32_t SetKeyKeyPointerOperation(OperationContext& context) {
  TableState& state = context.state;
  const uint32_t pointer = static_cast<uint32_t>(context.cells[0]);
  StartSequence(state, SEQ_KEY_AT_KEY_POINTER, context.key,
                WholeEntryProbe(state, *context.key, RecordBuffer(state), pointer));
  return 0;
}

int32_t ResetFileOperation(OperationContext& context) {
  TableState& state = context.state;
  const std::string position = PaddedPosition(context.first_string, kRecordNumberLength);
  const uint32_t record = LoadBE32(reinterpret_cast<const uint8_t*>(position.data()));
  StartSequence(state, SEQ_FILE_AT_POINTER, nullptr, DataProbe(state, record));
  return 0;
}

int32_t ResetKeyOperation(OperationContext& context) {
  TableState& state = context.state;
  KeyDescriptor& key = *context.key;
  CheckEntryFits(key);
  const uint32_t value_length = KeyValueLength(key);
  const std::string position = PaddedPosition(context.first_string, kRecordNumberLength + value_length);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(position.data());
  const uint32_t record = LoadBE32(bytes);
  StartSequence(state, SEQ_KEY_AT_KEY_POINTER, &key, PositionEntry(state, key, bytes, record));
  return 0;
}

// --- NEXT, PREVIOUS, SKIP, EOF, BOF ---

int32_t NextOperation(OperationContext& context) {
  TableState& state = context.state;
  return WithLockWait(state, [&] { return Sequence(state, SequenceMode::kRead, true); });
}

int32_t PreviousOperation(OperationContext& context) {
  TableState& state = context.state;
  return WithLockWait(state, [&] { return Sequence(state, SequenceMode::kRead, false); });
}

int32_t SkipOperation(OperationContext& context) {
  TableState& state = context.state;
  const int32_t count = context.cells[0];
  const bool forward = count > 0;
  const int64_t steps = count < 0 ? -static_cast<int64_t>(count) : count;
  for (int64_t i = 0; i < steps; ++i) {
    if (Sequence(state, SequenceMode::kSkip, forward) != 0) break;
  }
  return 0;
}

int32_t EofOperation(OperationContext& context) {
  context.result = Sequence(context.state, SequenceMode::kTest, true);
  return 0;
}

int32_t BofOperation(OperationContext& context) {
  context.result = Sequence(context.state, SequenceMode::kTest, false);
  return 0;
}

// --- GET and REGET ---

int32_t GetFileKeyOperation(OperationContext& context) {
  TableState& state = context.state;
  const KeyDescriptor& key = *context.key;
  return WithLockWait(state, [&]() -> int32_t {
    FileStore& store = EntryStoreOf(state, key);
    std::vector<uint8_t> probe = EntryProbe(state, key, RecordBuffer(state), 0);
    RecordNode* found;
    if (key.flags & KEY_DUP) {
      found = FindNextOf(store, probe);
      // The first entry of that value: equal in all but its record number.
      const size_t value_end = probe.size() - kRecordNumberLength;
      if (found != nullptr && (found->key_length() != probe.size() ||
                               std::memcmp(found->bytes(), probe.data(), value_end) != 0)) {
        found = nullptr;
      }
    } else {
      found = FindExact(store, KeyBytes(probe.data(), probe.size()));
    }
    if (!IsEntryOf(state, key, found)) found = nullptr;
    if (found == nullptr) {
      ReleaseCurrentRecord(state);
      ClearOneReadRequests(state);
      return kRecordNotFound;
    }
    return ReadRecord(state, found);
  });
}

namespace {

int32_t GetByNumber(TableState& state, uint32_t record) {
  return WithLockWait(state, [&]() -> int32_t {
    RecordNode* found = record == 0 ? nullptr : FindDataRecord(state, record);
    if (found == nullptr) {
      ReleaseCurrentRecord(state);
      ClearOneReadRequests(state);
      return kRecordNotFound;
    }
    return ReadRecord(state, found);
  });
}

}  // namespace

int32_t GetFilePointerOperation(OperationContext& context) {
  return GetByNumber(context.state, static_cast<uint32_t>(context.cells[0]));
}

int32_t RegetFileOperation(OperationContext& context) {
  const std::string position = PaddedPosition(context.first_string, kRecordNumberLength);
  return GetByNumber(context.state, LoadBE32(reinterpret_cast<const uint8_t*>(position.data())));
}

int32_t RegetKeyOperation(OperationContext& context) {
  TableState& state = context.state;
  const KeyDescriptor& key = *context.key;
  CheckEntryFits(key);
  const uint32_t value_length = KeyValueLength(key);
  const std::string position = PaddedPosition(context.first_string, kRecordNumberLength + value_length);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(position.data());
  const uint32_t record = LoadBE32(bytes);
  const std::vector<uint8_t> entry = PositionEntry(state, key, bytes, record);
  const KeyBytes probe(entry.data(), EntryKeyLength(key));
  return WithLockWait(state, [&]() -> int32_t {
    RecordNode* found = FindExact(EntryStoreOf(state, key), probe);
    if (!IsEntryOf(state, key, found) || EntryRecordNumber(*found) != record) {
      ReleaseCurrentRecord(state);
      ClearOneReadRequests(state);
      return kRecordNotFound;
    }
    return ReadRecord(state, found);
  });
}

// --- Positions and counts ---

int32_t PointerOperation(OperationContext& context) {
  context.result = static_cast<int32_t>(context.state.current_record);
  return 0;
}

int32_t PositionFileOperation(OperationContext& context) {
  context.result_string = StoredNumber(context.state.current_record);
  return 0;
}

int32_t PositionKeyOperation(OperationContext& context) {
  TableState& state = context.state;
  const KeyDescriptor& key = *context.key;
  CheckEntryFits(key);
  std::string position = StoredNumber(state.current_record);
  const uint32_t value_length = KeyValueLength(key);
  position.resize(kRecordNumberLength + value_length);
  if (state.record_image.size() == state.record_length) {
    FormKeyValue(state, key, reinterpret_cast<uint8_t*>(position.data()) + kRecordNumberLength,
                 state.record_image);
  }
  context.result_string = std::move(position);
  return 0;
}

int32_t RecordsFileOperation(OperationContext& context) {
  context.result = static_cast<int32_t>(ReadCount(context.state, kDataSubject));
  return 0;
}

int32_t RecordsKeyOperation(OperationContext& context) {
  context.result = static_cast<int32_t>(ReadCount(context.state, static_cast<uint8_t>(context.key->number)));
  return 0;
}

int32_t BytesOperation(OperationContext& context) {
  TableState& state = context.state;
  if (state.flags & FS_RECORD_CURRENT) {
    context.result = static_cast<int32_t>(state.record_length);
  } else {
    context.result = static_cast<int32_t>(ReadCount(state, kDataSubject) * state.record_length);
  }
  return 0;
}

// --- One-read requests ---

int32_t HoldOperation(OperationContext& context) {
  context.state.table_flags |= RS_HOLD_NEXT;
  context.state.hold_seconds = -1;
  return 0;
}

int32_t HoldSecondsOperation(OperationContext& context) {
  context.state.table_flags |= RS_HOLD_NEXT;
  // A negative limit other than -1 would never run out either.
  context.state.hold_seconds = context.cells[0] < 0 ? -1 : context.cells[0];
  return 0;
}

int32_t WatchOperation(OperationContext& context) {
  context.state.table_flags |= RS_WATCH_NEXT;
  return 0;
}

int32_t NomemoOperation(OperationContext& context) {
  context.state.table_flags |= RS_NOMEMO;
  return 0;
}

int32_t ReleaseOperation(OperationContext& context) {
  TableState& state = context.state;
  if (state.table_flags & RS_HELD) {
    UnlockRecord(*state.store, state.current_record);
    state.table_flags &= static_cast<uint16_t>(~RS_HELD);
  }
  return 0;
}

}  // namespace vantrose
