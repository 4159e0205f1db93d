#include "engine/table/record_kinds.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/storage/byte_order.h"
#include "engine/storage/page_tree.h"
#include "engine/table/table_records.h"
#include "record_kinds_store.h"

namespace vantrose {
namespace {

TEST(RecordKeysTest, LayoutsAndNumbersMostSignificantFirst) {
  uint8_t key[kMemoKeyLength];
  ASSERT_EQ(DataKey(key, 0x01020304, 0x0A0B0C0D), kDataKeyLength);
  EXPECT_EQ(std::vector<uint8_t>(key, key + 9),
            (std::vector<uint8_t>{1, 2, 3, 4, KIND_DATA, 0x0A, 0x0B, 0x0C, 0x0D}));
  ASSERT_EQ(StatisticsKey(key, 7, kDataSubject), kStatisticsKeyLength);
  EXPECT_EQ(std::vector<uint8_t>(key, key + 6), (std::vector<uint8_t>{0, 0, 0, 7, 0xF6, 0xF3}));
  ASSERT_EQ(DefinitionKey(key, 7, 0x0102), kDefinitionKeyLength);
  EXPECT_EQ(std::vector<uint8_t>(key, key + 7), (std::vector<uint8_t>{0, 0, 0, 7, 0xFA, 2, 1}));
  ASSERT_EQ(CollationKey(key, 7), kCollationKeyLength);
  EXPECT_EQ(std::vector<uint8_t>(key, key + 6), (std::vector<uint8_t>{0, 0, 0, 7, 0xFB, 1}));
  ASSERT_EQ(MemoKey(key, 7, 0x100, 2, 0x0304), kMemoKeyLength);
  EXPECT_EQ(std::vector<uint8_t>(key, key + 12),
            (std::vector<uint8_t>{0, 0, 0, 7, 0xFC, 0, 0, 1, 0, 2, 3, 4}));
}

class TableRecordsTest : public TableFileTest {
 protected:
  void Put(uint32_t table, uint8_t kind, uint32_t number) {
    uint8_t key[kDataKeyLength];
    TablePrefixKey(key, table, kind);
    StoreBE32(key + kTablePrefixLength, number);
    Insert(store_, RecordNode::FromBytes(KeyBytes(key, sizeof key)));
  }
  static uint32_t NumberOf(const RecordNode* record) {
    return record ? LoadBE32(record->bytes() + kTablePrefixLength) : 0;
  }
};

TEST_F(TableRecordsTest, FirstAndLastOfAKindStayInsideTheirTable) {
  for (uint32_t n = 1; n <= 50; ++n) Put(10, KIND_DATA, n);
  Put(10, 3, 99);   // an index entry of key 3 sorts before the data
  Put(11, KIND_DATA, 500);
  EXPECT_EQ(NumberOf(FirstOfKind(store_, 10, KIND_DATA)), 1u);
  EXPECT_EQ(NumberOf(LastOfKind(store_, 10, KIND_DATA)), 50u);
  EXPECT_EQ(NumberOf(FirstOfKind(store_, 10, 3)), 99u);
  EXPECT_EQ(FirstOfKind(store_, 10, KIND_MEMO), nullptr);  // next is table 11
  EXPECT_EQ(LastOfKind(store_, 11, 3), nullptr);
  EXPECT_EQ(FirstOfKind(store_, 12, KIND_DATA), nullptr);
}

TEST_F(TableRecordsTest, DeletingATableLeavesItsNeighbours) {
  Put(9, KIND_DATA, 1);
  for (uint32_t n = 1; n <= 400; ++n) Put(10, static_cast<uint8_t>(n % 3 ? KIND_DATA : 0), n);
  Put(11, KIND_DATA, 1);
  InsertTableName(store_, "A", 10);
  DeleteTableRecords(store_, 10);
  EXPECT_EQ(FirstOfKind(store_, 10, KIND_DATA), nullptr);
  EXPECT_EQ(FirstOfKind(store_, 10, 0), nullptr);
  EXPECT_NE(FirstOfKind(store_, 9, KIND_DATA), nullptr);
  EXPECT_NE(FirstOfKind(store_, 11, KIND_DATA), nullptr);
  // Name records sort after every table and are not part of one.
  uint32_t table = 0;
  EXPECT_TRUE(FindTableNumber(store_, "A", &table));
  EXPECT_EQ(table, 10u);
  DeleteTableRecords(store_, 12);  // no such table: nothing happens
  EXPECT_NE(FirstOfKind(store_, 11, KIND_DATA), nullptr);
}

TEST_F(TableRecordsTest, TableNamesAndNumbers) {
  EXPECT_FALSE(AnyTableName(store_));
  uint32_t first = NextNumber(store_);
  InsertTableName(store_, "UNNAMED", first);
  InsertTableName(store_, "PARTS", NextNumber(store_));
  EXPECT_TRUE(AnyTableName(store_));
  uint32_t table = 0;
  ASSERT_TRUE(FindTableNumber(store_, "UNNAMED", &table));
  EXPECT_EQ(table, first);
  ASSERT_TRUE(FindTableNumber(store_, "PARTS", &table));
  EXPECT_EQ(table, first + 1);  // numbers come from the one counter
  EXPECT_FALSE(FindTableNumber(store_, "PART", &table));
  EXPECT_FALSE(FindTableNumber(store_, "parts", &table));
  Delete(store_, FindTableName(store_, "UNNAMED"));
  Delete(store_, FindTableName(store_, "PARTS"));
  EXPECT_FALSE(AnyTableName(store_));
}

}  // namespace
}  // namespace vantrose
