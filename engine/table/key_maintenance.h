// Key maintenance: keeping every key's index entries in step with the data
// records when a record is added, changed or deleted, and the uniqueness
// question of DUPLICATE.
//
// Invariants:
//  - A key whose first-not-indexed number is 0 is complete: it has exactly
//    one entry per record that is not blank for it. ADD, PUT and DELETE
//    keep complete keys complete.
//  - A key with KEY_INDEX, and every key during APPEND, gets no entries;
//    its first-not-indexed number is lowered instead, so that a later BUILD
//    covers the record.
//  - The count of a key's statistics record follows every entry inserted or
//    deleted here.
//  - MaintainKeys changes all the keys it treats or none of them: when a key
//    without KEY_DUP would get a second entry with the same value, every
//    change already made to the keys before it is reversed, entries and
//    counts alike.
//
// Offers: MaintainKeys, WouldDuplicateKey, WouldDuplicateAnyKey and the two
// DUPLICATE handlers. Needs: key values, statistics records and the page tree
// (writer mode for MaintainKeys).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/table/operation_context.h"
#include "engine/table/table_state.h"

namespace vantrose {

// Error 40, "Creates Duplicate Key".
constexpr int32_t kCreatesDuplicateKey = 40;

// Brings keys 0 .. key_count - 1 from the old image to the new one for
// record number `record`. Either image may be empty (none): ADD has no old
// image, DELETE no new one. With `append` no entry is made; every key's
// first-not-indexed number is lowered to the record instead. Answers 0, or
// 40 with the keys as they were.
int32_t MaintainKeys(TableState& state, std::span<const uint8_t> new_image,
                     std::span<const uint8_t> old_image, uint32_t record, bool append,
                     size_t key_count);

// True when `key` has no KEY_DUP, `image` is not blank for it, and the key
// holds an entry of the image's value for a record other than
// `excluded_record` (0 excludes none).
bool WouldDuplicateKey(TableState& state, const KeyDescriptor& key,
                       std::span<const uint8_t> image, uint32_t excluded_record);
// The same for each key of the table in turn, up to the first true answer.
bool WouldDuplicateAnyKey(TableState& state, std::span<const uint8_t> image,
                          uint32_t excluded_record);

// DUPLICATE and DUPLICATEkey: result 1 when storing the record buffer would
// duplicate a value of a key without KEY_DUP, else 0.
int32_t DuplicateOperation(OperationContext& context);
int32_t DuplicateKeyOperation(OperationContext& context);

}  // namespace vantrose
