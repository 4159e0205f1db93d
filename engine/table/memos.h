// Memos and BLOBs: values kept outside the data record, stored as pieces
// under the record's number.
//
//   key  [table:4][0xFC][record:4][memo:1][piece:2]   numbers MSB first
//   data first piece of a BLOB:  [total length:4, LSB first][up to 256 bytes]
//        every other piece:      [up to 256 bytes]
//
// The memo number is the memo's 0-based position among the table's memos;
// pieces are numbered from 0. All pieces of one record sort together, by
// memo and then piece, after the table's data records.
//
// Stored value: a MEMO is its buffer without trailing blanks; a BLOB is its
// whole contents. An empty value stores no piece. Text of a MEMO without
// MEMO_BINARY is stored in the OEM code page when the table's text is OEM;
// BLOB contents are always stored as they are.
//
// BLOB memory is a movable block (runtime/memory_handles.h) that the table's
// state owns; while a BLOB has contents its block stays locked once, so its
// address is stable until the next SetBlobSize.
//
// Offers: WriteNewMemos, MemoPass, SetBlobSize, BlobData. Needs: the page
// tree (writer mode for writing and deleting), the movable memory blocks.
#pragma once

#include <cstdint>

#include "engine/table/table_state.h"

namespace vantrose {

constexpr uint32_t kMemoPieceLength = 256;

// Stores every memo of `record`, which has none stored yet (ADD, APPEND).
void WriteNewMemos(TableState& state, uint32_t record);

enum class MemoMode { kRead = 0, kRewrite = 1, kDelete = 2, kCompare = 3 };
// One walk over the stored pieces of `record`. Read fills the memo buffers
// and BLOBs (and the compare copies when RS_WATCH_NEXT is set); rewrite
// stores the current values, writing only pieces that changed; delete
// removes every piece; compare answers 1 when a stored MEMO differs from its
// compare copy. Every other mode answers 0.
int32_t MemoPass(TableState& state, uint32_t record, MemoMode mode);

// Gives a BLOB `size` bytes of memory (kept contents up to the smaller
// size; new bytes zero); 0 frees it. Memory that cannot be had is
// std::bad_alloc, which the engine entry answers with error 8.
void SetBlobSize(MemoDescriptor& memo, uint32_t size);
// The BLOB's contents (blob_length bytes), or null when it has none.
uint8_t* BlobData(const MemoDescriptor& memo);

}  // namespace vantrose
