#include "engine/table/memos.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "engine/storage/byte_order.h"
#include "engine/storage/corruption.h"
#include "engine/storage/cursor.h"
#include "engine/storage/file_store.h"
#include "engine/storage/page_tree.h"
#include "engine/table/record_kinds.h"
#include "platform/code_page.h"
#include "runtime/memory_handles.h"

namespace vantrose {

namespace {

constexpr size_t kBlobLengthPrefix = 4;
// Piece numbers are 16 bits, so no stored value is longer than this; a BLOB
// length beyond it is damage, never an allocation size.
constexpr uint32_t kMaxStoredValue = 65536u * kMemoPieceLength;
constexpr uint32_t kCheckBlobLengthTooLarge = 2402;
// Offset of the memo number and of the piece number in a piece's key.
constexpr size_t kMemoNumberOffset = 9;
constexpr size_t kPieceNumberOffset = 10;
// [table][0xFC][record]: every piece of one record starts with these.
constexpr size_t kRecordPrefixLength = 9;

bool IsBlob(const MemoDescriptor& memo) { return (memo.flags & MEMO_BLOB) != 0; }

// Text memos of an OEM table are stored in the OEM code page. BLOB contents
// are bytes, not text: the two code pages do not map onto each other one to
// one, so converting them would give back other bytes than were stored.
bool Converts(const TableState& state, const MemoDescriptor& memo) {
  return (state.attributes & ATTR_OEM) != 0 && (memo.flags & (MEMO_BINARY | MEMO_BLOB)) == 0;
}

bool IsPieceOf(const RecordNode* record, const uint8_t* prefix) {
  return record != nullptr && record->key_length() == kMemoKeyLength &&
         std::memcmp(record->bytes(), prefix, kRecordPrefixLength) == 0;
}

uint16_t PieceNumber(const RecordNode& piece) {
  return static_cast<uint16_t>((piece.bytes()[kPieceNumberOffset] << 8) | piece.bytes()[kPieceNumberOffset + 1]);
}

// The value a memo stores: a MEMO's buffer without trailing blanks, in the
// stored code page; a BLOB's contents.
std::vector<uint8_t> StoredValue(const TableState& state, const MemoDescriptor& memo) {
  std::vector<uint8_t> value;
  if (IsBlob(memo)) {
    const uint8_t* data = BlobData(memo);
    if (data != nullptr) value.assign(data, data + memo.blob_length);
  } else {
    size_t length = std::min<size_t>(memo.size, memo.buffer.size());
    while (length > 0 && memo.buffer[length - 1] == ' ') --length;
    value.assign(memo.buffer.begin(), memo.buffer.begin() + static_cast<std::ptrdiff_t>(length));
  }
  if (Converts(state, memo)) AnsiToOem(value.data(), value.size());
  return value;
}

// Cuts a value into its pieces (whole stored records), in key order.
std::vector<RecordNodePtr> CutPieces(const TableState& state, uint32_t record, uint8_t memo_number,
                                     const MemoDescriptor& memo, const std::vector<uint8_t>& value) {
  std::vector<RecordNodePtr> pieces;
  uint8_t key[kMemoKeyLength];
  uint32_t offset = 0;
  for (uint16_t sequence = 0; offset < value.size(); ++sequence) {
    const uint32_t chunk = std::min<uint32_t>(kMemoPieceLength, static_cast<uint32_t>(value.size()) - offset);
    const uint32_t prefix = (IsBlob(memo) && sequence == 0) ? kBlobLengthPrefix : 0;
    MemoKey(key, state.table_number, record, memo_number, sequence);
    RecordNodePtr piece = RecordNode::New(kMemoKeyLength, prefix + chunk);
    std::memcpy(piece->bytes(), key, kMemoKeyLength);
    uint8_t* data = piece->mutable_data().data();
    if (prefix != 0) StoreLE32(data, static_cast<uint32_t>(value.size()));
    std::memcpy(data + prefix, value.data() + offset, chunk);
    pieces.push_back(std::move(piece));
    offset += chunk;
  }
  return pieces;
}

// Full copies of the stored pieces of one memo of a record, in key order.
std::vector<RecordNodePtr> StoredPieces(FileStore& store, const uint8_t* prefix, uint8_t memo_number) {
  std::vector<RecordNodePtr> pieces;
  uint8_t start[kPieceNumberOffset];
  std::memcpy(start, prefix, kRecordPrefixLength);
  start[kMemoNumberOffset] = memo_number;
  RecordNodePtr probe = RecordNode::FromBytes(KeyBytes(start, sizeof start));
  for (RecordNode* piece = FindNext(store, *probe);
       IsPieceOf(piece, prefix) && piece->bytes()[kMemoNumberOffset] == memo_number;
       piece = FindNext(store, *pieces.back())) {
    pieces.push_back(RecordNode::FullCopy(*piece));
  }
  return pieces;
}

void DeleteStored(FileStore& store, const RecordNode& piece) {
  Delete(store, FindExact(store, piece.key()));
}

bool SameRecord(const RecordNode& a, const RecordNode& b) {
  return a.total_length() == b.total_length() && a.key_length() == b.key_length() &&
         std::memcmp(a.bytes(), b.bytes(), a.total_length()) == 0;
}

void RewriteMemo(TableState& state, uint32_t record, const uint8_t* prefix, uint8_t memo_number) {
  FileStore& store = *state.store;
  const MemoDescriptor& memo = state.memos[memo_number];
  std::vector<RecordNodePtr> stored = StoredPieces(store, prefix, memo_number);
  std::vector<RecordNodePtr> fresh = CutPieces(state, record, memo_number, memo, StoredValue(state, memo));
  size_t next = 0;
  for (RecordNodePtr& piece : fresh) {
    if (next < stored.size() && SameRecord(*stored[next], *piece)) {
      ++next;  // unchanged: neither deleted nor written again
      continue;
    }
    const uint16_t sequence = PieceNumber(*piece);
    while (next < stored.size() && PieceNumber(*stored[next]) <= sequence) DeleteStored(store, *stored[next++]);
    Insert(store, std::move(piece));
  }
  while (next < stored.size()) DeleteStored(store, *stored[next++]);
}

// Read mode: one walk over all pieces of the record.
void ReadMemos(TableState& state, const uint8_t* prefix) {
  FileStore& store = *state.store;
  const bool watched = (state.table_flags & RS_WATCH_NEXT) != 0;
  std::vector<uint32_t> filled(state.memos.size(), 0);
  std::vector<bool> blob_found(state.memos.size(), false);
  RecordNodePtr probe = RecordNode::FromBytes(KeyBytes(prefix, kRecordPrefixLength));
  RecordNode* piece = FindNext(store, *probe);
  while (IsPieceOf(piece, prefix)) {
    const uint8_t number = piece->bytes()[kMemoNumberOffset];
    if (number < state.memos.size()) {
      MemoDescriptor& memo = state.memos[number];
      std::span<const uint8_t> bytes = piece->data();
      uint8_t* target;
      uint32_t size;
      if (IsBlob(memo)) {
        if (PieceNumber(*piece) == 0 && bytes.size() >= kBlobLengthPrefix) {
          const uint32_t total = LoadLE32(bytes.data());
          if (total > kMaxStoredValue) ReportCorruption(kCheckBlobLengthTooLarge);
          SetBlobSize(memo, total);
          bytes = bytes.subspan(kBlobLengthPrefix);
          blob_found[number] = true;
          filled[number] = 0;
        }
        target = BlobData(memo);
        size = memo.blob_length;
      } else {
        target = reinterpret_cast<uint8_t*>(memo.buffer.data());
        size = static_cast<uint32_t>(std::min<size_t>(memo.size, memo.buffer.size()));
      }
      // A piece that reaches beyond its target (damage) gives what fits.
      const uint32_t offset = filled[number];
      const uint32_t length = offset < size ? std::min<uint32_t>(static_cast<uint32_t>(bytes.size()), size - offset) : 0;
      if (length > 0) {
        if (watched && !IsBlob(memo) && memo.watch_copy.size() >= offset + length) {
          std::memcpy(memo.watch_copy.data() + offset, bytes.data(), length);
        }
        std::memcpy(target + offset, bytes.data(), length);
        if (Converts(state, memo)) OemToAnsi(target + offset, length);
        filled[number] = offset + length;
      }
    }
    RecordNodePtr at = RecordNode::KeyCopy(*piece);
    piece = FindNext(store, *at);
  }
  for (size_t i = 0; i < state.memos.size(); ++i) {
    MemoDescriptor& memo = state.memos[i];
    if (IsBlob(memo)) {
      if (!blob_found[i]) {
        SetBlobSize(memo, 0);
      } else if (filled[i] < memo.blob_length) {
        std::memset(BlobData(memo) + filled[i], ' ', memo.blob_length - filled[i]);
      }
    } else if (filled[i] < memo.buffer.size()) {
      std::fill(memo.buffer.begin() + filled[i], memo.buffer.end(), ' ');
    }
  }
}

// Compare mode: 1 when a stored MEMO is not what its compare copy holds.
int32_t CompareMemos(TableState& state, const uint8_t* prefix) {
  for (size_t i = 0; i < state.memos.size(); ++i) {
    const MemoDescriptor& memo = state.memos[i];
    if (IsBlob(memo)) continue;
    uint32_t offset = 0;
    for (const RecordNodePtr& piece : StoredPieces(*state.store, prefix, static_cast<uint8_t>(i))) {
      std::span<const uint8_t> bytes = piece->data();
      if (offset + bytes.size() > memo.watch_copy.size() ||
          std::memcmp(memo.watch_copy.data() + offset, bytes.data(), bytes.size()) != 0) {
        return 1;
      }
      offset += static_cast<uint32_t>(bytes.size());
    }
    // A stored value that became shorter leaves text in the copy.
    for (size_t j = offset; j < memo.watch_copy.size(); ++j) {
      if (memo.watch_copy[j] != ' ') return 1;
    }
  }
  return 0;
}

}  // namespace

uint8_t* BlobData(const MemoDescriptor& memo) {
  if (memo.blob_handle == 0) return nullptr;
  // The block stays locked once while it has contents: this lock and unlock
  // only ask for its (stable) address.
  uint8_t* data = LockMovable(memo.blob_handle);
  UnlockMovable(memo.blob_handle);
  return data;
}

void SetBlobSize(MemoDescriptor& memo, uint32_t size) {
  if (size == 0) {
    if (memo.blob_handle != 0) {
      UnlockMovable(memo.blob_handle);
      FreeMovable(memo.blob_handle);
    }
    memo.blob_handle = 0;
    memo.blob_length = 0;
    return;
  }
  MemoryHandle handle;
  if (memo.blob_handle == 0) {
    handle = AllocateMovable(size);
  } else {
    UnlockMovable(memo.blob_handle);
    handle = ReallocateMovable(memo.blob_handle, size);
    if (handle == 0) LockMovable(memo.blob_handle);  // keep the old contents usable
  }
  if (handle == 0) throw std::bad_alloc();
  LockMovable(handle);
  memo.blob_handle = handle;
  memo.blob_length = size;
}

void WriteNewMemos(TableState& state, uint32_t record) {
  if (state.memos.empty()) return;
  Cursor cursor(*state.store);
  for (size_t i = 0; i < state.memos.size(); ++i) {
    const MemoDescriptor& memo = state.memos[i];
    // A new record has no pieces, so each piece belongs right after the one
    // before it: the cursor appends without a descent.
    for (RecordNodePtr& piece : CutPieces(state, record, static_cast<uint8_t>(i), memo, StoredValue(state, memo))) {
      CursorInsert(cursor, std::move(piece));
    }
  }
}

int32_t MemoPass(TableState& state, uint32_t record, MemoMode mode) {
  if (state.memos.empty()) return 0;
  uint8_t prefix[kRecordPrefixLength];
  TablePrefixKey(prefix, state.table_number, KIND_MEMO);
  StoreBE32(prefix + kTablePrefixLength, record);
  switch (mode) {
    case MemoMode::kRead:
      ReadMemos(state, prefix);
      return 0;
    case MemoMode::kRewrite:
      for (size_t i = 0; i < state.memos.size(); ++i) RewriteMemo(state, record, prefix, static_cast<uint8_t>(i));
      return 0;
    case MemoMode::kDelete:
      for (size_t i = 0; i < state.memos.size(); ++i) {
        for (const RecordNodePtr& piece : StoredPieces(*state.store, prefix, static_cast<uint8_t>(i))) {
          DeleteStored(*state.store, *piece);
        }
      }
      return 0;
    case MemoMode::kCompare:
      return CompareMemos(state, prefix);
  }
  return 0;
}

}  // namespace vantrose
