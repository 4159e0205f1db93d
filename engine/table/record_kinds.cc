#include "engine/table/record_kinds.h"

namespace vantrose {

size_t TablePrefixKey(uint8_t* out, uint32_t table, uint8_t kind) {
  StoreBE32(out, table);
  out[kKindOffset] = kind;
  return kTablePrefixLength;
}

size_t DataKey(uint8_t* out, uint32_t table, uint32_t record) {
  TablePrefixKey(out, table, KIND_DATA);
  StoreBE32(out + kTablePrefixLength, record);
  return kDataKeyLength;
}

size_t StatisticsKey(uint8_t* out, uint32_t table, uint8_t subject) {
  TablePrefixKey(out, table, KIND_STATISTICS);
  out[kTablePrefixLength] = subject;
  return kStatisticsKeyLength;
}

size_t DefinitionKey(uint8_t* out, uint32_t table, uint16_t piece) {
  TablePrefixKey(out, table, KIND_DEFINITION);
  // Piece numbers are the one number in a key kept least significant first;
  // pieces are only ever fetched exactly, never walked in order.
  StoreLE16(out + kTablePrefixLength, piece);
  return kDefinitionKeyLength;
}

size_t CollationKey(uint8_t* out, uint32_t table) {
  TablePrefixKey(out, table, KIND_COLLATION);
  out[kTablePrefixLength] = 0x01;
  return kCollationKeyLength;
}

size_t MemoKey(uint8_t* out, uint32_t table, uint32_t record, uint8_t memo, uint16_t piece) {
  TablePrefixKey(out, table, KIND_MEMO);
  StoreBE32(out + kTablePrefixLength, record);
  out[9] = memo;
  out[10] = static_cast<uint8_t>(piece >> 8);
  out[11] = static_cast<uint8_t>(piece);
  return kMemoKeyLength;
}

}  // namespace vantrose
